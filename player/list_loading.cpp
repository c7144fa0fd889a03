#include "player/list_loading.h"

#include "playlist/play_list_model.h"

ListLoading::ListLoading(PlayListModel* list, QObject* parent)
    : QObject(parent), list_(list), loader_(list, this) {
    connect(&loader_, &EntryLoader::progressed, this, &ListLoading::progressed);
    connect(&loader_, &EntryLoader::finished, this, &ListLoading::finished);
}

void ListLoading::add(Producer producer, Finish finish) {
    waiting_.push_back({std::move(producer), std::move(finish)});
    if (!busy())
        startNext();
}

void ListLoading::startNext() {
    const bool wasBusy = std::exchange(busy_, !waiting_.empty());
    if (busy_) {
        Load load = std::move(waiting_.front());
        waiting_.pop_front();
        finish_ = std::move(load.finish);
        firstRow_ = list_->count();
        loader_.start(std::move(load.producer));
    }
    if (busy_ != wasBusy)
        emit busyChanged(busy_);
}

void ListLoading::finished(bool ok) {
    const Finish finish = std::exchange(finish_, {});
    if (finish)
        finish({ok, cancelling_, firstRow_, loader_.added()});
    startNext();
}

void ListLoading::cancel() {
    waiting_.clear();
    cancelling_ = true;
    loader_.cancel(); // finished() follows at once
    cancelling_ = false;
}
