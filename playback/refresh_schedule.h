#pragma once

#include <QtGlobal>
#include <optional>

// The slider and the time box show the engine's position in whole seconds, so while a track
// plays they change only when the position passes k + 1/2 s. The window refreshes them then
// and at once after anything that moves the position or changes what plays; it does not wake
// up at all while nothing plays.

// Two refreshes never come closer than this: a dragged slider's burst of seeks must not turn
// into a busy loop, and nothing on screen is quicker to read.
inline constexpr qint64 kRefreshFloorMs = 10;

// Milliseconds from now until the next refresh is due, or empty when none is (nothing plays
// and the display is current). `shown` is the whole seconds on display, empty when the
// display must be refreshed whatever it shows; `sinceLastMs` is the time since the last one.
std::optional<qint64> nextRefreshDelayMs(double position, bool playing, std::optional<qint64> shown,
                                         qint64 sinceLastMs);
