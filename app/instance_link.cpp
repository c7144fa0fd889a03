#include "app/instance_link.h"

#include "app/bus_names.h"

#include <QDBusMessage>

namespace {
const QString kPath = QStringLiteral("/org/marrowtune/Launch");
const QString kInterface = QStringLiteral("org.marrowtune.Launch");
} // namespace

void InstanceLink::registerOn(const QDBusConnection& bus) {
    QDBusConnection(bus).registerObject(kPath, this, QDBusConnection::ExportScriptableSlots);
}

InstanceLink::Role InstanceLink::claimOrHandOver(const QDBusConnection& bus,
                                                 const QStringList& paths, bool enqueue,
                                                 int timeoutMs) {
    if (!bus.isConnected())
        return Role::Alone;
    // Registered before the name is claimed, so a launch racing this one reaches it as soon
    // as the name is ours; its call waits in the queue until the window is up.
    registerOn(bus);
    const QDBusMessage claimed =
        bus.call(requestNameCall(playerBusName()), QDBus::Block, timeoutMs);
    if (claimed.type() == QDBusMessage::ReplyMessage && !claimed.arguments().isEmpty() &&
        nameGranted(claimed.arguments().first().toUInt()))
        return Role::First;
    QDBusMessage open =
        QDBusMessage::createMethodCall(playerBusName(), kPath, kInterface, QStringLiteral("Open"));
    open << paths << enqueue;
    const QDBusMessage reply = bus.call(open, QDBus::Block, timeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage ? Role::HandedOver : Role::Alone;
}

void InstanceLink::Open(const QStringList& paths, bool enqueue) {
    QMetaObject::invokeMethod(
        this, [this, paths, enqueue] { emit openRequested(paths, enqueue); }, Qt::QueuedConnection);
}
