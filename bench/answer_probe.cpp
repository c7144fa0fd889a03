// How long the player's window goes without answering: for the given seconds, asks the
// running player for its playback status through the desktop's media controls, the next
// question as soon as the last is answered (and ~10 ms later), and prints the longest wait
// in ms, the number of questions and how many of them got an error instead of an answer.
// The player answers them on its GUI thread, so a GUI thread held by anything (the engine,
// a file, the sound server) shows here as a long wait. SIGTERM ends the run early, once the
// question on its way is answered, so a script can stop it when what it measures is over.
// usage: bench_answer_probe SECONDS
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

// Long enough that a window held for several seconds shows its whole length rather than
// the timeout's.
constexpr int kAnswerTimeoutMs = 10'000;
// Often enough to catch a hold of a few tens of ms; seldom enough not to keep the window busy.
constexpr unsigned long kPauseMs = 10;

volatile std::sig_atomic_t stopAsked = 0;

void askStop(int) {
    stopAsked = 1;
}

QDBusMessage statusQuestion() {
    QDBusMessage question = QDBusMessage::createMethodCall(
        QStringLiteral("org.mpris.MediaPlayer2.marrowtune"),
        QStringLiteral("/org/mpris/MediaPlayer2"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    question << QStringLiteral("org.mpris.MediaPlayer2.Player") << QStringLiteral("PlaybackStatus");
    return question;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const double seconds = argc == 2 ? std::atof(argv[1]) : 0;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: %s SECONDS\n", argv[0]);
        return 2;
    }
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "answer probe: no session bus\n");
        return 1;
    }
    std::signal(SIGTERM, askStop);
    const QDBusMessage question = statusQuestion();
    QElapsedTimer run;
    run.start();
    double longestMs = 0;
    double longestAtS = 0;
    int calls = 0;
    int failed = 0;
    QString firstError;
    while (!stopAsked && run.elapsed() < seconds * 1000) {
        QElapsedTimer wait;
        wait.start();
        const QDBusMessage answer = bus.call(question, QDBus::Block, kAnswerTimeoutMs);
        const double ms = wait.nsecsElapsed() / 1e6;
        ++calls;
        if (answer.type() != QDBusMessage::ReplyMessage) {
            ++failed;
            if (firstError.isEmpty())
                firstError = answer.errorName();
        }
        if (ms > longestMs) {
            longestMs = ms;
            longestAtS = (run.nsecsElapsed() / 1e6 - ms) / 1e3;
        }
        QThread::msleep(kPauseMs);
    }
    std::printf("%.1f %d %d\n", longestMs, calls, failed);
    std::fprintf(stderr, "answer probe: longest wait %.1f ms, asked %.2f s into the run%s%s\n",
                 longestMs, std::max(0.0, longestAtS), firstError.isEmpty() ? "" : "; first error ",
                 qPrintable(firstError));
    return 0;
}
