#pragma once

#include <QString>
#include <optional>

// The volume slider runs 0..2500 and the engine takes hundredths of a decibel, 0 = full.
constexpr int kVolumeSliderMax = 2500;
int engineVolumeForSlider(int sliderValue);
// Its inverse, kept inside the slider's range: where the slider stands for an engine volume.
int sliderValueForEngineVolume(int hundredthsOfDb);

// Red part of the percentage label's text colour: v / 10, halves to even (5 -> 0, 15 -> 2).
int volumeLabelRed(int sliderValue);

// "N %" with N = v / 25 truncated (0 -> "0 %", 1250 -> "50 %", 2500 -> "100 %").
QString volumePercentText(int sliderValue);

// The side word of the balance: "Center" strictly inside -500..500, "Left" below -500,
// "Right" above 500; exactly at -500 or 500 none applies and the previous word stays (empty).
std::optional<QString> balanceSideWord(int balance);
