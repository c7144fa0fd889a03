#pragma once

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

class PlayListModel;

// Adds entries to the play list from a thread of its own, in batches, so that a list file of
// millions of entries never holds up the window: the producer reads and decodes off the GUI
// thread and the list grows a batch at a time while the window keeps painting. Nothing here
// ever waits for that thread: a reader stuck on a stalled disk is left to end on its own.
class EntryLoader : public QObject {
    Q_OBJECT
public:
    // Gets each entry as the producer finds it; false means stop.
    using Take = std::function<bool(QString)>;
    // Runs on the loader's thread, which may outlive the loader: whatever it uses must be
    // its own (captured by value or shared). Returns false when it could not read everything.
    using Producer = std::function<bool(const Take& take)>;

    explicit EntryLoader(PlayListModel* list, QObject* parent = nullptr);
    // Cancels what runs, without waiting for it.
    ~EntryLoader() override;

    // One load at a time: starting while one runs cancels it first.
    void start(Producer producer);
    // Stops adding at once; what was added stays. finished(true) follows at once, and the
    // producer stops at its next entry.
    void cancel();
    bool running() const { return running_; }
    qint64 added() const { return added_; }

signals:
    void progressed(qint64 added);
    // Every batch is in the list by now; `ok` is false when the producer failed.
    void finished(bool ok);

private:
    struct Shared;
    void drain();
    void letGo();

    PlayListModel* list_;
    std::shared_ptr<Shared> shared_; // with the thread of the load that runs
    bool running_ = false;
    qint64 added_ = 0;
};
