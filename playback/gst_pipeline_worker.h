#pragma once

#include "playback/background_frame_count.h"
#include "playback/gapless_queue.h"
#include "playback/gst_joint_timer.h"
#include "playback/gst_reading_timers.h"
#include "playback/gst_sink_watch.h"
#include "playback/gst_sound_output.h"
#include "playback/position_clock.h"

#include <QHash>
#include <QString>
#include <QtGlobal>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <gst/gst.h>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// What the worker tells its owner, from one of its threads.
struct WorkerReport {
    enum class Kind { Answer, End, Jump, AboutToFinish, QueuedHeard, LengthChanged };
    Kind kind = Kind::Jump;
    quint64 generation = 0;
    static constexpr int kOutputLost = 2; // End: the sink failed, not the file
    int result = 0; // Answer: 1 started, 0 not; End: 0 played to its end, 1 broke off, or lost
    QString text;   // Answer: why not; QueuedHeard: the file now heard
};

// Owns a playbin and runs it on a thread of its own, with its own GLib main context: a
// sound server that hangs makes state changes block for half a minute, and the caller must
// never sit in that. The caller posts commands and reads positions without waiting; answers
// come back as reports.
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
    // Called on the worker's threads, under its lock: it must only hand the report over.
    // An AboutToFinish must be followed by answerQueue().
    using Reporter = std::function<void(const WorkerReport&)>;

    // `makeSink` gives the sink for each new file; without one, autoaudiosink is used.
    explicit GstPipelineWorker(std::function<GstElement*()> makeSink);
    GstPipelineWorker(const GstPipelineWorker&) = delete;
    GstPipelineWorker& operator=(const GstPipelineWorker&) = delete;

    // ---- Caller side ----
    // Starts the thread; later calls do nothing. Commands posted before it wait for it.
    void start();
    // Quits the thread and waits a bounded time for it; a stuck one is left to finish alone.
    void shutdown();
    // True until building the pipeline failed (its plugins are missing).
    bool hasPipeline() const {
        Held lock(mutex_);
        return !shared_.broken;
    }
    void setReporter(Reporter reporter) {
        Held lock(mutex_);
        shared_.reporter = std::move(reporter);
    }
    // Answers the about-to-finish of `gen`: the file to play on with, or empty for none.
    void answerQueue(quint64 gen, const QString& file);
    // Drops the queued track before it is heard: the playing one ends as if none was queued.
    void dropQueued() {
        Held lock(mutex_);
        shared_.queue.drop();
    }

    // Whether the loaded file's sink holds about a second of sound ahead.
    bool feedsAhead() const { return feedsAhead_.load(); }
    quint64 generation() const { return generation_.load(); }
    quint64 newGeneration() { return ++generation_; }
    // True when the current generation's track reached its end (or broke off) by itself.
    bool endedByItself() const {
        Held lock(mutex_);
        return shared_.endedGeneration == generation_.load();
    }

    // Sets the position the caller sees at once, held until the pipeline runs from there,
    // and returns the epoch a seek must carry.
    quint64 resetPosition(double seconds) {
        Held lock(mutex_);
        return shared_.clock.reset(seconds, g_get_monotonic_time());
    }
    // Stops the position where it is now (on pause; the pipeline corrects it when it stops).
    void holdPosition() {
        Held lock(mutex_);
        shared_.clock.hold(g_get_monotonic_time());
    }
    double position() const {
        Held lock(mutex_);
        return shared_.clock.at(g_get_monotonic_time());
    }
    std::optional<double> length() const {
        Held lock(mutex_);
        return shared_.clock.length();
    }

    // Checks and opens `file` at `from` seconds and answers; a file that opens stays held
    // until requestResume.
    void requestLoad(quint64 gen, const QString& file, double from = 0.0);
    void requestUnload() {
        post([this] {
            unload();
            output_.standBy();
        });
    }
    void requestPause(quint64 gen) {
        post([this, gen] { pause(gen); });
    }
    void requestResume(quint64 gen) {
        post([this, gen] { resume(gen); });
    }
    void requestSeek(quint64 gen, quint64 epoch, double seconds) {
        post([this, gen, epoch, seconds] { seek(gen, epoch, seconds); });
    }
    // False when the pipeline could not be built.
    bool setLevels(double volumeFactor, float panorama, bool mute);

private:
    using Held = std::unique_lock<std::mutex>;

    void post(std::function<void()> command);
    void run();
    // `held` shows that the lock is taken.
    void report(const WorkerReport& r, const Held& /*held*/) const {
        if (shared_.reporter)
            shared_.reporter(r);
    }
    void report(const WorkerReport& r) { report(r, Held(mutex_)); }
    void answer(quint64 gen, const QString& whyNot);
    bool readPosition();
    void stopReadings();
    void settleSeek();
    void unload();
    void load(quint64 gen, quint64 epoch, const QString& file, double from);
    bool countBeforeAnswer(const QString& file, bool* cutShort);
    void counted(quint64 gen, const QString& file, double seconds);
    void setLength(std::optional<double> seconds) {
        Held lock(mutex_);
        shared_.clock.setLength(seconds);
    }
    void updateLengthFromPipeline();
    bool active(quint64 gen) const { return gen == loadedGeneration_ && started_ && !ended_; }
    void pause(quint64 gen);
    void resume(quint64 gen);
    void seek(quint64 gen, quint64 epoch, double seconds);
    void reopenCurrent();
    void finish(int result);
    void aboutToFinish();
    void handOver(quint64 gen, const QString& file);
    GstPadProbeReturn watchStream(GstPadProbeInfo* info);
    void joint(quint64 gen, const QString& file);
    static gboolean onBusMessage(GstBus* bus, GstMessage* msg, gpointer data);

    // Set up before the thread runs (the pipeline by the thread before its loop), never
    // replaced; read by every thread.
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    GstSoundOutput output_;
    GstElement* playbin_ = nullptr;
    GstBus* bus_ = nullptr;

    // Written by the caller, read by every thread.
    std::atomic<quint64> generation_{0};
    std::atomic_bool feedsAhead_{false};
    std::thread thread_;
    bool threadStarted_ = false; // caller only

    // Written and read by every thread, only under `mutex_`; `changed_` tells of answers
    // and of the thread's exit. Never held across a GStreamer call that can block.
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    struct Shared {
        PositionClock clock; // reset and read by the caller, the pipeline's readings by the thread
        GaplessQueue queue;  // told by the streaming threads, the worker thread and the caller
        Reporter reporter;
        quint64 loadedGeneration = 0;
        quint64 endedGeneration = 0;
        quint64 queueAsked = 0; // about-to-finish waiting for the caller's answer
        quint64 queueAnswered = 0;
        QString queueAnswer;
        bool broken = false;
        bool exited = false;
    } shared_;

    // The sink's streaming thread only.
    GstSinkWatch sinkWatch_;

    // Worker thread only.
    GstJointTimer joints_;
    GstReadingTimers readings_;
    BackgroundFrameCount counter_; // a long file's frames, after its start was answered
    QString currentFile_;          // the one heard
    QHash<QString, double> queuedLengths_;
    quint64 loadedGeneration_ = 0;
    quint64 writeEpoch_ = 0;   // epoch the pipeline's positions may write to; 0 = none
    quint64 pendingEpoch_ = 0; // epoch of a seek that has not settled yet
    gint64 seekStartedUs_ = 0;
    bool started_ = false;
    bool playing_ = false; // asked to run (not paused)
    bool ended_ = false;
    bool lengthFromFrames_ = false;
};
