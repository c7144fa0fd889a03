#pragma once

#include <QColor>

// Contrast between two colours as the WCAG defines it: 1 (none) to 21 (black on white).
double contrastRatio(const QColor& a, const QColor& b);

// The text colour the window draws on `background`: white where white reads (4.5 : 1), as
// the window was designed on dark menus; otherwise the palette's own text colour for that
// background, or black or white, whichever reads better, when even that one does not.
QColor readableTextColour(const QColor& background, const QColor& paletteText);

// What the volume readout is drawn on: its red (v / 10) must read at 3 : 1, so where it does
// not on the window's background the label gets a white plate behind its own rectangle.
QColor volumeReadoutPlate(const QColor& red, const QColor& background);
