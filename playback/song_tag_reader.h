#pragma once

#include "playback/song_tags.h"

#include <QObject>
#include <memory>

// Reads songs' tags on a thread of its own, so that the thread asking never waits on a disk.
// Only the newest request waits behind the one being read: those before it are no longer
// wanted. A read that hangs (a network share gone) holds up later ones, never the asker.
class SongTagReader : public QObject {
    Q_OBJECT
public:
    explicit SongTagReader(QObject* parent = nullptr);
    ~SongTagReader() override;

    // `read` follows on this object's thread once the file's tags are known.
    void request(const QString& path);

signals:
    void read(const QString& path, const SongTags& tags);

private:
    struct Mailbox;
    // The reading thread's loop: reads what waits until nothing does.
    static void readWaiting(const std::shared_ptr<Mailbox>& box);

    std::shared_ptr<Mailbox> mailbox_;
};
