#include "playback/position_clock.h"

#include <algorithm>
#include <cmath>

namespace {

// A correction larger than this is told to the caller (the display shows whole seconds).
constexpr double kJumpSeconds = 0.02;
// A busy machine's sound output may start, stall for a second while the sound server catches
// up, then go on, and one fed seconds ahead can stall that late: only an output that ran on
// with the clock for this long is steady.
constexpr qint64 kSteadyUs = 2000000;

double secondsBetween(qint64 fromUs, qint64 toUs) {
    return static_cast<double>(toUs - fromUs) / 1e6;
}

} // namespace

quint64 PositionClock::reset(double seconds, qint64 nowUs) {
    seconds_ = std::max(0.0, seconds);
    atUs_ = nowUs;
    running_ = false;
    return ++epoch_;
}

void PositionClock::hold(qint64 nowUs) {
    seconds_ = at(nowUs);
    atUs_ = nowUs;
    running_ = false;
}

double PositionClock::at(qint64 nowUs) const {
    const double p = running_ ? seconds_ + secondsBetween(atUs_, nowUs) : seconds_;
    // Running on past the end would show more than the track holds while the end is on its way.
    return length_ > 0 ? std::min(p, length_) : p;
}

std::optional<double> PositionClock::length() const {
    return length_ > 0 ? std::optional<double>(length_) : std::nullopt;
}

bool PositionClock::store(quint64 epoch, double seconds, bool running, qint64 nowUs) {
    if (epoch == 0 || epoch != epoch_)
        return false;
    const bool jumped = std::abs(at(nowUs) - seconds) > kJumpSeconds;
    seconds_ = seconds;
    atUs_ = nowUs;
    running_ = running;
    return jumped;
}

// Running the position on with the clock is right only while the output's own position does:
// when it stands still (no sound heard yet), the display holds instead of showing time that was
// never heard and jumping back later.
PositionClock::Reading PositionClock::read(quint64 epoch, std::optional<double> seconds,
                                           bool playing, qint64 nowUs) {
    const double elapsed = secondsBetween(lastReadingUs_, nowUs);
    const double advance = seconds.value_or(-1.0) - lastReading_;
    const bool running =
        playing && seconds && lastReading_ >= 0 && advance >= elapsed / 2 && advance <= elapsed * 2;
    if (!running)
        runningSinceUs_ = -1;
    else if (runningSinceUs_ < 0)
        runningSinceUs_ = lastReadingUs_;
    lastReading_ = playing ? seconds.value_or(-1.0) : -1.0;
    lastReadingUs_ = nowUs;
    Reading r;
    r.jumped = seconds && store(epoch, *seconds, running, nowUs);
    r.steady = runningSinceUs_ >= 0 && nowUs - runningSinceUs_ >= kSteadyUs;
    return r;
}

void PositionClock::forgetReadings() {
    lastReading_ = -1.0;
    runningSinceUs_ = -1;
}
