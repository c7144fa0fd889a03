#include "playlist/play_list_model.h"

int PlayListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant PlayListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole || role == Qt::AccessibleTextRole)
        return entries_.at(index.row());
    if (role == PlayingRole)
        return index == playing_;
    if (role == Qt::AccessibleDescriptionRole && index == playing_)
        return QStringLiteral("playing");
    return {};
}

void PlayListModel::append(const QStringList& entries) {
    if (entries.isEmpty())
        return;
    const int first = count();
    beginInsertRows({}, first, first + static_cast<int>(entries.size()) - 1);
    entries_.append(entries);
    endInsertRows();
}

void PlayListModel::removeAt(int row) {
    if (row < 0 || row >= count())
        return;
    beginRemoveRows({}, row, row);
    entries_.removeAt(row);
    endRemoveRows();
}

void PlayListModel::setPlaying(const QModelIndex& index) {
    if (index == playing_)
        return;
    const QPersistentModelIndex was = std::exchange(playing_, QPersistentModelIndex(index));
    for (const QModelIndex& changed : {QModelIndex(was), index})
        if (changed.isValid())
            emit dataChanged(changed, changed);
}

void PlayListModel::clear() {
    beginResetModel();
    entries_.clear();
    endResetModel();
}
