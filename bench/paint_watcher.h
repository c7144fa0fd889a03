#pragma once

#include <QObject>

// Tells when a widget has been painted, so that a figure ends when the user can see the result
// and not merely when the data is in place.
class PaintWatcher : public QObject {
public:
    explicit PaintWatcher(QWidget* widget);

    // Processes events until the widget has painted since the last call (or since creation).
    // Returns false if that took longer than `timeoutMs`.
    bool waitForPaint(int timeoutMs = 30000);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool painted_ = false;
};
