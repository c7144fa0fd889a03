#pragma once

#include <QString>
#include <gst/gst.h>

// Small GStreamer calls the worker makes in more than one place, or that need explaining.

// True when `bin` decodes MPEG audio (its frames can be counted for an exact length).
bool containsMpegParser(GstElement* bin);
// mpg123audiodec of GStreamer 1.22 asserts on the empty first frame of every file with a LAME
// tag, and decodes fine after it. Only that one message is kept off the terminal.
void quietKnownDecoderAssertion();
// Only notes the file for the next stream: it waits on nothing.
void setUri(GstElement* playbin, const QString& file);
// Drops what is on the bus, so that it cannot pass for news about what comes next.
void flushBus(GstBus* bus);
