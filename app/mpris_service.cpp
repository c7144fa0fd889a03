#include "app/mpris_service.h"

#include "app/form1.h"
#include "app/instance_link.h"
#include "app/mpris_player_adaptor.h"
#include "app/mpris_root_adaptor.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QPointer>
#include <QThread>

namespace {

const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kName = QStringLiteral("org.mpris.MediaPlayer2.marrowtune");

} // namespace

QString MprisService::playerName() {
    return kName;
}

// The bus libdbus would find without starting one of its own (it would, through
// "autolaunch", when the address is unset: a player has no business doing that).
bool MprisService::sessionBusKnown() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

MprisService::MprisService(Form1* form, InstanceLink* link)
    : QObject(form), player_(new MprisPlayerAdaptor(this, form)), link_(link) {
    new MprisRootAdaptor(this, form);
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
    requestName(connection, kName, false);
}

QDBusMessage MprisService::requestNameCall(const QString& name) {
    constexpr uint kDoNotQueue = 4;
    QDBusMessage request = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("RequestName"));
    request << name << kDoNotQueue;
    return request;
}

bool MprisService::nameGranted(uint answer) {
    constexpr uint kPrimaryOwner = 1;
    constexpr uint kAlreadyOwner = 4;
    return answer == kPrimaryOwner || answer == kAlreadyOwner;
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
                        kName +
                            QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid()),
                        true);
                }
            });
}
