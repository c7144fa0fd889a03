#include "playback/gapless_queue.h"

#include <utility>

std::optional<QString> GaplessQueue::takeBack() {
    if (handAgain_.empty())
        return std::nullopt;
    QString file = handAgain_.front();
    handAgain_.pop_front();
    return file;
}

bool GaplessQueue::handOver(const QString& file) {
    if (seeking_) {
        handAgain_.push_front(file);
        return false;
    }
    // A drop holds for what was handed over before it, not for a file chosen since.
    if (handedOver_.empty())
        dropped_ = false;
    handedOver_.push_back(file);
    notHeard_.push_back(file);
    return true;
}

void GaplessQueue::drop() {
    dropped_ = true;
    notHeard_.clear();
    handAgain_.clear();
}

GaplessQueue::AtSink GaplessQueue::streamStarts() {
    if (!std::exchange(firstStreamSeen_, true) || handedOver_.empty())
        return AtSink::Pass;
    if (dropped_) {
        // Nothing of a dropped file reaches the sink: the one before ends here.
        handedOver_.clear();
        dropping_ = true;
        return AtSink::EndHere;
    }
    arriving_ = handedOver_.front();
    handedOver_.pop_front();
    ++atSink_;
    return AtSink::Pass;
}

// Another rate or channel count opens the sound output anew, a longer break than starting the
// next file after the end: the one before ends here instead.
GaplessQueue::AtSink GaplessQueue::formatIs(int rate, int channels) {
    const bool changed = rate_ != 0 && (rate != rate_ || channels != channels_);
    rate_ = rate;
    channels_ = channels;
    if (!changed || arriving_.isEmpty())
        return AtSink::Pass;
    arriving_.clear();
    --atSink_;
    dropping_ = true;
    return AtSink::EndHere;
}

std::optional<QString> GaplessQueue::bufferArrives() {
    if (arriving_.isEmpty())
        return std::nullopt;
    return std::exchange(arriving_, QString());
}

GaplessQueue::Joint GaplessQueue::jointReached() {
    if (atSink_ == 0)
        return Joint::Ignore;
    if (dropped_)
        return Joint::EndHere; // dropped after it reached the sink: the one before just ended
    --atSink_;
    if (!notHeard_.empty())
        notHeard_.pop_front();
    return Joint::Heard;
}

bool GaplessQueue::seekStarts() {
    seeking_ = true;
    return atSink_ > 0 || !handedOver_.empty();
}

// Handed over again shortly before the end, as the caller chose them.
void GaplessQueue::reopened() {
    handAgain_.insert(handAgain_.begin(), notHeard_.begin(), notHeard_.end());
    notHeard_.clear();
    handedOver_.clear();
    arriving_.clear();
    atSink_ = rate_ = channels_ = 0;
    firstStreamSeen_ = dropping_ = false;
}
