#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>

class Player;
class QWidget;

// What the player must tell the person at the window, in boxes over it: one at a time, in
// the order told, the next opening when the one before is closed. Nothing waits for them.
// A lost sound output is told apart, by an OutputLostNote that blocks nothing.
class NoticeBoxes : public QObject {
    Q_OBJECT
public:
    NoticeBoxes(Player* player, QWidget* window);

    void tell(QMessageBox::Icon icon, const QString& title, const QString& text);

private:
    void tellUnreadable(const QStringList& paths);
    void tellSkippedEntries(int skipped);

    QWidget* window_;
    QPointer<QMessageBox> open_;
    QList<QMessageBox*> waiting_;
};
