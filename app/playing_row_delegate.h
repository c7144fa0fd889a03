#pragma once

#include <QStyledItemDelegate>

// Draws the entry playing in bold, so it stays found whatever row is selected.
class PlayingRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};
