#include "playback/gain_mapping.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

double gainFactor(int hundredthsOfDb) {
    return std::min(10.0, std::pow(10.0, hundredthsOfDb / 2000.0));
}

float panoramaForBalance(int hundredthsOfDb) {
    const double kept = std::pow(10.0, -std::abs(hundredthsOfDb) / 2000.0);
    const double pan = 1.0 - kept;
    return static_cast<float>(hundredthsOfDb < 0 ? -pan : pan);
}
