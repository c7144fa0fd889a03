#include "playlist/entry_loader.h"

#include "playlist/play_list_model.h"

#include <QElapsedTimer>
#include <QMetaObject>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

// A batch goes over to the window at least this often, so the list grows visibly and each
// append (and the list view's layout after it) stays a small piece of work.
constexpr qint64 kHandOverMs = 40;
// Looking at the clock for every entry would cost more than the entry itself.
constexpr qsizetype kClockEvery = 1024;

} // namespace

// What one load's thread and the loader share. The loader lets go of it when it cancels, so
// the thread (perhaps blocked in a read for good) never reaches a loader that is gone.
struct EntryLoader::Shared {
    std::atomic<bool> cancelled{false};
    std::mutex mutex; // guards the fields below
    EntryLoader* owner = nullptr;
    QList<QStringList> ready;
    bool drainPosted = false;
    bool done = false;
    bool ok = true;

    // Loader's thread: queues a batch and wakes the owner unless a wake-up is pending.
    void hand(QStringList& batch, bool last) {
        const std::lock_guard lock(mutex);
        if (!batch.isEmpty())
            ready.append(std::move(batch));
        batch = QStringList();
        done = done || last;
        // Posted under the lock: the owner cannot be destroyed meanwhile, and a destroyed
        // object's posted calls are dropped with it.
        if (owner && !std::exchange(drainPosted, true))
            QMetaObject::invokeMethod(owner, &EntryLoader::drain, Qt::QueuedConnection);
    }
};

EntryLoader::EntryLoader(PlayListModel* list, QObject* parent) : QObject(parent), list_(list) {}

EntryLoader::~EntryLoader() {
    letGo();
}

void EntryLoader::letGo() {
    if (!shared_)
        return;
    shared_->cancelled = true;
    const std::lock_guard lock(shared_->mutex);
    shared_->owner = nullptr;
}

void EntryLoader::start(Producer producer) {
    cancel();
    letGo();
    shared_ = std::make_shared<Shared>();
    shared_->owner = this;
    running_ = true;
    added_ = 0;
    std::thread([shared = shared_, producer = std::move(producer)] {
        QStringList batch;
        QElapsedTimer clock;
        clock.start();
        const bool ok = producer([&](QString entry) {
            if (shared->cancelled.load(std::memory_order_relaxed))
                return false;
            batch.append(std::move(entry));
            if (batch.size() % kClockEvery == 0 && clock.elapsed() >= kHandOverMs) {
                shared->hand(batch, false);
                clock.restart();
            }
            return true;
        });
        {
            const std::lock_guard lock(shared->mutex);
            shared->ok = ok;
        }
        shared->hand(batch, true);
    }).detach();
}

void EntryLoader::drain() {
    QList<QStringList> ready;
    bool done = false;
    bool ok = true;
    {
        const std::lock_guard lock(shared_->mutex);
        ready.swap(shared_->ready);
        shared_->drainPosted = false;
        done = shared_->done;
        ok = shared_->ok;
    }
    if (!running_)
        return;
    for (const QStringList& batch : std::as_const(ready)) {
        list_->append(batch);
        added_ += batch.size();
    }
    if (!ready.isEmpty())
        emit progressed(added_);
    if (done) {
        running_ = false;
        emit finished(ok);
    }
}

void EntryLoader::cancel() {
    if (!running_)
        return;
    running_ = false;
    letGo();
    emit finished(true);
}
