#include "app/bus_names.h"
#include "app/command_line.h"
#include "app/first_expose_hook.h"
#include "app/form1.h"
#include "app/instance_link.h"
#include "app/mpris_service.h"
#include "app/session_keeper.h"
#include "app/wayland_seat_check.h"
#include "playback/gst_engine.h"
#include "player/player.h"
#include "playlist/opened_paths.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QIcon>
#include <QTextStream>

#include <fontconfig/fontconfig.h>
#include <optional>
#include <thread>

namespace {

// How long a launch waits for the running player before it opens its own window.
constexpr int kRunningPlayerAnswersWithinMs = 1000;

QStringList rawArguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// The path quoted, with line breaks and other control characters visible, so that one
// line on the terminal names one path.
QString quotedPath(const QString& path) {
    QString quoted;
    for (const QChar c : path)
        quoted += c.category() == QChar::Other_Control
                      ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'))
                      : QString(c);
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("Marrowtune"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MARROWTUNE_VERSION));
    QTextStream out(stdout);
    QTextStream err(stderr);

    // --help and --version answer without a display; anything else the parser does not know
    // may be one of Qt's own options, so it is judged again once Qt has taken those out.
    CommandLine commandLine;
    {
        QString ignored;
        QTextStream discard(&ignored);
        if (const auto code = commandLine.parse(rawArguments(argc, argv), out, discard);
            code && *code == 0)
            return 0;
    }

    // Keeping the window on top needs a request that Wayland gives clients no way to make;
    // XWayland has it. Use it when it is there, the default platform otherwise.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb;wayland");
    avoidSeatlessTextInput(err);

    // The window cannot show before the font configuration is loaded: a few milliseconds of
    // reading files, which Qt starts only when the first widget asks for a font. Loaded on
    // another core while Qt connects to the display, it is ready by then.
    const std::jthread fontConfigurationLoader([] { FcInit(); });

    // While a track plays, the window repaints a few small boxes a second. Through shared
    // memory each repaint first waits for the X server to let go of the last one: a round
    // trip that wakes two threads every second. Sent over the connection, nothing waits.
    const bool choosesShm = !qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM");
    if (choosesShm)
        qputenv("QT_XCB_NO_MITSHM", "1");
    QApplication app(argc, argv);
    if (choosesShm)
        qunsetenv("QT_XCB_NO_MITSHM"); // a mixer started from here chooses for itself
    if (const auto code = commandLine.parse(QApplication::arguments(), out, err))
        return *code;
    QApplication::setDesktopFileName(QStringLiteral("marrowtune"));

    const QStringList paths = commandLine.paths(QDir::currentPath());
    const bool enqueue = commandLine.enqueue();
    for (const QString& path : paths)
        if (!isReadablePath(path))
            err << "marrowtune: " << quotedPath(path) << " does not exist or cannot be read\n";
    err.flush();

    // A launch with paths (a file manager's "Open With") goes to the player already running
    // in the session; without paths it opens a window of its own, as it always has.
    InstanceLink link;
    std::optional<QDBusConnection> bus;
    if (!paths.isEmpty() && sessionBusKnown()) {
        bus = QDBusConnection::sessionBus();
        if (link.claimOrHandOver(*bus, paths, enqueue, kRunningPlayerAnswersWithinMs) ==
            InstanceLink::Role::HandedOver)
            return 0;
    }

    auto* engine = new GstEngine;
    Player player(engine);
    Form1 window(&player);
    QObject::connect(&link, &InstanceLink::openRequested, &window,
                     [&player, &window](const QStringList& handed, bool handedEnqueue) {
                         player.openPaths(handed, handedEnqueue);
                         window.bringToFront();
                     });
    // The kept list and settings come back before the window shows; paths given now are
    // added after them. A window that cannot claim them runs as without --remember.
    if (commandLine.remember()) {
        auto* keeper = new SessionKeeper(&player, &window, SessionKeeper::defaultDataFolder(),
                                         SessionKeeper::defaultSettingsFile());
        if (keeper->claim()) {
            keeper->restore();
            QObject::connect(&app, &QCoreApplication::aboutToQuit, keeper, &SessionKeeper::saveNow);
        }
    }
    window.show();
    // The sound system and the window icon load once the window is up; a Play
    // pressed before that loads the sound system itself.
    new FirstExposeHook(window.windowHandle(), [engine] {
        engine->prepare();
        // Each size the window manager is offered stays in memory: a 256 px picture
        // alone held more than a megabyte once decoded and scaled.
        QIcon icon;
        for (const int size : {16, 32, 48, 64})
            icon.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
        QApplication::setWindowIcon(icon);
    });
    // Media keys and the desktop's media controls.
    auto* mpris = new MprisService(&player, &window, &link);
    if (bus && bus->isConnected())
        mpris->publish(*bus);
    else
        mpris->publishOnSessionBus();
    if (!paths.isEmpty())
        player.openPaths(paths, enqueue);
    return QApplication::exec();
}
