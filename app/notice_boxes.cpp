#include "app/notice_boxes.h"

#include "app/output_lost_note.h"
#include "player/player.h"

NoticeBoxes::NoticeBoxes(Player* player, QWidget* window) : QObject(window), window_(window) {
    const QString error = QStringLiteral("Error");
    connect(player, &Player::noFileToPlay, this,
            [this, error] { tell(QMessageBox::NoIcon, error, QStringLiteral("No file to play")); });
    connect(player, &Player::startRefused, this,
            [this](const QString& file, const QString& reason) {
                // A list entry can be any text, 64 KiB of it: laid out whole, it held the
                // window for a second.
                const QString name =
                    file.size() <= 300 ? file : file.left(150) + QChar(0x2026) + file.right(150);
                tell(QMessageBox::Warning, QStringLiteral("Marrowtune"),
                     QStringLiteral("Cannot play %1: %2").arg(name, reason));
            });
    connect(player, &Player::listNotRead, this,
            [this, error] { tell(QMessageBox::NoIcon, error, QStringLiteral("File Not Found")); });
    connect(player, &Player::pathsUnreadable, this, &NoticeBoxes::tellUnreadable);
    connect(player, &Player::foldersWithoutFiles, this, [this, error] {
        tell(QMessageBox::NoIcon, error, QStringLiteral("No files were found in specific folder"));
    });
    connect(player, &Player::entriesLeftOut, this, &NoticeBoxes::tellSkippedEntries);
    new OutputLostNote(player, window); // not a box of these: it must not wait for them
}

void NoticeBoxes::tell(QMessageBox::Icon icon, const QString& title, const QString& text) {
    auto* box = new QMessageBox(icon, title, text, QMessageBox::Ok, window_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QDialog::finished, this, [this] {
        open_ = waiting_.isEmpty() ? nullptr : waiting_.takeFirst();
        if (open_)
            open_->open();
    });
    if (open_) {
        waiting_.append(box);
        return;
    }
    open_ = box;
    box->open();
}

void NoticeBoxes::tellUnreadable(const QStringList& paths) {
    // Thousands of missing paths must not make a box taller than the screen.
    constexpr int kNamedAtMost = 12;
    QStringList lines = paths.mid(0, kNamedAtMost);
    if (paths.size() > kNamedAtMost)
        lines << QStringLiteral("... and %1 more").arg(paths.size() - kNamedAtMost);
    tell(QMessageBox::NoIcon, QStringLiteral("Error"),
         QStringLiteral("These do not exist or cannot be read:\n") + lines.join(QLatin1Char('\n')));
}

void NoticeBoxes::tellSkippedEntries(int skipped) {
    const QString what = skipped == 1
                             ? QStringLiteral("1 entry of the list was left out")
                             : QStringLiteral("%1 entries of the list were left out").arg(skipped);
    tell(QMessageBox::Information, QStringLiteral("Marrowtune"),
         what + QStringLiteral(": web addresses and other lists are not played."));
}
