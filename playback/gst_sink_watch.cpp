#include "playback/gst_sink_watch.h"

namespace {

void replaceByEndOfStream(GstPadProbeInfo* info) {
    gst_event_unref(GST_PAD_PROBE_INFO_EVENT(info));
    GST_PAD_PROBE_INFO_DATA(info) = gst_event_new_eos();
}

GaplessQueue::AtSink formatArrives(GstEvent* capsEvent, GaplessQueue& queue) {
    GstCaps* caps = nullptr;
    gst_event_parse_caps(capsEvent, &caps);
    int rate = 0, channels = 0;
    if (caps && gst_caps_get_size(caps) > 0) {
        const GstStructure* s = gst_caps_get_structure(caps, 0);
        gst_structure_get_int(s, "rate", &rate);
        gst_structure_get_int(s, "channels", &channels);
    }
    return queue.formatIs(rate, channels);
}

} // namespace

void GstSinkWatch::attach(GstElement* sink,
                          std::function<GstPadProbeReturn(GstPadProbeInfo*)> probe) {
    GstPad* pad = gst_element_get_static_pad(sink, "sink");
    if (!pad)
        return;
    using Probe = std::function<GstPadProbeReturn(GstPadProbeInfo*)>;
    gst_pad_add_probe(
        pad,
        static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST |
                                     GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
        [](GstPad*, GstPadProbeInfo* info, gpointer call) {
            return (*static_cast<Probe*>(call))(info);
        },
        new Probe(std::move(probe)), [](gpointer call) { delete static_cast<Probe*>(call); });
    gst_object_unref(pad);
}

// After a stretch of gaps the PulseAudio sink was seen to take up to a second of sound in
// advance once unmuted, so a mute soon after was heard that late; sent as plain silence,
// every mute is heard as soon.
void GstSinkWatch::unmarkGap(GstPadProbeInfo* info) {
    if (!(GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER))
        return;
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_GAP)) {
        buffer = gst_buffer_make_writable(buffer);
        GST_BUFFER_FLAG_UNSET(buffer, GST_BUFFER_FLAG_GAP);
        GST_PAD_PROBE_INFO_DATA(info) = buffer;
    }
}

bool GstSinkWatch::needsQueue(GstPadProbeInfo* info) const {
    if (queueActs_ || !(GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM))
        return queueActs_;
    const GstEventType type = GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info));
    return type == GST_EVENT_STREAM_START || type == GST_EVENT_CAPS;
}

GstSinkWatch::Seen GstSinkWatch::see(GstPadProbeInfo* info, GaplessQueue& queue) {
    Seen seen = look(info, queue);
    queueActs_ = queue.dropping() || queue.arriving();
    return seen;
}

GstSinkWatch::Seen GstSinkWatch::look(GstPadProbeInfo* info, GaplessQueue& queue) {
    if (queue.dropping())
        return {GST_PAD_PROBE_DROP, std::nullopt};
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        auto atSink = GaplessQueue::AtSink::Pass;
        if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT && queue.arriving())
            gst_event_copy_segment(event, &segment_);
        if (GST_EVENT_TYPE(event) == GST_EVENT_STREAM_START)
            atSink = queue.streamStarts();
        if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS)
            atSink = formatArrives(event, queue);
        if (atSink == GaplessQueue::AtSink::EndHere)
            replaceByEndOfStream(info);
        return {};
    }
    std::optional<QString> file = queue.bufferArrives();
    if (!file)
        return {};
    GstBuffer* buffer = GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER
                            ? GST_PAD_PROBE_INFO_BUFFER(info)
                            : gst_buffer_list_get(GST_PAD_PROBE_INFO_BUFFER_LIST(info), 0);
    GstClockTime pts = buffer ? GST_BUFFER_PTS(buffer) : GST_CLOCK_TIME_NONE;
    if (!GST_CLOCK_TIME_IS_VALID(pts))
        pts = segment_.start;
    return {GST_PAD_PROBE_OK,
            Arrival{*file, gst_segment_to_running_time(&segment_, GST_FORMAT_TIME, pts)}};
}
