#include "bench/paint_watcher.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QWidget>

PaintWatcher::PaintWatcher(QWidget* widget) : QObject(widget) {
    widget->installEventFilter(this);
}

bool PaintWatcher::waitForPaint(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    // The flag is read only after processEvents returns, by when the paint (and the flush of
    // the window that carried it) has finished.
    while (!painted_ && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    const bool painted = painted_;
    painted_ = false;
    return painted;
}

bool PaintWatcher::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::Paint)
        painted_ = true;
    return false;
}
