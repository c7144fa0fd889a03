#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

class Form1;
class InstanceLink;
class MprisPlayerAdaptor;
class Player;

// Offers the window to media keys and the desktop's media controls: an MPRIS 2 player at
// /org/mpris/MediaPlayer2 under the name org.mpris.MediaPlayer2.marrowtune (another copy
// of the program already holding it, under that name plus ".instance<pid>").
class MprisService : public QObject {
    Q_OBJECT
public:
    // Lives as long as `window`, which it raises and closes for the desktop; everything else
    // goes to `player`. `link`, when given, is published beside the player so that later
    // launches can hand their paths to this one.
    MprisService(Player* player, Form1* window, InstanceLink* link = nullptr);

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
