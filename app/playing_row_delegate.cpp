#include "app/playing_row_delegate.h"

#include "playlist/play_list_model.h"

void PlayingRowDelegate::initStyleOption(QStyleOptionViewItem* option,
                                         const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.data(PlayListModel::PlayingRole).toBool())
        option->font.setBold(true);
}
