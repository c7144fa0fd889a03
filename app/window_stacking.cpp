#include "app/window_stacking.h"

#include <QGuiApplication>
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

void describeKeepOnTop(QWidget* checkBox) {
    // Wayland gives a program no way to ask for it; X11 and XWayland do.
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return;
    const QString why =
        QStringLiteral("This desktop does not let a program keep its window on top.");
    checkBox->setToolTip(why);
    checkBox->setAccessibleDescription(why);
}
