#include "bench/answer_watch.h"

#include <QMetaObject>
#include <cstdio>
#include <utility>

namespace {

// Often enough to catch a hold of a few tens of ms; seldom enough to cost the GUI nothing.
constexpr auto kPause = std::chrono::milliseconds(10);
// A wait this long is told at once, with what was going on: the figures alone would not say.
constexpr auto kTellAfter = std::chrono::seconds(2);
// Any wait over the target is told when it ends, for the log of the run.
constexpr double kTellOver = 250;

double msBetween(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

} // namespace

AnswerWatch::AnswerWatch(QObject* target, std::function<QString()> describe)
    : target_(target), describe_(std::move(describe)) {}

AnswerWatch::~AnswerWatch() {
    stop();
}

void AnswerWatch::start() {
    restart();
    thread_ = std::jthread([this](const std::stop_token& stop) { run(stop); });
}

void AnswerWatch::stop() {
    if (!thread_.joinable())
        return;
    thread_.request_stop();
    thread_.join();
}

void AnswerWatch::restart() {
    const std::scoped_lock lock(longestMutex_);
    longest_ = {};
    started_ = std::chrono::steady_clock::now();
}

AnswerWatch::Longest AnswerWatch::longest() const {
    const std::scoped_lock lock(longestMutex_);
    return longest_;
}

void AnswerWatch::run(const std::stop_token& stop) {
    quint64 number = 0;
    while (!stop.stop_requested()) {
        const quint64 n = ++number;
        const QString during = describe_();
        const auto posted = std::chrono::steady_clock::now();
        QMetaObject::invokeMethod(
            target_,
            [answers = answers_, n] {
                const std::scoped_lock lock(answers->mutex);
                answers->last = n;
                answers->ran.notify_all();
            },
            Qt::QueuedConnection);
        std::unique_lock lock(answers_->mutex);
        bool told = false;
        while (answers_->last < n && !stop.stop_requested()) {
            answers_->ran.wait_for(lock, stop, kTellAfter, [&] { return answers_->last >= n; });
            if (answers_->last < n && !told && !stop.stop_requested()) {
                told = true;
                std::fprintf(stderr, "monkey: the window has not answered for %.0f ms, since: %s\n",
                             msBetween(posted, std::chrono::steady_clock::now()),
                             qPrintable(during));
            }
        }
        if (answers_->last < n)
            break; // stopped while waiting: not a wait that ended
        lock.unlock();
        const auto ran = std::chrono::steady_clock::now();
        {
            const std::scoped_lock longestLock(longestMutex_);
            const double ms = msBetween(posted, ran);
            if (ms > kTellOver)
                std::fprintf(stderr, "monkey: the window did not answer for %.0f ms, since: %s\n",
                             ms, qPrintable(during));
            if (ms > longest_.ms)
                longest_ = {ms, msBetween(started_, posted) / 1e3, during};
        }
        std::this_thread::sleep_for(kPause);
    }
}
