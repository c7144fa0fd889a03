#include "app/bus_names.h"

#include <QFileInfo>

QString playerBusName() {
    return QStringLiteral("org.mpris.MediaPlayer2.marrowtune");
}

// The bus libdbus would find without starting one of its own (it would, through
// "autolaunch", when the address is unset: a player has no business doing that).
bool sessionBusKnown() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

QDBusMessage requestNameCall(const QString& name) {
    constexpr uint kDoNotQueue = 4;
    QDBusMessage request = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("RequestName"));
    request << name << kDoNotQueue;
    return request;
}

bool nameGranted(uint answer) {
    constexpr uint kPrimaryOwner = 1;
    constexpr uint kAlreadyOwner = 4;
    return answer == kPrimaryOwner || answer == kAlreadyOwner;
}
