#pragma once

#include <QObject>
#include <QStringList>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

class PlayListModel;

// Adds entries to the play list from a thread of its own, in batches, so that a list file of
// millions of entries never holds up the window: the producer reads and decodes off the GUI
// thread and the list grows a batch at a time while the window keeps painting.
class EntryLoader : public QObject {
    Q_OBJECT
public:
    // Gets each entry as the producer finds it; false means stop.
    using Take = std::function<bool(QString)>;
    // Runs on the loader's thread; returns false when it could not read everything.
    using Producer = std::function<bool(const Take& take)>;

    explicit EntryLoader(PlayListModel* list, QObject* parent = nullptr);
    // Stops the producer at its next entry and waits for it.
    ~EntryLoader() override;

    void start(Producer producer);
    // Stops adding at once; what was added stays. finished() still follows.
    void cancel();
    bool running() const { return running_; }
    qint64 added() const { return added_; }

signals:
    void progressed(qint64 added);
    // Every batch is in the list by now; `ok` is false when the producer failed.
    void finished(bool ok);

private:
    void hand(QStringList& batch, bool last);
    void drain();
    void join();

    PlayListModel* list_;
    std::thread thread_;
    std::atomic<bool> cancelled_{false};
    bool running_ = false;
    qint64 added_ = 0;

    std::mutex mutex_; // guards the fields below
    QList<QStringList> ready_;
    bool drainPosted_ = false;
    bool done_ = false;
    bool ok_ = true;
};
