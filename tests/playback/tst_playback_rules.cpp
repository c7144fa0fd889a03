#include "playback/level_rules.h"
#include "playback/next_entry.h"
#include "playback/position_rules.h"
#include "playback/refresh_schedule.h"

#include <QTest>
#include <limits>

class TstPlaybackRules : public QObject {
    Q_OBJECT
private slots:
    void timeText_data() {
        QTest::addColumn<double>("position");
        QTest::addColumn<QString>("text");
        const struct {
            double p;
            const char* text;
        } rows[] = {
            {0, "0:0"},
            {0.5, "0:0"},
            {1.5, "0:2"},
            {2.5, "0:2"},
            {5.4, "0:5"},
            {59, "0:59"},
            {59.5, "1:0"},
            {61, "1:1"},
            {187, "3:7"},
            {187.5, "3:8"},
            {600, "10:0"},
            {3599, "59:59"},
            {3600, "60:0"},
            {32767, "546:7"},
            {-0.7, "0:0"},
            {-1, "0:0"},
            {-1.5, "0:-2"},
            {-2, "0:-2"},
            {-59, "0:-59"},
            {-61, "-1:0"},
            {-119, "-1:-59"},
            {-121, "-2:0"},
            // Past the old 16-bit limit the same rules hold with a wider number.
            {32767.5, "546:8"},
            {36000, "600:0"},
            {-32768.5, "-546:-8"},
            {1e300, "153722867280912930:7"},
        };
        for (const auto& r : rows)
            QTest::newRow(QByteArray::number(r.p).constData())
                << r.p << QString::fromLatin1(r.text);
    }
    void timeText() {
        QFETCH(double, position);
        QFETCH(QString, text);
        QCOMPARE(::timeText(roundHalfEvenSaturated(position)), text);
    }

    void roundingToInt32() {
        QCOMPARE(roundHalfEvenToInt32(187.5), std::optional<qint32>(188));
        QCOMPARE(roundHalfEvenToInt32(186.5), std::optional<qint32>(186));
        QCOMPARE(roundHalfEvenToInt32(-0.5), std::optional<qint32>(0));
        QCOMPARE(roundHalfEvenToInt32(2147483647.4), std::optional<qint32>(2147483647));
        QVERIFY(!roundHalfEvenToInt32(2147483647.5));
        QVERIFY(!roundHalfEvenToInt32(std::numeric_limits<double>::quiet_NaN()));
        QVERIFY(!roundHalfEvenToInt32(std::numeric_limits<double>::infinity()));
        QCOMPARE(roundHalfEvenClamped32(1e12), std::numeric_limits<qint32>::max());
        QCOMPARE(roundHalfEvenSaturated(std::numeric_limits<double>::quiet_NaN()), qint64(0));
    }

    // When the display is next refreshed: -1 for not at all.
    void refreshSchedule_data() {
        QTest::addColumn<double>("position");
        QTest::addColumn<bool>("playing");
        QTest::addColumn<std::optional<qint64>>("shown");
        QTest::addColumn<qint64>("sinceLast");
        QTest::addColumn<qint64>("delay");
        using S = std::optional<qint64>;
        QTest::newRow("first refresh at once") << 0.0 << false << S() << 500LL << 0LL;
        QTest::newRow("forced one waits out the floor") << 2.25 << true << S() << 3LL << 7LL;
        QTest::newRow("stopped, current: sleeps") << 0.0 << false << S(0) << 500LL << -1LL;
        QTest::newRow("paused mid-second: sleeps") << 37.25 << false << S(37) << 500LL << -1LL;
        QTest::newRow("playing, seek back") << 10.25 << true << S(90) << 500LL << 0LL;
        QTest::newRow("playing: next half") << 2.25 << true << S(2) << 500LL << 251LL;
        QTest::newRow("odd second ends at its half") << 3.0 << true << S(3) << 500LL << 501LL;
        QTest::newRow("even second keeps its half") << 2.5 << true << S(2) << 500LL << 1LL;
        QTest::newRow("never closer than the floor") << 2.499 << true << S(2) << 2LL << 8LL;
        QTest::newRow("negative") << -1.75 << true << S(-2) << 500LL << 251LL;
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
        QTest::newRow("0") << 0 << 0 << "0 %" << -2500;
        QTest::newRow("5") << 5 << 0 << "0 %" << -2495;
        QTest::newRow("15") << 15 << 2 << "0 %" << -2485;
        QTest::newRow("24") << 24 << 2 << "0 %" << -2476;
        QTest::newRow("25") << 25 << 2 << "1 %" << -2475;
        QTest::newRow("35") << 35 << 4 << "1 %" << -2465;
        QTest::newRow("1249") << 1249 << 125 << "49 %" << -1251;
        QTest::newRow("1250") << 1250 << 125 << "50 %" << -1250;
        QTest::newRow("2499") << 2499 << 250 << "99 %" << -1;
        QTest::newRow("2500") << 2500 << 250 << "100 %" << 0;
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
        QTest::addColumn<QString>("word");
        QTest::newRow("-5000") << -5000 << "Left";
        QTest::newRow("-501") << -501 << "Left";
        QTest::newRow("-500 keeps") << -500 << "";
        QTest::newRow("-499") << -499 << "Center";
        QTest::newRow("0") << 0 << "Center";
        QTest::newRow("499") << 499 << "Center";
        QTest::newRow("500 keeps") << 500 << "";
        QTest::newRow("501") << 501 << "Right";
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
        const QStringList abc = {"a", "b", "c"}, none;
        const QStringList fifty(50, "x");
        const auto R = PlayMode::Resume, N = PlayMode::Random;
        QTest::newRow("none stops") << PlayMode::None << abc << 0 << 0 << 0.0 << 0 << -1;
        QTest::newRow("resume: the next") << R << abc << 1 << 0 << 0.0 << 1 << 2;
        QTest::newRow("resume: no selection, the first") << R << abc << -1 << 0 << 0.0 << 1 << 0;
        QTest::newRow("resume: the last stops") << R << abc << 2 << 0 << 0.0 << 0 << -1;
        QTest::newRow("resume: empty list stops") << R << none << -1 << 0 << 0.0 << 0 << -1;
        QTest::newRow("resume: an empty entry starts")
            << R << QStringList{"a", ""} << 0 << 0 << 0.0 << 1 << 1;
        QTest::newRow("resume: 2 of 3 failed") << R << abc << 0 << 2 << 0.0 << 1 << 1;
        QTest::newRow("resume: 3 of 3 failed stops") << R << abc << 0 << 3 << 0.0 << 0 << -1;
        QTest::newRow("random 0") << N << abc << 2 << 0 << 0.0 << 1 << 0;
        QTest::newRow("random 0.5") << N << abc << 2 << 0 << 0.5 << 1 << 1;
        QTest::newRow("random 0.999") << N << abc << 2 << 0 << 0.999 << 1 << 2;
        QTest::newRow("random 1.0 stays in the list") << N << abc << 2 << 0 << 1.0 << 1 << 2;
        QTest::newRow("random: empty entry")
            << N << QStringList{"a", ""} << 0 << 0 << 0.9 << 2 << 1;
        QTest::newRow("random: empty list stops") << N << none << -1 << 0 << 0.3 << 0 << -1;
        QTest::newRow("random: 9 of 50 failed") << N << fifty << 0 << 9 << 0.0 << 1 << 0;
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
};

QTEST_APPLESS_MAIN(TstPlaybackRules)
#include "tst_playback_rules.moc"
