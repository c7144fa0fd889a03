#include "playback/gst_joint_timer.h"

#include <utility>

void GstJointTimer::schedule(GstElement* playbin, GstClockTime runningTime,
                             std::function<void()> reached) {
    GstClock* clock = gst_element_get_clock(playbin);
    if (!clock || !GST_CLOCK_TIME_IS_VALID(runningTime)) {
        if (clock)
            gst_object_unref(clock);
        reached();
        return;
    }
    GstClockID id =
        gst_clock_new_single_shot_id(clock, gst_element_get_base_time(playbin) + runningTime);
    gst_object_unref(clock);
    waiting_.push_back(id);
    using Call = std::function<void()>;
    gst_clock_id_wait_async(
        id,
        [](GstClock*, GstClockTime, GstClockID, gpointer call) -> gboolean {
            (*static_cast<const Call*>(call))();
            return TRUE;
        },
        new Call(std::move(reached)), [](gpointer call) { delete static_cast<Call*>(call); });
}

void GstJointTimer::forgetPast(GstElement* playbin) {
    GstClock* clock = gst_element_get_clock(playbin);
    if (!clock)
        return;
    const GstClockTime now = gst_clock_get_time(clock);
    gst_object_unref(clock);
    std::erase_if(waiting_, [now](GstClockID id) {
        if (gst_clock_id_get_time(id) > now)
            return false;
        gst_clock_id_unref(id);
        return true;
    });
}

void GstJointTimer::cancel() {
    for (GstClockID id : waiting_) {
        gst_clock_id_unschedule(id);
        gst_clock_id_unref(id);
    }
    waiting_.clear();
}
