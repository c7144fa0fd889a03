#pragma once

#include "playback/media_engine.h"
#include "playback/next_entry.h"

#include <QObject>
#include <QPersistentModelIndex>
#include <QStringList>

#include <functional>
#include <optional>

class ListLoading;
class PlayListModel;

// The player: the play list, the engine and what runs between them (what plays, whether the
// user paused it, what is queued to follow, and the walk on at the end of a track). The
// window, the desktop's media controls, the kept session and the command line all ask it;
// each draws or sends what it tells through its signals.
//
// Nothing here waits: a start is answered later by the engine, and loads run on threads of
// their own, one at a time.
class Player : public QObject {
    Q_OBJECT
public:
    using PlayState = MediaEngine::PlayState;

    // Takes the engine over.
    explicit Player(MediaEngine* engine, QObject* parent = nullptr);
    ~Player() override;

    // Where random picks come from (uniform in [0, 1)).
    void setRandomSource(std::function<double()> source);

    PlayListModel* list() const { return list_; }
    // What the engine reports.
    PlayState state() const;
    std::optional<double> length() const;
    double position() const;
    // What the user asked with the Pause button: true after a pause, false after a resume.
    // Starting and stopping leave it as it is.
    bool pausedByUser() const { return pausedByUser_; }
    // Whether a track was started since the last stop, so there is something to pause.
    bool pauseOffered() const { return pauseOffered_; }
    // The file shown as the current one: the selected entry, the one playing, the one added
    // last; empty after a stop or a removal. What Play hands to the engine.
    QString currentFile() const { return currentFile_; }
    // The file the engine plays or was last given.
    QString playingFile() const;
    // -1 for none.
    int selected() const;
    // The entry playing or paused, marked in the list.
    int playing() const;
    PlayMode mode() const { return mode_; }
    // Counts the songs started, one after the other without a gap or not.
    quint64 songNumber() const { return songNumber_; }

    // The user selected `row` (-1 for none): the current file follows.
    void select(int row);
    // Starts the selected entry; with none, or an empty one, says there is no file to play.
    void play();
    void playEntry(int row);
    // Brings a song back where it was left, paused at `seconds`: nothing is heard until the
    // user resumes. A song that no longer starts is told by placeNotRestored, and the player
    // stays stopped.
    void restorePlace(int row, double seconds);
    // The Pause button: pauses unless the user paused last, else plays on.
    void togglePause();
    // For the media controls: pauses what plays, plays on what is paused.
    void pause();
    void resume();
    void stop();
    bool seek(double seconds);
    void setMode(PlayMode mode);

    // Adds one file; it becomes the current file, the selection stays.
    void addFile(const QString& path);
    // Adds entries found at once (a folder, a drop); neither the selection nor the current
    // file changes.
    void addEntries(const QStringList& entries);
    void removeAt(int row);
    void clear();

    // Appends the entries of the list file at `path`, read on a thread of its own.
    void loadList(const QString& path);
    // Adds files, folders and list files given from outside (the command line, a second
    // launch, the desktop); then the first added entry plays unless `enqueue`.
    void openPaths(const QStringList& paths, bool enqueue);
    // Adds what was dropped on the list, as openPaths() does without playing; only entries
    // left out of list files are told.
    void addDropped(const QStringList& paths);
    // Loads run one at a time: each asked for while another runs waits for it.
    bool loading() const;
    // Cuts the running load short, keeping what it added, and drops those waiting. When the
    // program is closing, a load it cuts short marks the list cut short.
    void cancelLoading(bool closing = false);
    // A load was cut short by closing: the list is not the one the user had.
    bool listCutShort() const { return listCutShort_; }

    int volume() const;
    bool setVolume(int hundredthsOfDb);
    int balance() const;
    bool setBalance(int hundredthsOfDb);
    bool mute() const;
    bool setMute(bool on);

signals:
    void currentFileChanged(const QString& file);
    void selectionChanged(int row);
    // The engine's state, pausedByUser() or pauseOffered() changed.
    void stateChanged();
    // A song was started or joined on: its length is known.
    void songStarted();
    void lengthChanged();
    void positionJumped();
    // The user moved the position.
    void seeked();
    void modeChanged(PlayMode mode);
    void levelsChanged();
    void loadProgressed(qint64 added);
    void loadingChanged(bool loading);

    // What the person at the player must be told.
    void noFileToPlay();
    void startRefused(const QString& file, const QString& reason);
    // The sound output failed under the song: it is paused where the sound stopped. Told
    // again, `stillLost`, when a resume found no output either.
    void outputLost(bool stillLost);
    void listNotRead();
    void entriesLeftOut(int count);
    void pathsUnreadable(const QStringList& paths);
    void foldersWithoutFiles();
    void placeNotRestored(const QString& file, const QString& reason);

private:
    void markPlaying();
    void setCurrentFile(const QString& file);
    void moveSelection(int row);
    void setPauseOffered(bool offered);
    void startCurrentFile(const QPersistentModelIndex& entry, bool automatic);
    void playOn();
    void startAnswered(quint64 generation, bool started, const QString& reason);
    void noteSongStarted(const QPersistentModelIndex& entry);
    void walkOn();
    void MediaPlayer1_EndOfStream(int result);
    void MediaPlayer1_AboutToFinish();
    void MediaPlayer1_QueuedStarted();
    void MediaPlayer1_OutputLost(bool stillLost);
    void dropQueued();
    QPersistentModelIndex indexOf(int row) const;

    MediaEngine* MediaPlayer1;
    PlayListModel* list_;
    ListLoading* loading_;
    std::function<double()> random_;

    // What the user asked for.
    PlayMode mode_ = PlayMode::None;
    QPersistentModelIndex selected_;
    QString currentFile_;
    bool pausedByUser_ = false;

    // What the engine was told and has answered.
    struct PendingStart {
        quint64 generation = 0;
        QPersistentModelIndex entry;
        QString file;
        bool automatic = false;      // by the walk at the end of a track, not by the user
        bool goingOn = false;        // the song again, from where the sound output failed
        std::optional<double> place; // where a song brought back goes once started
    };
    PendingStart pending_;
    QPersistentModelIndex playing_;
    QList<QPersistentModelIndex> queued_; // to follow without a gap, not heard yet
    // Automatic starts that failed in a row (a track that broke off counts as one); the walk
    // stops when they reach the limit.
    int failedStarts_ = 0;
    bool pauseOffered_ = false;
    bool outputLost_ = false; // the song is paused where the sound output failed
    quint64 songNumber_ = 0;
    bool listCutShort_ = false;
};
