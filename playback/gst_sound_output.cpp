#include "playback/gst_sound_output.h"

#include "playback/gst_sound_batcher.h"

#include <gst/audio/streamvolume.h>
#include <gst/base/gstbasetransform.h>
#include <utility>

namespace {

// Longer than a start waits for its answer (its frames counted) before it plays.
constexpr gint64 kLongHoldUs = 250000;

// A sound server fed two seconds ahead in half-second pieces wakes the player a few times a
// second instead of a hundred. What the user changes is still heard at once: volume and mute
// act on the server's stream, and a balance change flushes what was fed ahead.
constexpr gint64 kOutputAheadUs = 2000000;
constexpr gint64 kOutputPieceUs = 500000;
// What the server is asked to take at a time, as before: asked for half a second, PipeWire
// set a longer cycle, and the first sound came later in our runs.
constexpr gint64 kOutputSegmentUs = 200000;

// autoaudiosink falls back to a fakesink inside when no real sink opens.
bool standsIn(GstElement* sink) {
    if (!GST_IS_BIN(sink))
        return false;
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(sink));
    GValue item = G_VALUE_INIT;
    bool fake = false;
    while (!fake && gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        GstElementFactory* factory =
            gst_element_get_factory(GST_ELEMENT(g_value_get_object(&item)));
        fake = factory && g_strcmp0(GST_OBJECT_NAME(factory), "fakesink") == 0;
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return fake;
}

} // namespace

GstSoundOutput::GstSoundOutput(std::function<GstElement*()> makeSink)
    : makeSink_(std::move(makeSink)) {}

GstSoundOutput::~GstSoundOutput() {
    standDown();
    for (GstElement* e : {sink_, levels_})
        if (e)
            gst_object_unref(e);
}

bool GstSoundOutput::build(GstElement* playbin) {
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* caps = gst_element_factory_make("capsfilter", nullptr);
    panorama_ = gst_element_factory_make("audiopanorama", nullptr);
    volume_ = gst_element_factory_make("volume", nullptr);
    GstElement* batcher = makeSoundBatcher(kOutputPieceUs * GST_USECOND);
    if (!convert || !caps || !panorama_ || !volume_ || !batcher) {
        for (GstElement* e : {convert, caps, panorama_, volume_, batcher})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        panorama_ = volume_ = nullptr;
        return false;
    }
    // In front of playbin's queue, so that its thread and everything after it, down to the
    // sound server's client thread, handle a piece at a time instead of every MP3 frame.
    g_object_set(playbin, "audio-filter", batcher, nullptr);
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
    return true;
}

GstSoundOutput::Preroll GstSoundOutput::preroll(GstElement* playbin, GstBus* bus,
                                                const std::function<void(GstElement*)>& watch) {
    if (sink_)
        gst_object_unref(std::exchange(sink_, nullptr));
    GstElement* sink = answeringSpare();
    if (!sink)
        sink = makeSink();
    streamLevels_ = sink && GST_IS_STREAM_VOLUME(sink);
    if (!sink)
        return Preroll::SinkFailed;
    watch(sink);
    g_object_set(playbin, "audio-sink", withLevels(sink), nullptr);
    sink_ = sink;
    applyVolume(); // before the stream opens, so its first sound has them
    prerolledUs_ = g_get_monotonic_time();
    ran_ = movedWhileHeld_ = false;
    const Preroll result = prerollInto(playbin, bus);
    // Again on the open stream, still silent: PipeWire's session manager replaces what the
    // stream was opened with by the volume it keeps for the program.
    applyVolume();
    return result;
}

std::optional<gint64> GstSoundOutput::heldLongAt(GstElement* playbin) {
    const gint64 since = std::exchange(prerolledUs_, 0);
    ran_ = true;
    const bool long_ = since != 0 && g_get_monotonic_time() - since > kLongHoldUs;
    gint64 ns = 0;
    if (!(std::exchange(movedWhileHeld_, false) || long_) ||
        !gst_element_query_position(playbin, GST_FORMAT_TIME, &ns))
        return std::nullopt;
    return ns;
}

bool GstSoundOutput::failed(GstMessage* msg) const {
    return sink_ && gst_object_has_as_ancestor(GST_MESSAGE_SRC(msg), GST_OBJECT(sink_));
}

GstSoundOutput::Preroll GstSoundOutput::prerollInto(GstElement* playbin, GstBus* bus) {
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
    else if (msg && failed(msg))
        result = Preroll::SinkFailed;
    if (msg)
        gst_message_unref(msg);
    return result;
}

// Null when the sink cannot open: a stand-in that only keeps time would show a track playing
// that nobody hears.
GstElement* GstSoundOutput::makeSink(bool orDevice) {
    // The sound server's own sink has a stream volume; autoaudiosink would hide it. A device's
    // sink is the fallback where no server runs.
    GstElement* sink =
        opened(makeSink_ ? makeSink_() : gst_element_factory_make("pulsesink", nullptr));
    if (!makeSink_ && !sink && orDevice)
        sink = opened(gst_element_factory_make("autoaudiosink", nullptr));
    if (sink && GST_IS_STREAM_VOLUME(sink) &&
        g_object_class_find_property(G_OBJECT_GET_CLASS(sink), "buffer-time"))
        g_object_set(sink, "buffer-time", kOutputAheadUs, "latency-time", kOutputSegmentUs,
                     nullptr);
    return sink;
}

void GstSoundOutput::standBy() {
    if (!spare_)
        spare_ = makeSink(false);
    if (spare_ && !GST_IS_STREAM_VOLUME(spare_))
        standDown();
}

// The sink opened to stand by, while its server still answers: after the server went away, a
// sink needs a new connection, even to a server that came back.
GstElement* GstSoundOutput::answeringSpare() {
    if (spare_ && g_object_class_find_property(G_OBJECT_GET_CLASS(spare_), "device-name")) {
        gchar* name = nullptr; // asked of the server
        g_object_get(spare_, "device-name", &name, nullptr);
        if (!name)
            standDown();
        g_free(name);
    }
    return std::exchange(spare_, nullptr);
}

void GstSoundOutput::standDown() {
    if (spare_) {
        gst_element_set_state(spare_, GST_STATE_NULL);
        gst_object_unref(std::exchange(spare_, nullptr));
    }
}

// Null when `sink` does not open. One that opens stays open: the file's start then does not
// connect to the sound server a second time.
GstElement* GstSoundOutput::opened(GstElement* sink) {
    if (!sink)
        return nullptr;
    gst_object_ref_sink(sink);
    if (gst_element_set_state(sink, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE && !standsIn(sink))
        return sink;
    gst_element_set_state(sink, GST_STATE_NULL);
    gst_object_unref(sink);
    return nullptr;
}

// The levels sit right before the sink, behind playbin's own second of queued sound (as an
// audio-filter they would be heard a second late).
GstElement* GstSoundOutput::withLevels(GstElement* sink) {
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

void GstSoundOutput::setLevels(double volumeFactor, float panorama, bool mute) {
    if (!volume_)
        return;
    volumeFactor_ = volumeFactor;
    mute_ = mute;
    applyVolume();
    g_object_set(panorama_, "panorama", panorama, nullptr);
    gst_base_transform_set_passthrough(GST_BASE_TRANSFORM(panorama_), panorama == 0.0f);
}

// On the stream where the sink has one, so it is heard at once; in the samples otherwise.
void GstSoundOutput::applyVolume() {
    const gboolean mute = mute_ ? TRUE : FALSE;
    if (streamLevels_ && sink_) {
        g_object_set(volume_, "volume", 1.0, "mute", FALSE, nullptr);
        gst_stream_volume_set_volume(GST_STREAM_VOLUME(sink_), GST_STREAM_VOLUME_FORMAT_LINEAR,
                                     volumeFactor_);
        gst_stream_volume_set_mute(GST_STREAM_VOLUME(sink_), mute);
    } else {
        g_object_set(volume_, "volume", volumeFactor_, "mute", mute, nullptr);
    }
}
