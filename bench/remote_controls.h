#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

// The desktop's media controls pressed at random: from a thread and a bus connection of its
// own, as another program would, calls of the player's MPRIS interface (play, pause, next,
// seek, volume, open a file, questions) one after the other at random moments. Notes the
// longest wait for an answer, which the player gives on its GUI thread.
class RemoteControls {
public:
    struct Figures {
        int calls = 0;
        int unanswered = 0;
        double longestMs = 0;
        QString longestCall;
        QString firstError;
    };

    // `files` are offered to OpenUri; `seed` fixes the order of the calls; `note` is told
    // each call as it is made, on the controls' thread.
    RemoteControls(QStringList files, std::uint32_t seed, std::function<void(const QString&)> note);
    ~RemoteControls();

    void start();
    void stop();
    // While held, no call is made.
    void hold(bool on) { held_ = on; }
    Figures figures() const;

private:
    void run(const std::stop_token& stop);

    QStringList files_;
    std::uint32_t seed_;
    std::function<void(const QString&)> note_;
    std::atomic<bool> held_ = false;
    mutable std::mutex mutex_;
    Figures figures_;
    std::jthread thread_;
};
