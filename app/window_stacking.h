#pragma once

class QWidget;

// Keeps a top-level window above ordinary windows, or returns it to ordinary stacking, and
// brings it to the front. The native window is kept: re-creating it would flicker, move the
// window and drop its task-bar place.
void setKeptOnTop(QWidget* window, bool onTop);
