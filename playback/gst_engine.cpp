#include "playback/gst_engine.h"

#include "playback/gain_mapping.h"
#include "playback/mp3_frame_counter.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <gst/gst.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr auto kPlayAnswerWait = std::chrono::milliseconds(1500);
constexpr GstClockTime kPrerollWait = 1300 * GST_MSECOND;
constexpr auto kExitWait = std::chrono::milliseconds(1000);
constexpr guint kPositionPollMs = 10;
constexpr gint64 kSeekSettleUs = 500000;
constexpr qint64 kCountBeforeAnswerBytes = 64 * 1024 * 1024;

// playbin's GstPlayFlags are not in a public header.
constexpr guint kPlayFlagAudio = 1u << 1;
constexpr guint kPlayFlagSoftVolume = 1u << 4;

// Position and the "epoch" it belongs to share one word, so a worker that still holds a
// position from before a seek or stop cannot overwrite what the caller set since.
constexpr int kPositionBits = 44; // microseconds: 200 days
constexpr quint64 kPositionMask = (quint64{1} << kPositionBits) - 1;
constexpr quint64 kEpochMask = (quint64{1} << (64 - kPositionBits)) - 1;

quint64 packPosition(quint64 epoch, double seconds) {
    const double us = std::isfinite(seconds) && seconds > 0 ? std::round(seconds * 1e6) : 0.0;
    return ((epoch & kEpochMask) << kPositionBits) | (static_cast<quint64>(us) & kPositionMask);
}

// Files that would make filesrc fail slowly or block (a FIFO blocks open() forever) are
// turned away before the pipeline sees them.
bool isPlayableFile(const QString& name) {
    if (name.isEmpty())
        return false;
    const QByteArray path = QFile::encodeName(name);
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
           ::access(path.constData(), R_OK) == 0;
}

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

// Everything below runs on the worker thread unless its name says otherwise. The GUI side
// touches only the atomics, the answer slot and `receiver`.
struct GstEngine::Worker {
    GMainContext* context = nullptr;
    GMainLoop* loop = nullptr;
    std::thread thread;
    std::function<GstElement*()> makeSink;

    GstElement* playbin = nullptr;
    GstElement* panorama = nullptr;
    GstElement* volume = nullptr;
    GstBus* bus = nullptr;
    GSource* positionTimer = nullptr;

    // Shared with the GUI side.
    std::atomic<quint64> generation{0}; // bumped by the GUI on every stop and new start
    std::atomic<quint64> endedGeneration{0};
    std::atomic<quint64> positionWord{0};
    std::atomic<quint64> positionEpoch{0};
    std::atomic<double> lengthSeconds{-1.0};

    std::mutex mutex;
    std::condition_variable answered;
    quint64 answerGeneration = 0;
    bool answerOk = false;
    bool exited = false;
    GstEngine* receiver = nullptr;

    // Worker-only state of the loaded file.
    quint64 loadedGeneration = 0;
    quint64 writeEpoch = 0;   // epoch the position polls may write to; 0 = none
    quint64 pendingEpoch = 0; // epoch of a seek that has not settled yet
    gint64 seekStartedUs = 0;
    bool started = false;
    bool ended = false;
    bool lengthFromFrames = false;

    // GUI side.
    void post(std::function<void()> command) {
        g_main_context_invoke_full(
            context, G_PRIORITY_DEFAULT,
            [](gpointer data) -> gboolean {
                (*static_cast<std::function<void()>*>(data))();
                return G_SOURCE_REMOVE;
            },
            new std::function<void()>(std::move(command)),
            [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
    }

    void build() {
        playbin = gst_element_factory_make("playbin", nullptr);
        GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
        GstElement* caps = gst_element_factory_make("capsfilter", nullptr);
        panorama = gst_element_factory_make("audiopanorama", nullptr);
        volume = gst_element_factory_make("volume", nullptr);
        if (!playbin || !convert || !caps || !panorama || !volume) {
            for (GstElement* e : {playbin, convert, caps, panorama, volume})
                if (e)
                    gst_object_unref(gst_object_ref_sink(e));
            playbin = panorama = volume = nullptr;
            return;
        }
        // Float keeps a 50 dB attenuation clean; "simple" pans by scaling one channel
        // instead of mixing one into the other.
        GstCaps* f32 = gst_caps_from_string("audio/x-raw,format=F32LE");
        g_object_set(caps, "caps", f32, nullptr);
        gst_caps_unref(f32);
        g_object_set(panorama, "method", 1, nullptr);

        GstElement* filters = gst_bin_new("levels");
        gst_bin_add_many(GST_BIN(filters), convert, caps, panorama, volume, nullptr);
        gst_element_link_many(convert, caps, panorama, volume, nullptr);
        GstPad* sink = gst_element_get_static_pad(convert, "sink");
        GstPad* src = gst_element_get_static_pad(volume, "src");
        gst_element_add_pad(filters, gst_ghost_pad_new("sink", sink));
        gst_element_add_pad(filters, gst_ghost_pad_new("src", src));
        gst_object_unref(sink);
        gst_object_unref(src);

        g_object_set(playbin, "flags", kPlayFlagAudio | kPlayFlagSoftVolume, "audio-filter",
                     filters, nullptr);
        bus = gst_element_get_bus(playbin);
    }

    void run() {
        g_main_context_push_thread_default(context);
        // Attaches to this thread's context, so messages are handled here.
        if (bus)
            gst_bus_add_watch(bus, &Worker::onBusMessage, this);
        g_main_loop_run(loop);
        stopPositionPolls();
        if (playbin) {
            gst_bus_remove_watch(bus);
            gst_element_set_state(playbin, GST_STATE_NULL);
            gst_object_unref(bus);
            gst_object_unref(playbin);
        }
        g_main_context_pop_thread_default(context);
        g_main_loop_unref(loop);
        g_main_context_unref(context);
        std::lock_guard lock(mutex);
        exited = true;
        answered.notify_all();
    }

    void answer(quint64 gen, bool ok) {
        std::lock_guard lock(mutex);
        answerGeneration = gen;
        answerOk = ok;
        answered.notify_all();
    }

    void storePosition(double seconds) {
        if (writeEpoch == 0)
            return;
        quint64 word = positionWord.load();
        if ((word >> kPositionBits) == (writeEpoch & kEpochMask))
            positionWord.compare_exchange_strong(word, packPosition(writeEpoch, seconds));
    }

    void pollPosition() {
        if (pendingEpoch != 0 && g_get_monotonic_time() - seekStartedUs > kSeekSettleUs)
            settleSeek();
        gint64 ns = 0;
        // Fails for a few ms after a seek; the last good value stays then.
        if (gst_element_query_position(playbin, GST_FORMAT_TIME, &ns) && ns >= 0)
            storePosition(static_cast<double>(ns) / GST_SECOND);
    }

    void settleSeek() {
        writeEpoch = pendingEpoch;
        pendingEpoch = 0;
    }

    void startPositionPolls() {
        if (positionTimer)
            return;
        positionTimer = g_timeout_source_new(kPositionPollMs);
        g_source_set_callback(
            positionTimer,
            [](gpointer self) -> gboolean {
                static_cast<Worker*>(self)->pollPosition();
                return G_SOURCE_CONTINUE;
            },
            this, nullptr);
        g_source_attach(positionTimer, context);
    }

    void stopPositionPolls() {
        if (!positionTimer)
            return;
        g_source_destroy(positionTimer);
        g_source_unref(positionTimer);
        positionTimer = nullptr;
    }

    void unload() {
        stopPositionPolls();
        started = false;
        writeEpoch = pendingEpoch = 0;
        if (playbin)
            gst_element_set_state(playbin, GST_STATE_NULL);
    }

    // A sink that cannot open (no sound server, no device) is replaced by one that only
    // keeps time, so playback, positions and end-of-stream still work.
    GstElement* createSink(bool forceSilent) {
        GstElement* sink = nullptr;
        if (!forceSilent)
            sink = makeSink ? makeSink() : gst_element_factory_make("autoaudiosink", nullptr);
        if (sink) {
            gst_object_ref_sink(sink);
            const bool opens =
                gst_element_set_state(sink, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
            gst_element_set_state(sink, GST_STATE_NULL);
            if (opens)
                return sink;
            gst_object_unref(sink);
        }
        sink = gst_element_factory_make("fakesink", nullptr);
        g_object_set(sink, "sync", TRUE, nullptr);
        return GST_ELEMENT(gst_object_ref_sink(sink));
    }

    enum class Preroll { Ok, Failed, SinkFailed };

    Preroll preroll(GstElement* sink) {
        const GstStateChangeReturn ret = gst_element_set_state(playbin, GST_STATE_PAUSED);
        if (ret == GST_STATE_CHANGE_SUCCESS || ret == GST_STATE_CHANGE_NO_PREROLL)
            return Preroll::Ok;
        // A failure has posted its error already; only a pending preroll is worth a wait.
        GstMessage* msg = gst_bus_timed_pop_filtered(
            bus, ret == GST_STATE_CHANGE_FAILURE ? 0 : kPrerollWait,
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

    void load(quint64 gen, quint64 epoch, const QString& file) {
        if (gen != generation.load())
            return; // the caller already gave up on this start
        unload();
        // Whatever the previous file left on the bus must not reach the new one.
        gst_bus_set_flushing(bus, TRUE);
        gst_bus_set_flushing(bus, FALSE);
        loadedGeneration = gen;
        ended = false;
        lengthFromFrames = false;

        gchar* uri = gst_filename_to_uri(QFile::encodeName(file).constData(), nullptr);
        Preroll result = Preroll::Failed;
        for (bool silent : {false, true}) {
            GstElement* sink = createSink(silent);
            g_object_set(playbin, "audio-sink", sink, "uri", uri, nullptr);
            result = preroll(sink);
            gst_object_unref(sink);
            if (result != Preroll::SinkFailed)
                break;
            gst_element_set_state(playbin, GST_STATE_NULL);
        }
        g_free(uri);

        if (result != Preroll::Ok || gen != generation.load()) {
            answer(gen, false);
            gst_element_set_state(playbin, GST_STATE_NULL);
            return;
        }
        // Walking the frames reads the whole file: a huge one (an audio book on a slow disk)
        // is counted after answering, with GStreamer's estimate standing in until then.
        const bool mpeg = containsMpegParser(playbin);
        const bool countNow = mpeg && QFileInfo(file).size() <= kCountBeforeAnswerBytes;
        if (!countNow || !countFrames(file))
            updateLengthFromPipeline();
        started = true;
        writeEpoch = epoch;
        answer(gen, true);
        // Answer first: going to PLAYING is where a hung sound server would block.
        gst_element_set_state(playbin, GST_STATE_PLAYING);
        startPositionPolls();
        if (mpeg && !countNow)
            countFrames(file);
    }

    bool countFrames(const QString& file) {
        const std::optional<double> frames = mp3FileDuration(file);
        if (frames) {
            lengthFromFrames = true;
            lengthSeconds.store(*frames);
        }
        return frames.has_value();
    }

    void updateLengthFromPipeline() {
        gint64 ns = 0;
        if (gst_element_query_duration(playbin, GST_FORMAT_TIME, &ns) && ns > 0)
            lengthSeconds.store(static_cast<double>(ns) / GST_SECOND);
    }

    bool active(quint64 gen) const { return gen == loadedGeneration && started && !ended; }

    void pause(quint64 gen) {
        if (!active(gen))
            return;
        stopPositionPolls();
        gst_element_set_state(playbin, GST_STATE_PAUSED);
        pollPosition();
    }

    void resume(quint64 gen) {
        if (!active(gen))
            return;
        gst_element_set_state(playbin, GST_STATE_PLAYING);
        startPositionPolls();
    }

    void seek(quint64 gen, quint64 epoch, double seconds) {
        if (!active(gen))
            return;
        // ACCURATE: a plain seek in a VBR file without a seek table lands seconds off.
        const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
        const auto ns = static_cast<gint64>(seconds * GST_SECOND);
        writeEpoch = 0;
        pendingEpoch = epoch;
        seekStartedUs = g_get_monotonic_time();
        if (!gst_element_seek_simple(playbin, GST_FORMAT_TIME, flags, ns))
            settleSeek();
    }

    // Played to the end, or broke off after it started: either way the track is over.
    void finish(int result) {
        ended = true;
        stopPositionPolls();
        const double len = lengthSeconds.load();
        if (result == 0 && len > 0)
            storePosition(len);
        endedGeneration.store(loadedGeneration);
        {
            std::lock_guard lock(mutex);
            if (receiver) {
                GstEngine* target = receiver;
                const quint64 gen = loadedGeneration;
                QMetaObject::invokeMethod(
                    target, [target, gen, result] { target->deliverEnd(gen, result); },
                    Qt::QueuedConnection);
            }
        }
        unload();
    }

    static gboolean onBusMessage(GstBus*, GstMessage* msg, gpointer data) {
        auto* self = static_cast<Worker*>(data);
        if (!self->started || self->ended)
            return G_SOURCE_CONTINUE;
        switch (GST_MESSAGE_TYPE(msg)) {
        case GST_MESSAGE_EOS:
            self->finish(0);
            break;
        case GST_MESSAGE_ERROR:
            self->finish(1);
            break;
        case GST_MESSAGE_DURATION_CHANGED:
            if (!self->lengthFromFrames)
                self->updateLengthFromPipeline();
            break;
        case GST_MESSAGE_ASYNC_DONE:
            if (self->pendingEpoch != 0)
                self->settleSeek();
            self->pollPosition();
            break;
        default:
            break;
        }
        return G_SOURCE_CONTINUE;
    }
};

GstEngine::GstEngine(QObject* parent, std::function<GstElement*()> makeAudioSink)
    : MediaEngine(parent), worker_(std::make_shared<Worker>()) {
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    static std::once_flag quieted;
    std::call_once(quieted, quietKnownDecoderAssertion);
    Worker& w = *worker_;
    w.makeSink = std::move(makeAudioSink);
    w.receiver = this;
    w.context = g_main_context_new();
    w.loop = g_main_loop_new(w.context, FALSE);
    w.build();
    w.thread = std::thread([keep = worker_] { keep->run(); });
}

GstEngine::~GstEngine() {
    Worker& w = *worker_;
    {
        std::lock_guard lock(w.mutex);
        w.receiver = nullptr;
    }
    ++w.generation;
    // Posted rather than called: a quit before the loop runs would be lost.
    w.post([&w] { g_main_loop_quit(w.loop); });
    std::unique_lock lock(w.mutex);
    // A worker stuck in a state change of a hung sound server is left behind; it still
    // holds its share of the state and cleans up whenever it comes back.
    if (w.answered.wait_for(lock, kExitWait, [&] { return w.exited; })) {
        lock.unlock();
        w.thread.join();
    } else {
        lock.unlock();
        w.thread.detach();
    }
}

bool GstEngine::setFileName(const QString& name) {
    fileName_ = name;
    fileChanged_ = true;
    return true;
}

QString GstEngine::fileName() const {
    return fileName_;
}

bool GstEngine::play() {
    Worker& w = *worker_;
    if (!w.playbin)
        return false;
    const bool endedByItself = w.endedGeneration.load() == w.generation.load();
    if (!fileChanged_ && !endedByItself) {
        if (state_ == State::Playing)
            return true;
        if (state_ == State::Paused) {
            state_ = State::Playing;
            const quint64 gen = w.generation.load();
            w.post([&w, gen] { w.resume(gen); });
            return true;
        }
    }
    fileChanged_ = false;
    return startCurrentFile();
}

bool GstEngine::startCurrentFile() {
    Worker& w = *worker_;
    const quint64 gen = ++w.generation;
    const quint64 epoch = ++w.positionEpoch;
    w.positionWord.store(packPosition(epoch, 0.0));
    w.lengthSeconds.store(-1.0);
    state_ = State::Stopped;
    if (!isPlayableFile(fileName_)) {
        w.post([&w] { w.unload(); });
        return false;
    }
    w.post([&w, gen, epoch, file = fileName_] { w.load(gen, epoch, file); });
    std::unique_lock lock(w.mutex);
    const bool answered =
        w.answered.wait_for(lock, kPlayAnswerWait, [&] { return w.answerGeneration == gen; });
    const bool ok = answered && w.answerOk;
    lock.unlock();
    if (!answered) {
        // Abandon the start; the worker drops it when it gets to it.
        ++w.generation;
        w.post([&w] { w.unload(); });
    }
    if (ok)
        state_ = State::Playing;
    return ok;
}

bool GstEngine::pause() {
    Worker& w = *worker_;
    if (state_ == State::Paused)
        return true;
    if (state_ != State::Playing || w.endedGeneration.load() == w.generation.load())
        return false;
    state_ = State::Paused;
    const quint64 gen = w.generation.load();
    w.post([&w, gen] { w.pause(gen); });
    return true;
}

bool GstEngine::stop() {
    Worker& w = *worker_;
    ++w.generation;
    w.positionWord.store(packPosition(++w.positionEpoch, 0.0));
    state_ = State::Stopped;
    w.post([&w] { w.unload(); });
    return true;
}

std::optional<double> GstEngine::length() const {
    const double len = worker_->lengthSeconds.load(std::memory_order_relaxed);
    return len > 0 ? std::optional<double>(len) : std::nullopt;
}

double GstEngine::position() const {
    const quint64 word = worker_->positionWord.load(std::memory_order_relaxed);
    return static_cast<double>(word & kPositionMask) / 1e6;
}

bool GstEngine::setPosition(double seconds) {
    Worker& w = *worker_;
    if (state_ == State::Stopped || !std::isfinite(seconds) ||
        w.endedGeneration.load() == w.generation.load())
        return false;
    seconds = std::max(0.0, seconds);
    if (const auto len = length())
        seconds = std::min(seconds, *len);
    const quint64 epoch = ++w.positionEpoch;
    w.positionWord.store(packPosition(epoch, seconds));
    const quint64 gen = w.generation.load();
    w.post([&w, gen, epoch, seconds] { w.seek(gen, epoch, seconds); });
    return true;
}

int GstEngine::volume() const {
    return volume_;
}

bool GstEngine::setVolume(int hundredthsOfDb) {
    if (!worker_->volume)
        return false;
    volume_ = hundredthsOfDb;
    // Element properties are safe to set from any thread and never wait on the device.
    g_object_set(worker_->volume, "volume", gainFactor(hundredthsOfDb), nullptr);
    return true;
}

int GstEngine::balance() const {
    return balance_;
}

bool GstEngine::setBalance(int hundredthsOfDb) {
    if (!worker_->panorama)
        return false;
    balance_ = hundredthsOfDb;
    g_object_set(worker_->panorama, "panorama", panoramaForBalance(hundredthsOfDb), nullptr);
    return true;
}

bool GstEngine::mute() const {
    return mute_;
}

bool GstEngine::setMute(bool on) {
    if (!worker_->volume)
        return false;
    mute_ = on;
    g_object_set(worker_->volume, "mute", on ? TRUE : FALSE, nullptr);
    return true;
}

void GstEngine::deliverEnd(quint64 generation, int result) {
    if (generation != worker_->generation.load() || state_ == State::Stopped)
        return;
    state_ = State::Stopped;
    emit endOfStream(result);
}
