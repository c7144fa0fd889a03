#pragma once

#include <QHash>
#include <QString>
#include <QtGlobal>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <gst/gst.h>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Owns a playbin and runs it on a thread of its own, with its own GLib main context: a
// sound server that hangs makes state changes block for half a minute, and the caller must
// never sit in that. The caller posts commands and reads positions without waiting.
//
// The position is not polled: the thread notes where the pipeline is whenever it starts,
// stops, pauses, seeks or resumes (and every few seconds while it plays, to follow a stalled
// sound server), and the caller runs it on with the monotonic clock. So the thread sleeps
// while nothing happens.
//
// Every start and stop bumps the generation; commands carry the generation they were
// posted for, so the thread drops what the caller has given up on. Held by shared_ptr: the
// thread keeps a share, so a worker stuck in a state change can outlive its owner.
class GstPipelineWorker : public std::enable_shared_from_this<GstPipelineWorker> {
public:
    // Called on the worker thread, under the worker's lock, when a started track ends:
    // result 0 when it played to its end, 1 when it broke off.
    using EndHandler = std::function<void(quint64 generation, int result)>;
    // Called on the worker thread when the pipeline's own position moved the caller's one by
    // more than a little: a seek landed elsewhere, or the sound output stalled.
    using JumpHandler = std::function<void()>;
    // Called on one of GStreamer's threads when the playing track is about to finish
    // (`heard` empty; answerQueue() must follow) and when the queued file `heard` is heard.
    using QueueHandler = std::function<void(quint64 generation, const QString& heard)>;

    // `makeSink` gives the sink for each new file; without one, autoaudiosink is used.
    explicit GstPipelineWorker(std::function<GstElement*()> makeSink);
    GstPipelineWorker(const GstPipelineWorker&) = delete;
    GstPipelineWorker& operator=(const GstPipelineWorker&) = delete;

    // Caller side.
    // Starts the thread; later calls do nothing. Commands posted before it wait for it.
    void start();
    // Quits the thread and waits a bounded time for it; a stuck one is left to finish alone.
    void shutdown();
    // True until building the pipeline failed (its plugins are missing).
    bool hasPipeline() const { return !broken_.load(); }
    void setEndHandler(EndHandler handler);
    void setJumpHandler(JumpHandler handler);
    void setQueueHandler(QueueHandler handler);
    // Answers the about-to-finish of `gen`: the file to play on with, or empty for none.
    void answerQueue(quint64 gen, const QString& file);
    // Drops the queued track before it is heard: the playing one ends as if none was queued.
    void dropQueued();

    quint64 generation() const { return generation_.load(); }
    quint64 newGeneration() { return ++generation_; }
    // True when the current generation's track reached its end (or broke off) by itself.
    bool endedByItself() const { return endedGeneration_.load() == generation_.load(); }

    // Sets the position the caller sees at once, held until the pipeline runs from there,
    // and returns the epoch a seek must carry.
    quint64 resetPosition(double seconds);
    // Stops the position where it is now (on pause; the pipeline corrects it when it stops).
    void holdPosition();
    double position() const;
    std::optional<double> length() const;
    void forgetLength() { lengthSeconds_.store(-1.0); }

    void requestLoad(quint64 gen, quint64 epoch, const QString& file);
    // Empty when the worker did not answer within `wait`.
    std::optional<bool> waitForLoad(quint64 gen, std::chrono::milliseconds wait);
    void requestUnload();
    void requestPause(quint64 gen);
    void requestResume(quint64 gen);
    void requestSeek(quint64 gen, quint64 epoch, double seconds);

    // Element properties are safe to set from any thread and never wait on the device.
    bool setVolumeFactor(double factor);
    bool setPanorama(float panorama);
    bool setMute(bool on);

private:
    enum class Preroll { Ok, Failed, SinkFailed };

    void post(std::function<void()> command);
    void build();
    void run();
    void answer(quint64 gen, bool ok);
    struct Anchor {
        quint64 epoch = 0;
        double seconds = 0; // where the position was at `atUs` (monotonic microseconds)
        gint64 atUs = 0;
        bool running = false;
    };
    static double positionAt(const Anchor& a, gint64 nowUs);
    void storePosition(double seconds, bool running);
    void notePipelinePosition();
    void checkSoon();
    GSource* addTimer(guint ms, GSourceFunc call); // on the worker thread, with `this`
    void settleSeek();
    void startResyncs();
    void stopResyncs();
    void unload();
    GstElement* createSink(bool forceSilent);
    GstElement* withLevels(GstElement* sink);
    Preroll preroll(GstElement* sink);
    void load(quint64 gen, quint64 epoch, const QString& file);
    bool countFrames(const QString& file);
    void updateLengthFromPipeline();
    bool active(quint64 gen) const { return gen == loadedGeneration_ && started_ && !ended_; }
    void pause(quint64 gen);
    void resume(quint64 gen);
    void seek(quint64 gen, quint64 epoch, double seconds);
    void reopenCurrent();
    void finish(int result);
    void aboutToFinish();
    GstPadProbeReturn watchStream(GstPadProbeInfo* info);
    void watchSink(GstElement* sink);
    bool outputChanges(GstEvent* capsEvent);
    void scheduleJoint(GstClockTime runningTime, const QString& file);
    void joint(quint64 gen, const QString& file);
    void forgetPastJoints();
    void cancelJoints();
    static gboolean onBusMessage(GstBus* bus, GstMessage* msg, gpointer data);

    // Set up before the thread starts and never replaced.
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    std::thread thread_;
    bool threadStarted_ = false; // caller side only
    std::function<GstElement*()> makeSink_;
    GstElement* playbin_ = nullptr;
    GstElement* levels_ = nullptr; // the worker's own reference; in the current output
    GstElement* panorama_ = nullptr;
    GstElement* volume_ = nullptr;
    GstBus* bus_ = nullptr;

    // Shared with the caller.
    std::atomic<quint64> generation_{0};
    std::atomic<quint64> endedGeneration_{0};
    std::atomic<double> lengthSeconds_{-1.0};
    std::atomic<bool> broken_{false};
    // The track that plays on without a gap: handed to playbin at about-to-finish, dropped
    // (its start turned into the end of the one before) or heard at its joint.
    std::atomic<quint64> playingGeneration_{0};
    std::atomic<bool> queueDropped_{false};
    std::atomic<int> arrivedNotHeard_{0}; // queued tracks at the sink, not heard yet
    std::atomic<bool> seeking_{false};

    // Held only to copy the anchor: never across a GStreamer call.
    mutable std::mutex anchorMutex_;
    Anchor anchor_;

    std::mutex mutex_; // guards the answer slot, the queued files, `exited_` and the handlers
    std::condition_variable answered_;
    quint64 answerGeneration_ = 0;
    bool answerOk_ = false;
    bool exited_ = false;
    EndHandler onEnd_;
    JumpHandler onJump_;
    QueueHandler onQueue_;
    quint64 queueAsked_ = 0; // about-to-finish waiting for an answer
    quint64 queueAnswered_ = 0;
    QString queueAnswer_;
    std::deque<QString> handedOver_; // files given to playbin, not at the sink yet
    std::deque<QString> notHeard_;   // files given to playbin, not heard yet
    // Queued files a seek took back from playbin: handed over again at the next
    // about-to-finish, as the caller chose them, without asking it twice.
    std::deque<QString> handAgain_;
    std::vector<GstClockID> jointClocks_; // joints waiting for their moment

    // Streaming thread only (reset while the pipeline is down): the stream at the sink.
    GstSegment segment_{};
    QString arriving_; // the queued file whose first buffer comes next
    bool firstStreamSeen_ = false;
    int sinkRate_ = 0;
    int sinkChannels_ = 0;
    bool droppingQueued_ = false;

    // Worker thread only: the file heard, and exact lengths counted for queued files.
    QString currentFile_;
    QHash<QString, double> queuedLengths_;

    // Worker thread only: the loaded file.
    GSource* resyncTimer_ = nullptr;
    GSource* check_ = nullptr;
    double lastReading_ = -1.0; // the pipeline's position at the last read while playing; -1: none
    gint64 lastReadingUs_ = 0;
    int steadyReads_ = 0; // reads in a row that ran on with the clock
    quint64 loadedGeneration_ = 0;
    quint64 writeEpoch_ = 0;   // epoch the pipeline's positions may write to; 0 = none
    quint64 pendingEpoch_ = 0; // epoch of a seek that has not settled yet
    gint64 seekStartedUs_ = 0;
    bool started_ = false;
    bool playing_ = false; // asked to run (not paused)
    bool ended_ = false;
    bool lengthFromFrames_ = false;
};
