#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <mutex>
#include <random>

class Form1;
class QDialog;
class QMenu;
class QWidget;

// A person who cannot stop pressing things: at random moments, clicks on the window's
// buttons, rows and options, its keys and menu shortcuts, slider moves, files dropped on the
// list; and whatever box or dialog the window opens is answered (a file, a list, a name, OK,
// Cancel). Works the real widgets through their events, as the desktop would deliver them.
class MonkeyHands : public QObject {
    Q_OBJECT
public:
    // `media` are offered wherever a file is asked for (good, broken and missing ones);
    // `lists` wherever a list is.
    MonkeyHands(Form1* window, QStringList media, QStringList lists, std::uint32_t seed);

    // Presses until `ms` have passed, then answers what is still open and calls `finished`.
    void run(qint64 ms, std::function<void()> finished);
    // While held, nothing is pressed and nothing open is answered.
    void hold(bool on) { held_ = on; }
    int actions() const { return actions_; }
    int boxesAnswered() const { return boxes_; }
    // What was done last, for a report from another thread.
    QString lastAction() const;
    // Logs what was done, from any thread, with the time into the run.
    void note(const QString& what);

private:
    void step();
    void act();
    bool answerOpenWindow();
    void answerDialog(QDialog* dialog);
    void answerMenu(QMenu* menu);
    void click(QWidget* w);
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, QWidget* to = nullptr);
    void touchList();
    void moveSlider(const char* name);
    void dropFiles();
    void typeInto(const char* name);
    int below(int n);
    const QString& pick(const QStringList& from);

    Form1* window_;
    QStringList media_;
    QStringList lists_;
    std::mt19937 random_;
    QElapsedTimer clock_;
    qint64 runMs_ = 0;
    std::function<void()> finished_;
    bool done_ = false;
    bool held_ = false;
    int actions_ = 0;
    int boxes_ = 0;
    mutable std::mutex lastMutex_;
    QString last_ = QStringLiteral("nothing yet");
};
