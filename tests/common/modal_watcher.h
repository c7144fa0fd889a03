#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <functional>

// Answers modal windows for a test, so that no test waits for a person. While it lives it
// looks for the active modal widget every few milliseconds (the nested event loop of a modal
// window keeps timers running), records it and hands it to `answer`, which must close it
// (one that stays open hangs the test until CTest's timeout ends it).
class ModalWatcher : public QObject {
public:
    struct Seen {
        QString title;
        QString text;
    };

    explicit ModalWatcher(std::function<void(QWidget*)> answer = {}) : answer_(std::move(answer)) {
        connect(&timer_, &QTimer::timeout, this, &ModalWatcher::poll);
        timer_.start(5);
    }

    QList<Seen> seen;

private:
    void poll() {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible())
            return;
        auto* box = qobject_cast<QMessageBox*>(w);
        seen << Seen{w->windowTitle(), box ? box->text() : QString()};
        if (answer_)
            answer_(w);
        else if (box) // by default OK, on boxes only
            box->accept();
    }

    std::function<void(QWidget*)> answer_;
    QTimer timer_;
};
