#include "playback/gst_pipeline_worker.h"

#include "playback/file_check.h"
#include "playback/gst_calls.h"
#include "playback/mp3_frame_counter.h"

#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <utility>

namespace {

using Kind = WorkerReport::Kind;

constexpr auto kExitWait = std::chrono::milliseconds(1000);
constexpr gint64 kSeekSettleUs = 500000;
// Walking the frames reads the whole file. Before the answer only this long: a long file on
// slow storage starts with GStreamer's estimate and is counted to its end while it plays.
constexpr auto kCountBeforeAnswer = std::chrono::milliseconds(200);
// A queued file is counted before it is handed over up to this size, so its exact length is
// ready at the joint; a bigger one is counted after.
constexpr qint64 kCountBeforeHandOverBytes = 64 * 1024 * 1024;
// The track's last buffers play while the caller picks what follows; a caller that takes
// longer gets the ordinary start after the end instead.
constexpr auto kQueueAnswerWait = std::chrono::milliseconds(500);

// playbin's GstPlayFlags are not in a public header.
constexpr guint kPlayFlagAudio = 1u << 1;
constexpr guint kPlayFlagSoftVolume = 1u << 4;
// ACCURATE: a plain seek in a VBR file without a seek table lands seconds off.
constexpr auto kSeekFlags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);

} // namespace

GstPipelineWorker::GstPipelineWorker(std::function<GstElement*()> makeSink)
    : context_(g_main_context_new()), loop_(g_main_loop_new(context_, FALSE)),
      output_(std::move(makeSink)), readings_(context_, [this] { return readPosition(); }) {
    static std::once_flag quieted;
    std::call_once(quieted, quietKnownDecoderAssertion);
}

// ---- Caller side ----

void GstPipelineWorker::start() {
    if (std::exchange(threadStarted_, true))
        return;
    thread_ = std::thread([keep = shared_from_this()] { keep->run(); });
}

void GstPipelineWorker::shutdown() {
    if (!threadStarted_) {
        // Nothing was built; what was posted goes with the context.
        g_main_loop_unref(loop_);
        g_main_context_unref(context_);
        return;
    }
    ++generation_;
    // Posted rather than called: a quit before the loop runs would be lost.
    post([this] { g_main_loop_quit(loop_); });
    Held lock(mutex_);
    // A worker stuck in a state change of a hung sound server is left behind; it still
    // holds its share of the state and cleans up whenever it comes back.
    const bool exited = changed_.wait_for(lock, kExitWait, [this] { return shared_.exited; });
    lock.unlock();
    if (exited)
        thread_.join();
    else
        thread_.detach();
}

void GstPipelineWorker::answerQueue(quint64 gen, const QString& file) {
    Held lock(mutex_);
    if (shared_.queueAsked == shared_.queueAnswered || gen != shared_.loadedGeneration)
        return;
    shared_.queueAnswered = shared_.queueAsked;
    shared_.queueAnswer = file;
    changed_.notify_all();
}

void GstPipelineWorker::requestLoad(quint64 gen, const QString& file, double from) {
    quint64 epoch = 0;
    {
        Held lock(mutex_);
        epoch = shared_.clock.reset(from, g_get_monotonic_time());
        shared_.clock.setLength(std::nullopt);
    }
    post([this, gen, epoch, file, from] { load(gen, epoch, file, from); });
}

// Posted, so that levels set before the pipeline is built still reach it.
bool GstPipelineWorker::setLevels(double volumeFactor, float panorama, bool mute) {
    post([this, volumeFactor, panorama, mute] { output_.setLevels(volumeFactor, panorama, mute); });
    return hasPipeline();
}

// The command runs on the worker thread; `this` stays alive because the thread holds a share.
void GstPipelineWorker::post(std::function<void()> command) {
    g_main_context_invoke_full(
        context_, G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            (*static_cast<std::function<void()>*>(data))();
            return G_SOURCE_REMOVE;
        },
        new std::function<void()>(std::move(command)),
        [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
}

// ---- Worker thread ----

void GstPipelineWorker::run() {
    // Here rather than in the constructor: loading the registry and the plugins takes a few
    // milliseconds that the window's start-up need not wait for.
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    playbin_ = gst_element_factory_make("playbin", nullptr);
    if (playbin_ && !output_.build(playbin_))
        gst_object_unref(gst_object_ref_sink(std::exchange(playbin_, nullptr)));
    if (playbin_) {
        g_object_set(playbin_, "flags", kPlayFlagAudio | kPlayFlagSoftVolume, nullptr);
        g_signal_connect(playbin_, "about-to-finish", G_CALLBACK(+[](GstElement*, gpointer self) {
                             static_cast<GstPipelineWorker*>(self)->aboutToFinish();
                         }),
                         this);
        bus_ = gst_element_get_bus(playbin_);
    }
    {
        Held lock(mutex_);
        shared_.broken = !playbin_; // the loop still runs, to answer what is posted
    }
    g_main_context_push_thread_default(context_);
    // Attaches to this thread's context, so messages are handled here.
    if (bus_)
        gst_bus_add_watch(bus_, &GstPipelineWorker::onBusMessage, this);
    g_main_loop_run(loop_);
    stopReadings();
    joints_.cancel();
    counter_.wait(); // the generation moved on: it stops at its next check
    if (playbin_) {
        gst_bus_remove_watch(bus_);
        gst_element_set_state(playbin_, GST_STATE_NULL);
        output_.standDown();
        gst_object_unref(bus_);
        gst_object_unref(playbin_);
    }
    g_main_context_pop_thread_default(context_);
    g_main_loop_unref(loop_);
    g_main_context_unref(context_);
    Held lock(mutex_);
    shared_.exited = true;
    changed_.notify_all();
}

void GstPipelineWorker::answer(quint64 gen, const QString& whyNot) {
    report({Kind::Answer, gen, whyNot.isEmpty() ? 1 : 0, whyNot});
}

bool GstPipelineWorker::readPosition() {
    if (pendingEpoch_ != 0 && g_get_monotonic_time() - seekStartedUs_ > kSeekSettleUs)
        settleSeek();
    {
        Held lock(mutex_);
        if (shared_.queue.waitingAtSink())
            return false;
    }
    gint64 ns = 0;
    // Fails for a few ms after a seek; the caller's estimate stays then.
    std::optional<double> seconds;
    if (output_.position(playbin_, ns) && ns >= 0)
        seconds = static_cast<double>(ns) / GST_SECOND;
    Held lock(mutex_);
    const auto reading = shared_.clock.read(writeEpoch_, seconds, playing_, g_get_monotonic_time());
    if (reading.jumped)
        report({Kind::Jump, 0, 0, {}}, lock);
    return playing_ && !reading.steady;
}

void GstPipelineWorker::settleSeek() {
    writeEpoch_ = pendingEpoch_;
    pendingEpoch_ = 0;
    Held lock(mutex_);
    shared_.queue.seekSettled();
}

void GstPipelineWorker::stopReadings() {
    readings_.stop();
    Held lock(mutex_);
    shared_.clock.forgetReadings();
}

void GstPipelineWorker::unload() {
    stopReadings();
    joints_.cancel();
    started_ = playing_ = false;
    writeEpoch_ = pendingEpoch_ = 0;
    {
        // A streaming thread waiting for the caller's answer must let go, or the state
        // change below would wait for it.
        Held lock(mutex_);
        changed_.notify_all();
    }
    if (playbin_)
        gst_element_set_state(playbin_, GST_STATE_NULL);
}

void GstPipelineWorker::load(quint64 gen, quint64 epoch, const QString& file, double from) {
    if (gen != generation_.load())
        return; // abandoned: nobody waits for its answer
    if (!playbin_)
        return answer(gen, QStringLiteral("GStreamer's playback plugins are missing"));
    unload();
    if (const QString why = unplayableReason(file); !why.isEmpty())
        return answer(gen, why);
    // Whatever the previous file left on the bus must not reach the new one.
    flushBus(bus_);
    loadedGeneration_ = gen;
    currentFile_ = file;
    ended_ = lengthFromFrames_ = false;
    queuedLengths_.clear();
    {
        Held lock(mutex_);
        shared_.loadedGeneration = gen;
        shared_.queue.clear();
    }
    setUri(playbin_, file);
    const auto prerolled = output_.preroll(playbin_, bus_, [this](GstElement* sink) {
        GstSinkWatch::attach(sink, [this](GstPadProbeInfo* info) { return watchStream(info); });
    });
    feedsAhead_ = output_.feedsAhead();
    if (prerolled != GstSoundOutput::Preroll::Ok || gen != generation_.load()) {
        gst_element_set_state(playbin_, GST_STATE_NULL);
        return answer(gen, prerolled == GstSoundOutput::Preroll::SinkFailed
                               ? QStringLiteral("no sound output is running")
                               : QStringLiteral("not a sound file that can be decoded"));
    }
    const bool mpeg = containsMpegParser(playbin_);
    bool cutShort = false;
    if (!mpeg || !countBeforeAnswer(file, &cutShort))
        updateLengthFromPipeline();
    started_ = true;
    writeEpoch_ = epoch;
    if (from > 0) // flushes what prerolled, so only the place is heard
        seek(gen, epoch, from);
    // Held prerolled: the caller lets it play (requestResume) once it has the answer, unless it
    // was paused or given up meanwhile, so a start nobody waits for is never heard.
    answer(gen, {});
    if (cutShort) // counted to its end while it plays, however long that takes
        counter_.start(
            file, [this, gen] { return gen == generation_.load(); },
            [this, gen, file](double seconds) {
                post([this, gen, file, seconds] { counted(gen, file, seconds); });
            });
}

bool GstPipelineWorker::countBeforeAnswer(const QString& file, bool* cutShort) {
    const auto until = std::chrono::steady_clock::now() + kCountBeforeAnswer;
    const std::optional<double> frames = mp3FileDuration(file, [&] {
        *cutShort = std::chrono::steady_clock::now() >= until;
        return !*cutShort;
    });
    if (frames) {
        lengthFromFrames_ = true;
        setLength(frames);
    }
    return frames.has_value();
}

void GstPipelineWorker::counted(quint64 gen, const QString& file, double seconds) {
    if (gen != loadedGeneration_ || file != currentFile_)
        return; // stopped, or a queued file took over
    const bool changed = length() != seconds;
    lengthFromFrames_ = true;
    setLength(seconds);
    if (changed)
        report({Kind::LengthChanged, gen, 0, {}});
}

void GstPipelineWorker::updateLengthFromPipeline() {
    gint64 ns = 0;
    if (gst_element_query_duration(playbin_, GST_FORMAT_TIME, &ns) && ns > 0)
        setLength(static_cast<double>(ns) / GST_SECOND);
}

void GstPipelineWorker::pause(quint64 gen) {
    if (!active(gen))
        return;
    stopReadings();
    playing_ = false;
    gst_element_set_state(playbin_, GST_STATE_PAUSED);
    readings_.readNow();
}

// Also the start (afresh when held long or moved while held). A hung server blocks here.
void GstPipelineWorker::resume(quint64 gen) {
    if (!active(gen))
        return;
    if (const auto place = output_.heldLongAt(playbin_)) {
        reopenCurrent();
        gst_element_seek_simple(playbin_, GST_FORMAT_TIME, kSeekFlags, *place);
    }
    playing_ = true;
    gst_element_set_state(playbin_, GST_STATE_PLAYING);
    readings_.startFollowing();
}

void GstPipelineWorker::seek(quint64 gen, quint64 epoch, double seconds) {
    if (!active(gen))
        return;
    bool reopen = false;
    {
        // From here on nothing is handed to playbin until the seek is done: playbin would
        // seek in a file handed over meanwhile and stall.
        Held lock(mutex_);
        reopen = shared_.queue.seekStarts();
    }
    if (reopen)
        reopenCurrent();
    const auto ns = static_cast<gint64>(seconds * GST_SECOND);
    writeEpoch_ = 0;
    pendingEpoch_ = epoch;
    seekStartedUs_ = g_get_monotonic_time();
    output_.flushing(playing_);
    if (!gst_element_seek_simple(playbin_, GST_FORMAT_TIME, kSeekFlags, ns))
        settleSeek();
}

// Once the next file is handed over, playbin would seek in that one: the playing file is
// opened again instead, and what followed it is handed over again shortly before its end.
void GstPipelineWorker::reopenCurrent() {
    gst_element_set_state(playbin_, GST_STATE_READY);
    joints_.cancel();
    {
        Held lock(mutex_);
        shared_.queue.reopened();
    }
    setUri(playbin_, currentFile_);
    gst_element_set_state(playbin_, GST_STATE_PAUSED);
    gst_element_get_state(playbin_, nullptr, nullptr, GstSoundOutput::kPrerollWait);
    // Its end of preroll must not pass for the end of the seek that follows.
    flushBus(bus_);
    if (playing_)
        gst_element_set_state(playbin_, GST_STATE_PLAYING);
}

// Played to the end, or broke off after it started: either way the track is over.
void GstPipelineWorker::finish(int result) {
    ended_ = true;
    stopReadings();
    playing_ = false;
    {
        Held lock(mutex_);
        PositionClock& clock = shared_.clock;
        const gint64 now = g_get_monotonic_time();
        const auto length = clock.length();
        if (result == 0 && length && clock.store(writeEpoch_, *length, false, now))
            report({Kind::Jump, 0, 0, {}}, lock);
        else if (result != 0 || !length)
            clock.hold(now);
        shared_.endedGeneration = loadedGeneration_;
        report({Kind::End, loadedGeneration_, result, {}}, lock);
    }
    unload();
    if (result != WorkerReport::kOutputLost) // not to a server just lost
        output_.standBy();
}

// On a streaming thread. Blocks it while the caller picks the next track: the buffers of
// this one already queued further down keep playing meanwhile.
void GstPipelineWorker::aboutToFinish() {
    QString file;
    quint64 gen = 0;
    {
        Held lock(mutex_);
        gen = shared_.loadedGeneration;
        // A flushing seek can drain the decoder once more: no end is near then, or if it is,
        // the track ends and the next one starts the ordinary way.
        if (!shared_.reporter || gen != generation_.load() || shared_.queue.seeking())
            return;
        if (auto again = shared_.queue.takeBack()) {
            file = *again;
        } else {
            const quint64 ask = ++shared_.queueAsked;
            report({Kind::AboutToFinish, gen, 0, {}}, lock);
            changed_.wait_for(lock, kQueueAnswerWait, [&] {
                return shared_.queueAnswered == ask || gen != generation_.load();
            });
            const bool answered = shared_.queueAnswered == ask;
            shared_.queueAnswered = ask; // a late answer finds nobody waiting
            file = std::exchange(shared_.queueAnswer, QString());
            if (!answered || file.isEmpty() || gen != generation_.load())
                return;
        }
    }
    handOver(gen, file);
}

// A file playbin cannot open would end the playing one with an error before its time: only
// MPEG audio is handed over (counted, so its exact length is ready at the joint); anything
// else starts the ordinary way after the end.
void GstPipelineWorker::handOver(quint64 gen, const QString& file) {
    if (!unplayableReason(file).isEmpty())
        return;
    std::optional<double> frames;
    if (QFileInfo(file).size() <= kCountBeforeHandOverBytes && !(frames = mp3FileDuration(file)))
        return;
    {
        Held lock(mutex_);
        if (gen != generation_.load() || !shared_.queue.handOver(file))
            return;
        setUri(playbin_, file); // only noted for playbin's next stream: it waits on nothing
    }
    post([this, gen, file, frames] {
        // A big file is counted here, as after the answer to a start.
        const std::optional<double> length = frames ? frames : mp3FileDuration(file);
        if (gen == loadedGeneration_ && length)
            queuedLengths_.insert(file, *length);
    });
}

// On the sink's streaming thread.
GstPadProbeReturn GstPipelineWorker::watchStream(GstPadProbeInfo* info) {
    GstSinkWatch::unmarkGap(info);
    if (!sinkWatch_.needsQueue(info))
        return GST_PAD_PROBE_OK;
    Held lock(mutex_);
    const GstSinkWatch::Seen seen = sinkWatch_.see(info, shared_.queue);
    const quint64 gen = shared_.loadedGeneration;
    lock.unlock();
    if (seen.arrival) {
        // Timed on the worker thread, where the joints are kept.
        post([this, gen, arrival = *seen.arrival] {
            joints_.schedule(playbin_, arrival.runningTime, [this, gen, file = arrival.file] {
                post([this, gen, file] { joint(gen, file); });
            });
        });
    }
    return seen.pass;
}

// The queued track is heard: from here on the position and length are its own.
void GstPipelineWorker::joint(quint64 gen, const QString& file) {
    joints_.forgetPast(playbin_);
    if (!active(gen))
        return;
    GaplessQueue::Joint reached = GaplessQueue::Joint::Ignore;
    {
        Held lock(mutex_);
        reached = shared_.queue.jointReached();
    }
    if (reached == GaplessQueue::Joint::Ignore)
        return;
    if (reached == GaplessQueue::Joint::EndHere)
        return finish(0);
    const double frames = queuedLengths_.take(file);
    lengthFromFrames_ = frames > 0;
    setLength(lengthFromFrames_ ? std::optional<double>(frames) : std::nullopt);
    if (!lengthFromFrames_)
        updateLengthFromPipeline();
    pendingEpoch_ = 0;
    currentFile_ = file;
    Held lock(mutex_);
    const gint64 now = g_get_monotonic_time();
    writeEpoch_ = shared_.clock.reset(0.0, now);
    shared_.clock.store(writeEpoch_, 0.0, playing_, now);
    report({Kind::QueuedHeard, gen, 0, file}, lock);
}

gboolean GstPipelineWorker::onBusMessage(GstBus*, GstMessage* msg, gpointer data) {
    auto* self = static_cast<GstPipelineWorker*>(data);
    if (!self->started_ || self->ended_)
        return G_SOURCE_CONTINUE;
    switch (GST_MESSAGE_TYPE(msg)) {
    case GST_MESSAGE_EOS:
        self->finish(0);
        break;
    case GST_MESSAGE_ERROR:
        self->finish(self->output_.failed(msg) ? WorkerReport::kOutputLost : 1);
        break;
    case GST_MESSAGE_DURATION_CHANGED:
        if (!self->lengthFromFrames_)
            self->updateLengthFromPipeline();
        break;
    case GST_MESSAGE_ASYNC_DONE:
        if (self->pendingEpoch_ != 0)
            self->settleSeek();
        self->readings_.readNow();
        break;
    case GST_MESSAGE_STATE_CHANGED:
        if (GST_MESSAGE_SRC(msg) == GST_OBJECT(self->playbin_)) {
            GstState state = GST_STATE_NULL;
            gst_message_parse_state_changed(msg, nullptr, &state, nullptr);
            if (state == GST_STATE_PLAYING)
                self->readings_.readNow();
        }
        break;
    default:
        break;
    }
    return G_SOURCE_CONTINUE;
}
