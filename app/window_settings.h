#pragma once

#include "playback/next_entry.h"

#include <QList>
#include <QPoint>
#include <QRect>
#include <optional>

class QSettings;

// What a window started with --remember keeps between runs besides its list.
struct WindowSettings {
    PlayMode mode = PlayMode::None;
    std::optional<int> volume; // the volume slider's value

    int balance = 0;
    bool mute = false;
    bool onTop = false;
    std::optional<QPoint> position; // of the window's frame
};

enum class SettingsRead { Nothing, Read, Corrupt };

// Reads what was kept into `out`. Nothing when no settings were kept; Corrupt when the file
// cannot be parsed or holds values this program never writes.
SettingsRead readWindowSettings(QSettings& settings, WindowSettings& out);
void writeWindowSettings(QSettings& settings, const WindowSettings& values);

// Where a window of `frame` size kept at `frame`'s place goes: there when a person can still
// grab its title bar on one of `screens`, else centred on the first screen.
QPoint onVisibleScreen(const QRect& frame, const QList<QRect>& screens);
