#pragma once

#include <QString>
#include <functional>
#include <thread>

// Counts a long MP3 file's frames to its end on a thread of its own, so that the commands of
// the thread that starts it (a pause, a seek, a stop) are not held up behind a count that
// reads the whole file. One count at a time.
class BackgroundFrameCount {
public:
    BackgroundFrameCount() = default;
    BackgroundFrameCount(const BackgroundFrameCount&) = delete;
    BackgroundFrameCount& operator=(const BackgroundFrameCount&) = delete;
    ~BackgroundFrameCount() { wait(); }

    // Waits for the count before (it stops at its next check once its `keepGoing` says so),
    // then counts `file`; `counted` gets its length, on the counting thread.
    void start(const QString& file, std::function<bool()> keepGoing,
               std::function<void(double)> counted);
    void wait();

private:
    std::thread thread_;
};
