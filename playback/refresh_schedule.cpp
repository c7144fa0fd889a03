#include "playback/refresh_schedule.h"

#include "playback/position_rules.h"

#include <algorithm>
#include <cmath>

namespace {

// The longest wait while playing: the next k + 1/2 s is never more than a second away.
constexpr qint64 kLongestWaitMs = 1001;

} // namespace

std::optional<qint64> nextRefreshDelayMs(double position, bool playing, std::optional<qint64> shown,
                                         qint64 sinceLastMs) {
    const qint64 floorWait = std::clamp<qint64>(kRefreshFloorMs - sinceLastMs, 0, kRefreshFloorMs);
    if (!shown || *shown != roundHalfEvenSaturated(position))
        return floorWait;
    if (!playing)
        return std::nullopt;
    if (!std::isfinite(position))
        return kLongestWaitMs;
    // Whole second w covers positions up to w + 1/2 (that half itself when w is even), so
    // the display changes just after it. One millisecond past it covers both cases.
    const double untilHalf = (static_cast<double>(*shown) + 0.5 - position) * 1000.0;
    const auto wait = static_cast<qint64>(std::floor(std::clamp(untilHalf, 0.0, 1000.0))) + 1;
    return std::clamp(wait, floorWait, kLongestWaitMs);
}
