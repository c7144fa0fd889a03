#include "app/text_colours.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kTextContrast = 4.5;
// Large or graphical text: the red scale is a level indicator as much as a text.
constexpr double kReadoutContrast = 3.0;

double channel(double c) {
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& c) {
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

} // namespace

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableTextColour(const QColor& background, const QColor& paletteText) {
    const QColor white(Qt::white);
    if (contrastRatio(white, background) >= kTextContrast)
        return white;
    if (contrastRatio(paletteText, background) >= kTextContrast)
        return paletteText;
    const QColor black(Qt::black);
    return contrastRatio(black, background) >= contrastRatio(white, background) ? black : white;
}

QColor volumeReadoutPlate(const QColor& red, const QColor& background) {
    return contrastRatio(red, background) >= kReadoutContrast ? background : QColor(Qt::white);
}
