#include "app/song_tooltip.h"

#include "playback/song_tag_reader.h"

#include <QAbstractItemView>
#include <QCursor>
#include <QHelpEvent>
#include <QToolTip>

SongTooltip::SongTooltip(QAbstractItemView* list)
    : QObject(list), list_(list), reader_(new SongTagReader(this)) {
    list_->viewport()->installEventFilter(this);
    connect(reader_, &SongTagReader::read, this, &SongTooltip::show);
}

bool SongTooltip::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip || watched != list_->viewport())
        return false;
    const auto* help = static_cast<QHelpEvent*>(event);
    wanted_ = list_->indexAt(help->pos());
    at_ = help->globalPos();
    if (wanted_.isValid())
        reader_->request(wanted_.data(Qt::ToolTipRole).toString());
    return true;
}

void SongTooltip::show(const QString& path, const SongTags& tags) {
    const QPoint pointer = list_->viewport()->mapFromGlobal(QCursor::pos());
    if (!wanted_.isValid() || wanted_.data(Qt::ToolTipRole).toString() != path ||
        list_->indexAt(pointer) != wanted_)
        return; // moved on meanwhile
    const QString text = tags.artist.isEmpty() || tags.title.isEmpty()
                             ? path
                             : tags.artist + QStringLiteral(" \u2013 ") + tags.title;
    QToolTip::showText(at_, text, list_->viewport(), list_->visualRect(wanted_));
    wanted_ = QPersistentModelIndex();
}
