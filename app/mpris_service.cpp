#include "app/mpris_service.h"

#include "app/bus_names.h"
#include "app/form1.h"
#include "app/instance_link.h"
#include "app/mpris_player_adaptor.h"
#include "app/mpris_root_adaptor.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QThread>

namespace {

const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");

} // namespace

MprisService::MprisService(Player* player, Form1* window, InstanceLink* link)
    : QObject(window), player_(new MprisPlayerAdaptor(this, player)), link_(link) {
    new MprisRootAdaptor(this, window);
}

void MprisService::publishOnSessionBus() {
    if (!sessionBusKnown())
        return;
    QPointer<MprisService> self(this);
    QThread* thread = QThread::create([self] {
        const QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, bus] {
                if (self)
                    self->publish(bus);
            },
            Qt::QueuedConnection);
    });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

void MprisService::publish(const QDBusConnection& bus) {
    QDBusConnection connection(bus);
    if (!connection.registerObject(kPath, this, QDBusConnection::ExportAdaptors))
        return;
    player_->sendChangesOn(connection, kPath);
    if (link_)
        link_->registerOn(connection);
    requestName(connection, playerBusName(), false);
}

void MprisService::requestName(const QDBusConnection& bus, const QString& name, bool lastTry) {
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(requestNameCall(name)), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, bus, name, lastTry](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusPendingReply<uint> reply = *call;
                if (!reply.isError() && nameGranted(reply.value())) {
                    serviceName_ = name;
                    emit nameAcquired();
                } else if (!lastTry) {
                    requestName(
                        bus,
                        playerBusName() +
                            QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid()),
                        true);
                }
            });
}
