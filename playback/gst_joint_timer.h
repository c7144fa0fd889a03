#pragma once

#include <functional>
#include <gst/gst.h>
#include <vector>

// The moments queued files are heard: a file is heard when the pipeline's clock reaches the
// running time of its first buffer, the sink holding some of the one before until then.
// Used on the worker thread only.
class GstJointTimer {
public:
    GstJointTimer() = default;
    GstJointTimer(const GstJointTimer&) = delete;
    GstJointTimer& operator=(const GstJointTimer&) = delete;
    ~GstJointTimer() { cancel(); }

    // Calls `reached` on the clock's thread when `playbin`'s clock reaches `runningTime`, at
    // once when the time or the clock is not known.
    void schedule(GstElement* playbin, GstClockTime runningTime, std::function<void()> reached);
    void forgetPast(GstElement* playbin);
    void cancel();

private:
    std::vector<GstClockID> waiting_;
};
