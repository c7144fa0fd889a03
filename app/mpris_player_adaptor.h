#pragma once

#include "playback/media_engine.h"
#include "playback/song_tags.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QVariantMap>
#include <optional>

class Player;
class SongTagReader;

// org.mpris.MediaPlayer2.Player: the player's controls for media keys and the desktop. Commands
// go to the player, which the window shows too. Changes are sent as PropertiesChanged,
// gathered once per event.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ canControl)
public:
    MprisPlayerAdaptor(QObject* parent, Player* player);

    // From now on, changes go out as PropertiesChanged from `path` on `bus`.
    void sendChangesOn(const QDBusConnection& bus, const QString& path);

    QString playbackStatus() const;
    double rate() const { return 1.0; }
    void setRate(double rate);
    QVariantMap metadata() const;
    double volume() const;
    void setVolume(double volume);
    qlonglong position() const;
    bool canGoNext() const;
    bool canGoPrevious() const;
    bool canPlay() const;
    bool canPause() const;
    bool canSeek() const;
    bool canControl() const { return true; }

public slots:
    void Next();
    void Previous();
    void Pause();
    void PlayPause();
    void Stop();
    void Play();
    void Seek(qlonglong Offset);
    void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position);
    void OpenUri(const QString& Uri);

signals:
    void Seeked(qlonglong Position);

private:
    // What the properties that are signalled said when last sent.
    struct Sent {
        QString status;
        quint64 track = 0;
        QString file;
        quint64 tagsRead = 0;
        std::optional<qlonglong> length;
        int volume = 0;
        bool canGoNext = false, canGoPrevious = false, canPlay = false, canPause = false,
             canSeek = false;
    };

    bool hasSong() const;
    int nextRow() const;
    int previousRow() const;
    QDBusObjectPath trackId() const;
    std::optional<qlonglong> lengthUs() const;
    // The playing file's tags, read once per track off this thread: until they are known the
    // file name stands for the title.
    void readTags();
    void tagsRead(const QString& file, const SongTags& tags);
    void noteChange();
    Sent current() const;
    void sendChanges();

    Player* player_;
    std::optional<QDBusConnection> bus_;
    QString path_;
    bool sendPending_ = false;
    Sent sent_;
    SongTagReader* tagReader_;
    QString tagsFile_; // whose tags `tags_` are
    SongTags tags_;
    quint64 tagsRead_ = 0;
};
