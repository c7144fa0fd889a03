// The main window on the real engine and the default sound output, driven line by line from
// standard input, for scripts that break the sound server under it. Commands:
//   play PATH   add PATH, select it and press Play; answers "started 1|0 <ms play() took>"
//   ping        answers "pong <position>" (the window's event loop is alive)
//   quit        answers "bye" and exits
// Each track end is reported as "end <result>".
#include "app/form1.h"
#include "playlist/play_list_model.h"
#include "soak/timed_engine.h"

#include <QApplication>
#include <QListView>
#include <QSocketNotifier>
#include <QTextStream>
#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    auto* engine = new TimedEngine(true);
    Form1 form(engine);
    auto* list = form.findChild<QListView*>("List1");

    auto say = [](const QString& line) {
        std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
    };
    QObject::connect(engine, &MediaEngine::endOfStream,
                     [&](int result) { say(QStringLiteral("end %1").arg(result)); });

    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            app.quit();
            return;
        }
        pending.append(buffer, n);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pending.left(end));
            pending.remove(0, end + 1);
            if (line.startsWith(QStringLiteral("play "))) {
                form.playList()->append({line.mid(5)});
                list->selectionModel()->setCurrentIndex(
                    form.playList()->index(form.playList()->count() - 1),
                    QItemSelectionModel::ClearAndSelect);
                form.CmdPlay_Click();
                const TimedEngine::Start& s = engine->starts.last();
                say(QStringLiteral("started %1 %2").arg(int(s.ok)).arg(s.ms));
            } else if (line == QStringLiteral("ping")) {
                say(QStringLiteral("pong %1").arg(engine->position()));
            } else if (line == QStringLiteral("quit")) {
                say(QStringLiteral("bye"));
                app.quit();
            }
        }
    });
    return app.exec();
}
