#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

class Form1;
class MprisPlayerAdaptor;

// Offers the window to media keys and the desktop's media controls: an MPRIS 2 player at
// /org/mpris/MediaPlayer2 under the name org.mpris.MediaPlayer2.marrowtune (another copy
// of the program already holding it, under that name plus ".instance<pid>").
class MprisService : public QObject {
    Q_OBJECT
public:
    // Lives as long as `form`.
    explicit MprisService(Form1* form);

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
    QString serviceName_;
};
