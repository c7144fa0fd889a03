#pragma once

#include <QObject>
#include <QPointer>

class Player;
class QMessageBox;
class QWidget;

// Says that the sound output was lost and the song waits paused: one note beside the window,
// not over it, that takes neither the keys nor the clicks from it. Told again, the same note
// says it again; it goes once the song plays on or is stopped.
class OutputLostNote : public QObject {
    Q_OBJECT
public:
    OutputLostNote(Player* player, QWidget* window);

private:
    void tell(bool stillLost);
    void place();

    Player* player_;
    QWidget* window_;
    QPointer<QMessageBox> box_;
};
