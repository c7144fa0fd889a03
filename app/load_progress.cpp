#include "app/load_progress.h"

#include "player/player.h"

#include <QProgressDialog>
#include <QTimer>

LoadProgress::LoadProgress(Player* player, QWidget* window)
    : QObject(window), player_(player), window_(window), delay_(new QTimer(this)) {
    delay_->setSingleShot(true);
    connect(delay_, &QTimer::timeout, this, &LoadProgress::show);
    connect(player_, &Player::loadingChanged, this, &LoadProgress::loadingChanged);
    connect(player_, &Player::loadProgressed, this, [this](qint64 added) {
        added_ = added;
        if (dialog_)
            show();
    });
}

LoadProgress::~LoadProgress() = default;

void LoadProgress::loadingChanged(bool loading) {
    if (loading) {
        delay_->start(delayMs_);
        return;
    }
    delay_->stop();
    dialog_.reset();
    added_ = -1;
}

// Nearly every load ends within the delay, so the dialog is built only for one that does
// not: building it loads the desktop's dialog font and a dozen widgets for nothing.
void LoadProgress::show() {
    const QString text = added_ < 0
                             ? QStringLiteral("Adding to the play list...")
                             : QStringLiteral("Adding to the play list: %L1 entries").arg(added_);
    if (!dialog_) {
        dialog_ = std::make_unique<QProgressDialog>(text, QStringLiteral("Cancel"), 0, 0, window_);
        dialog_->setObjectName(QStringLiteral("progress"));
        dialog_->setWindowTitle(QStringLiteral("Marrowtune"));
        dialog_->setWindowModality(Qt::WindowModal);
        // Cancel keeps what was added, as a load that fails halfway does.
        connect(dialog_.get(), &QProgressDialog::canceled, player_,
                [this] { player_->cancelLoading(); });
        dialog_->show();
    }
    dialog_->setLabelText(text);
}
