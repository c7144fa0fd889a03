#include "playback/level_rules.h"

#include "playback/position_rules.h"

#include <algorithm>

int engineVolumeForSlider(int sliderValue) {
    return sliderValue - kVolumeSliderMax;
}

int sliderValueForEngineVolume(int hundredthsOfDb) {
    // Clamped before adding, so no volume an engine reports can overflow.
    return std::clamp(hundredthsOfDb, -kVolumeSliderMax, 0) + kVolumeSliderMax;
}

int volumeLabelRed(int sliderValue) {
    return roundHalfEvenClamped32(sliderValue / 10.0);
}

QString volumePercentText(int sliderValue) {
    return QString::number(sliderValue / 25) + QStringLiteral(" %");
}

std::optional<QString> balanceSideWord(int balance) {
    if (balance > -500 && balance < 500)
        return QStringLiteral("Center");
    if (balance < -500)
        return QStringLiteral("Left");
    if (balance > 500)
        return QStringLiteral("Right");
    return std::nullopt;
}
