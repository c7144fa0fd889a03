#pragma once

class QWidget;

// Keeps a top-level window above ordinary windows, or returns it to ordinary stacking, and
// brings it to the front. The native window is kept: re-creating it would flicker, move the
// window and drop its task-bar place.
void setKeptOnTop(QWidget* window, bool onTop);

// On a desktop that lets no program keep its window on top, the check box that records the
// state says so in its tooltip and to screen readers.
void describeKeepOnTop(QWidget* checkBox);
