#include "playback/gst_calls.h"

#include <QFile>

namespace {

gint isMpegParser(gconstpointer value, gconstpointer) {
    auto* element = GST_ELEMENT(g_value_get_object(static_cast<const GValue*>(value)));
    GstElementFactory* factory = gst_element_get_factory(element);
    return factory && g_strcmp0(GST_OBJECT_NAME(factory), "mpegaudioparse") == 0 ? 0 : 1;
}

} // namespace

bool containsMpegParser(GstElement* bin) {
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(bin));
    GValue found = G_VALUE_INIT;
    const bool yes = gst_iterator_find_custom(it, isMpegParser, &found, nullptr);
    if (yes)
        g_value_unset(&found);
    gst_iterator_free(it);
    return yes;
}

void quietKnownDecoderAssertion() {
    g_log_set_handler(
        "GStreamer-Audio", static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_FLAG_FATAL),
        [](const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
            if (!g_strrstr(message,
                           "gst_audio_decoder_allocate_output_buffer: assertion 'size > 0'"))
                g_log_default_handler(domain, level, message, nullptr);
        },
        nullptr);
}

void setUri(GstElement* playbin, const QString& file) {
    gchar* uri = gst_filename_to_uri(QFile::encodeName(file).constData(), nullptr);
    g_object_set(playbin, "uri", uri, nullptr);
    g_free(uri);
}

void flushBus(GstBus* bus) {
    gst_bus_set_flushing(bus, TRUE);
    gst_bus_set_flushing(bus, FALSE);
}
