#pragma once

#include <functional>
#include <gst/gst.h>
#include <optional>

// The end of the pipeline: the levels (volume, mute, balance) and the sink they feed. The
// levels are built once and move from one file's sink to the next, keeping their settings,
// so they hold across tracks and do not depend on the sound server's per-stream volume.
// Used on the worker thread only.
class GstSoundOutput {
public:
    // Longer than a sound server that answers at all takes to open a stream.
    static constexpr GstClockTime kPrerollWait = 1300 * GST_MSECOND;

    // `makeSink` gives the sink for each new file; without one, autoaudiosink is used.
    explicit GstSoundOutput(std::function<GstElement*()> makeSink);
    GstSoundOutput(const GstSoundOutput&) = delete;
    GstSoundOutput& operator=(const GstSoundOutput&) = delete;
    ~GstSoundOutput();

    // Puts the levels together and gives `playbin` the sound in pieces. False when an
    // element is missing (GStreamer's plugins are not all there).
    bool build(GstElement* playbin);
    enum class Preroll { Ok, Failed, SinkFailed };
    // Prerolls `playbin` into a new sink behind the levels; `watch` sees the sink first. A new
    // sink each time, so a sound server that came back is used by the next file. SinkFailed
    // when the sink cannot open (no sound server, no device): nothing would be heard.
    Preroll preroll(GstElement* playbin, GstBus* bus,
                    const std::function<void(GstElement*)>& watch);

    // At the first play after the preroll, the place of a track held paused since then for
    // long: a sound server's stream held corked runs its clock on, and the first sound would
    // come after as long a silence, so it wants opening afresh.
    std::optional<gint64> heldLongAt(GstElement* playbin);
    // A seek flushes the stream; one made while held has the same fault as a long hold (a
    // resume would be heard up to a second late), so it too has the next play open afresh.
    void flushing(bool running) { movedWhileHeld_ = movedWhileHeld_ || (ran_ && !running); }

    // Whether the error `msg` comes from the current sink (the sound server went away, the
    // device is gone) rather than from what feeds it.
    bool failed(GstMessage* msg) const;

    // The position the current sink has played to, asked of the sink itself: through `playbin`
    // the question would pass every bin on the way, and it is asked often while a start settles.
    bool position(GstElement* playbin, gint64& ns) const {
        return gst_element_query_position(sink_ ? sink_ : playbin, GST_FORMAT_TIME, &ns);
    }

    // Opens the next file's sink while nothing plays, so that a start does not wait for a
    // connection to the sound server. Only a server's sink: one that holds a device would keep
    // it from other programs.
    void standBy();
    void standDown();

    // Element properties: they never wait on the device.
    void setLevels(double volumeFactor, float panorama, bool mute);
    // Whether the current sink holds seconds of sound ahead: a change made in the
    // samples (the balance) is heard at once only once that is flushed.
    bool feedsAhead() const { return streamLevels_; }

private:
    Preroll prerollInto(GstElement* playbin, GstBus* bus);
    GstElement* makeSink(bool orDevice = true);
    GstElement* answeringSpare();
    static GstElement* opened(GstElement* sink);
    void applyVolume();
    GstElement* withLevels(GstElement* sink);

    std::function<GstElement*()> makeSink_;
    GstElement* sink_ = nullptr;   // our own reference to the current sink
    GstElement* spare_ = nullptr;  // our own reference to the next sink, open
    GstElement* levels_ = nullptr; // our own reference; in the current output
    GstElement* panorama_ = nullptr;
    GstElement* volume_ = nullptr;
    gint64 prerolledUs_ = 0;      // until the first play after the preroll
    bool movedWhileHeld_ = false; // until the next play
    bool ran_ = false;            // played since the preroll
    bool streamLevels_ = false;   // the current sink sets volume and mute on its stream
    double volumeFactor_ = 1.0;
    bool mute_ = false;
};
