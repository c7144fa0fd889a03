#include "playback/gst_engine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <memory>
#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

QString fixture(const char* name) {
    return QStringLiteral(MT_FIXTURES "/") + name;
}

// A sink that plays in real time without a sound device.
GstElement* timedSink() {
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", TRUE, nullptr);
    return sink;
}

// Hands out the appsinks the engine asked for, so a test can read what was played.
struct SinkTap {
    std::mutex mutex;
    GstElement* last = nullptr;

    GstElement* make() {
        GstElement* sink = gst_element_factory_make("appsink", nullptr);
        GstCaps* caps = gst_caps_from_string("audio/x-raw,format=F32LE,layout=interleaved");
        // A short queue holds the stream back until the test has read it.
        g_object_set(sink, "caps", caps, "sync", FALSE, "max-buffers", 4, nullptr);
        gst_caps_unref(caps);
        std::lock_guard lock(mutex);
        last = sink;
        return sink;
    }
};

struct Levels {
    double left = -200;
    double right = -200;
};

double toDb(double sumSquares, qint64 count) {
    if (count == 0 || sumSquares <= 0)
        return -200;
    return 10 * std::log10(sumSquares / static_cast<double>(count));
}

// RMS per channel of the second from 0.3 s on, skipping the decoder's start.
Levels measure(GstEngine& engine, SinkTap& tap, const QString& file) {
    engine.setFileName(file);
    if (!engine.play())
        return {};
    GstElement* sink = nullptr;
    {
        std::lock_guard lock(tap.mutex);
        sink = tap.last;
    }
    double sum[2] = {0, 0};
    qint64 frames = 0;
    qint64 seen = 0;
    while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 3 * GST_SECOND)) {
        const GstStructure* s = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
        int rate = 0;
        int channels = 0;
        gst_structure_get_int(s, "rate", &rate);
        gst_structure_get_int(s, "channels", &channels);
        GstMapInfo map;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        if (channels == 2 && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            const auto* f = reinterpret_cast<const float*>(map.data);
            const qint64 n = static_cast<qint64>(map.size / (2 * sizeof(float)));
            for (qint64 i = 0; i < n; ++i, ++seen) {
                if (seen < rate * 3 / 10 || seen >= rate * 13 / 10)
                    continue;
                sum[0] += double(f[2 * i]) * f[2 * i];
                sum[1] += double(f[2 * i + 1]) * f[2 * i + 1];
                ++frames;
            }
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
        if (seen >= rate * 13 / 10)
            break;
    }
    engine.stop();
    return {toDb(sum[0], frames), toDb(sum[1], frames)};
}

// Every engine call must come back quickly, whatever it is given.
template <typename F> auto bounded(F&& call) {
    QElapsedTimer timer;
    timer.start();
    auto result = call();
    const qint64 ms = timer.elapsed();
    [&] { QVERIFY2(ms < 2500, qPrintable(QStringLiteral("blocked %1 ms").arg(ms))); }();
    return result;
}

} // namespace

class TestGstEngine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { gst_init(nullptr, nullptr); }
    void nothingLoaded();
    void lengthRightAfterPlay_data();
    void lengthRightAfterPlay();
    void restartsAfterEndAndStop();
    void pauseHoldsPosition();
    void endOfStreamOncePerTrack();
    void noEndOfStreamAfterStopOrReplace();
    void seekAnswersTargetAndContinues_data();
    void seekAnswersTargetAndContinues();
    void badInput_data();
    void badInput();
    void withoutSoundOutputPlaysSilently_data();
    void withoutSoundOutputPlaysSilently();
    void outputLostMidTrackEndsOnce();
    void hungSoundServerNeverBlocksCaller();
    void levels_data();
    void levels();
    void levelsHoldAcrossTracksAndUnmute();
};

void TestGstEngine::nothingLoaded() {
    GstEngine engine(nullptr, timedSink);
    QCOMPARE(engine.position(), 0.0);
    QVERIFY(!engine.length());
    QVERIFY(!engine.pause());
    QVERIFY(!engine.setPosition(1.0));
}

void TestGstEngine::lengthRightAfterPlay_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<double>("expected");
    QTest::addColumn<double>("tolerance");
    QTest::newRow("CBR") << fixture("cbr_3s.mp3") << 3.0 << 0.001;
    QTest::newRow("VBR with header") << fixture("vbr_4s.mp3") << 4.0 << 0.001;
    // Without a header the encoder's delay and padding stay in: 4 s + 2176 samples at 32 kHz,
    // where playback ends (GStreamer alone guesses 4.85 s here).
    QTest::newRow("VBR without header") << fixture("vbr_4s_noheader.mp3") << 4.068 << 0.001;
    QTest::newRow("Ogg Vorbis") << fixture("tone_stereo_2s.ogg") << 2.0 << 0.01;
    QTest::newRow("WAV") << fixture("tone_1s.wav") << 1.0 << 0.001;
}

void TestGstEngine::lengthRightAfterPlay() {
    QFETCH(QString, file);
    QFETCH(double, expected);
    QFETCH(double, tolerance);
    GstEngine engine(nullptr, timedSink);
    engine.setFileName(file);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(engine.play());
    qInfo("play() returned after %.1f ms", double(timer.nsecsElapsed()) / 1e6);
    QVERIFY(engine.length());
    QVERIFY2(std::abs(*engine.length() - expected) <= tolerance,
             qPrintable(QString::number(*engine.length(), 'f', 4)));
    // GStreamer's own estimate, once playing, must not replace the counted length.
    QTest::qWait(600);
    QVERIFY(engine.length());
    QVERIFY2(std::abs(*engine.length() - expected) <= tolerance,
             qPrintable(QString::number(*engine.length(), 'f', 4)));
}

void TestGstEngine::restartsAfterEndAndStop() {
    GstEngine engine(nullptr, timedSink);
    QSignalSpy ends(&engine, &MediaEngine::endOfStream);
    engine.setFileName(fixture("short_0_3s.mp3"));
    QVERIFY(engine.play());
    QVERIFY(ends.wait(3000));
    QVERIFY(engine.play());
    QVERIFY(engine.position() < 0.1);
    QTRY_COMPARE_WITH_TIMEOUT(ends.count(), 2, 3000);

    engine.setFileName(fixture("cbr_3s.mp3"));
    QVERIFY(engine.play());
    QTRY_VERIFY_WITH_TIMEOUT(engine.position() > 0.5, 3000);
    QVERIFY(engine.stop());
    QCOMPARE(engine.position(), 0.0);
    QVERIFY(engine.play());
    QVERIFY(engine.position() < 0.1);
    QTRY_VERIFY_WITH_TIMEOUT(engine.position() > 0.6, 3000);

    // The same name again starts over too.
    engine.setFileName(fixture("cbr_3s.mp3"));
    QVERIFY(engine.play());
    QVERIFY(engine.position() < 0.1);
    QTest::qWait(100);
    QVERIFY(engine.position() < 0.4);
}

void TestGstEngine::pauseHoldsPosition() {
    GstEngine engine(nullptr, timedSink);
    engine.setFileName(fixture("cbr_3s.mp3"));
    QVERIFY(engine.play());
    QTRY_VERIFY_WITH_TIMEOUT(engine.position() > 0.5, 3000);
    QVERIFY(engine.pause());
    QTest::qWait(100);
    const double held = engine.position();
    QTest::qWait(400);
    QVERIFY(std::abs(engine.position() - held) < 0.02);
    QVERIFY(engine.play());
    QTest::qWait(50);
    QVERIFY(engine.position() >= held - 0.02);
    QVERIFY(engine.position() < held + 0.2);
    QTRY_VERIFY_WITH_TIMEOUT(engine.position() > held + 0.3, 3000);
}

void TestGstEngine::endOfStreamOncePerTrack() {
    GstEngine engine(nullptr, timedSink);
    QSignalSpy ends(&engine, &MediaEngine::endOfStream);
    engine.setFileName(fixture("short_0_3s.mp3"));
    QVERIFY(engine.play());
    QVERIFY(ends.wait(3000));
    QCOMPARE(ends.first().first().toInt(), 0);
    QTest::qWait(500);
    QCOMPARE(ends.count(), 1);
    // Other formats end the same way.
    engine.setFileName(fixture("tone_1s.wav"));
    QVERIFY(engine.play());
    QTRY_COMPARE_WITH_TIMEOUT(ends.count(), 2, 4000);
    QTest::qWait(300);
    QCOMPARE(ends.count(), 2);
}

void TestGstEngine::noEndOfStreamAfterStopOrReplace() {
    GstEngine engine(nullptr, timedSink);
    QSignalSpy ends(&engine, &MediaEngine::endOfStream);

    engine.setFileName(fixture("short_0_3s.mp3"));
    QVERIFY(engine.play());
    QVERIFY(engine.stop());
    QTest::qWait(600);
    QCOMPARE(ends.count(), 0);

    // The end is reached while the caller is busy; its stop() comes first for the caller.
    QVERIFY(engine.play());
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    QVERIFY(engine.stop());
    QTest::qWait(300);
    QCOMPARE(ends.count(), 0);

    // The short file would end after 0.3 s, but it was replaced before.
    QVERIFY(engine.play());
    engine.setFileName(fixture("cbr_3s.mp3"));
    QVERIFY(engine.play());
    QTest::qWait(700);
    QCOMPARE(ends.count(), 0);

    // Ended while the caller was busy, then started again: only the new run may end.
    engine.setFileName(fixture("short_0_3s.mp3"));
    QVERIFY(engine.play());
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    QVERIFY(engine.play());
    QVERIFY(ends.wait(3000));
    QTest::qWait(300);
    QCOMPARE(ends.count(), 1);
}

void TestGstEngine::seekAnswersTargetAndContinues_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("paused");
    QTest::newRow("CBR playing") << fixture("cbr_3s.mp3") << false;
    QTest::newRow("CBR paused") << fixture("cbr_3s.mp3") << true;
    QTest::newRow("VBR without header") << fixture("vbr_4s_noheader.mp3") << false;
}

void TestGstEngine::seekAnswersTargetAndContinues() {
    QFETCH(QString, file);
    QFETCH(bool, paused);
    GstEngine engine(nullptr, timedSink);
    engine.setFileName(file);
    QVERIFY(engine.play());
    QTRY_VERIFY_WITH_TIMEOUT(engine.position() > 0.2, 3000);
    if (paused)
        QVERIFY(engine.pause());
    const double target = 2.5;
    QVERIFY(engine.setPosition(target));
    QCOMPARE(engine.position(), target);
    // While the seek settles, answers stay at the target, never 0 or the old place.
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 150) {
        const double p = engine.position();
        QVERIFY2(p >= target - 0.01 && p < target + 0.3, qPrintable(QString::number(p)));
        QTest::qWait(5);
    }
    if (paused) {
        QVERIFY(std::abs(engine.position() - target) < 0.02);
        QVERIFY(engine.play());
    }
    QTRY_VERIFY_WITH_TIMEOUT(engine.position() > target + 0.3, 3000);
}

void TestGstEngine::badInput_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("plays");
    QTest::newRow("missing") << "missing" << false;
    QTest::newRow("0 bytes") << "empty file" << false;
    QTest::newRow("text named .mp3") << "text" << false;
    QTest::newRow("folder") << "folder" << false;
    QTest::newRow("FIFO") << "fifo" << false;
    QTest::newRow("empty name") << "empty name" << false;
    QTest::newRow("truncated MP3") << "truncated" << true;
}

void TestGstEngine::badInput() {
    QFETCH(QString, kind);
    QFETCH(bool, plays);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString name;
    if (kind == "missing") {
        name = dir.filePath("gone.mp3");
    } else if (kind == "empty file") {
        name = dir.filePath("empty.mp3");
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly));
    } else if (kind == "text") {
        name = fixture("not_audio.mp3");
    } else if (kind == "folder") {
        name = dir.filePath("album.mp3");
        QVERIFY(QDir(dir.path()).mkdir("album.mp3"));
    } else if (kind == "fifo") {
        name = dir.filePath("pipe.mp3");
        QCOMPARE(::mkfifo(QFile::encodeName(name).constData(), 0600), 0);
    } else if (kind == "truncated") {
        name = fixture("truncated.mp3");
    }

    GstEngine engine(nullptr, timedSink);
    QSignalSpy ends(&engine, &MediaEngine::endOfStream);
    bounded([&] { return engine.setFileName(name); });
    QCOMPARE(bounded([&] { return engine.play(); }), plays);
    if (plays) {
        // Plays what is there (about 1.5 s), then ends like any track.
        QVERIFY(ends.wait(4000));
        QVERIFY(engine.position() > 1.0);
    } else {
        QVERIFY(!engine.length());
        QCOMPARE(engine.position(), 0.0);
        bounded([&] { return engine.pause(); });
        bounded([&] { return engine.setPosition(1.0); });
        QTest::qWait(300);
        QCOMPARE(ends.count(), 0);
    }
    bounded([&] { return engine.stop(); });

    engine.setFileName(fixture("cbr_3s.mp3"));
    QVERIFY(bounded([&] { return engine.play(); }));
    QVERIFY(engine.length());
    QTRY_VERIFY_WITH_TIMEOUT(engine.position() > 0.2, 3000);
    QVERIFY(bounded([&] { return engine.stop(); }));
}

void TestGstEngine::withoutSoundOutputPlaysSilently_data() {
    QTest::addColumn<QString>("sink");
    QTest::newRow("no sink at all") << "";
    QTest::newRow("sound server not there") << "pulsesink";
}

void TestGstEngine::withoutSoundOutputPlaysSilently() {
    QFETCH(QString, sink);
    GstEngine engine(nullptr, [&]() -> GstElement* {
        if (sink.isEmpty())
            return nullptr;
        GstElement* e = gst_element_factory_make(qPrintable(sink), nullptr);
        if (e)
            g_object_set(e, "server", "unix:/nonexistent/pulse/native", nullptr);
        return e;
    });
    QSignalSpy ends(&engine, &MediaEngine::endOfStream);
    engine.setFileName(fixture("short_0_3s.mp3"));
    QVERIFY(bounded([&] { return engine.play(); }));
    QVERIFY(engine.length());
    // Time still runs as if the sound were heard.
    QTest::qWait(150);
    QVERIFY(engine.position() > 0.05 && engine.position() < 0.3);
    QVERIFY(ends.wait(3000));
    QCOMPARE(ends.first().first().toInt(), 0);
}

void TestGstEngine::outputLostMidTrackEndsOnce() {
    GstElement* sink = nullptr;
    GstEngine engine(nullptr, [&] { return sink = timedSink(); });
    QSignalSpy ends(&engine, &MediaEngine::endOfStream);
    engine.setFileName(fixture("cbr_3s.mp3"));
    QVERIFY(engine.play());
    QTRY_VERIFY_WITH_TIMEOUT(engine.position() > 0.3, 3000);
    GError* error = g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_WRITE, "gone");
    gst_element_post_message(sink, gst_message_new_error(GST_OBJECT(sink), error, nullptr));
    g_error_free(error);
    QVERIFY(ends.wait(2000));
    QCOMPARE(ends.first().first().toInt(), 1);
    QTest::qWait(300);
    QCOMPARE(ends.count(), 1);
    QVERIFY(engine.play());
    QTRY_VERIFY_WITH_TIMEOUT(engine.position() > 0.2, 3000);
}

// A sound server that accepts the connection and then never answers, like a frozen one.
void TestGstEngine::hungSoundServerNeverBlocksCaller() {
    GstElementFactory* pulse = gst_element_factory_find("pulsesink");
    if (!pulse)
        QSKIP("needs pulsesink");
    gst_object_unref(pulse);
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("native"));
    // Connections wait in the backlog: connect() succeeds, no answer ever comes.
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    qstrncpy(addr.sun_path, path.constData(), sizeof addr.sun_path);
    QCOMPARE(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    QCOMPARE(::listen(listener, 8), 0);
    const QByteArray address = "unix:" + path;
    auto engine = std::make_unique<GstEngine>(nullptr, [address] {
        GstElement* sink = gst_element_factory_make("pulsesink", nullptr);
        g_object_set(sink, "server", address.constData(), nullptr);
        return sink;
    });
    QSignalSpy ends(engine.get(), &MediaEngine::endOfStream);
    engine->setFileName(fixture("cbr_3s.mp3"));
    QVERIFY(!bounded([&] { return engine->play(); }));
    QVERIFY(!bounded([&] { return engine->play(); }));
    bounded([&] { return engine->setVolume(-1000); });
    bounded([&] { return engine->stop(); });
    bounded([&] {
        engine.reset();
        return true;
    });
    QCOMPARE(ends.count(), 0);
    ::close(listener);
}

void TestGstEngine::levels_data() {
    QTest::addColumn<int>("volume");
    QTest::addColumn<int>("balance");
    QTest::addColumn<double>("leftDb");  // relative to full volume, centre
    QTest::addColumn<double>("rightDb"); // < -150: silence
    QTest::addColumn<double>("tolerance");
    QTest::newRow("volume -25 dB") << -2500 << 0 << -25.0 << -25.0 << 0.5;
    QTest::newRow("volume -6 dB") << -600 << 0 << -6.0 << -6.0 << 0.5;
    QTest::newRow("balance -50 dB: right down") << 0 << -5000 << 0.0 << -50.0 << 1.0;
    QTest::newRow("balance +50 dB: left down") << 0 << 5000 << -50.0 << 0.0 << 1.0;
    QTest::newRow("balance and volume") << -1000 << -2000 << -10.0 << -30.0 << 1.0;
}

void TestGstEngine::levels() {
    QFETCH(int, volume);
    QFETCH(int, balance);
    QFETCH(double, leftDb);
    QFETCH(double, rightDb);
    QFETCH(double, tolerance);
    SinkTap tap;
    GstEngine engine(nullptr, [&] { return tap.make(); });
    const Levels full = measure(engine, tap, fixture("tone_stereo_2s.mp3"));
    // The tone sits at -9 dB RMS in both channels.
    QVERIFY2(full.left > -12 && full.right > -12, qPrintable(QString::number(full.left)));
    QVERIFY(engine.setVolume(volume));
    QVERIFY(engine.setBalance(balance));
    QCOMPARE(engine.volume(), volume);
    QCOMPARE(engine.balance(), balance);
    const Levels got = measure(engine, tap, fixture("tone_stereo_2s.mp3"));
    QVERIFY2(std::abs(got.left - full.left - leftDb) <= tolerance,
             qPrintable(QStringLiteral("left %1 dB").arg(got.left - full.left)));
    QVERIFY2(std::abs(got.right - full.right - rightDb) <= tolerance,
             qPrintable(QStringLiteral("right %1 dB").arg(got.right - full.right)));
}

void TestGstEngine::levelsHoldAcrossTracksAndUnmute() {
    SinkTap tap;
    GstEngine engine(nullptr, [&] { return tap.make(); });
    const Levels mp3Full = measure(engine, tap, fixture("tone_stereo_2s.mp3"));
    const Levels oggFull = measure(engine, tap, fixture("tone_stereo_2s.ogg"));
    QVERIFY(oggFull.left > -12);

    QVERIFY(engine.setVolume(-2500));
    Levels got = measure(engine, tap, fixture("tone_stereo_2s.mp3"));
    QVERIFY(std::abs(got.left - mp3Full.left + 25) <= 0.5);
    got = measure(engine, tap, fixture("tone_stereo_2s.ogg"));
    QVERIFY(std::abs(got.left - oggFull.left + 25) <= 0.5);
    QVERIFY(std::abs(got.right - oggFull.right + 25) <= 0.5);

    QVERIFY(engine.setMute(true));
    QVERIFY(engine.mute());
    got = measure(engine, tap, fixture("tone_stereo_2s.mp3"));
    QVERIFY2(got.left < -150 && got.right < -150, qPrintable(QString::number(got.left)));

    QVERIFY(engine.setMute(false));
    got = measure(engine, tap, fixture("tone_stereo_2s.mp3"));
    QVERIFY(std::abs(got.left - mp3Full.left + 25) <= 0.5);
    QVERIFY(std::abs(got.right - mp3Full.right + 25) <= 0.5);
}

QTEST_GUILESS_MAIN(TestGstEngine)
#include "tst_gst_engine.moc"
