#include "playlist/entry_loader.h"

#include "playlist/play_list_model.h"

#include <QElapsedTimer>
#include <QMetaObject>

namespace {

// A batch goes over to the window at least this often, so the list grows visibly and each
// append (and the list view's layout after it) stays a small piece of work.
constexpr qint64 kHandOverMs = 40;
// Looking at the clock for every entry would cost more than the entry itself.
constexpr qsizetype kClockEvery = 1024;

} // namespace

EntryLoader::EntryLoader(PlayListModel* list, QObject* parent) : QObject(parent), list_(list) {}

EntryLoader::~EntryLoader() {
    cancelled_ = true;
    join();
}

void EntryLoader::join() {
    if (thread_.joinable())
        thread_.join();
}

void EntryLoader::start(Producer producer) {
    cancel();
    join();
    cancelled_ = false;
    running_ = true;
    added_ = 0;
    {
        const std::lock_guard lock(mutex_);
        ready_.clear();
        done_ = false;
        ok_ = true;
    }
    thread_ = std::thread([this, producer = std::move(producer)] {
        QStringList batch;
        QElapsedTimer clock;
        clock.start();
        const bool ok = producer([&](QString entry) {
            if (cancelled_.load(std::memory_order_relaxed))
                return false;
            batch.append(std::move(entry));
            if (batch.size() % kClockEvery == 0 && clock.elapsed() >= kHandOverMs) {
                hand(batch, false);
                clock.restart();
            }
            return true;
        });
        {
            const std::lock_guard lock(mutex_);
            ok_ = ok;
        }
        hand(batch, true);
    });
}

// Loader thread: queues a batch and wakes the window's thread unless a wake-up is pending.
void EntryLoader::hand(QStringList& batch, bool last) {
    bool post = false;
    {
        const std::lock_guard lock(mutex_);
        if (!batch.isEmpty())
            ready_.append(std::move(batch));
        done_ = done_ || last;
        post = !drainPosted_;
        drainPosted_ = true;
    }
    batch = QStringList();
    if (post)
        QMetaObject::invokeMethod(this, &EntryLoader::drain, Qt::QueuedConnection);
}

void EntryLoader::drain() {
    QList<QStringList> ready;
    bool done = false;
    bool ok = true;
    {
        const std::lock_guard lock(mutex_);
        ready.swap(ready_);
        drainPosted_ = false;
        done = done_;
        ok = ok_;
    }
    if (!running_)
        return; // cancelled: what comes after is dropped
    for (const QStringList& batch : std::as_const(ready)) {
        list_->append(batch);
        added_ += batch.size();
    }
    if (!ready.isEmpty())
        emit progressed(added_);
    if (done) {
        running_ = false;
        join();
        emit finished(ok);
    }
}

void EntryLoader::cancel() {
    if (!running_)
        return;
    cancelled_ = true;
    running_ = false;
    join(); // the producer stops at its next entry
    emit finished(true);
}
