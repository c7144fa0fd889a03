#pragma once

#include <functional>
#include <gst/gst.h>

// When the worker reads the pipeline's position, so that its thread sleeps while nothing
// happens: at once after a start, a resume or a seek; then often until the sound output runs
// steadily with the clock (a busy machine's output may start, stall for a second while the
// sound server catches up, then go on); and every few seconds while it plays, to follow an
// output that stalls or drifts. Used on the worker thread only.
class GstReadingTimers {
public:
    // `read` reads the position and tells whether to read again soon.
    GstReadingTimers(GMainContext* context, std::function<bool()> read);
    GstReadingTimers(const GstReadingTimers&) = delete;
    GstReadingTimers& operator=(const GstReadingTimers&) = delete;
    ~GstReadingTimers() { stop(); }

    void readNow();
    void startFollowing();
    void stop();

private:
    GSource* add(guint ms, GSourceFunc call);

    GMainContext* context_;
    std::function<bool()> read_;
    GSource* following_ = nullptr;
    GSource* soon_ = nullptr;
};
