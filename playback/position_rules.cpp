#include "playback/position_rules.h"

#include <cfenv>
#include <cmath>
#include <limits>

namespace {

// std::nearbyint honours the rounding mode; the default mode is to nearest, ties to even,
// but a library that changed it must not change our display.
double nearestEven(double x) {
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(x);
    std::fesetround(saved);
    return r;
}

} // namespace

std::optional<qint32> roundHalfEvenToInt32(double seconds) {
    if (!std::isfinite(seconds))
        return std::nullopt;
    const double r = nearestEven(seconds);
    if (r < std::numeric_limits<qint32>::min() || r > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return static_cast<qint32>(r);
}

qint64 roundHalfEvenSaturated(double seconds) {
    if (std::isnan(seconds))
        return 0;
    const double r = nearestEven(seconds);
    // 2^63 is exactly representable; anything at or beyond it saturates.
    constexpr double limit = 9223372036854775808.0;
    if (r >= limit)
        return std::numeric_limits<qint64>::max();
    if (r < -limit)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(r);
}

qint32 roundHalfEvenClamped32(double seconds) {
    const qint64 r = roundHalfEvenSaturated(seconds);
    if (r > std::numeric_limits<qint32>::max())
        return std::numeric_limits<qint32>::max();
    if (r < std::numeric_limits<qint32>::min())
        return std::numeric_limits<qint32>::min();
    return static_cast<qint32>(r);
}

QString timeText(qint64 wholeSeconds) {
    const qint64 m = wholeSeconds / 60; // truncates toward zero
    qint64 s = wholeSeconds - 60 * m;
    if (s == -1)
        s = 0;
    return QString::number(m) + QLatin1Char(':') + QString::number(s);
}
