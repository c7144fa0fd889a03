#pragma once

#include "playback/gapless_queue.h"

#include <QString>
#include <functional>
#include <gst/gst.h>
#include <optional>

// Watches every buffer and event on its way into the sink, on the sink's streaming thread.
// Every track passes there, the queued ones included, and what has passed is as good as
// heard: this is where a queued file arrives, where it may be turned into the end of the one
// before, and where the running time of its first sound is found.
class GstSinkWatch {
public:
    struct Arrival {
        QString file;
        GstClockTime runningTime; // when its first sound is due
    };
    struct Seen {
        GstPadProbeReturn pass = GST_PAD_PROBE_OK;
        std::optional<Arrival> arrival;
    };
    // Calls `probe` for everything that reaches `sink`.
    static void attach(GstElement* sink, std::function<GstPadProbeReturn(GstPadProbeInfo*)> probe);
    // Before taking any lock: muted sound is sent as plain sound.
    static void unmarkGap(GstPadProbeInfo* info);

    // False for what passes untouched whatever the queue says: most buffers, so the sink's
    // thread seldom takes the queue's lock.
    bool needsQueue(GstPadProbeInfo* info) const;
    // Under the lock that guards `queue`.
    Seen see(GstPadProbeInfo* info, GaplessQueue& queue);

private:
    Seen look(GstPadProbeInfo* info, GaplessQueue& queue);

    GstSegment segment_{}; // the arriving file's
    // The queue was arriving or dropping when last seen. Only this thread turns either on;
    // the worker turns them off only while the pipeline is down.
    bool queueActs_ = false;
};
