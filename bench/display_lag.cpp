// How closely the time box follows the engine: plays a file in the real window and engine
// and, each time the shown second moves on by one, notes how long before that the engine's
// position had passed the half second where it changed. Also counts the display's refreshes.
// Given the recording a recorder is writing of the sound output (s16le stereo, 44.1 kHz) and
// a FILE whose sound stops at every k + 1/2 s, also notes how far the recording had got each
// time the position passed k + 1/2, and finds in it where the sound really stopped: how
// closely the position follows what is heard.
// Prints tab-separated rows (figure, measured, reference, target, verdict).
// usage: bench_display_lag FILE SECONDS [RECORDING]

#include "app/form1.h"
#include "playback/gst_engine.h"
#include "playback/position_rules.h"
#include "player/player.h"
#include "playlist/play_list_model.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kRate = 44100;
constexpr qint64 kFrameBytes = 4;

// Milliseconds from byte `offset` of `recording` to where the sound stops (the first 5 ms
// below -24 dBFS), looked for from 300 ms before; NaN when it does not stop within a second.
double stopsMs(const QByteArray& recording, qint64 offset) {
    const qint64 from = std::max<qint64>(0, offset / kFrameBytes - kRate * 3 / 10);
    const auto* s = reinterpret_cast<const qint16*>(recording.constData());
    const qint64 frames = recording.size() / kFrameBytes;
    int quiet = 0;
    for (qint64 f = from; f < std::min(frames, from + kRate * 13 / 10); ++f) {
        quiet = std::abs(int(s[2 * f])) < 2048 ? quiet + 1 : 0;
        if (quiet == kRate / 200)
            return double(f - quiet + 1 - offset / kFrameBytes) * 1000.0 / kRate;
    }
    return qQNaN();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FILE SECONDS\n", argv[0]);
        return 2;
    }
    auto* engine = new GstEngine;
    Player player(engine);
    Form1 window(&player);
    window.show();
    auto* text = window.findChild<QLineEdit*>(QStringLiteral("TxtTime"));
    auto* timer = window.findChild<QTimer*>(QStringLiteral("Timer1"));
    int refreshes = 0;
    qint64 shown = -2; // the start-up text (0:0) is not a step
    QList<double> lagsMs;
    int stepsBack = 0; // the position was corrected back over a half second
    QObject::connect(timer, &QTimer::timeout, [&] { ++refreshes; });
    // The moment the rounded position went up to its value: it crossed the half second there,
    // whether it ran there or jumped there (the sound output catching up). The benchmark
    // reads it every millisecond itself, and at every text change, so only the window's own
    // timing is measured; after a step back the next step up is timed anew.
    QElapsedTimer clock;
    clock.start();
    qint64 polled = -1; // the rounded position at the last read
    qint64 reachedAtNs = 0;
    const QString recording = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
    QList<qint64> stopOffsets; // how far the recording had got as the position passed k + 1/2
    auto read = [&] {
        const qint64 now = roundHalfEvenSaturated(engine->position());
        if (now > polled) {
            reachedAtNs = clock.nsecsElapsed();
            if (!recording.isEmpty() && polled >= 0)
                stopOffsets << QFileInfo(recording).size();
        }
        polled = now;
        return now;
    };
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, read);
    poll.start(1);
    QObject::connect(text, &QLineEdit::textChanged, [&] {
        const qint64 now = read();
        if (now == shown + 1)
            lagsMs << static_cast<double>(clock.nsecsElapsed() - reachedAtNs) / 1e6;
        stepsBack += now < shown && shown >= 0 ? 1 : 0;
        shown = now;
    });
    player.list()->append({QString::fromLocal8Bit(argv[1])});
    player.playEntry(0);
    const int seconds = QByteArray(argv[2]).toInt();
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    QApplication::exec();

    if (!recording.isEmpty()) {
        QFile f(recording);
        const QByteArray heard = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        QList<double> apart; // heard stop minus where the position said it: > 0, heard late
        // An idle null sink's monitor records nothing: the first two seconds of the recording
        // are not yet in step with the clock.
        stopOffsets = stopOffsets.mid(2);
        for (qint64 offset : stopOffsets)
            if (const double ms = stopsMs(heard, offset); !std::isnan(ms))
                apart << ms;
        std::sort(apart.begin(), apart.end(),
                  [](double a, double b) { return std::abs(a) < std::abs(b); });
        const double worst = apart.isEmpty() ? qQNaN() : apart.last();
        std::printf("position against the sound heard (worst of %lld of %lld)\t%.1f ms\tmedian "
                    "%.1f ms\t<= 30 ms\t%s\n",
                    static_cast<long long>(apart.size()),
                    static_cast<long long>(stopOffsets.size()), worst,
                    apart.isEmpty() ? qQNaN() : apart[apart.size() / 2],
                    std::abs(worst) <= 30 && apart.size() == stopOffsets.size() ? "ok" : "missed");
    }
    if (lagsMs.isEmpty()) {
        std::printf(
            "time box after the position passes k + 1/2\tno change seen\t-\t<= 30 ms\tmissed\n");
        return 1;
    }
    std::sort(lagsMs.begin(), lagsMs.end());
    const double worst = lagsMs.last();
    std::printf("time box after the position passes k + 1/2 (worst of %lld)\t%.1f ms\tmedian %.1f "
                "ms\t<= 30 ms\t%s\n",
                static_cast<long long>(lagsMs.size()), worst, lagsMs[lagsMs.size() / 2],
                worst <= 30 ? "ok" : "missed");
    std::printf("  display refreshes while playing\t%.1f /s\t-\t-\t-\n",
                static_cast<double>(refreshes) / seconds);
    std::printf("  time box stepped back (output stalled)\t%d\t-\t-\t-\n", stepsBack);
    return 0;
}
