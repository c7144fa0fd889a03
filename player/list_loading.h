#pragma once

#include "playlist/entry_loader.h"

#include <QObject>

#include <deque>
#include <functional>

class PlayListModel;

// What is added to the play list from files and folders, one load at a time: a load asked for
// while another runs waits for it. Each reads on a thread of its own and its outcome comes back
// on this thread, so nothing here ever waits for a disk.
class ListLoading : public QObject {
    Q_OBJECT
public:
    using Producer = EntryLoader::Producer;
    struct Outcome {
        bool ok = true;         // false when the producer failed
        bool cancelled = false; // cut short: what it added stays
        int firstRow = 0;       // where its entries begin
        qint64 added = 0;
    };
    // Runs on this thread when the load is over.
    using Finish = std::function<void(const Outcome&)>;

    explicit ListLoading(PlayListModel* list, QObject* parent = nullptr);

    void add(Producer producer, Finish finish);
    // Cuts the running load short and drops those waiting; returns at once.
    void cancel();
    bool busy() const { return busy_; }

signals:
    void progressed(qint64 added);
    void busyChanged(bool busy);

private:
    struct Load {
        Producer producer;
        Finish finish;
    };
    void startNext();
    void finished(bool ok);

    PlayListModel* list_;
    EntryLoader loader_;
    std::deque<Load> waiting_;
    Finish finish_; // of the load that runs
    int firstRow_ = 0;
    bool busy_ = false;
    bool cancelling_ = false;
};
