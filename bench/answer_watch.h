#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// How long the GUI thread leaves an event waiting: a thread of its own posts one to it every
// 10 ms and notes how long it waited to run. Whatever holds the GUI thread (the engine, a
// file, the sound server, a nested loop that stops turning) shows here as a long wait.
class AnswerWatch {
public:
    struct Longest {
        double ms = 0;
        double atS = 0; // since start(), when the event was posted
        QString during; // what `describe` said when the event was posted
    };

    // `target` lives on the GUI thread for as long as the watch runs. `describe` is asked on
    // the watch's thread what is going on, for the report of a long wait.
    AnswerWatch(QObject* target, std::function<QString()> describe);
    ~AnswerWatch();

    void start();
    void stop();
    Longest longest() const;
    // Starts a new longest: the idle reference is measured first, then the run.
    void restart();

private:
    void run(const std::stop_token& stop);

    // Shared with the posted events: one may still wait in the queue when the watch is gone.
    struct Answers {
        std::mutex mutex;
        std::condition_variable_any ran;
        quint64 last = 0; // the number of the last event that ran
    };

    QObject* target_;
    std::function<QString()> describe_;
    std::shared_ptr<Answers> answers_ = std::make_shared<Answers>();
    mutable std::mutex longestMutex_;
    Longest longest_;
    std::chrono::steady_clock::time_point started_;
    std::jthread thread_;
};
