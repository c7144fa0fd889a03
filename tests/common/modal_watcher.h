#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <functional>

// Answers modal windows for a test, so that no test waits for a person. While it lives it
// looks for the active modal widget every few milliseconds (the nested event loop of a modal
// window keeps timers running), records it and hands it to `answer`, which must close it.
class ModalWatcher : public QObject {
public:
    struct Seen {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
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
        repeats_ = w == last_ ? repeats_ + 1 : 0;
        last_ = w;
        // An answer that does not close its window must fail the test, not hang it.
        if (repeats_ > kMaxRepeats) {
            qWarning("ModalWatcher: '%s' did not close; closing it", qPrintable(w->windowTitle()));
            w->close(); // a dialog is rejected
            return;
        }
        Seen s{w->windowTitle(), {}, {}};
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            s.text = box->text();
            s.icon = box->icon();
        }
        seen << s;
        if (answer_)
            answer_(w);
        else if (auto* box = qobject_cast<QMessageBox*>(w)) // by default OK, on boxes only
            box->accept();
    }

    std::function<void(QWidget*)> answer_;
    QTimer timer_;
    static constexpr int kMaxRepeats = 200; // one second of polls
    QWidget* last_ = nullptr;
    int repeats_ = 0;
};
