#include "playback/gapless_queue.h"
#include "playback/level_rules.h"
#include "playback/next_entry.h"
#include "playback/position_clock.h"
#include "playback/position_rules.h"
#include "playback/refresh_schedule.h"

#include <QTest>
#include <functional>
#include <limits>
#include <map>

namespace {

constexpr qint64 kNone = std::numeric_limits<qint64>::min(); // roundHalfEvenToInt32 gives none
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

} // namespace

class TstPlaybackRules : public QObject {
    Q_OBJECT
private slots:
    void timeText_data() {
        QTest::addColumn<double>("position");
        QTest::addColumn<QString>("text");
        const std::pair<double, const char*> rows[] = {
            {0.5, "0:0"},   {2.5, "0:2"},  {61, "1:1"},      {-1, "0:0"},
            {-1.5, "0:-2"}, {-61, "-1:0"}, {-119, "-1:-59"}, {1e300, "153722867280912930:7"}};
        for (const auto& [p, text] : rows)
            QTest::newRow(QByteArray::number(p)) << p << QString::fromLatin1(text);
    }
    void timeText() {
        QFETCH(double, position);
        QFETCH(QString, text);
        QCOMPARE(::timeText(roundHalfEvenSaturated(position)), text);
    }

    void rounding_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<qint64>("toInt32");
        QTest::addColumn<qint32>("clamped");
        QTest::addColumn<qint64>("saturated");
        const qint32 max = std::numeric_limits<qint32>::max();
        const qint32 min = std::numeric_limits<qint32>::min();
        QTest::newRow("largest") << 2147483647.4 << qint64(max) << max << qint64(max);
        QTest::newRow("past largest") << 2147483647.5 << kNone << max << qint64(max) + 1;
        QTest::newRow("smallest") << -2147483648.0 << qint64(min) << min << qint64(min);
        QTest::newRow("NaN") << kNaN << kNone << 0 << qint64(0);
    }
    void rounding() {
        QFETCH(double, seconds);
        QFETCH(qint64, toInt32);
        QFETCH(qint32, clamped);
        QFETCH(qint64, saturated);
        const auto got = roundHalfEvenToInt32(seconds);
        QCOMPARE(got ? qint64(*got) : kNone, toInt32);
        QCOMPARE(roundHalfEvenClamped32(seconds), clamped);
        QCOMPARE(roundHalfEvenSaturated(seconds), saturated);
    }

    // When the display is next refreshed: -1 for not at all.
    void refreshSchedule_data() {
        QTest::addColumn<double>("position");
        QTest::addColumn<bool>("playing");
        QTest::addColumn<std::optional<qint64>>("shown");
        QTest::addColumn<qint64>("sinceLast");
        QTest::addColumn<qint64>("delay");
        using S = std::optional<qint64>;
        QTest::newRow("forced one waits out the floor") << 2.25 << true << S() << 3LL << 7LL;
        QTest::newRow("paused mid-second: sleeps") << 37.25 << false << S(37) << 500LL << -1LL;
        QTest::newRow("even second keeps its half") << 2.5 << true << S(2) << 500LL << 1LL;
        QTest::newRow("never closer than the floor") << 2.499 << true << S(2) << 2LL << 8LL;
        QTest::newRow("past the slider's end") << 7200.75 << true << S(7201) << 500LL << 751LL;
    }
    void refreshSchedule() {
        QFETCH(double, position);
        QFETCH(bool, playing);
        QFETCH(std::optional<qint64>, shown);
        QFETCH(qint64, sinceLast);
        QFETCH(qint64, delay);
        QCOMPARE(nextRefreshDelayMs(position, playing, shown, sinceLast).value_or(-1), delay);
    }

    void volumeLabel_data() {
        QTest::addColumn<int>("slider");
        QTest::addColumn<int>("red");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("engine");
        QTest::newRow("15") << 15 << 2 << "0 %" << -2485;
        QTest::newRow("1249") << 1249 << 125 << "49 %" << -1251;
    }
    void volumeLabel() {
        QFETCH(int, slider);
        QFETCH(int, red);
        QFETCH(QString, text);
        QFETCH(int, engine);
        QCOMPARE(volumeLabelRed(slider), red);
        QCOMPARE(volumePercentText(slider), text);
        QCOMPARE(engineVolumeForSlider(slider), engine);
    }

    void balanceWord_data() {
        QTest::addColumn<int>("balance");
        QTest::addColumn<QString>("word"); // empty: the previous word stays
        const std::pair<int, const char*> rows[] = {{-501, "Left"},  {-500, ""}, {-499, "Center"},
                                                    {499, "Center"}, {500, ""},  {501, "Right"}};
        for (const auto& [b, word] : rows)
            QTest::newRow(QByteArray::number(b)) << b << QString::fromLatin1(word);
    }
    void balanceWord() {
        QFETCH(int, balance);
        QFETCH(QString, word);
        QCOMPARE(balanceSideWord(balance).value_or(QString()), word);
    }

    void trackEnd_data() {
        QTest::addColumn<PlayMode>("mode");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("failures");
        QTest::addColumn<double>("r");
        QTest::addColumn<int>("action"); // 0 stop, 1 start, 2 "No file to play"
        QTest::addColumn<int>("entry");
        const QStringList abc = {"a", "b", "c"}, withEmpty = {"a", ""}, none, fifty(50, "x");
        const auto R = PlayMode::Resume, N = PlayMode::Random;
        QTest::newRow("none stops") << PlayMode::None << abc << 0 << 0 << 0.0 << 0 << -1;
        QTest::newRow("resume: no selection, the first") << R << abc << -1 << 0 << 0.0 << 1 << 0;
        QTest::newRow("resume: the last stops") << R << abc << 2 << 0 << 0.0 << 0 << -1;
        QTest::newRow("resume: an empty entry starts") << R << withEmpty << 0 << 0 << 0.0 << 1 << 1;
        QTest::newRow("resume: 2 of 3 failed") << R << abc << 0 << 2 << 0.0 << 1 << 1;
        QTest::newRow("resume: 3 of 3 failed stops") << R << abc << 0 << 3 << 0.0 << 0 << -1;
        QTest::newRow("random 0.5") << N << abc << 2 << 0 << 0.5 << 1 << 1;
        QTest::newRow("random 1.0 stays in the list") << N << abc << 2 << 0 << 1.0 << 1 << 2;
        QTest::newRow("random: empty list stops") << N << none << -1 << 0 << 0.3 << 0 << -1;
        QTest::newRow("random: 10 of 50 failed stops") << N << fifty << 0 << 10 << 0.0 << 0 << -1;
    }
    void trackEnd() {
        QFETCH(PlayMode, mode);
        QFETCH(QStringList, entries);
        QFETCH(int, selected);
        QFETCH(int, failures);
        QFETCH(double, r);
        QFETCH(int, action);
        QFETCH(int, entry);
        const TrackEndStep step =
            trackEndStep(mode, entries, selected, failures, [r] { return r; });
        QCOMPARE(int(step.action), action);
        QCOMPARE(step.entry, entry);
    }

    // Steps at a fake time, VALUE@MS: r reset, p / s the output's reading while playing / stopped
    // (p-: not known yet) with what it said after "=" (j jumped, s steady, - neither), o a
    // reading for the epoch before the last reset, h hold, l length, a the position shown.
    void positionClock_data() {
        QTest::addColumn<QString>("steps");
        QTest::newRow("held until the output runs") << "r0@0 p0@0=- p0@100=- p-@200=- a0@900";
        QTest::newRow("runs on once it ran") << "r0@0 p0@0=- p0.1@100=j a0.9@900";
        QTest::newRow("too fast is not running") << "r0@0 p0@0=- p0.5@100=j a0.5@900";
        QTest::newRow("steady after two seconds running")
            << "r0@0 p0@0=- p.1@100=j p1.1@1100=- p1.2@1200=- p2.1@2100=s a2.1@2100";
        QTest::newRow("stopped output") << "r0@0 s0@0=- s0.1@100=j p0.6@1000=j a0.6@1900";
        QTest::newRow("an old epoch's reading") << "r0@0 r2@10 o0.5@20 a2@900";
        QTest::newRow("held where it was") << "r0@0 p0@0=- p0.1@100=j h@300 a0.3@900";
        QTest::newRow("never past the length") << "l1@0 r0.9@0 p0.9@0=- p1@100=j a1@900";
    }
    void positionClock() {
        QFETCH(QString, steps);
        PositionClock clock;
        quint64 epochs[2] = {0, 0};
        for (const QString& step : steps.split(' ')) {
            const QStringList parts = step.mid(1).replace('=', '@').split('@');
            const auto value = parts[0] == "-" ? std::nullopt : std::optional(parts[0].toDouble());
            const qint64 us = parts[1].toLongLong() * 1000;
            const char op = step[0].toLatin1();
            if (op == 'r')
                epochs[0] = std::exchange(epochs[1], clock.reset(*value, us));
            if (op == 'o')
                clock.store(epochs[0], *value, true, us);
            if (op == 'h')
                clock.hold(us);
            if (op == 'l')
                clock.setLength(value);
            if (op == 'p' || op == 's') {
                const auto r = clock.read(epochs[1], value, op == 'p', us);
                QCOMPARE(QString(r.jumped ? "j" : r.steady ? "s" : "-"), parts.value(2));
            }
            if (op == 'a')
                QCOMPARE(clock.at(us), *value);
        }
    }

    // Events, with what the queue decided after "=": hF file F handed over (+, or x: kept for
    // after the seek), a about to finish (the file taken back, or -), s stream start, cRATE format
    // (. passes, E ends the one before), b buffer (the file that arrives, or -), j joint (i
    // ignored, H heard, E the one before ends), d drop, k seek (R: reopen), o reopened, t seek
    // settled, w waiting at the sink (W yes). At the sink, D: dropped.
    void gaplessQueue_data() {
        QTest::addColumn<QString>("events");
        QTest::newRow("joined") << "s=. c44=. hb=+ s=. c44=. w=W b=b w=W j=H w=w";
        QTest::newRow("dropped before the sink") << "s=. hb=+ d s=E b=D";
        QTest::newRow("dropped at the sink") << "s=. hb=+ s=. b=b d j=E";
        QTest::newRow("another rate") << "s=. c44=. c48=. hb=+ s=. c44=E b=D j=i";
        QTest::newRow("taken back by a seek") << "s=. hb=+ s=. k=R o t a=b a=- s=. w=w";
        QTest::newRow("chosen during a seek") << "k=. hb=x t a=b";
        QTest::newRow("drop after the seek") << "s=. hb=+ k=R o d a=-";
        QTest::newRow("drop before the next") << "d s=. hb=+ s=. b=b j=H";
    }
    void gaplessQueue() {
        QFETCH(QString, events);
        GaplessQueue q;
        const std::map<char, std::function<QString(const QString&)>> decide = {
            {'s', [&](auto) { return QString(".E"[int(q.streamStarts())]); }},
            {'c',
             [&](const QString& rate) { return QString(".E"[int(q.formatIs(rate.toInt(), 2))]); }},
            {'b', [&](auto) { return q.bufferArrives().value_or("-"); }},
            {'h', [&](const QString& file) { return q.handOver(file) ? "+" : "x"; }},
            {'a', [&](auto) { return q.takeBack().value_or("-"); }},
            {'j', [&](auto) { return QString("iHE"[int(q.jointReached())]); }},
            {'k', [&](auto) { return q.seekStarts() ? "R" : "."; }},
            {'w', [&](auto) { return q.waitingAtSink() ? "W" : "w"; }},
            {'d', [&](auto) { return q.drop(), QString(); }},
            {'o', [&](auto) { return q.reopened(), QString(); }},
            {'t', [&](auto) { return q.seekSettled(), QString(); }},
        };
        for (const QString& e : events.split(' ')) {
            const bool dropped = q.dropping() && QString("scb").contains(e[0]);
            const QString got =
                dropped ? "D" : decide.at(e[0].toLatin1())(e.mid(1).section('=', 0, 0));
            QCOMPARE(got, e.mid(e.indexOf('=') + 1, e.contains('=') ? -1 : 0));
        }
    }
};

QTEST_APPLESS_MAIN(TstPlaybackRules)
#include "tst_playback_rules.moc"
