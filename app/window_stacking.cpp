#include "app/window_stacking.h"

#include <QWidget>
#include <QWindow>

void setKeptOnTop(QWidget* window, bool onTop) {
    Qt::WindowFlags flags = window->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, onTop);
    // setWindowFlag() would destroy and re-create the native window; telling the existing
    // one changes only the window manager's "above" state (_NET_WM_STATE_ABOVE on X11).
    window->overrideWindowFlags(flags);
    if (QWindow* handle = window->windowHandle())
        handle->setFlags(flags);
    window->raise();
    window->activateWindow();
}
