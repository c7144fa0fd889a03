#include "app/output_lost_note.h"

#include "player/player.h"

#include <QMessageBox>
#include <QScreen>

namespace {

constexpr int kGap = 8;

} // namespace

OutputLostNote::OutputLostNote(Player* player, QWidget* window)
    : QObject(window), player_(player), window_(window) {
    connect(player, &Player::outputLost, this, &OutputLostNote::tell);
    connect(player, &Player::stateChanged, this, [this] {
        const Player::PlayState state = player_->state();
        if (box_ && (state == Player::PlayState::Playing || state == Player::PlayState::Stopped))
            box_->close();
    });
}

void OutputLostNote::tell(bool stillLost) {
    if (!box_) {
        box_ = new QMessageBox(QMessageBox::Warning, QStringLiteral("Marrowtune: no sound"), {},
                               QMessageBox::Ok, window_);
        box_->setAttribute(Qt::WA_DeleteOnClose);
        // A modal box would hold the keys and the Resume button until dismissed.
        box_->setWindowModality(Qt::NonModal);
        box_->setAttribute(Qt::WA_ShowWithoutActivating);
    }
    box_->setText(stillLost ? QStringLiteral("The sound output is still not back. Playback stays "
                                             "paused here; press Resume again once it is.")
                            : QStringLiteral("The sound output was lost. Playback is paused "
                                             "here; press Resume when the sound is back."));
    place();
    box_->show();
}

// Below the window, or above it where the screen ends, so that the Resume button stays free.
void OutputLostNote::place() {
    box_->adjustSize();
    const QRect frame = window_->frameGeometry();
    const int height = box_->height() + (frame.height() - window_->height());
    int y = frame.bottom() + kGap;
    if (const QScreen* screen = window_->screen();
        y + height > screen->availableGeometry().bottom())
        y = frame.top() - kGap - height;
    box_->move(frame.left(), y);
}
