#include "app/window_settings.h"

#include "playback/level_rules.h"

#include <QSettings>

namespace {

// Written with every save; a file without it was not written by this program.
constexpr int kFormat = 1;
// The part of the title bar that must stay on a screen for the user to move the window.
constexpr int kGripWidth = 40;
constexpr int kGripHeight = 10;

const QString kFormatKey = QStringLiteral("format");

} // namespace

SettingsRead readWindowSettings(QSettings& settings, WindowSettings& out) {
    if (settings.status() != QSettings::NoError)
        return SettingsRead::Corrupt;
    if (settings.allKeys().isEmpty())
        return SettingsRead::Nothing;
    if (settings.value(kFormatKey).toInt() != kFormat)
        return SettingsRead::Corrupt;

    bool ok = true;
    auto number = [&](const char* key, int min, int max) -> std::optional<int> {
        const QVariant v = settings.value(QLatin1String(key));
        if (!v.isValid())
            return std::nullopt;
        bool isInt = false;
        const int n = v.toInt(&isInt);
        if (!isInt || n < min || n > max) {
            ok = false;
            return std::nullopt;
        }
        return n;
    };
    auto flag = [&](const char* key) {
        const QString v = settings.value(QLatin1String(key), QStringLiteral("false")).toString();
        if (v != QLatin1String("true") && v != QLatin1String("false"))
            ok = false;
        return v == QLatin1String("true");
    };

    WindowSettings read;
    read.mode = PlayMode(number("mode", 0, 2).value_or(0));
    read.volume = number("volume", 0, kVolumeSliderMax);
    read.balance = number("balance", -5000, 5000).value_or(0);
    read.mute = flag("mute");
    read.onTop = flag("onTop");
    const auto x = number("x", -1000000, 1000000), y = number("y", -1000000, 1000000);
    if (x && y)
        read.position = QPoint(*x, *y);
    if (!ok)
        return SettingsRead::Corrupt;
    out = read;
    return SettingsRead::Read;
}

void writeWindowSettings(QSettings& settings, const WindowSettings& values) {
    settings.setValue(kFormatKey, kFormat);
    settings.setValue(QStringLiteral("mode"), int(values.mode));
    if (values.volume)
        settings.setValue(QStringLiteral("volume"), *values.volume);
    else
        settings.remove(QStringLiteral("volume"));
    settings.setValue(QStringLiteral("balance"), values.balance);
    settings.setValue(QStringLiteral("mute"), values.mute);
    settings.setValue(QStringLiteral("onTop"), values.onTop);
    if (values.position) {
        settings.setValue(QStringLiteral("x"), values.position->x());
        settings.setValue(QStringLiteral("y"), values.position->y());
    }
    settings.sync();
}

QPoint onVisibleScreen(const QRect& frame, const QList<QRect>& screens) {
    const QRect grip(frame.topLeft(), QSize(qMin(kGripWidth, frame.width()), kGripHeight));
    for (const QRect& screen : screens) {
        if (screen.contains(grip))
            return frame.topLeft();
    }
    if (screens.isEmpty())
        return frame.topLeft();
    QRect centred(QPoint(), frame.size());
    centred.moveCenter(screens.first().center());
    return centred.topLeft();
}
