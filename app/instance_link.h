#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

// One window for the music a person opens. The player holding the session's player name
// takes the paths of later launches through Open; a launch with paths hands them over and
// ends instead of opening a second window.
class InstanceLink : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.marrowtune.Launch")
public:
    using QObject::QObject;

    // What a launch with paths does.
    enum class Role {
        First,      // it holds the player name now: it opens its window
        HandedOver, // the running player took the paths: the launch ends
        Alone,      // no bus, or the running player did not answer: its own window
    };

    // Registers this object on `bus`, then claims the player name or hands the paths to the
    // player holding it, waiting at most `timeoutMs` for it.
    Role claimOrHandOver(const QDBusConnection& bus, const QStringList& paths, bool enqueue,
                         int timeoutMs);

    // Where this object is found on the bus.
    void registerOn(const QDBusConnection& bus);

public slots:
    Q_SCRIPTABLE void Open(const QStringList& paths, bool enqueue);

signals:
    // Queued after the call's answer: what the window does with the paths must not hold up
    // the launch waiting for that answer.
    void openRequested(const QStringList& paths, bool enqueue);
};
