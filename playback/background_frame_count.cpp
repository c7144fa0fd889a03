#include "playback/background_frame_count.h"

#include "playback/mp3_frame_counter.h"

#include <utility>

void BackgroundFrameCount::start(const QString& file, std::function<bool()> keepGoing,
                                 std::function<void(double)> counted) {
    wait();
    thread_ = std::thread([file, keepGoing = std::move(keepGoing), counted = std::move(counted)] {
        if (const std::optional<double> seconds = mp3FileDuration(file, keepGoing))
            counted(*seconds);
    });
}

void BackgroundFrameCount::wait() {
    if (thread_.joinable())
        thread_.join();
}
