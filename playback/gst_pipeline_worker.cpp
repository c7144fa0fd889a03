#include "playback/gst_pipeline_worker.h"

#include "playback/mp3_frame_counter.h"

#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <gst/base/gstbasetransform.h>
#include <utility>

namespace {

constexpr GstClockTime kPrerollWait = 1300 * GST_MSECOND;
constexpr auto kExitWait = std::chrono::milliseconds(1000);
// While playing, the pipeline's position is read this often to catch a sound output that
// stalls or drifts from the monotonic clock; between reads the caller runs the position on.
constexpr guint kResyncMs = 2000;
// After a start, a resume or a seek, and whenever the position was seen standing still, it is
// read this often until it has run on with the clock this many times in a row: a busy machine's
// sound output may start, stall for a second while the sound server catches up, then go on.
constexpr guint kCheckMs = 100;
constexpr int kSteadyReads = 5;
// A correction larger than this is told to the caller (the display shows whole seconds).
constexpr double kJumpSeconds = 0.02;
constexpr gint64 kSeekSettleUs = 500000;
constexpr qint64 kCountBeforeAnswerBytes = 64 * 1024 * 1024;
// The track's last buffers play while the caller picks what follows; a caller that takes
// longer gets the ordinary start after the end instead.
constexpr auto kQueueAnswerWait = std::chrono::milliseconds(500);

// playbin's GstPlayFlags are not in a public header.
constexpr guint kPlayFlagAudio = 1u << 1;
constexpr guint kPlayFlagSoftVolume = 1u << 4;

gint isMpegParser(gconstpointer value, gconstpointer) {
    auto* element = GST_ELEMENT(g_value_get_object(static_cast<const GValue*>(value)));
    GstElementFactory* factory = gst_element_get_factory(element);
    return factory && g_strcmp0(GST_OBJECT_NAME(factory), "mpegaudioparse") == 0 ? 0 : 1;
}

bool containsMpegParser(GstElement* bin) {
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(bin));
    GValue found = G_VALUE_INIT;
    const bool yes = gst_iterator_find_custom(it, isMpegParser, &found, nullptr);
    if (yes)
        g_value_unset(&found);
    gst_iterator_free(it);
    return yes;
}

// mpg123audiodec of GStreamer 1.22 asserts on the empty first frame of every file with a
// LAME tag, and decodes fine after it. Only that one message is kept off the terminal.
void quietKnownDecoderAssertion() {
    g_log_set_handler(
        "GStreamer-Audio", static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_FLAG_FATAL),
        [](const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
            if (!g_strrstr(message,
                           "gst_audio_decoder_allocate_output_buffer: assertion 'size > 0'"))
                g_log_default_handler(domain, level, message, nullptr);
        },
        nullptr);
}

} // namespace

GstPipelineWorker::GstPipelineWorker(std::function<GstElement*()> makeSink)
    : makeSink_(std::move(makeSink)) {
    static std::once_flag quieted;
    std::call_once(quieted, quietKnownDecoderAssertion);
    context_ = g_main_context_new();
    loop_ = g_main_loop_new(context_, FALSE);
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
    std::unique_lock lock(mutex_);
    // A worker stuck in a state change of a hung sound server is left behind; it still
    // holds its share of the state and cleans up whenever it comes back.
    if (answered_.wait_for(lock, kExitWait, [this] { return exited_; })) {
        lock.unlock();
        thread_.join();
    } else {
        lock.unlock();
        thread_.detach();
    }
}

void GstPipelineWorker::setEndHandler(EndHandler handler) {
    std::lock_guard lock(mutex_);
    onEnd_ = std::move(handler);
}

void GstPipelineWorker::setJumpHandler(JumpHandler handler) {
    std::lock_guard lock(mutex_);
    onJump_ = std::move(handler);
}

void GstPipelineWorker::setQueueHandler(QueueHandler handler) {
    std::lock_guard lock(mutex_);
    onQueue_ = std::move(handler);
}

void GstPipelineWorker::answerQueue(quint64 gen, const QString& file) {
    std::lock_guard lock(mutex_);
    if (queueAsked_ == queueAnswered_ || gen != playingGeneration_.load())
        return;
    queueAnswered_ = queueAsked_;
    queueAnswer_ = file;
    answered_.notify_all();
}

// The epoch keeps a worker that still holds a position from before a seek or stop from
// overwriting what the caller set since.
quint64 GstPipelineWorker::resetPosition(double seconds) {
    std::lock_guard lock(anchorMutex_);
    anchor_ = {anchor_.epoch + 1, std::max(0.0, seconds), g_get_monotonic_time(), false};
    return anchor_.epoch;
}

void GstPipelineWorker::holdPosition() {
    std::lock_guard lock(anchorMutex_);
    const gint64 now = g_get_monotonic_time();
    anchor_ = {anchor_.epoch, positionAt(anchor_, now), now, false};
}

double GstPipelineWorker::positionAt(const Anchor& a, gint64 nowUs) {
    return a.running ? a.seconds + static_cast<double>(nowUs - a.atUs) / 1e6 : a.seconds;
}

double GstPipelineWorker::position() const {
    Anchor a;
    {
        std::lock_guard lock(anchorMutex_);
        a = anchor_;
    }
    const double p = positionAt(a, g_get_monotonic_time());
    // Running on past the end would show more than the track holds while the end is on its way.
    const double len = lengthSeconds_.load(std::memory_order_relaxed);
    return len > 0 ? std::min(p, len) : p;
}

std::optional<double> GstPipelineWorker::length() const {
    const double len = lengthSeconds_.load(std::memory_order_relaxed);
    return len > 0 ? std::optional<double>(len) : std::nullopt;
}

void GstPipelineWorker::requestLoad(quint64 gen, quint64 epoch, const QString& file) {
    post([this, gen, epoch, file] { load(gen, epoch, file); });
}

std::optional<bool> GstPipelineWorker::waitForLoad(quint64 gen, std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    if (!answered_.wait_for(lock, wait, [&] { return answerGeneration_ == gen; }))
        return std::nullopt;
    return answerOk_;
}

void GstPipelineWorker::requestUnload() {
    post([this] { unload(); });
}

void GstPipelineWorker::requestPause(quint64 gen) {
    post([this, gen] { pause(gen); });
}

void GstPipelineWorker::requestResume(quint64 gen) {
    post([this, gen] { resume(gen); });
}

void GstPipelineWorker::requestSeek(quint64 gen, quint64 epoch, double seconds) {
    post([this, gen, epoch, seconds] { seek(gen, epoch, seconds); });
}

// Posted, so that a level set before the pipeline is built still reaches it.
bool GstPipelineWorker::setVolumeFactor(double factor) {
    post([this, factor] {
        if (volume_)
            g_object_set(volume_, "volume", factor, nullptr);
    });
    return hasPipeline();
}

bool GstPipelineWorker::setPanorama(float panorama) {
    post([this, panorama] {
        if (!panorama_)
            return;
        g_object_set(panorama_, "panorama", panorama, nullptr);
        gst_base_transform_set_passthrough(GST_BASE_TRANSFORM(panorama_), panorama == 0.0f);
    });
    return hasPipeline();
}

bool GstPipelineWorker::setMute(bool on) {
    post([this, on] {
        if (volume_)
            g_object_set(volume_, "mute", on ? TRUE : FALSE, nullptr);
    });
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

void GstPipelineWorker::build() {
    playbin_ = gst_element_factory_make("playbin", nullptr);
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* caps = gst_element_factory_make("capsfilter", nullptr);
    panorama_ = gst_element_factory_make("audiopanorama", nullptr);
    volume_ = gst_element_factory_make("volume", nullptr);
    if (!playbin_ || !convert || !caps || !panorama_ || !volume_) {
        for (GstElement* e : {playbin_, convert, caps, panorama_, volume_})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        playbin_ = panorama_ = volume_ = nullptr;
        return;
    }
    // Float keeps a 50 dB attenuation clean; "simple" pans by scaling one channel
    // instead of mixing one into the other. Stereo already before the balance (a mono file
    // is heard the same on both sides either way), so a centred balance, which would only
    // copy every sample, can stand aside.
    GstCaps* f32 = gst_caps_from_string("audio/x-raw,format=F32LE,channels=2");
    g_object_set(caps, "caps", f32, nullptr);
    gst_caps_unref(f32);
    g_object_set(panorama_, "method", 1, nullptr);
    gst_base_transform_set_passthrough(GST_BASE_TRANSFORM(panorama_), TRUE);

    levels_ = GST_ELEMENT(gst_object_ref_sink(gst_bin_new("levels")));
    gst_bin_add_many(GST_BIN(levels_), convert, caps, panorama_, volume_, nullptr);
    gst_element_link_many(convert, caps, panorama_, volume_, nullptr);
    GstPad* sink = gst_element_get_static_pad(convert, "sink");
    GstPad* src = gst_element_get_static_pad(volume_, "src");
    gst_element_add_pad(levels_, gst_ghost_pad_new("sink", sink));
    gst_element_add_pad(levels_, gst_ghost_pad_new("src", src));
    gst_object_unref(sink);
    gst_object_unref(src);

    g_object_set(playbin_, "flags", kPlayFlagAudio | kPlayFlagSoftVolume, nullptr);
    g_signal_connect(playbin_, "about-to-finish", G_CALLBACK(+[](GstElement*, gpointer self) {
                         static_cast<GstPipelineWorker*>(self)->aboutToFinish();
                     }),
                     this);
    bus_ = gst_element_get_bus(playbin_);
}

// ---- Worker thread ----

void GstPipelineWorker::run() {
    // Here rather than in the constructor: loading the registry and the plugins takes a few
    // milliseconds that the window's start-up need not wait for.
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    build();
    broken_ = playbin_ == nullptr; // the loop still runs, to answer what is posted
    g_main_context_push_thread_default(context_);
    // Attaches to this thread's context, so messages are handled here.
    if (bus_)
        gst_bus_add_watch(bus_, &GstPipelineWorker::onBusMessage, this);
    g_main_loop_run(loop_);
    stopResyncs();
    cancelJoints();
    if (playbin_) {
        gst_bus_remove_watch(bus_);
        gst_element_set_state(playbin_, GST_STATE_NULL);
        gst_object_unref(bus_);
        gst_object_unref(playbin_);
        gst_object_unref(levels_);
    }
    g_main_context_pop_thread_default(context_);
    g_main_loop_unref(loop_);
    g_main_context_unref(context_);
    std::lock_guard lock(mutex_);
    exited_ = true;
    answered_.notify_all();
}

void GstPipelineWorker::answer(quint64 gen, bool ok) {
    std::lock_guard lock(mutex_);
    answerGeneration_ = gen;
    answerOk_ = ok;
    answered_.notify_all();
}

void GstPipelineWorker::storePosition(double seconds, bool running) {
    if (writeEpoch_ == 0)
        return;
    bool jumped = false;
    {
        std::lock_guard lock(anchorMutex_);
        if (anchor_.epoch != writeEpoch_)
            return;
        const gint64 now = g_get_monotonic_time();
        jumped = std::abs(positionAt(anchor_, now) - seconds) > kJumpSeconds;
        anchor_ = {writeEpoch_, seconds, now, running};
    }
    std::lock_guard lock(mutex_);
    if (jumped && onJump_)
        onJump_();
}

void GstPipelineWorker::notePipelinePosition() {
    if (pendingEpoch_ != 0 && g_get_monotonic_time() - seekStartedUs_ > kSeekSettleUs)
        settleSeek();
    if (arrivedNotHeard_ > 0)
        return; // the queued track reached the sink but is not heard yet
    gint64 ns = 0;
    // Fails for a few ms after a seek; the caller's estimate stays then.
    const bool known = gst_element_query_position(playbin_, GST_FORMAT_TIME, &ns) && ns >= 0;
    const double seconds = known ? static_cast<double>(ns) / GST_SECOND : -1.0;
    const gint64 now = g_get_monotonic_time();
    // Running the position on with the clock is right only while the output's own position
    // does: when it stands still (no sound heard yet), the display holds instead of showing
    // time that was never heard and jumping back later.
    const double elapsed = static_cast<double>(now - lastReadingUs_) / 1e6;
    const double advance = seconds - lastReading_;
    const bool running =
        playing_ && known && lastReading_ >= 0 && advance >= elapsed / 2 && advance <= elapsed * 2;
    steadyReads_ = running ? steadyReads_ + 1 : 0;
    lastReading_ = playing_ ? seconds : -1.0;
    lastReadingUs_ = now;
    if (known)
        storePosition(seconds, running);
    if (playing_ && steadyReads_ < kSteadyReads)
        checkSoon();
}

void GstPipelineWorker::checkSoon() {
    if (!check_)
        check_ = addTimer(kCheckMs, [](gpointer data) -> gboolean {
            auto* self = static_cast<GstPipelineWorker*>(data);
            g_source_unref(std::exchange(self->check_, nullptr));
            self->notePipelinePosition();
            return G_SOURCE_REMOVE;
        });
}

GSource* GstPipelineWorker::addTimer(guint ms, GSourceFunc call) {
    GSource* timer = g_timeout_source_new(ms);
    g_source_set_callback(timer, call, this, nullptr);
    g_source_attach(timer, context_);
    return timer;
}

void GstPipelineWorker::settleSeek() {
    writeEpoch_ = pendingEpoch_;
    pendingEpoch_ = 0;
    seeking_ = false;
}

void GstPipelineWorker::startResyncs() {
    if (!resyncTimer_)
        resyncTimer_ = addTimer(kResyncMs, [](gpointer self) -> gboolean {
            static_cast<GstPipelineWorker*>(self)->notePipelinePosition();
            return G_SOURCE_CONTINUE;
        });
}

void GstPipelineWorker::stopResyncs() {
    for (GSource** timer : {&resyncTimer_, &check_}) {
        if (*timer) {
            g_source_destroy(*timer);
            g_source_unref(std::exchange(*timer, nullptr));
        }
    }
    lastReading_ = -1.0;
    steadyReads_ = 0;
}

void GstPipelineWorker::unload() {
    stopResyncs();
    cancelJoints();
    started_ = playing_ = false;
    writeEpoch_ = pendingEpoch_ = 0;
    {
        // A streaming thread waiting for the caller's answer must let go, or the state
        // change below would wait for it.
        std::lock_guard lock(mutex_);
        answered_.notify_all();
    }
    if (playbin_)
        gst_element_set_state(playbin_, GST_STATE_NULL);
}

// A sink that cannot open (no sound server, no device) is replaced by one that only
// keeps time, so playback, positions and end-of-stream still work.
GstElement* GstPipelineWorker::createSink(bool forceSilent) {
    GstElement* sink = nullptr;
    if (!forceSilent)
        sink = makeSink_ ? makeSink_() : gst_element_factory_make("autoaudiosink", nullptr);
    if (sink) {
        gst_object_ref_sink(sink);
        const bool opens = gst_element_set_state(sink, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
        gst_element_set_state(sink, GST_STATE_NULL);
        if (opens)
            return sink;
        gst_object_unref(sink);
    }
    sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", TRUE, nullptr);
    return GST_ELEMENT(gst_object_ref_sink(sink));
}

// The levels sit right before the sink, behind playbin's own second of queued sound (as an
// audio-filter they would be heard a second late). They move from one file's sink to the
// next, keeping their settings.
GstElement* GstPipelineWorker::withLevels(GstElement* sink) {
    if (GstObject* previous = gst_object_get_parent(GST_OBJECT(levels_))) {
        gst_bin_remove(GST_BIN(previous), levels_);
        gst_object_unref(previous);
    }
    GstElement* output = gst_bin_new(nullptr);
    gst_bin_add_many(GST_BIN(output), levels_, sink, nullptr);
    gst_element_link(levels_, sink);
    GstPad* pad = gst_element_get_static_pad(levels_, "sink");
    gst_element_add_pad(output, gst_ghost_pad_new("sink", pad));
    gst_object_unref(pad);
    return output;
}

GstPipelineWorker::Preroll GstPipelineWorker::preroll(GstElement* sink) {
    const GstStateChangeReturn ret = gst_element_set_state(playbin_, GST_STATE_PAUSED);
    if (ret == GST_STATE_CHANGE_SUCCESS || ret == GST_STATE_CHANGE_NO_PREROLL)
        return Preroll::Ok;
    // A failure has posted its error already; only a pending preroll is worth a wait.
    GstMessage* msg = gst_bus_timed_pop_filtered(
        bus_, ret == GST_STATE_CHANGE_FAILURE ? 0 : kPrerollWait,
        static_cast<GstMessageType>(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR));
    Preroll result = Preroll::Failed;
    if (msg && GST_MESSAGE_TYPE(msg) == GST_MESSAGE_ASYNC_DONE)
        result = Preroll::Ok;
    else if (msg && gst_object_has_as_ancestor(GST_MESSAGE_SRC(msg), GST_OBJECT(sink)))
        result = Preroll::SinkFailed;
    if (msg)
        gst_message_unref(msg);
    return result;
}

void GstPipelineWorker::load(quint64 gen, quint64 epoch, const QString& file) {
    if (!playbin_) {
        answer(gen, false);
        return;
    }
    if (gen != generation_.load())
        return; // the caller already gave up on this start
    unload();
    // Whatever the previous file left on the bus must not reach the new one.
    gst_bus_set_flushing(bus_, TRUE);
    gst_bus_set_flushing(bus_, FALSE);
    loadedGeneration_ = gen;
    playingGeneration_ = gen;
    currentFile_ = file;
    ended_ = false;
    lengthFromFrames_ = false;
    queueDropped_ = seeking_ = false;
    arrivedNotHeard_ = 0;
    firstStreamSeen_ = droppingQueued_ = false;
    sinkRate_ = sinkChannels_ = 0;
    arriving_.clear();
    queuedLengths_.clear();
    {
        std::lock_guard lock(mutex_);
        handedOver_.clear();
        notHeard_.clear();
        handAgain_.clear();
    }

    gchar* uri = gst_filename_to_uri(QFile::encodeName(file).constData(), nullptr);
    Preroll result = Preroll::Failed;
    for (bool silent : {false, true}) {
        GstElement* sink = createSink(silent);
        watchSink(sink);
        g_object_set(playbin_, "audio-sink", withLevels(sink), "uri", uri, nullptr);
        result = preroll(sink);
        gst_object_unref(sink);
        if (result != Preroll::SinkFailed)
            break;
        gst_element_set_state(playbin_, GST_STATE_NULL);
    }
    g_free(uri);

    if (result != Preroll::Ok || gen != generation_.load()) {
        answer(gen, false);
        gst_element_set_state(playbin_, GST_STATE_NULL);
        return;
    }
    // Walking the frames reads the whole file: a huge one (an audio book on a slow disk)
    // is counted after answering, with GStreamer's estimate standing in until then.
    const bool mpeg = containsMpegParser(playbin_);
    const bool countNow = mpeg && QFileInfo(file).size() <= kCountBeforeAnswerBytes;
    if (!countNow || !countFrames(file))
        updateLengthFromPipeline();
    started_ = playing_ = true;
    writeEpoch_ = epoch;
    answer(gen, true);
    // Answer first: going to PLAYING is where a hung sound server would block. The position
    // runs from the moment the pipeline gets there (its state-changed message).
    gst_element_set_state(playbin_, GST_STATE_PLAYING);
    startResyncs();
    if (mpeg && !countNow)
        countFrames(file);
}

bool GstPipelineWorker::countFrames(const QString& file) {
    const std::optional<double> frames = mp3FileDuration(file);
    if (frames) {
        lengthFromFrames_ = true;
        lengthSeconds_.store(*frames);
    }
    return frames.has_value();
}

void GstPipelineWorker::updateLengthFromPipeline() {
    gint64 ns = 0;
    if (gst_element_query_duration(playbin_, GST_FORMAT_TIME, &ns) && ns > 0)
        lengthSeconds_.store(static_cast<double>(ns) / GST_SECOND);
}

void GstPipelineWorker::pause(quint64 gen) {
    if (!active(gen))
        return;
    stopResyncs();
    playing_ = false;
    gst_element_set_state(playbin_, GST_STATE_PAUSED);
    notePipelinePosition();
}

void GstPipelineWorker::resume(quint64 gen) {
    if (!active(gen))
        return;
    playing_ = true;
    gst_element_set_state(playbin_, GST_STATE_PLAYING);
    startResyncs();
}

void GstPipelineWorker::seek(quint64 gen, quint64 epoch, double seconds) {
    if (!active(gen))
        return;
    bool handedOver = false;
    {
        // From here on nothing is handed to playbin until the seek is done: playbin would
        // seek in a file handed over meanwhile and stall.
        std::lock_guard lock(mutex_);
        seeking_ = true;
        handedOver = arrivedNotHeard_ > 0 || !handedOver_.empty();
    }
    if (handedOver)
        reopenCurrent();
    // ACCURATE: a plain seek in a VBR file without a seek table lands seconds off.
    const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
    const auto ns = static_cast<gint64>(seconds * GST_SECOND);
    writeEpoch_ = 0;
    pendingEpoch_ = epoch;
    seekStartedUs_ = g_get_monotonic_time();
    seeking_ = true;
    if (!gst_element_seek_simple(playbin_, GST_FORMAT_TIME, flags, ns))
        settleSeek();
}

// Once the next file is handed over, playbin would seek in that one: the playing file is
// opened again instead, and what followed it is handed over again shortly before its end.
void GstPipelineWorker::reopenCurrent() {
    seeking_ = true;
    gst_element_set_state(playbin_, GST_STATE_READY);
    cancelJoints();
    {
        std::lock_guard lock(mutex_);
        handedOver_.clear();
        handAgain_.insert(handAgain_.begin(), notHeard_.begin(), notHeard_.end());
        notHeard_.clear();
    }
    arrivedNotHeard_ = 0;
    firstStreamSeen_ = droppingQueued_ = false;
    sinkRate_ = sinkChannels_ = 0;
    arriving_.clear();
    gchar* uri = gst_filename_to_uri(QFile::encodeName(currentFile_).constData(), nullptr);
    g_object_set(playbin_, "uri", uri, nullptr);
    g_free(uri);
    gst_element_set_state(playbin_, GST_STATE_PAUSED);
    gst_element_get_state(playbin_, nullptr, nullptr, kPrerollWait);
    // Its end of preroll must not pass for the end of the seek that follows.
    gst_bus_set_flushing(bus_, TRUE);
    gst_bus_set_flushing(bus_, FALSE);
    if (playing_)
        gst_element_set_state(playbin_, GST_STATE_PLAYING);
}

// Played to the end, or broke off after it started: either way the track is over.
void GstPipelineWorker::finish(int result) {
    ended_ = true;
    stopResyncs();
    playing_ = false;
    const double len = lengthSeconds_.load();
    if (result == 0 && len > 0)
        storePosition(len, false);
    else
        holdPosition();
    endedGeneration_.store(loadedGeneration_);
    {
        std::lock_guard lock(mutex_);
        if (onEnd_)
            onEnd_(loadedGeneration_, result);
    }
    unload();
}

void GstPipelineWorker::dropQueued() {
    std::lock_guard lock(mutex_);
    queueDropped_ = true;
    notHeard_.clear();
    handAgain_.clear();
}

// On a streaming thread. Blocks it while the caller picks the next track: the buffers of
// this one already queued further down keep playing meanwhile.
void GstPipelineWorker::aboutToFinish() {
    const quint64 gen = playingGeneration_.load();
    QString file;
    {
        std::unique_lock lock(mutex_);
        // A flushing seek can drain the decoder once more: no end is near then, or if it is,
        // the track ends and the next one starts the ordinary way.
        if (!onQueue_ || gen != generation_.load() || seeking_)
            return;
        if (!handAgain_.empty()) {
            // Taken back by a seek: the caller chose it already.
            file = handAgain_.front();
            handAgain_.pop_front();
        } else {
            const quint64 ask = ++queueAsked_;
            onQueue_(gen, QString());
            answered_.wait_for(lock, kQueueAnswerWait,
                               [&] { return queueAnswered_ == ask || gen != generation_.load(); });
            const bool answered = queueAnswered_ == ask;
            queueAnswered_ = ask; // a late answer finds nobody waiting
            file = std::exchange(queueAnswer_, QString());
            if (!answered || file.isEmpty() || gen != generation_.load())
                return;
        }
    }
    // A file playbin cannot open would end the playing one with an error before its time:
    // only MPEG audio is handed over (counted, so its exact length is ready at the joint);
    // anything else starts the ordinary way after the end.
    std::optional<double> frames;
    if (QFileInfo(file).size() <= kCountBeforeAnswerBytes && !(frames = mp3FileDuration(file)))
        return;
    {
        std::lock_guard lock(mutex_);
        if (gen != generation_.load())
            return;
        if (seeking_) {
            // A seek came while the file was counted: it goes to playbin after the seek.
            handAgain_.push_front(file);
            return;
        }
        if (handedOver_.empty())
            queueDropped_ = false;
        handedOver_.push_back(file);
        notHeard_.push_back(file);
        gchar* uri = gst_filename_to_uri(QFile::encodeName(file).constData(), nullptr);
        g_object_set(playbin_, "uri", uri, nullptr);
        g_free(uri);
    }
    post([this, gen, file, frames] {
        // A big file is counted here, as after the answer to a start.
        const std::optional<double> length = frames ? frames : mp3FileDuration(file);
        if (gen == loadedGeneration_ && length)
            queuedLengths_.insert(file, *length);
    });
}

// Every track passes the sink's pad on its way out, the queued ones included; what has
// passed it is as good as heard.
void GstPipelineWorker::watchSink(GstElement* sink) {
    GstPad* pad = gst_element_get_static_pad(sink, "sink");
    if (!pad)
        return;
    gst_pad_add_probe(
        pad,
        static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST |
                                     GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
        [](GstPad*, GstPadProbeInfo* info, gpointer self) {
            return static_cast<GstPipelineWorker*>(self)->watchStream(info);
        },
        this, nullptr);
    gst_object_unref(pad);
}

// On a streaming thread: every buffer and event on its way into the sink.
GstPadProbeReturn GstPipelineWorker::watchStream(GstPadProbeInfo* info) {
    if (droppingQueued_)
        return GST_PAD_PROBE_DROP;
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER) {
        // Muted sound comes marked as a gap. After a stretch of those the PulseAudio sink was
        // seen to take up to a second of sound in advance once unmuted, so a mute soon after
        // was heard that late; sent as plain silence, every mute is heard as soon.
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        if (GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_GAP)) {
            buffer = gst_buffer_make_writable(buffer);
            GST_BUFFER_FLAG_UNSET(buffer, GST_BUFFER_FLAG_GAP);
            GST_PAD_PROBE_INFO_DATA(info) = buffer;
        }
    }
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT && !arriving_.isEmpty())
            gst_event_copy_segment(event, &segment_);
        if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS && outputChanges(event) &&
            !arriving_.isEmpty()) {
            // Another rate or channel count opens the sound output anew, a longer break than
            // starting the next track after the end: the one before ends here instead.
            arriving_.clear();
            --arrivedNotHeard_;
            droppingQueued_ = true;
            gst_event_unref(event);
            GST_PAD_PROBE_INFO_DATA(info) = gst_event_new_eos();
            return GST_PAD_PROBE_OK;
        }
        if (GST_EVENT_TYPE(event) != GST_EVENT_STREAM_START ||
            !std::exchange(firstStreamSeen_, true))
            return GST_PAD_PROBE_OK;
        std::lock_guard lock(mutex_);
        if (handedOver_.empty())
            return GST_PAD_PROBE_OK;
        if (queueDropped_) {
            // Nothing of a dropped track reaches the sink: the one before ends here.
            handedOver_.clear();
            droppingQueued_ = true;
            gst_event_unref(event);
            GST_PAD_PROBE_INFO_DATA(info) = gst_event_new_eos();
            return GST_PAD_PROBE_OK;
        }
        arriving_ = handedOver_.front();
        handedOver_.pop_front();
        ++arrivedNotHeard_;
        return GST_PAD_PROBE_OK;
    }
    if (!arriving_.isEmpty()) {
        GstBuffer* buffer = GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER
                                ? GST_PAD_PROBE_INFO_BUFFER(info)
                                : gst_buffer_list_get(GST_PAD_PROBE_INFO_BUFFER_LIST(info), 0);
        GstClockTime pts = buffer ? GST_BUFFER_PTS(buffer) : GST_CLOCK_TIME_NONE;
        if (!GST_CLOCK_TIME_IS_VALID(pts))
            pts = segment_.start;
        scheduleJoint(gst_segment_to_running_time(&segment_, GST_FORMAT_TIME, pts),
                      std::exchange(arriving_, QString()));
    }
    return GST_PAD_PROBE_OK;
}

bool GstPipelineWorker::outputChanges(GstEvent* capsEvent) {
    GstCaps* caps = nullptr;
    gst_event_parse_caps(capsEvent, &caps);
    int rate = 0, channels = 0;
    if (caps && gst_caps_get_size(caps) > 0) {
        const GstStructure* s = gst_caps_get_structure(caps, 0);
        gst_structure_get_int(s, "rate", &rate);
        gst_structure_get_int(s, "channels", &channels);
    }
    const bool changed = sinkRate_ != 0 && (rate != sinkRate_ || channels != sinkChannels_);
    sinkRate_ = rate;
    sinkChannels_ = channels;
    return changed;
}

// The new track is heard when the clock reaches its first buffer's running time; the sink
// holds some of the one before until then.
void GstPipelineWorker::scheduleJoint(GstClockTime runningTime, const QString& file) {
    struct Joint {
        GstPipelineWorker* worker;
        quint64 gen;
        QString file;
    };
    auto* joint = new Joint{this, playingGeneration_.load(), file};
    GstClock* clock = gst_element_get_clock(playbin_);
    if (!clock || !GST_CLOCK_TIME_IS_VALID(runningTime)) {
        if (clock)
            gst_object_unref(clock);
        post([joint] {
            joint->worker->joint(joint->gen, joint->file);
            delete joint;
        });
        return;
    }
    GstClockID id =
        gst_clock_new_single_shot_id(clock, gst_element_get_base_time(playbin_) + runningTime);
    gst_object_unref(clock);
    std::lock_guard lock(mutex_);
    jointClocks_.push_back(id);
    gst_clock_id_wait_async(
        id,
        [](GstClock*, GstClockTime, GstClockID, gpointer data) -> gboolean {
            const auto* j = static_cast<const Joint*>(data);
            j->worker->post(
                [worker = j->worker, gen = j->gen, file = j->file] { worker->joint(gen, file); });
            return TRUE;
        },
        joint, [](gpointer data) { delete static_cast<Joint*>(data); });
}

void GstPipelineWorker::forgetPastJoints() {
    GstClock* clock = gst_element_get_clock(playbin_);
    if (!clock)
        return;
    const GstClockTime now = gst_clock_get_time(clock);
    gst_object_unref(clock);
    std::lock_guard lock(mutex_);
    std::erase_if(jointClocks_, [now](GstClockID id) {
        if (gst_clock_id_get_time(id) > now)
            return false;
        gst_clock_id_unref(id);
        return true;
    });
}

void GstPipelineWorker::cancelJoints() {
    std::lock_guard lock(mutex_);
    for (GstClockID id : jointClocks_) {
        gst_clock_id_unschedule(id);
        gst_clock_id_unref(id);
    }
    jointClocks_.clear();
}

// The queued track is heard: from here on the position and length are its own.
void GstPipelineWorker::joint(quint64 gen, const QString& file) {
    forgetPastJoints();
    if (!active(gen) || arrivedNotHeard_ == 0)
        return;
    if (queueDropped_) {
        // Dropped after it reached the sink: the track before has just ended.
        finish(0);
        return;
    }
    const double frames = queuedLengths_.take(file);
    lengthFromFrames_ = frames > 0;
    lengthSeconds_.store(lengthFromFrames_ ? frames : -1.0);
    if (!lengthFromFrames_)
        updateLengthFromPipeline();
    writeEpoch_ = resetPosition(0.0);
    pendingEpoch_ = 0;
    storePosition(0.0, playing_);
    currentFile_ = file;
    --arrivedNotHeard_;
    std::lock_guard lock(mutex_);
    if (!notHeard_.empty())
        notHeard_.pop_front();
    if (onQueue_)
        onQueue_(gen, file);
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
        self->finish(1);
        break;
    case GST_MESSAGE_DURATION_CHANGED:
        if (!self->lengthFromFrames_)
            self->updateLengthFromPipeline();
        break;
    case GST_MESSAGE_ASYNC_DONE:
        if (self->pendingEpoch_ != 0)
            self->settleSeek();
        self->notePipelinePosition();
        break;
    case GST_MESSAGE_STATE_CHANGED:
        if (GST_MESSAGE_SRC(msg) == GST_OBJECT(self->playbin_)) {
            GstState state = GST_STATE_NULL;
            gst_message_parse_state_changed(msg, nullptr, &state, nullptr);
            if (state == GST_STATE_PLAYING)
                self->notePipelinePosition();
        }
        break;
    default:
        break;
    }
    return G_SOURCE_CONTINUE;
}
