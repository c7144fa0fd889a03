#pragma once

#include <QObject>

#include <memory>

class Player;
class QProgressDialog;
class QTimer;
class QWidget;

// Progress and Cancel over the window for a load of the player's that outlasts a short
// delay. Cancel cuts the load short; what it added stays.
class LoadProgress : public QObject {
    Q_OBJECT
public:
    LoadProgress(Player* player, QWidget* window);
    ~LoadProgress() override;

    void setDelay(int ms) { delayMs_ = ms; }

private:
    void show();
    void loadingChanged(bool loading);

    Player* player_;
    QWidget* window_;
    QTimer* delay_;
    // Half a second: quicker loads finish before a dialog would only flash up.
    int delayMs_ = 500;
    std::unique_ptr<QProgressDialog> dialog_;
    qint64 added_ = -1; // by the running load so far; -1 before its first batch
};
