#pragma once

#include <QString>
#include <deque>
#include <optional>

// The files that follow the playing one without a gap, from the moment they are handed to
// playbin, through their arrival at the sink, to the joint where they are heard. Pure: the
// pipeline's threads tell it what happened and it says what to do; whoever shares it holds
// its lock around every call.
class GaplessQueue {
public:
    // What becomes of the event that brought a queued file's stream or format to the sink.
    enum class AtSink { Pass, EndHere };
    // What the moment a queued file's first sound is due means.
    enum class Joint { Ignore, Heard, EndHere };

    // A new file is loaded: nothing is queued, and the first stream at the sink is its own.
    void clear() { *this = {}; }

    // Playbin is about to finish: a file a seek took back, handed over again without asking
    // the caller, who chose it already.
    std::optional<QString> takeBack();
    // The caller's `file` goes to playbin as the next one; false while a seek is under way,
    // when it waits for the next about-to-finish instead.
    bool handOver(const QString& file);
    // The caller no longer wants what it queued: the playing file ends as if none were queued.
    void drop();

    // At the sink's pad: everything that reaches it is dropped after a queued file was turned
    // into the end of the one before.
    bool dropping() const { return dropping_; }
    AtSink streamStarts();
    AtSink formatIs(int rate, int channels);
    bool arriving() const { return !arriving_.isEmpty(); }
    // The first buffer at the sink: the file it begins, once.
    std::optional<QString> bufferArrives();

    Joint jointReached();
    // At the sink, not heard yet: the pipeline's position is already the next file's.
    bool waitingAtSink() const { return atSink_ > 0; }

    // A flushing seek starts: nothing goes to playbin until it settled. True when a file was
    // handed over, which playbin would seek in: the playing file must be opened again.
    bool seekStarts();
    // The playing file was opened again: what was handed over and not heard is taken back.
    void reopened();
    void seekSettled() { seeking_ = false; }
    bool seeking() const { return seeking_; }

private:
    std::deque<QString> handedOver_; // given to playbin, not at the sink yet
    std::deque<QString> notHeard_;   // given to playbin, not heard yet
    std::deque<QString> handAgain_;  // taken back by a seek
    QString arriving_;               // at the sink, its first buffer not yet
    int atSink_ = 0;                 // arrived, not heard yet
    int rate_ = 0;
    int channels_ = 0;
    bool firstStreamSeen_ = false;
    bool dropped_ = false;
    bool dropping_ = false;
    bool seeking_ = false;
};
