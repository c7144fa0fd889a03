#pragma once

#include <QLockFile>
#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <thread>

class Form1;
class Player;
struct WindowSettings;

// Keeps the play list and the window's settings between runs, for a window started with
// --remember. The list goes to a list file in the per-user data folder, written whole or not
// at all, at most a second after each change and at exit; the settings go to an INI file.
// The song playing or paused and the place in it go to a small file of their own, written
// when the state changes, every second while playing and at exit.
// Only one window at a time keeps them: the first to claim them.
class SessionKeeper : public QObject {
    Q_OBJECT
public:
    // The list, the mode and the levels are the player's; keep on top and the place are the
    // window's own.
    SessionKeeper(Player* player, Form1* window, const QString& dataFolder,
                  const QString& settingsFile);
    ~SessionKeeper() override;

    // The standard places: ~/.local/share/Marrowtune and ~/.config/Marrowtune (or where the
    // XDG variables point).
    static QString defaultDataFolder();
    static QString defaultSettingsFile();

    // False, with a line on stderr, when another window keeps them already.
    bool claim();
    // Before the window is shown: the list, the mode, the levels, on top and the place.
    // What cannot be read is set aside (renamed with ".bad.<time>") and said on stderr; a list
    // that cannot be opened, or what cannot be set aside, is left alone and not kept this run.
    void restore();
    // At exit: writes what has not been written yet.
    void saveNow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void listChanged();
    void settingsChanged();
    WindowSettings settings() const;
    void apply(const WindowSettings& kept);
    void writeList();
    void waitForWriter();
    void writeSettings();
    bool setAside(const QString& path, const QString& what);
    void restorePlace();
    void placeChanged();
    void writePlace(bool now);

    Player* player_;
    Form1* form_;
    QString listPath_;
    QString settingsPath_;
    QLockFile lock_;
    bool claimed_ = false;
    bool restoring_ = false;
    bool keepList_ = true; // false: the kept file is left alone, never written over
    bool keepSettings_ = true;
    bool listDirty_ = false;
    bool settingsDirty_ = false;
    QTimer listTimer_;
    QTimer settingsTimer_;
    std::thread writer_;
    std::atomic<bool> writing_{false};
    QString placePath_;
    QString placeWritten_;
    QTimer placeTimer_;
    QThreadPool placeWriter_; // one thread: the writes land in the order made
};
