#pragma once

#include <gst/gst.h>

// An element that hands the decoded sound on in pieces of `piece` rather than one MP3 frame
// (26 ms) at a time: each piece written to a sound server wakes its client thread, so 200 ms
// pieces wake it five times a second instead of forty. What it holds goes on before any event
// that follows in the stream (a track's end, the next track's start), so a joint stays exact;
// a flush drops it.
GstElement* makeSoundBatcher(GstClockTime piece);
