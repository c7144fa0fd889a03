#pragma once

#include <gst/gst.h>

// An element that hands the decoded sound on in pieces of `piece` rather than one MP3 frame
// (26 ms) at a time: each piece wakes the threads after it (playbin's queue, the sound
// server's client), so 500 ms pieces wake them twice a second instead of forty. The first
// frame after a start or a flush goes on alone, so nothing waits for a piece to fill. What it
// holds goes on before any event that follows in the stream (a track's end, the next track's
// start), so a joint stays exact; a flush drops it.
GstElement* makeSoundBatcher(GstClockTime piece);
