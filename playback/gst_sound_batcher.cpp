#include "playback/gst_sound_batcher.h"

#include <gst/audio/audio.h>
#include <gst/base/gstadapter.h>
#include <initializer_list>

// GObject boilerplate in C style: GStreamer's element model.
struct MtSoundBatcher {
    GstElement parent;
    GstPad* sinkPad;
    GstPad* srcPad;
    GstAdapter* held;
    GstClockTime piece;
    gsize pieceBytes;
    gint rate;
    gint frameBytes;
    GstClockTime heldPts; // of the first sample held
    gboolean heldDiscont;
    gboolean started; // a piece went on since the last start or flush
};

struct MtSoundBatcherClass {
    GstElementClass parentClass;
};

G_DEFINE_TYPE(MtSoundBatcher, mt_sound_batcher, GST_TYPE_ELEMENT)

namespace {

GstStaticPadTemplate sinkTemplate =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS("audio/x-raw"));
GstStaticPadTemplate srcTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS("audio/x-raw"));

// A sample in hand more than this off the next one's time is not continued from.
constexpr GstClockTime kGap = 20 * GST_MSECOND;

MtSoundBatcher* self(GstObject* parent) {
    return reinterpret_cast<MtSoundBatcher*>(parent);
}

GstClockTime heldDuration(MtSoundBatcher* b) {
    if (b->rate <= 0 || b->frameBytes <= 0)
        return 0;
    const guint64 frames = gst_adapter_available(b->held) / b->frameBytes;
    return gst_util_uint64_scale_int(frames, GST_SECOND, b->rate);
}

GstFlowReturn pushHeld(MtSoundBatcher* b) {
    const gsize bytes = gst_adapter_available(b->held);
    if (bytes == 0)
        return GST_FLOW_OK;
    const GstClockTime duration = heldDuration(b);
    GstBuffer* out = gst_adapter_take_buffer(b->held, bytes);
    out = gst_buffer_make_writable(out);
    GST_BUFFER_PTS(out) = b->heldPts;
    GST_BUFFER_DURATION(out) = duration;
    GST_BUFFER_OFFSET(out) = GST_BUFFER_OFFSET_END(out) = GST_BUFFER_OFFSET_NONE;
    if (b->heldDiscont)
        GST_BUFFER_FLAG_SET(out, GST_BUFFER_FLAG_DISCONT);
    else
        GST_BUFFER_FLAG_UNSET(out, GST_BUFFER_FLAG_DISCONT);
    return gst_pad_push(b->srcPad, out);
}

GstFlowReturn chain(GstPad* /*pad*/, GstObject* parent, GstBuffer* buffer) {
    MtSoundBatcher* b = self(parent);
    if (b->pieceBytes == 0) // no sound format known
        return gst_pad_push(b->srcPad, buffer);
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    if (gst_adapter_available(b->held) > 0) {
        const GstClockTime expected = b->heldPts + heldDuration(b);
        const bool apart = GST_CLOCK_TIME_IS_VALID(pts) && GST_CLOCK_TIME_IS_VALID(b->heldPts) &&
                           (pts > expected + kGap || pts + kGap < expected);
        if (GST_BUFFER_IS_DISCONT(buffer) || apart) {
            const GstFlowReturn ret = pushHeld(b);
            if (ret != GST_FLOW_OK) {
                gst_buffer_unref(buffer);
                return ret;
            }
        }
    }
    if (gst_adapter_available(b->held) == 0) {
        b->heldPts = pts;
        b->heldDiscont = GST_BUFFER_IS_DISCONT(buffer);
    }
    gst_adapter_push(b->held, buffer);
    // The first sound after a start or a seek goes on at once: a piece would hold it back
    // while the rest of it is decoded.
    if (b->started && gst_adapter_available(b->held) < b->pieceBytes)
        return GST_FLOW_OK;
    b->started = TRUE;
    return pushHeld(b);
}

gboolean sinkEvent(GstPad* pad, GstObject* parent, GstEvent* event) {
    MtSoundBatcher* b = self(parent);
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_FLUSH_STOP:
        gst_adapter_clear(b->held);
        b->started = FALSE;
        break;
    case GST_EVENT_CAPS: {
        pushHeld(b); // in the format it came in
        GstCaps* caps = nullptr;
        gst_event_parse_caps(event, &caps);
        GstAudioInfo info;
        const bool known = gst_audio_info_from_caps(&info, caps) && info.rate > 0 && info.bpf > 0;
        b->rate = known ? info.rate : 0;
        b->frameBytes = known ? info.bpf : 0;
        b->pieceBytes =
            known ? gsize(gst_util_uint64_scale_int(b->piece, info.rate, GST_SECOND)) * info.bpf
                  : 0;
        break;
    }
    default:
        if (GST_EVENT_IS_SERIALIZED(event) && GST_EVENT_TYPE(event) != GST_EVENT_FLUSH_STOP)
            pushHeld(b);
        break;
    }
    return gst_pad_event_default(pad, parent, event);
}

GstStateChangeReturn changeState(GstElement* element, GstStateChange transition) {
    const GstStateChangeReturn ret =
        GST_ELEMENT_CLASS(mt_sound_batcher_parent_class)->change_state(element, transition);
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) {
        gst_adapter_clear(self(GST_OBJECT(element))->held);
        self(GST_OBJECT(element))->started = FALSE;
    }
    return ret;
}

void finalize(GObject* object) {
    g_object_unref(self(GST_OBJECT(object))->held);
    G_OBJECT_CLASS(mt_sound_batcher_parent_class)->finalize(object);
}

} // namespace

static void mt_sound_batcher_class_init(MtSoundBatcherClass* klass) {
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(element, &sinkTemplate);
    gst_element_class_add_static_pad_template(element, &srcTemplate);
    gst_element_class_set_static_metadata(element, "Sound batcher", "Filter/Audio",
                                          "Hands raw sound on in larger pieces", "Marrowtune");
    element->change_state = changeState;
    G_OBJECT_CLASS(klass)->finalize = finalize;
}

static void mt_sound_batcher_init(MtSoundBatcher* b) {
    b->sinkPad = gst_pad_new_from_static_template(&sinkTemplate, "sink");
    b->srcPad = gst_pad_new_from_static_template(&srcTemplate, "src");
    gst_pad_set_chain_function(b->sinkPad, chain);
    gst_pad_set_event_function(b->sinkPad, sinkEvent);
    for (GstPad* pad : {b->sinkPad, b->srcPad}) {
        GST_PAD_SET_PROXY_CAPS(pad);
        GST_PAD_SET_PROXY_ALLOCATION(pad);
        gst_element_add_pad(GST_ELEMENT(b), pad);
    }
    b->held = gst_adapter_new();
    b->heldPts = GST_CLOCK_TIME_NONE;
}

GstElement* makeSoundBatcher(GstClockTime piece) {
    auto* b = static_cast<MtSoundBatcher*>(g_object_new(mt_sound_batcher_get_type(), nullptr));
    b->piece = piece;
    return GST_ELEMENT(b);
}
