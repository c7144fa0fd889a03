#include "app/form1.h"
#include "app/mpris_service.h"
#include "playback/gst_engine.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv) {
    // Keeping the window on top needs a request that Wayland gives clients no way to make;
    // XWayland has it. Use it when it is there, the default platform otherwise.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb;wayland");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Marrowtune"));
    QApplication::setApplicationVersion(QStringLiteral(MARROWTUNE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("marrowtune"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("marrowtune"),
                                                 QIcon(QStringLiteral(":/icons/marrowtune.png"))));

    Form1 window(new GstEngine);
    window.show();
    // Media keys and the desktop's media controls.
    (new MprisService(&window))->publishOnSessionBus();
    return QApplication::exec();
}
