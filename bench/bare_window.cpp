// The reference for start-up and memory: the least a Qt window that plays through GStreamer
// must do. Without an argument, a bare window with one line of text (so that, like any real
// window, it loads its fonts) and GStreamer initialised; with a file, the same window playing
// it through a plain playbin. With --tick, the window instead runs a 10 ms timer that does
// nothing: what a window that must tick every 10 ms costs at the least.

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <gst/gst.h>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    gst_init(&argc, &argv);
    QLabel window(QStringLiteral("0:0"));
    window.setWindowTitle(QStringLiteral("Bare"));
    window.setFixedSize(400, 184);
    window.show();

    QTimer tick;
    GstElement* playbin = nullptr;
    if (argc > 1 && qstrcmp(argv[1], "--tick") == 0) {
        QObject::connect(&tick, &QTimer::timeout, [] {});
        tick.start(10);
    } else if (argc > 1) {
        playbin = gst_element_factory_make("playbin", nullptr);
        gchar* uri = gst_filename_to_uri(argv[1], nullptr);
        g_object_set(playbin, "uri", uri, nullptr);
        g_free(uri);
        gst_element_set_state(playbin, GST_STATE_PLAYING);
    }
    const int result = QApplication::exec();
    if (playbin) {
        gst_element_set_state(playbin, GST_STATE_NULL);
        gst_object_unref(playbin);
    }
    return result;
}
