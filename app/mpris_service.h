#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>

class Form1;
class InstanceLink;
class MprisPlayerAdaptor;

// Offers the window to media keys and the desktop's media controls: an MPRIS 2 player at
// /org/mpris/MediaPlayer2 under the name org.mpris.MediaPlayer2.marrowtune (another copy
// of the program already holding it, under that name plus ".instance<pid>").
class MprisService : public QObject {
    Q_OBJECT
public:
    // Lives as long as `form`. `link`, when given, is published beside the player so that
    // later launches can hand their paths to this one.
    explicit MprisService(Form1* form, InstanceLink* link = nullptr);

    // The name of the session's first player.
    static QString playerName();
    // Whether there is a session bus to use, without starting one.
    static bool sessionBusKnown();
    // The bus's RequestName call for `name`, not queueing behind its owner, and whether an
    // answer to it means the name is ours.
    static QDBusMessage requestNameCall(const QString& name);
    static bool nameGranted(uint answer);

    // Without a session bus the player goes on without one and says nothing. Connecting is
    // done on a thread of its own: a bus daemon that hangs must not hold up the window.
    void publishOnSessionBus();
    // Registers at once and asks for the name without waiting for the answer.
    void publish(const QDBusConnection& bus);

    // The name held on the bus; empty until the bus has granted one.
    QString serviceName() const { return serviceName_; }

signals:
    void nameAcquired();

private:
    void requestName(const QDBusConnection& bus, const QString& name, bool lastTry);

    MprisPlayerAdaptor* player_;
    InstanceLink* link_;
    QString serviceName_;
};
