// The reference for start-up and memory: the least a Qt window that plays through GStreamer
// must do, a bare window with GStreamer initialised and nothing else.

#include <QApplication>
#include <QWidget>

#include <gst/gst.h>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    gst_init(&argc, &argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare"));
    window.setFixedSize(400, 184);
    window.show();
    return QApplication::exec();
}
