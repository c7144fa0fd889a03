#pragma once

// Volume and balance arrive in hundredths of a decibel; GStreamer's `volume` element wants
// a linear factor and `audiopanorama` (method=simple) a panorama value in [-1, 1] that
// scales one channel by (1 - |panorama|).

// 0 -> 1.0, -2000 -> 0.1. Clamped to what the `volume` element accepts (at most 10).
double gainFactor(int hundredthsOfDb);

// Balance < 0 attenuates the right channel by |balance|/100 dB (panorama < 0), > 0 the
// left one (panorama > 0). -5000 -> right channel at 10^(-50/20).
float panoramaForBalance(int hundredthsOfDb);
