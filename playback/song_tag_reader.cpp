#include "playback/song_tag_reader.h"

#include <QMetaObject>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

// Shared with the reading thread, which is never waited for: it may outlive the reader.
struct SongTagReader::Mailbox {
    std::mutex mutex;
    SongTagReader* owner = nullptr; // none once the reader is gone
    std::optional<QString> waiting;
    bool reading = false;
};

SongTagReader::SongTagReader(QObject* parent)
    : QObject(parent), mailbox_(std::make_shared<Mailbox>()) {
    mailbox_->owner = this;
}

SongTagReader::~SongTagReader() {
    const std::lock_guard lock(mailbox_->mutex);
    mailbox_->owner = nullptr;
}

void SongTagReader::request(const QString& path) {
    const std::lock_guard lock(mailbox_->mutex);
    mailbox_->waiting = path;
    if (std::exchange(mailbox_->reading, true))
        return;
    try {
        std::thread(readWaiting, mailbox_).detach();
    } catch (const std::system_error&) {
        mailbox_->reading = false; // no thread to be had: the next request tries again
    }
}

void SongTagReader::readWaiting(const std::shared_ptr<Mailbox>& box) {
    for (;;) {
        QString path;
        {
            const std::lock_guard lock(box->mutex);
            if (!box->owner || !box->waiting) {
                box->reading = false;
                return;
            }
            path = *std::exchange(box->waiting, std::nullopt);
        }
        const SongTags tags = readSongTags(path);
        // Posted under the lock, so the owner cannot go meanwhile; a reply still queued
        // when it goes is dropped with it.
        const std::lock_guard lock(box->mutex);
        if (SongTagReader* owner = box->owner)
            QMetaObject::invokeMethod(
                owner, [owner, path, tags] { emit owner->read(path, tags); }, Qt::QueuedConnection);
    }
}
