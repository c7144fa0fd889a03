#include "playback/gst_engine.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
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

constexpr int kRate = 44100;
constexpr double kToneDb = -9.03; // the level fixtures' 1 kHz sine at half scale, RMS

QString fixture(const QString& name) {
    return QStringLiteral(MT_FIXTURES "/") + name;
}

// Makes the bad file `kind` at `path`; false when it could not be made.
bool makeBadFile(const QString& kind, const QString& path) {
    if (kind == "FIFO")
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    QByteArray bytes;
    QFile audio(fixture("short_0_3s.mp3"));
    if (kind == "5 MB ID3 tag" && audio.open(QIODevice::ReadOnly)) {
        // 5 MiB in the tag's seven-bit size bytes: 02 40 00 00.
        bytes = QByteArray("ID3\x03\x00\x00\x02\x40\x00\x00", 10) + QByteArray(5 << 20, '\0');
        bytes += audio.readAll();
    } else if (kind == "cut while counted" && audio.open(QIODevice::ReadOnly)) {
        bytes = audio.readAll().repeated(10000); // 30 MB, about 50 minutes
    }
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Starts what was set and waits for the answer; `reason` gets why it was refused.
bool started(MediaEngine& engine, QString* reason = nullptr) {
    QSignalSpy answers(&engine, &MediaEngine::startAnswered);
    const quint64 gen = engine.play();
    // Answered later, whatever the file or the sound server.
    [&] { QCOMPARE(engine.state(), MediaEngine::PlayState::Starting); }();
    if (gen == 0 || !answers.wait(3000))
        return false;
    if (reason)
        *reason = answers.last().at(2).toString();
    return answers.last().at(0).toULongLong() == gen && answers.last().at(1).toBool();
}

// The sound output: keeps what reaches it, in real time as a person hears it, or as fast as it
// decodes where only the samples matter. Held by the engine's sink factory, so a worker left
// behind by a hung row can still feed it after the row is over.
struct Recording {
    bool realTime = true;
    std::atomic_bool fails = false; // as a sound server that went away
    std::mutex mutex;
    std::vector<float> samples; // left, right interleaved
    std::vector<size_t> pieces; // frames in each buffer that reached the sink

    GstElement* monitor = nullptr; // records a sound server's null sink as it plays

    ~Recording() {
        if (monitor) {
            gst_element_set_state(monitor, GST_STATE_NULL);
            gst_object_unref(monitor);
        }
    }
    // The sound output: a sound server's own sink, fed ahead, while its monitor is recorded.
    GstElement* serverSink(const QByteArray& server) {
        if (!monitor) {
            monitor = gst_parse_launch("pulsesrc name=src device=marrowtune_test.monitor ! "
                                       "audioconvert ! appsink name=rec",
                                       nullptr);
            GstElement* src = gst_bin_get_by_name(GST_BIN(monitor), "src");
            g_object_set(src, "server", server.constData(), nullptr);
            gst_object_unref(src);
            GstElement* rec = gst_bin_get_by_name(GST_BIN(monitor), "rec");
            listen(rec, false);
            gst_object_unref(rec);
            gst_element_set_state(monitor, GST_STATE_PLAYING);
        }
        GstElement* sink = gst_element_factory_make("pulsesink", nullptr);
        g_object_set(sink, "server", server.constData(), nullptr);
        return sink;
    }
    GstElement* sink() {
        GstElement* sink = gst_element_factory_make("appsink", nullptr);
        listen(sink, realTime);
        return sink;
    }
    void listen(GstElement* sink, bool sync) {
        GstCaps* caps = gst_caps_from_string(
            "audio/x-raw,format=F32LE,layout=interleaved,rate=44100,channels=2");
        g_object_set(sink, "caps", caps, "sync", sync, nullptr);
        gst_caps_unref(caps);
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = [](GstAppSink* s, gpointer self) {
            if (static_cast<Recording*>(self)->fails) {
                GST_ELEMENT_ERROR(s, RESOURCE, WRITE, ("Disconnected"), (nullptr));
                return GST_FLOW_ERROR;
            }
            GstSample* sample = gst_app_sink_pull_sample(s);
            if (sample)
                static_cast<Recording*>(self)->add(sample);
            gst_sample_unref(sample);
            return GST_FLOW_OK;
        };
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
    }
    void clear() {
        std::lock_guard lock(mutex);
        samples.clear();
    }
    void add(GstSample* sample) {
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        std::lock_guard lock(mutex);
        GstMapInfo map;
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            const auto* f = reinterpret_cast<const float*>(map.data);
            samples.insert(samples.end(), f, f + map.size / sizeof(float));
            pieces.push_back(map.size / sizeof(float) / 2);
            gst_buffer_unmap(buffer, &map);
        }
    }
    // Milliseconds from the first sound to the last: silence between them makes it longer.
    double soundMs() {
        std::lock_guard lock(mutex);
        qsizetype first = -1, last = -1;
        for (qsizetype i = 0; i < qsizetype(samples.size() / 2); ++i)
            if (std::abs(samples[2 * i]) >= 1e-3f) {
                first = first < 0 ? i : first;
                last = i;
            }
        return (last - first + 1) * 1000.0 / kRate;
    }
    // dB RMS of a channel over the second from 0.3 s after the first sound on, past the
    // decoder's start; -200: silence, NaN: not heard that long (fails every comparison).
    double db(int channel) {
        std::lock_guard lock(mutex);
        size_t from = 0;
        while (from < samples.size() && std::abs(samples[from]) < 1e-3f)
            ++from;
        from = from / 2 + kRate * 3 / 10;
        double sum = 0;
        if (samples.size() < 2 * (from + kRate))
            return qQNaN();
        for (size_t i = from; i < from + kRate; ++i)
            sum += double(samples[2 * i + channel]) * samples[2 * i + channel];
        return sum > 0 ? 10 * std::log10(sum / kRate) : -200;
    }
};

} // namespace

class TestGstEngine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        gst_init(nullptr, nullptr);
        QVERIFY(dir_.isValid());
    }

    // What the caller does after play(), and the ends it is told of. After an end or a stop, play()
    // starts from the beginning. A start stopped or replaced before its answer is never answered
    // nor heard; one paused then starts paused.
    void endOfStream_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("then");
        QTest::addColumn<int>("count");
        const QString mp3 = fixture("short_0_3s.mp3"), cbr = fixture("cbr_3s.mp3");
        QTest::newRow("MP3 to its end") << mp3 << "" << 1;
        QTest::newRow("restarted after the end") << mp3 << "end, restart" << 2;
        QTest::newRow("restarted after stop") << cbr << "stop, restart" << 0;
        QTest::newRow("stopped before its answer") << cbr << "before its answer, stop" << 0;
        QTest::newRow("replaced before its answer") << cbr << "before its answer, replace" << 1;
        QTest::newRow("paused before its answer") << cbr << "before its answer, pause" << 1;
        QTest::newRow("sound output lost") << cbr << "lose output" << 1;
        // filesrc holds the file open, so the track may play on; either way it ends once.
        QTest::newRow("file deleted while playing") << "copy"
                                                    << "delete" << 1;
    }
    void endOfStream() {
        QFETCH(QString, file);
        QFETCH(QString, then);
        QFETCH(int, count);
        if (file == "copy") {
            file = dir_.filePath("doomed.mp3");
            QVERIFY(QFile::copy(fixture("short_0_3s.mp3"), file));
        }
        auto sink = std::make_shared<Recording>();
        GstEngine engine(nullptr, [sink] { return sink->sink(); });
        QSignalSpy ends(&engine, &MediaEngine::endOfStream);
        QSignalSpy answers(&engine, &MediaEngine::startAnswered);
        engine.setFileName(file);
        const quint64 gen = then.startsWith("before its answer") ? engine.play() : 0;
        if (gen)
            QThread::msleep(100); // the file opens meanwhile; its answer waits for this thread
        else
            QVERIFY(started(engine));
        if (then.contains("restart"))
            QTRY_VERIFY_WITH_TIMEOUT(engine.position() > 0.25, 3000);
        for (const QString& step : then.split(", ", Qt::SkipEmptyParts)) {
            if (step == "stop") {
                QVERIFY(engine.stop());
                QCOMPARE(engine.position(), 0.0);
            }
            if (step == "end")
                QTRY_COMPARE_WITH_TIMEOUT(ends.count(), 1, 3000);
            if (step == "restart") {
                QVERIFY(started(engine));
                QVERIFY(engine.position() < 0.1);
                QTRY_VERIFY_WITH_TIMEOUT(engine.position() > 0.25, 3000);
            }
            if (step == "delete")
                QVERIFY(QFile::remove(file));
            if (step == "lose output") { // paused where the sound stopped; goes on from there
                QSignalSpy lost(&engine, &MediaEngine::outputLost);
                QTRY_VERIFY_WITH_TIMEOUT(engine.position() > 0.5, 3000);
                sink->fails = true;
                QVERIFY(lost.wait(1000));
                const double at = engine.position(), heard = sink->soundMs() / 1000;
                QTest::qWait(300);
                QVERIFY2(engine.state() == MediaEngine::PlayState::Paused && ends.isEmpty() &&
                             engine.position() == at && std::abs(at - heard) < 0.15,
                         qPrintable(QString("at %1 s, heard %2 s").arg(at).arg(heard)));
                sink->fails = false;
                QVERIFY(started(engine) && std::abs(engine.position() - at) < 0.05);
                QTRY_COMPARE_WITH_TIMEOUT(ends.count(), 1, 4000); // the whole track heard once
                QVERIFY2(std::abs(sink->soundMs() - 3000) < 100,
                         qPrintable(QString::number(sink->soundMs())));
            }
            if (step == "replace") {
                engine.setFileName(fixture("short_0_3s.mp3"));
                engine.play();
            }
            if (step == "pause") {
                QVERIFY(engine.pause() && !engine.setPosition(1.0));
                QTRY_COMPARE_WITH_TIMEOUT(engine.state(), MediaEngine::PlayState::Paused, 3000);
                QTest::qWait(300);
                QVERIFY(sink->soundMs() < 1 && engine.position() == 0);
                QCOMPARE(engine.play(), quint64(0));
            }
        }
        QTRY_COMPARE_WITH_TIMEOUT(ends.count(), count, 5000);
        QTest::qWait(500); // and never one more
        QCOMPARE(ends.count(), count);
        if (gen) { // only the file that started is answered and heard: none, the short one, all
            QVERIFY(answers.isEmpty() || answers.first().at(0).toULongLong() > gen ||
                    then.endsWith("pause"));
            const double heard = then.endsWith("stop") ? 1 : then.endsWith("pause") ? 3100 : 305;
            QVERIFY2(sink->soundMs() < heard, qPrintable(QString::number(sink->soundMs())));
        }
    }

    // The next track queued shortly before the end plays on without a gap, and only the track that
    // really ends raises the end of stream; a dropped one is never heard.
    void playsOnWithoutAGap_data() {
        QTest::addColumn<QString>("then"); // what the caller does once the next is queued
        QTest::addColumn<int>("joints");
        QTest::addColumn<double>("soundMs");
        QTest::newRow("plays on") << "" << 1 << 600.0;
        QTest::newRow("dropped before the end") << "drop" << 0 << 300.0;
        QTest::newRow("a next file that is not audio") << "not audio" << 0 << 300.0;
        // A seek takes the queued file back from playbin: it still follows, unasked again.
        QTest::newRow("seeked back once queued") << "seek" << 1 << -1.0;
    }
    void playsOnWithoutAGap() {
        QFETCH(QString, then);
        QFETCH(int, joints);
        QFETCH(double, soundMs);
        auto recording = std::make_shared<Recording>();
        GstEngine engine(nullptr, [recording] { return recording->sink(); });
        QSignalSpy joined(&engine, &MediaEngine::queuedStarted);
        QSignalSpy ended(&engine, &MediaEngine::endOfStream);
        const QString file = fixture("short_0_3s.mp3"); // a whole number of periods
        bool queued = false;
        connect(&engine, &MediaEngine::aboutToFinish, &engine, [&] {
            if (std::exchange(queued, true))
                return; // once: the second copy ends the test
            QVERIFY(engine.queueNext(then == "not audio" ? fixture("not_audio.mp3") : file));
            if (then == "drop")
                QTimer::singleShot(50, &engine, [&] { engine.queueNext(QString()); });
            if (then == "seek")
                QTimer::singleShot(0, &engine, [&] { engine.setPosition(0); });
        });
        // Longer than what playbin reads ahead, so the end is near again well after the seek.
        engine.setFileName(then == "seek" ? fixture("cbr_3s.mp3") : file);
        QVERIFY(started(engine));
        // Should it not end in time, where it stands tells a stall from a slow machine.
        const auto where = [&] {
            return QString("still playing at %1 s, %2 joined, %3 ms of sound heard")
                .arg(engine.position())
                .arg(joined.count())
                .arg(recording->soundMs());
        };
        QTRY_VERIFY2_WITH_TIMEOUT(engine.state() == MediaEngine::PlayState::Stopped,
                                  qPrintable(where()), 8000);
        QTest::qWait(300); // for anything played after
        QCOMPARE(joined.count(), joints);
        QCOMPARE(ended.count(), 1);
        QCOMPARE(ended.first().first().toInt(), 0);
        const double sound = recording->soundMs();
        QVERIFY2(soundMs < 0 || std::abs(sound - soundMs) < 5, qPrintable(QString::number(sound)));
    }

    // The length is known once the start is answered; paused, the position holds, and play() goes
    // on from there.
    void pauseAndSetPosition_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("length");
        QTest::addColumn<bool>("paused");
        QTest::addColumn<double>("target"); // < 0: no setPosition()
        QTest::newRow("setPosition paused") << fixture("cbr_3s.mp3") << 3.0 << true << 1.5;
        // Without a header the encoder's delay and padding stay in: 4 s + 2176 samples at 32 kHz,
        // where playback ends (GStreamer alone guesses 4.85 s here).
        QTest::newRow("setPosition VBR without header")
            << fixture("vbr_4s_noheader.mp3") << 4.068 << false << 2.5;
        QTest::newRow("Ogg Vorbis, paused") << fixture("tone_stereo_2s.ogg") << 2.0 << true << -1.0;
        if (!server_.isEmpty())
            QTest::newRow("setPosition paused, server's sink fed ahead")
                << fixture("cbr_3s.mp3") << 3.0 << true << 1.5;
    }
    void pauseAndSetPosition() {
        QFETCH(QString, file);
        QFETCH(double, length);
        QFETCH(bool, paused);
        QFETCH(double, target);
        auto sink = std::make_shared<Recording>();
        GstEngine engine(nullptr, sinkFor(sink));
        engine.setFileName(file);
        QVERIFY(started(engine));
        const double got = engine.length().value_or(-1);
        QVERIFY2(std::abs(got - length) <= 0.005, qPrintable(QString::number(got)));
        QTRY_VERIFY_WITH_TIMEOUT(engine.position() > 0.3, 3000);
        if (paused) {
            QVERIFY(engine.pause());
            QTest::qWait(100);
        }
        if (target < 0) {
            target = engine.position();
        } else {
            QVERIFY(engine.setPosition(target));
            // At once, not the old place; the seek may already have settled and run on.
            QVERIFY(qAbs(engine.position() - target) < 0.02);
        }
        // Held while paused; once a seek settles, not 0 or the old place.
        QTest::qWait(300);
        QVERIFY2(engine.position() >= target - 0.01 &&
                     engine.position() < target + (paused ? 0.02 : 0.6),
                 qPrintable(QString::number(engine.position())));
        if (std::lock_guard lock(sink->mutex); !sink->monitor) // the batcher's pieces, as cut
            // The first sound goes on alone, at once; then half seconds at a time.
            QVERIFY2(sink->pieces.front() <= 2048 &&
                         *std::max_element(sink->pieces.begin(), sink->pieces.end()) > kRate / 4,
                     qPrintable(QString::number(sink->pieces.front())));
        if (paused) {
            // Goes on from there: not from the start, nor ahead by the time spent paused, nor
            // stuck.
            QCOMPARE(engine.play(), quint64(0)); // goes on, no new start
            QTRY_VERIFY_WITH_TIMEOUT(engine.position() > target + 0.05, 500);
            QVERIFY2(engine.position() < target + 0.3,
                     qPrintable(QString::number(engine.position())));
        }
    }

    // Whatever the file or the sound output, a start is answered later (how long the window
    // waits is the answer benchmark's), a file that starts ends like any track, and the next
    // good file plays.
    void badInput_data() {
        QTest::addColumn<QString>("kind");   // a fixture or a bad file made here
        QTest::addColumn<int>("starts");     // 1 starts, 0 does not, -1 either
        QTest::addColumn<QString>("server"); // where pulsesink is the output
        QTest::addColumn<int>("playsMs");    // at least, when it starts
        QTest::addColumn<QString>("why");    // what the person who pressed Play is told
        const QString why = "not a sound file that can be decoded";
        QTest::newRow("missing") << "missing" << 0 << "" << 0 << "No such file or directory";
        QTest::newRow("text") << "not_audio.mp3" << 0 << "" << 0 << why;
        QTest::newRow("FIFO") << "FIFO" << 0 << "" << 0 << "not a file";
        QTest::newRow("truncated MP3") << "truncated.mp3" << 1 << "" << 1000 << "";
        QTest::newRow("5 MB ID3 tag") << "5 MB ID3 tag" << 1 << "" << 250 << "";
        QTest::newRow("cut while counted") << "cut while counted" << -1 << "" << 0 << "";
        QTest::newRow("sound server gone")
            << "short_0_3s.mp3" << 0 << "gone" << 0 << "no sound output is running";
        // Takes the connection and never answers, like a frozen one.
        QTest::newRow("sound server hung")
            << "short_0_3s.mp3" << 0 << "hung" << 0 << "the sound system did not answer";
    }
    void badInput() {
        QFETCH(QString, kind);
        QFETCH(QString, server);
        QFETCH(int, starts);
        QFETCH(int, playsMs);
        QFETCH(QString, why);
        const QString name = kind.endsWith(".mp3") ? fixture(kind) : dir_.filePath(kind);
        if (kind != "missing" && !QFileInfo::exists(name))
            QVERIFY(makeBadFile(kind, name));
        // Connections wait in the backlog: connect() succeeds, no answer ever comes.
        const QByteArray path = QFile::encodeName(dir_.filePath(server + ".socket"));
        const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (server == "hung") {
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            qstrncpy(addr.sun_path, path.constData(), sizeof addr.sun_path);
            QCOMPARE(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
            QCOMPARE(::listen(listener, 8), 0);
        }
        // A tagger rewriting the file cuts it short again and again until the start is answered,
        // then leaves its start.
        std::jthread cutter(
            [&name, cut = kind == "cut while counted"](const std::stop_token& stop) {
                for (const qint64 size = QFileInfo(name).size(); cut && !stop.stop_requested();) {
                    QFile::resize(name, 16384);
                    QFile::resize(name, size);
                    QThread::usleep(500); // mostly whole: a count sees it whole, then cut
                }
                if (cut)
                    QFile::resize(name, 16384);
            });
        auto recording = std::make_shared<Recording>();
        // By value: a hung start may still be making the sink after this test is over.
        auto back = std::make_shared<std::atomic_bool>(false); // the sound server, once gone
        auto engine = std::make_unique<GstEngine>(nullptr, [recording, server, path, back] {
            if (server.isEmpty() || *back)
                return recording->sink();
            GstElement* sink = gst_element_factory_make("pulsesink", nullptr);
            g_object_set(sink, "server", ("unix:" + path).constData(), nullptr);
            return sink;
        });
        QSignalSpy ends(engine.get(), &MediaEngine::endOfStream);
        engine->setFileName(name);
        QElapsedTimer timer;
        timer.start();
        QString reason;
        const bool began = started(*engine, &reason);
        cutter.request_stop();
        cutter.join();
        if (starts >= 0)
            QCOMPARE(began, starts == 1);
        if (began) {
            QVERIFY(ends.wait(4000));
            QVERIFY2(timer.elapsed() >= playsMs, qPrintable(QString::number(timer.elapsed())));
        } else {
            if (!why.isEmpty())
                QCOMPARE(reason, why);
            QVERIFY(!engine->pause());
            QVERIFY(!engine->setPosition(1.0));
            QVERIFY(!started(*engine)); // asked again
            QTest::qWait(300);
            QCOMPARE(ends.count(), 0);
        }
        engine->setVolume(-1000);
        engine->stop();
        if (server != "hung") {
            *back = true;
            engine->setFileName(fixture("short_0_3s.mp3"));
            QVERIFY(started(*engine) && engine->length());
            QTRY_COMPARE_WITH_TIMEOUT(ends.count(), began ? 2 : 1, 3000);
        }
        engine.reset();
        ::close(listener);
    }

    // Set while stopped, the levels hold for every file played after, MP3 or not, mono too.
    void levels_data() {
        QTest::addColumn<int>("volume"); // hundredths of a dB
        QTest::addColumn<int>("balance");
        QTest::addColumn<int>("mutes");   // times mute is switched
        QTest::addColumn<double>("left"); // dB against full scale's tone
        QTest::addColumn<double>("right");
        QTest::newRow("-25 dB") << -2500 << 0 << 0 << -25.0 << -25.0;
        QTest::newRow("muted and back") << -2500 << 0 << 2 << -25.0 << -25.0;
        QTest::newRow("to the left") << 0 << -5000 << 0 << 0.0 << -50.0;
        if (server_.isEmpty())
            return; // the rows below run where a sound server is given
        QTest::newRow("-25 dB, server's stream") << -2500 << 0 << 0 << -25.0 << -25.0;
        QTest::newRow("muted and back, server's stream") << -2500 << 0 << 2 << -25.0 << -25.0;
        QTest::newRow("to the right, server's sink") << -1000 << 5000 << 0 << -60.0 << -10.0;
    }
    void levels() {
        QFETCH(int, volume);
        QFETCH(int, balance);
        QFETCH(int, mutes);
        QFETCH(double, left);
        QFETCH(double, right);
        auto recording = std::make_shared<Recording>();
        recording->realTime = false;
        GstEngine engine(nullptr, sinkFor(recording));
        QSignalSpy ends(&engine, &MediaEngine::endOfStream);
        QVERIFY(engine.setVolume(volume) && engine.setBalance(balance));
        for (int i = 0; i < mutes; ++i)
            QVERIFY(engine.setMute(i % 2 == 0));
        // A sound server plays in real time: two files show the levels carried to a new stream.
        const QStringList files{"tone_stereo_2s.mp3", "tone_stereo_2s.ogg", "tone_7s_mono.mp3"};
        for (const QString& file : files.mid(0, onServer() ? 2 : 3)) {
            recording->clear(); // nothing plays between the end and the next play()
            engine.setFileName(fixture(file));
            QVERIFY(started(engine));
            QVERIFY(ends.wait(6000)); // a null sink may take a second to drain
            const double want[] = {left, right};
            for (int channel : {0, 1}) {
                const double got = recording->db(channel) - kToneDb;
                QVERIFY2(std::abs(got - want[channel]) <= 1.0,
                         qPrintable(QStringLiteral("%1: %2 dB").arg(file).arg(got)));
            }
        }
    }

private:
    // The row's output: an appsink, or where it names one, the sound server's own sink.
    static bool onServer() { return QString(QTest::currentDataTag()).contains("server's"); }
    std::function<GstElement*()> sinkFor(const std::shared_ptr<Recording>& recording) const {
        if (onServer())
            return [recording, server = server_] { return recording->serverSink(server); };
        return [recording] { return recording->sink(); };
    }

    QTemporaryDir dir_;
    const QByteArray server_ = qgetenv("MT_TEST_SOUND_SERVER"); // with a null sink
};

QTEST_GUILESS_MAIN(TestGstEngine)
#include "tst_gst_engine.moc"
