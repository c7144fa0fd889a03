#pragma once

#include <QAbstractListModel>
#include <QPersistentModelIndex>
#include <QStringList>

// The entries of the play list, in the order they were added. A list view shows them; the
// entries are plain path texts and nothing else. Adding goes in one batch so that a list of
// 100,000 entries appears in one update instead of one repaint per entry.
class PlayListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    // True for the entry playing; screen readers are told "playing" (the description).
    static constexpr int PlayingRole = Qt::UserRole;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    int count() const { return static_cast<int>(entries_.size()); }
    QString entry(int row) const { return entries_.value(row); }
    const QStringList& entries() const { return entries_; }

    void append(const QStringList& entries);
    void removeAt(int row);
    void clear();

    // Marks the entry playing, or none; the mark moves with it as rows come and go.
    void setPlaying(const QModelIndex& index);
    int playingRow() const { return playing_.isValid() ? playing_.row() : -1; }

private:
    QStringList entries_;
    QPersistentModelIndex playing_;
};
