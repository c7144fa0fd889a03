#include "app/first_expose_hook.h"

#include <QEvent>
#include <QWindow>
#include <utility>

FirstExposeHook::FirstExposeHook(QWindow* window, std::function<void()> task)
    : QObject(window), task_(std::move(task)) {
    window->installEventFilter(this);
}

bool FirstExposeHook::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
        watched->removeEventFilter(this);
        // Queued: the window paints in answer to this very event, and that comes first.
        QMetaObject::invokeMethod(
            this,
            [this] {
                std::exchange(task_, {})();
                deleteLater();
            },
            Qt::QueuedConnection);
    }
    return false;
}
