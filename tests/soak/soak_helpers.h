#pragma once

#include <QFile>
#include <QString>
#include <gst/gst.h>

// Small helpers shared by the soak and fault tests.

// A positive count from the environment, else `fallback`.
inline int countFromEnvironment(const char* name, int fallback) {
    bool ok = false;
    const int n = qEnvironmentVariableIntValue(name, &ok);
    return ok && n > 0 ? n : fallback;
}

// Resident memory of this process in KiB, -1 when unknown.
inline qint64 residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    // readAll, not readLine: /proc files report a size of 0.
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

// Encodes `ms` milliseconds of tone as an MP3 at `path`; false when that failed.
inline bool writeMp3Tone(const QString& path, int ms) {
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    GError* error = nullptr;
    // 441 samples at 44.1 kHz are 10 ms a buffer.
    GstElement* pipeline = gst_parse_launch(
        QStringLiteral("audiotestsrc num-buffers=%1 samplesperbuffer=441 ! "
                       "audio/x-raw,rate=44100,channels=2 ! lamemp3enc ! filesink name=out")
            .arg(std::max(1, ms / 10))
            .toUtf8()
            .constData(),
        &error);
    if (!pipeline) {
        g_clear_error(&error);
        return false;
    }
    GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    g_object_set(out, "location", QFile::encodeName(path).constData(), nullptr);
    gst_object_unref(out);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* msg = gst_bus_timed_pop_filtered(
        bus, 10 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool ok = msg && GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS;
    if (msg)
        gst_message_unref(msg);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return ok;
}
