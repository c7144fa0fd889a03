#pragma once

#include <QObject>
#include <functional>

class QWindow;

// Runs a task once, after the window is first on screen and painted: what the user does not
// need at once (loading the sound system, the window icon) must not hold the window back.
class FirstExposeHook : public QObject {
public:
    FirstExposeHook(QWindow* window, std::function<void()> task);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> task_;
};
