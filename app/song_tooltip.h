#pragma once

#include <QObject>
#include <QPersistentModelIndex>
#include <QPoint>

class QAbstractItemView;
class SongTagReader;
struct SongTags;

// The list's tooltip: "artist – title" from the tags of the entry under the pointer, else the
// entry's path. Only that entry is read (a list can hold millions of files), off the GUI
// thread; the tooltip shows once the tags are known, if the pointer is still on that entry.
class SongTooltip : public QObject {
    Q_OBJECT
public:
    explicit SongTooltip(QAbstractItemView* list);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show(const QString& path, const SongTags& tags);

    QAbstractItemView* list_;
    SongTagReader* reader_;
    QPersistentModelIndex wanted_;
    QPoint at_;
};
