#include "playback/song_tag_reader.h"

#include <QMetaObject>
#include <dlfcn.h>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

namespace {

using ReadTags = void (*)(const QString* path, SongTags* tags);

// Linked to the program, TagLib would cost every start about 2 ms and a megabyte of memory; in a
// module of its own, beside the program (MARROWTUNE_TAG_MODULE), it is loaded by a reading thread
// and let go when that thread has nothing more to read, so a playing song does not keep it in
// memory. Null without it: songs then show no tags.
void* openTagModule() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::string module = (program.parent_path() / MARROWTUNE_TAG_MODULE).string();
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        static std::once_flag warned;
        std::call_once(warned, [] { qWarning("Song tags cannot be read: %s", dlerror()); });
    }
    return handle;
}

} // namespace

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
    // A thread starts for a request, so there is always something to read.
    const std::unique_ptr<void, int (*)(void*)> module(openTagModule(), dlclose);
    const auto read =
        module ? reinterpret_cast<ReadTags>(dlsym(module.get(), "marrowtuneReadSongTags"))
               : nullptr;
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
        SongTags tags;
        if (read)
            read(&path, &tags);
        // Posted under the lock, so the owner cannot go meanwhile; a reply still queued
        // when it goes is dropped with it.
        const std::lock_guard lock(box->mutex);
        if (SongTagReader* owner = box->owner)
            QMetaObject::invokeMethod(
                owner, [owner, path, tags] { emit owner->read(path, tags); }, Qt::QueuedConnection);
    }
}
