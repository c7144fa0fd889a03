#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// Whole seconds from engine seconds. Every such conversion rounds half to even
// (187.5 -> 188, 186.5 -> 186), so the display never disagrees with the slider.

// Empty when the value is not finite or does not fit a signed 32-bit number.
std::optional<qint32> roundHalfEvenToInt32(double seconds);

// Saturates at the ends of the range; not-a-number gives 0.
qint64 roundHalfEvenSaturated(double seconds);
qint32 roundHalfEvenClamped32(double seconds);

// The minutes:seconds text of the time box for a whole number of seconds: no padding, no
// hours field, the remainder keeps the sign of the total, and a seconds part of exactly -1
// reads 0 ("3:7", "60:0", "0:-2", "-1:-59").
QString timeText(qint64 wholeSeconds);
