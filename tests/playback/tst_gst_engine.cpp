#include "playback/gst_engine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
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
#include <vector>

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

QByteArray fixtureBytes(const char* name) {
    QFile f(fixture(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Makes the bad file `kind` at `path`; false when it could not be made.
bool makeBadFile(const QString& kind, const QString& path) {
    QByteArray bytes;
    if (kind == "folder")
        return QDir().mkdir(path);
    if (kind == "FIFO")
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    if (kind == "random bytes") {
        bytes.resize(256 * 1024);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    } else if (kind == "5 MB ID3 tag") { // the tag size is stored in 7-bit bytes
        const int size = 5 << 20;
        bytes = QByteArray("ID3\x03\x00\x00", 6);
        for (int shift : {21, 14, 7, 0})
            bytes += char((size >> shift) & 0x7f);
        bytes += QByteArray(size, '\0') + fixtureBytes("short_0_3s.mp3");
    } else if (kind != "0 bytes") {
        bytes = fixtureBytes(kind == "text" ? "not_audio.mp3" : "cbr_3s.mp3");
    }
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Starts `file` and waits, bounded, until the position passes `seconds`.
bool playPast(GstEngine& engine, const QString& file, double seconds) {
    engine.setFileName(file);
    return engine.play() && QTest::qWaitFor([&] { return engine.position() > seconds; }, 3000);
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

// A sink a test can read what was played from.
GstElement* appSink() {
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    GstCaps* caps =
        gst_caps_from_string("audio/x-raw,format=F32LE,layout=interleaved,rate=44100,channels=2");
    // A short queue holds the stream back until the test has read it.
    g_object_set(sink, "caps", caps, "sync", FALSE, "max-buffers", 4, nullptr);
    gst_caps_unref(caps);
    return sink;
}

// Keeps in real time whatever reaches the sink, as a person would hear it.
struct Recording {
    std::mutex mutex;
    std::vector<float> left, right;
    GstClockTime end = GST_CLOCK_TIME_NONE; // running time where the last buffer ended
    GstClockTime hole = 0;                  // the longest time no buffer covered

    GstElement* sink() {
        GstElement* sink = appSink();
        g_object_set(sink, "sync", TRUE, "max-buffers", 0, nullptr);
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = [](GstAppSink* s, gpointer self) {
            GstSample* sample = gst_app_sink_pull_sample(s);
            if (sample)
                static_cast<Recording*>(self)->add(sample);
            gst_sample_unref(sample);
            return GST_FLOW_OK;
        };
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
        return sink;
    }
    void add(GstSample* sample) {
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        const GstSegment* segment = gst_sample_get_segment(sample);
        const GstClockTime from =
            gst_segment_to_running_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
        GstMapInfo map;
        std::lock_guard lock(mutex);
        if (GST_CLOCK_TIME_IS_VALID(end) && from > end)
            hole = std::max(hole, from - end);
        end = from + GST_BUFFER_DURATION(buffer);
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            const auto* f = reinterpret_cast<const float*>(map.data);
            for (size_t i = 0; i + 1 < map.size / sizeof(float); i += 2) {
                left.push_back(f[i]);
                right.push_back(f[i + 1]);
            }
            gst_buffer_unmap(buffer, &map);
        }
    }
    // Milliseconds of sound, and the longest break in it: silence between the first and last
    // sound, or time without any.
    std::pair<double, double> soundAndLongestGap() {
        std::lock_guard lock(mutex);
        qsizetype first = -1, last = -1, run = 0, longest = 0;
        for (qsizetype i = 0; i < qsizetype(left.size()); ++i) {
            if (std::abs(left[i]) < 1e-3f) {
                ++run;
                continue;
            }
            if (first >= 0)
                longest = std::max(longest, run);
            else
                first = i;
            run = 0;
            last = i;
        }
        return {(last - first + 1) / 44.1, std::max(longest / 44.1, hole / 1e6)};
    }
};

struct Levels {
    double left; // dB RMS; -200: silence, NaN: nothing heard (fails every comparison)
    double right;
};

// RMS per channel of the second from 0.3 s on, skipping the decoder's start.
Levels measure(GstEngine& engine, Recording& recording, const QString& file) {
    constexpr size_t kFrom = 44100 * 3 / 10, kTo = 44100 * 13 / 10;
    const auto heard = [&] {
        std::lock_guard lock(recording.mutex);
        return recording.right.size() >= kTo;
    };
    engine.setFileName(file);
    const bool played = engine.play() && QTest::qWaitFor(heard, 4000);
    engine.stop();
    std::lock_guard lock(recording.mutex);
    const auto db = [&](const std::vector<float>& channel) {
        double sum = 0;
        for (size_t i = kFrom; played && i < kTo; ++i)
            sum += double(channel[i]) * channel[i];
        return !played ? qQNaN() : sum > 0 ? 10 * std::log10(sum / (kTo - kFrom)) : -200;
    };
    const Levels got{db(recording.left), db(recording.right)};
    recording.left.clear();
    recording.right.clear();
    return got;
}

// `got` against `full`, the same file at full volume (a -9 dB RMS tone in both channels).
void compareLevels(Levels got, Levels full, double leftDb, double rightDb, double tolerance) {
    QVERIFY2(full.left > -12 && full.right > -12, qPrintable(QString::number(full.left)));
    QVERIFY2(std::abs(got.left - full.left - leftDb) <= tolerance,
             qPrintable(QStringLiteral("left %1 dB").arg(got.left - full.left)));
    QVERIFY2(std::abs(got.right - full.right - rightDb) <= tolerance,
             qPrintable(QStringLiteral("right %1 dB").arg(got.right - full.right)));
}

} // namespace

class TestGstEngine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        gst_init(nullptr, nullptr);
        QVERIFY(dir_.isValid());
    }

    void lengthRightAfterPlay_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("expected");
        QTest::addColumn<double>("tolerance");
        QTest::newRow("CBR") << fixture("cbr_3s.mp3") << 3.0 << 0.001;
        QTest::newRow("VBR with header") << fixture("vbr_4s.mp3") << 4.0 << 0.001;
        // Without a header the encoder's delay and padding stay in: 4 s + 2176 samples at
        // 32 kHz, where playback ends (GStreamer alone guesses 4.85 s here).
        QTest::newRow("VBR without header") << fixture("vbr_4s_noheader.mp3") << 4.068 << 0.001;
        QTest::newRow("Ogg Vorbis") << fixture("tone_stereo_2s.ogg") << 2.0 << 0.01;
        QTest::newRow("WAV") << fixture("tone_1s.wav") << 1.0 << 0.001;
    }

    void lengthRightAfterPlay() {
        QFETCH(QString, file);
        QFETCH(double, expected);
        QFETCH(double, tolerance);
        GstEngine engine(nullptr, timedSink);
        engine.setFileName(file);
        QVERIFY(engine.play());
        // Again once playing: GStreamer's own estimate must not replace the counted length.
        for (int wait : {0, 600}) {
            QTest::qWait(wait);
            const double got = engine.length().value_or(-1);
            QVERIFY2(std::abs(got - expected) <= tolerance, qPrintable(QString::number(got)));
        }
    }

    // What the caller does after play(), and the ends it is told of. After an end, a stop or
    // the same name again, play() starts from the beginning.
    void endOfStream_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("then");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("result"); // of the first end; -1: either
        const QString mp3 = fixture("short_0_3s.mp3"), cbr = fixture("cbr_3s.mp3");
        QTest::newRow("MP3 to its end") << mp3 << "" << 1 << 0;
        QTest::newRow("WAV to its end") << fixture("tone_1s.wav") << "" << 1 << 0;
        QTest::newRow("stopped") << mp3 << "stop" << 0 << 0;
        // The end comes while the caller is busy; its stop() or play() counts first.
        QTest::newRow("stopped when already over") << mp3 << "busy, stop" << 0 << 0;
        QTest::newRow("played again when already over") << mp3 << "busy, play" << 1 << 0;
        QTest::newRow("replaced by another file") << mp3 << "replace" << 0 << 0;
        QTest::newRow("sound output lost") << cbr << "lose output" << 1 << 1;
        QTest::newRow("restarted after the end") << mp3 << "end, restart" << 2 << 0;
        QTest::newRow("restarted after stop") << cbr << "stop, restart" << 0 << 0;
        QTest::newRow("restarted by the same name") << cbr << "same name, restart" << 0 << 0;
        // filesrc holds the file open, so the track may play on; either way it ends once.
        QTest::newRow("file deleted while playing") << "copy"
                                                    << "delete" << 1 << -1;
    }
    void endOfStream() {
        QFETCH(QString, file);
        QFETCH(QString, then);
        QFETCH(int, count);
        QFETCH(int, result);
        if (file == "copy") {
            file = dir_.filePath("doomed.mp3");
            QVERIFY(makeBadFile("copy", file));
        }
        std::atomic<GstElement*> sink{nullptr};
        GstEngine engine(nullptr, [&] { return sink = timedSink(); });
        QSignalSpy ends(&engine, &MediaEngine::endOfStream);
        QVERIFY(playPast(engine, file, then.contains("restart") ? 0.25 : -1));
        for (const QString& step : then.split(", ", Qt::SkipEmptyParts)) {
            if (step == "busy") {
                std::this_thread::sleep_for(std::chrono::milliseconds(700));
            } else if (step == "stop") {
                QVERIFY(engine.stop());
                QCOMPARE(engine.position(), 0.0);
            } else if (step == "play") {
                QVERIFY(engine.play());
            } else if (step == "replace") {
                engine.setFileName(fixture("cbr_3s.mp3"));
                QVERIFY(engine.play());
            } else if (step == "end") {
                QTRY_COMPARE_WITH_TIMEOUT(ends.count(), 1, 3000);
            } else if (step == "same name") {
                engine.setFileName(file);
            } else if (step == "restart") {
                QVERIFY(engine.play());
                QVERIFY(engine.position() < 0.1);
                QTRY_VERIFY_WITH_TIMEOUT(engine.position() > 0.25, 3000);
            } else if (step == "delete") {
                QTRY_VERIFY_WITH_TIMEOUT(engine.position() > 0.3, 3000);
                QVERIFY(QFile::remove(file));
            } else if (step == "lose output") {
                QTRY_VERIFY_WITH_TIMEOUT(engine.position() > 0.3, 3000);
                GError* error =
                    g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_WRITE, "");
                gst_element_post_message(
                    sink, gst_message_new_error(GST_OBJECT(sink.load()), error, nullptr));
                g_error_free(error);
            }
        }
        QTest::qWait(1000);
        QTRY_COMPARE_WITH_TIMEOUT(ends.count(), count, then == "delete" ? 5000 : 3000);
        QTest::qWait(300); // and never a second one
        QCOMPARE(ends.count(), count);
        if (count > 0 && result >= 0)
            QCOMPARE(ends.first().first().toInt(), result);
    }

    // The next track queued shortly before the end plays on without a gap, and only the
    // track that really ends raises the end of stream; a dropped one is never heard.
    void playsOnWithoutAGap_data() {
        QTest::addColumn<QString>("then"); // what the caller does once the next is queued
        QTest::addColumn<int>("joints");
        QTest::addColumn<int>("ends");
        QTest::addColumn<double>("soundMs");
        QTest::newRow("plays on") << "" << 1 << 1 << 600.0;
        QTest::newRow("dropped before the end") << "drop" << 0 << 1 << 300.0;
        // Stays in the playing file (the next is asked for again, not here).
        QTest::newRow("sought back before the end") << "seek" << 0 << 1 << 250.0;
        QTest::newRow("a next file that is not audio") << "not audio" << 0 << 1 << 300.0;
        QTest::newRow("stopped before the end") << "stop" << 0 << 0 << 300.0; // or less
    }
    void playsOnWithoutAGap() {
        QFETCH(QString, then);
        QFETCH(int, joints);
        QFETCH(int, ends);
        QFETCH(double, soundMs);
        Recording recording;
        GstEngine engine(nullptr, [&] { return recording.sink(); });
        QSignalSpy joined(&engine, &MediaEngine::queuedStarted);
        QSignalSpy ended(&engine, &MediaEngine::endOfStream);
        const QString file = fixture("short_0_3s.mp3"); // a whole number of periods
        bool queued = false;
        connect(&engine, &MediaEngine::aboutToFinish, &engine, [&] {
            if (std::exchange(queued, true))
                return; // once: the second copy ends the test
            QVERIFY(engine.queueNext(then == "not audio" ? fixture("not_audio.mp3") : file));
            QTimer::singleShot(50, &engine, [&] {
                if (then == "drop")
                    engine.queueNext(QString());
                else if (then == "stop")
                    engine.stop();
                else if (then == "seek")
                    engine.setPosition(0.1);
            });
        });
        engine.setFileName(file);
        QVERIFY(engine.play());
        QTest::qWait(1500);
        QCOMPARE(joined.count(), joints);
        QCOMPARE(ended.count(), ends);
        if (ends > 0)
            QCOMPARE(ended.first().first().toInt(), 0);
        QCOMPARE(engine.state(), MediaEngine::PlayState::Stopped);
        const auto [sound, gap] = recording.soundAndLongestGap();
        const double tolerance = then == "seek" ? 30 : 5; // a seek lands where the clock is
        QVERIFY2(sound < soundMs + tolerance && (then == "stop" || sound > soundMs - tolerance),
                 qPrintable(QString::number(sound)));
        QVERIFY2(gap <= 5, qPrintable(QString::number(gap)));
    }

    void pauseAndSetPosition_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("paused");
        QTest::addColumn<double>("target"); // < 0: no setPosition()
        const QString cbr = fixture("cbr_3s.mp3");
        QTest::newRow("pause, play") << cbr << true << -1.0;
        QTest::newRow("setPosition playing") << cbr << false << 1.5;
        QTest::newRow("setPosition paused") << cbr << true << 1.5;
        QTest::newRow("setPosition VBR without header")
            << fixture("vbr_4s_noheader.mp3") << false << 2.5;
    }

    void pauseAndSetPosition() {
        QFETCH(QString, file);
        QFETCH(bool, paused);
        QFETCH(double, target);
        GstEngine engine(nullptr, timedSink);
        QVERIFY(playPast(engine, file, 0.5));
        if (paused) {
            QVERIFY(engine.pause());
            QTest::qWait(100);
        }
        if (target < 0) {
            target = engine.position();
        } else {
            QSignalSpy jumps(&engine, &MediaEngine::positionJumped);
            QVERIFY(engine.setPosition(target));
            // At once, not the old place; the seek may already have settled and run on.
            QVERIFY(qAbs(engine.position() - target) < 0.02);
            QCOMPARE(jumps.count(), 1); // so that the display follows at once
        }
        // Held while paused; while a seek settles, never 0 or the old place.
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 500) {
            const double p = engine.position();
            QVERIFY2(p >= target - 0.01 && p < target + (paused ? 0.02 : 0.6),
                     qPrintable(QString::number(p)));
            QTest::qWait(5);
        }
        if (paused) {
            // Goes on from there: not from the start, nor ahead by the time spent paused.
            QVERIFY(engine.play());
            QTest::qWait(150);
            QVERIFY2(engine.position() >= target && engine.position() < target + 0.3,
                     qPrintable(QString::number(engine.position())));
        }
        // Then runs with the clock, not in steps.
        const double from = engine.position();
        QTest::qWait(400);
        const double ran = engine.position() - from;
        QVERIFY2(ran > 0.25 && ran < 0.55, qPrintable(QString::number(ran)));
    }

    // Whatever the file, no call keeps the caller waiting, a file that starts ends like any
    // track, and the next good file plays.
    void badInput_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("starts");  // 1 starts, 0 does not, -1 either
        QTest::addColumn<QString>("why"); // what the person who pressed Play is told
        QTest::newRow("missing") << "missing" << 0 << "No such file or directory";
        QTest::newRow("0 bytes") << "0 bytes" << 0 << "the file is empty";
        QTest::newRow("text") << "text" << 0 << "not a sound file that can be decoded";
        QTest::newRow("folder") << "folder" << 0 << "not a file";
        QTest::newRow("FIFO") << "FIFO" << 0 << "not a file";
        QTest::newRow("empty name") << "empty name" << 0 << "no file name";
        QTest::newRow("truncated MP3") << "truncated" << 1 << "";
        QTest::newRow("5 MB ID3 tag") << "5 MB ID3 tag" << 1 << "";
        QTest::newRow("random bytes") << "random bytes" << -1 << "";
    }
    void badInput() {
        QFETCH(QString, kind);
        QFETCH(int, starts);
        QFETCH(QString, why);
        QString name = kind == "truncated" ? fixture("truncated.mp3") : dir_.filePath(kind);
        if (kind == "empty name")
            name.clear();
        else if (kind != "missing" && kind != "truncated")
            QVERIFY(QFileInfo::exists(name) || makeBadFile(kind, name));
        GstEngine engine(nullptr, timedSink);
        QSignalSpy ends(&engine, &MediaEngine::endOfStream);
        bounded([&] { return engine.setFileName(name); });
        const bool started = bounded([&] { return engine.play(); });
        if (starts >= 0)
            QCOMPARE(started, starts == 1);
        if (started) {
            QVERIFY(ends.wait(4000));
            if (kind == "truncated") // plays what is there, about 1.5 s
                QVERIFY(engine.position() > 1.0);
        } else {
            if (!why.isEmpty())
                QCOMPARE(engine.playError(), why);
            QVERIFY(!engine.length());
            QCOMPARE(engine.position(), 0.0);
            QVERIFY(!bounded([&] { return engine.pause(); }));
            QVERIFY(!bounded([&] { return engine.setPosition(1.0); }));
            QTest::qWait(300);
            QCOMPARE(ends.count(), 0);
        }
        bounded([&] { return engine.stop(); });
        QVERIFY(bounded([&] { return playPast(engine, fixture("cbr_3s.mp3"), 0.2); }));
        QVERIFY(engine.length());
    }

    // A sound server that is not there: plays silently, as if heard. One that accepts the
    // connection and then never answers, like a frozen one: fails, never blocking the caller.
    void soundServerGoneOrHung() {
        GstElementFactory* pulse = gst_element_factory_find("pulsesink");
        if (!pulse)
            QSKIP("needs pulsesink");
        gst_object_unref(pulse);
        QTemporaryDir dir;
        const QByteArray path = QFile::encodeName(dir.filePath("native"));
        const QByteArray address = "unix:" + path;
        auto engine = std::make_unique<GstEngine>(nullptr, [address] {
            GstElement* sink = gst_element_factory_make("pulsesink", nullptr);
            g_object_set(sink, "server", address.constData(), nullptr);
            return sink;
        });
        QSignalSpy ends(engine.get(), &MediaEngine::endOfStream);
        engine->setFileName(fixture("short_0_3s.mp3"));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(bounded([&] { return engine->play(); }));
        QVERIFY(ends.wait(3000));
        QVERIFY2(timer.elapsed() >= 250, qPrintable(QString::number(timer.elapsed())));

        // Connections wait in the backlog: connect() succeeds, no answer ever comes.
        const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        qstrncpy(addr.sun_path, path.constData(), sizeof addr.sun_path);
        QCOMPARE(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        QCOMPARE(::listen(listener, 8), 0);
        engine->setFileName(fixture("cbr_3s.mp3"));
        QVERIFY(!bounded([&] { return engine->play(); }));
        QVERIFY(!bounded([&] { return engine->play(); }));
        bounded([&] { return engine->setVolume(-1000); });
        bounded([&] { return engine->stop(); });
        bounded([&] {
            engine.reset();
            return true;
        });
        QCOMPARE(ends.count(), 1);
        ::close(listener);
    }

    // Each measure() starts the file anew, so every setting is also checked across tracks.
    void levels() {
        Recording sink;
        GstEngine engine(nullptr, [&] { return sink.sink(); });
        const QString mp3 = fixture("tone_stereo_2s.mp3");
        const QString ogg = fixture("tone_stereo_2s.ogg");
        const Levels mp3Full = measure(engine, sink, mp3);
        const Levels oggFull = measure(engine, sink, ogg);
        QVERIFY(engine.setVolume(-2500));
        compareLevels(measure(engine, sink, mp3), mp3Full, -25, -25, 0.5);
        compareLevels(measure(engine, sink, ogg), oggFull, -25, -25, 0.5);
        QVERIFY(engine.setMute(true));
        const Levels muted = measure(engine, sink, mp3);
        QVERIFY2(muted.left < -150 && muted.right < -150, qPrintable(QString::number(muted.left)));
        QVERIFY(engine.setMute(false));
        compareLevels(measure(engine, sink, mp3), mp3Full, -25, -25, 0.5);
        QVERIFY(engine.setVolume(0));
        QVERIFY(engine.setBalance(-5000));
        compareLevels(measure(engine, sink, mp3), mp3Full, 0, -50, 1.0);
        QVERIFY(engine.setBalance(5000));
        compareLevels(measure(engine, sink, ogg), oggFull, -50, 0, 1.0);
    }

private:
    QTemporaryDir dir_;
};

QTEST_GUILESS_MAIN(TestGstEngine)
#include "tst_gst_engine.moc"
