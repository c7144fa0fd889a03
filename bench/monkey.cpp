// A monkey run: for the given seconds, the real window, player and GStreamer engine are
// pressed at random (buttons, keys, sliders, rows, modes, dropped files, every box answered)
// while the desktop's media controls are called at random from another program's bus
// connection. The files are those of FOLDER, good and broken ones; its lists/ folder holds
// the lists offered to l()ad lizt. The seed fixes what is pressed and when (not how the
// threads interleave). Prints tab-separated rows for bench/run: the longest the window did
// not answer, the longest media-control call, the time box against the engine's position
// while playing, and the resident memory over the run. The line "monkey: finished" on
// stderr marks a run that ended by itself; bench/monkey.sh runs this and tells a crash.
// usage: bench_monkey SECONDS SEED FOLDER
#include "app/first_expose_hook.h"
#include "app/form1.h"
#include "app/mpris_service.h"
#include "bench/answer_watch.h"
#include "bench/monkey_hands.h"
#include "bench/remote_controls.h"
#include "bench/resident_memory.h"
#include "playback/gst_engine.h"
#include "player/player.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <execinfo.h>
#include <functional>
#include <malloc.h>
#include <random>
#include <unistd.h>

namespace {

constexpr int kIdleReferenceMs = 2000;
constexpr double kAnswerTargetMs = 250;
constexpr double kTimeTextTargetS = 1;
// The display is refreshed at once after a seek or a start, but not before the floor between
// two refreshes has passed; the time box is compared only once it has had that chance.
constexpr qint64 kTimeTextSettleMs = 100;
// Memory grows while the first lists, boxes, dialogs and sound server connections are made,
// and whenever an entry first shows characters the usual fonts lack (a binary file taken for
// a list loads fallback fonts, which stay): the growth after the first fifth is told. In the
// last 40 % of a run that only repeats all that, what still grows is kept per press, call or
// song: at 2 MiB a minute, about 2 KiB for each of the ~1,000 events a minute brings.
constexpr double kWarmUpShare = 0.2;
constexpr double kLateShare = 0.6;
constexpr qint64 kLateGrowthBoundKiBPerMinute = 2 * 1024;
// AddressSanitizer keeps freed memory in quarantine and every block padded: memory is not
// judged in that build.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryJudged = false;
#else
constexpr bool kMemoryJudged = true;
#endif

QString mib(qint64 kib) {
    return QString::number(double(kib) / 1024, 'f', 1);
}

// "m:s" as the time box writes it, in seconds; empty for anything else.
std::optional<qint64> shownSeconds(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(':'));
    bool okM = false, okS = false;
    const qint64 m = parts.value(0).toLongLong(&okM);
    const qint64 s = parts.value(1).toLongLong(&okS);
    if (parts.size() != 2 || !okM || !okS)
        return std::nullopt;
    return m * 60 + (m < 0 ? -s : s);
}

void row(const QString& figure, const QString& measured, const QString& reference,
         const QString& target, const QString& result) {
    std::printf("%s\t%s\t%s\t%s\t%s\n", qPrintable(figure), qPrintable(measured),
                qPrintable(reference), qPrintable(target), qPrintable(result));
}

#if !defined(__SANITIZE_ADDRESS__) // the sanitizers tell crashes themselves
// A crash tells where it happened: the stack of the thread that crashed, as far as the
// libraries' exported names go, before the default action ends the process.
void tellStackAndDie(int signal) {
    void* frames[64];
    const int depth = backtrace(frames, 64);
    const char header[] = "monkey: crashed; the stack of the crashing thread:\n";
    (void)!write(STDERR_FILENO, header, sizeof header - 1);
    backtrace_symbols_fd(frames, depth, STDERR_FILENO);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}
#endif

// monkey.sh sends SIGUSR1 when it has started the sound server again.
volatile std::sig_atomic_t soundServerBack = 0;

void noteSoundServerBack(int) {
    soundServerBack = 1;
}

QString verdict(bool ok) {
    return ok ? QStringLiteral("ok") : QStringLiteral("missed");
}

} // namespace

int main(int argc, char** argv) {
#if !defined(__SANITIZE_ADDRESS__)
    for (const int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL})
        std::signal(signal, tellStackAndDie);
#endif
    std::signal(SIGUSR1, noteSoundServerBack);
    QApplication app(argc, argv);
    const double seconds = argc == 4 ? std::atof(argv[1]) : 0;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: %s SECONDS SEED FOLDER\n", argv[0]);
        return 2;
    }
    const auto seed = std::uint32_t(std::strtoul(argv[2], nullptr, 10));
    const QDir folder(QString::fromLocal8Bit(argv[3]));
    // The folder chooser opens in the current folder: the monkey's files.
    QDir::setCurrent(folder.absolutePath());
    QStringList media, lists;
    for (const QString& name :
         folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System))
        if (name != QLatin1String("lists") && name != QLatin1String("saved"))
            media << folder.absoluteFilePath(name);
    for (const QString& name :
         QDir(folder.filePath(QStringLiteral("lists"))).entryList(QDir::Files))
        lists << folder.absoluteFilePath(QStringLiteral("lists/") + name);
    media << folder.absoluteFilePath(QStringLiteral("missing.mp3"));
    lists << folder.absoluteFilePath(QStringLiteral("lists/missing.m3u"));
    std::fprintf(stderr, "monkey: seed %u, %.0f s, %lld files, %lld lists\n", seed, seconds,
                 static_cast<long long>(media.size()), static_cast<long long>(lists.size()));

    auto* engine = new GstEngine;
    Player player(engine);
    std::mt19937 picks(seed ^ 0x5eedu);
    player.setRandomSource(
        [&picks] { return std::uniform_real_distribution<double>(0, 1)(picks); });
    Form1 window(&player);
    window.setMixerCandidates({{QStringLiteral("true")}});
    const QString saved = folder.absoluteFilePath(QStringLiteral("saved"));
    QDir().mkpath(saved);
    window.setListFolders(saved, saved);
    window.show();
    window.activateWindow();
    new FirstExposeHook(window.windowHandle(), [engine] { engine->prepare(); });
    auto* mpris = new MprisService(&player, &window);
    mpris->publish(QDBusConnection::sessionBus());

    MonkeyHands hands(&window, media, std::move(lists), seed);
    RemoteControls remote(std::move(media), seed + 1,
                          [&hands](const QString& call) { hands.note(call); });
    AnswerWatch watch(&window, [&hands] { return hands.lastAction(); });
    AnswerWatch::Longest reference;
    QElapsedTimer clock;
    clock.start();

    // The time box against the engine, read every 20 ms while a track plays and the display
    // has had its chance to follow the last jump.
    auto* timeBox = window.findChild<QLineEdit*>(QStringLiteral("TxtTime"));
    qint64 movedAtMs = 0;
    qint64 monkeyStartMs = 0;
    for (auto signal : {&Player::seeked, &Player::positionJumped, &Player::songStarted,
                        &Player::stateChanged, &Player::lengthChanged})
        QObject::connect(&player, signal, [&] { movedAtMs = clock.elapsed(); });
    double worstTextS = 0, worstTextAtS = 0;
    QString worstText;
    int textSamples = 0;
    QTimer textCheck;
    // How long after each start of the sound server the first song started: the player must
    // find the new server by itself.
    QList<double> backAfterS; // -1 while none has started since
    qint64 backAtMs = 0;
    QObject::connect(&player, &Player::songStarted, [&] {
        if (!backAfterS.isEmpty() && backAfterS.last() < 0)
            backAfterS.last() = double(clock.elapsed() - backAtMs) / 1e3;
    });
    QObject::connect(&textCheck, &QTimer::timeout, [&] {
        if (soundServerBack) {
            soundServerBack = 0;
            backAtMs = clock.elapsed();
            backAfterS << -1;
            hands.note(QStringLiteral("the sound server is back"));
        }
        if (player.state() != Player::PlayState::Playing ||
            clock.elapsed() - movedAtMs < kTimeTextSettleMs)
            return;
        const auto shown = shownSeconds(timeBox->text());
        const double position = player.position();
        const double off = shown ? std::abs(double(*shown) - position) : 1e9;
        ++textSamples;
        if (off > worstTextS) {
            worstTextS = off;
            worstTextAtS = double(clock.elapsed() - monkeyStartMs) / 1e3;
            worstText = QStringLiteral("\"%1\" at %2 s of %3")
                            .arg(timeBox->text())
                            .arg(position, 0, 'f', 2)
                            .arg(player.playingFile().isEmpty()
                                     ? QStringLiteral("a track the engine no longer names")
                                     : QFileInfo(player.playingFile()).fileName());
            hands.note(QStringLiteral("time box %1 s off: %2").arg(off, 0, 'f', 2).arg(worstText));
        }
    });

    // Memory is compared in the same state after the warm-up and at the end: presses and calls
    // held, any load cut short, playback stopped and the list emptied, then a second's rest and
    // the heap's free pages handed back. What grew between the two, the run kept.
    auto settledKiB = [&](const std::function<void(qint64)>& then) {
        hands.hold(true);
        remote.hold(true);
        QTimer::singleShot(300, &window, [&, then] {
            player.cancelLoading();
            player.stop();
            player.clear();
            QTimer::singleShot(1000, &window, [&, then] {
#if !defined(__SANITIZE_ADDRESS__)
                malloc_trim(0);
#endif
                hands.hold(false);
                remote.hold(false);
                then(residentKiB());
            });
        });
    };

    // Resident memory every second; a few of the readings are printed as they come.
    const qint64 runMs = qint64(seconds * 1000);
    QList<qint64> rss;
    qint64 peakKiB = 0, warmKiB = -1, lateKiB = -1;
    bool warmAsked = false, lateAsked = false;
    QTimer memory;
    QObject::connect(&memory, &QTimer::timeout, [&] {
        const qint64 kib = residentKiB();
        const qint64 ranMs = clock.elapsed() - monkeyStartMs;
        peakKiB = std::max(peakKiB, kib);
        if (!lateAsked && ranMs >= runMs * kLateShare) {
            lateAsked = true;
            settledKiB([&](qint64 settled) {
                lateKiB = settled;
                std::fprintf(stderr, "monkey: settled at %.0f %%: %s MiB\n", kLateShare * 100,
                             qPrintable(mib(settled)));
            });
        }
        if (!warmAsked && ranMs >= runMs * kWarmUpShare) {
            warmAsked = true;
            settledKiB([&](qint64 settled) {
                warmKiB = settled;
                std::fprintf(stderr, "monkey: settled after the warm-up: %s MiB\n",
                             qPrintable(mib(settled)));
            });
        }
        if (rss.size() % std::max<qint64>(1, runMs / 10'000) == 0)
            std::fprintf(stderr, "monkey: %.0f s, resident %s MiB\n", ranMs / 1e3,
                         qPrintable(mib(kib)));
        rss << kib;
    });

    auto report = [&](qint64 endKiB) {
        const AnswerWatch::Longest longest = watch.longest();
        const RemoteControls::Figures calls = remote.figures();
        const bool played = player.songNumber() > 0;
        row(QStringLiteral("monkey: what was done (seed %1, %2 s)").arg(seed).arg(seconds),
            QStringLiteral(
                "%1 presses, %2 boxes answered, %3 media-control calls, %4 songs started")
                .arg(hands.actions())
                .arg(hands.boxesAnswered())
                .arg(calls.calls)
                .arg(player.songNumber()),
            QStringLiteral("-"), QStringLiteral("songs started > 0"), verdict(played));
        row(QStringLiteral("monkey: longest no answer of the window"),
            QStringLiteral("%1 ms at %2 s").arg(longest.ms, 0, 'f', 1).arg(longest.atS, 0, 'f', 1),
            QStringLiteral("%1 ms (idle, %2 s)")
                .arg(reference.ms, 0, 'f', 1)
                .arg(kIdleReferenceMs / 1000),
            QStringLiteral("<= %1 ms").arg(kAnswerTargetMs),
            verdict(longest.ms <= kAnswerTargetMs));
        std::fprintf(stderr, "monkey: the longest wait began after: %s\n",
                     qPrintable(longest.during));
        row(QStringLiteral("monkey: longest media-control call"),
            QStringLiteral("%1 ms (%2), %3 of %4 unanswered")
                .arg(calls.longestMs, 0, 'f', 1)
                .arg(calls.longestCall)
                .arg(calls.unanswered)
                .arg(calls.calls),
            QStringLiteral("-"), QStringLiteral("<= %1 ms, all answered").arg(kAnswerTargetMs),
            verdict(calls.calls > 0 && calls.unanswered == 0 &&
                    calls.longestMs <= kAnswerTargetMs));
        if (!calls.firstError.isEmpty())
            std::fprintf(stderr, "monkey: first unanswered call: %s\n",
                         qPrintable(calls.firstError));
        row(QStringLiteral("monkey: time box against the engine while playing"),
            textSamples ? QStringLiteral("%1 s at %2 s (%3), %4 readings")
                              .arg(worstTextS, 0, 'f', 2)
                              .arg(worstTextAtS, 0, 'f', 1)
                              .arg(worstText)
                              .arg(textSamples)
                        : QStringLiteral("nothing played long enough to read"),
            QStringLiteral("-"), QStringLiteral("<= %1 s").arg(kTimeTextTargetS),
            verdict(textSamples > 0 && worstTextS <= kTimeTextTargetS));
        QStringList backs;
        for (const double after : backAfterS)
            backs << (after < 0 ? QStringLiteral("none")
                                : QStringLiteral("%1 s").arg(after, 0, 'f', 1));
        row(QStringLiteral("monkey: first song after each start of the sound server"),
            backs.isEmpty() ? QStringLiteral("the server was not started again")
                            : backs.join(QStringLiteral(", ")),
            QStringLiteral("-"), QStringLiteral("a song each time"),
            verdict(!backs.isEmpty() && !backAfterS.contains(-1)));
        const qint64 startKiB = rss.value(0, -1);
        row(QStringLiteral("monkey: resident memory start / peak / end (settled)"),
            QStringLiteral("%1 / %2 / %3 MiB")
                .arg(mib(startKiB), mib(std::max(peakKiB, endKiB)), mib(endKiB)),
            QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("-"));
        row(QStringLiteral("monkey: resident memory growth after the first %1 s (settled)")
                .arg(seconds * kWarmUpShare, 0, 'f', 0),
            warmKiB < 0 ? QStringLiteral("not measured")
                        : QStringLiteral("%1 MiB").arg(mib(endKiB - warmKiB)),
            QStringLiteral("%1 MiB then").arg(mib(warmKiB)), QStringLiteral("-"),
            QStringLiteral("-"));
        const double lateMinutes = seconds * (1 - kLateShare) / 60;
        const double perMinute = double(endKiB - lateKiB) / lateMinutes;
        row(QStringLiteral("monkey: resident memory growth in the last %1 s (settled)")
                .arg(seconds * (1 - kLateShare), 0, 'f', 0),
            lateKiB < 0 ? QStringLiteral("not measured")
                        : QStringLiteral("%1 MiB, %2 MiB a minute")
                              .arg(mib(endKiB - lateKiB), mib(qint64(perMinute))),
            QStringLiteral("%1 MiB then").arg(mib(lateKiB)),
            kMemoryJudged
                ? QStringLiteral("<= %1 MiB a minute").arg(mib(kLateGrowthBoundKiBPerMinute))
                : QStringLiteral("not judged under AddressSanitizer"),
            kMemoryJudged ? verdict(lateKiB >= 0 && perMinute <= kLateGrowthBoundKiBPerMinute)
                          : QStringLiteral("-"));
        std::fflush(stdout);
        std::fprintf(stderr, "monkey: finished\n");
        QApplication::quit();
    };
    auto finish = [&] {
        remote.stop();
        watch.stop();
        textCheck.stop();
        memory.stop();
        settledKiB(report);
    };

    // The idle window first, for the reference; then the run.
    watch.start();
    QTimer::singleShot(kIdleReferenceMs, &window, [&] {
        reference = watch.longest();
        watch.restart();
        movedAtMs = 0;
        monkeyStartMs = clock.elapsed();
        textCheck.start(20);
        memory.start(1000);
        remote.start();
        hands.run(runMs, finish);
    });
    return QApplication::exec();
}
