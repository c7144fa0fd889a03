// A long evening of short tracks: the real window and engine (with a silent sink that keeps
// time) follow 1,000 track ends in resume mode and 1,000 in random mode. Prints one row per
// mode for bench/run: whether every end was followed by the right start, and how much the
// resident memory grew per track after a warm-up. MARROWTUNE_SOAK_ENDS changes the count.
#include "app/form1.h"
#include "bench/resident_memory.h"
#include "playback/gst_engine.h"
#include "player/player.h"
#include "playlist/play_list_model.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QListView>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <gst/gst.h>

namespace {

constexpr int kFiles = 7;

// Runs the event loop until `done` or `ms` have passed.
bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    return done();
}

// Encodes `ms` milliseconds of tone as an MP3 at `path`.
bool writeMp3Tone(const QString& path, int ms) {
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(
        QStringLiteral("audiotestsrc num-buffers=%1 samplesperbuffer=441 ! "
                       "audio/x-raw,rate=44100,channels=2 ! lamemp3enc ! filesink location=\"%2\"")
            .arg(std::max(1, ms / 10))
            .arg(path)
            .toUtf8()
            .constData(),
        &error);
    if (!pipeline) {
        g_clear_error(&error);
        return false;
    }
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* msg = gst_bus_timed_pop_filtered(
        bus, 10 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool ok = msg && GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS;
    if (msg)
        gst_message_unref(msg);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return ok;
}

// Plays through `ends` track ends; returns the row for bench/run.
QString soak(const QStringList& files, bool random, int ends) {
    auto* engine = new GstEngine(nullptr, [] {
        GstElement* sink = gst_element_factory_make("fakesink", nullptr);
        g_object_set(sink, "sync", TRUE, nullptr);
        return sink;
    });
    Player player(engine);
    Form1 form(&player);
    // Resume stops at the last entry, so the list holds one entry per end; random mode picks
    // from a few entries in an order the injected source fixes.
    QStringList expected;
    if (random) {
        player.list()->append(files);
        player.setRandomSource(
            [pick = 0]() mutable { return (pick++ * 3 % kFiles + 0.5) / kFiles; });
        form.findChild<QRadioButton*>(QStringLiteral("OptRND"))->setChecked(true);
        expected << files[0];
        for (int i = 0; i < ends - 1; ++i)
            expected << files[i * 3 % kFiles];
    } else {
        for (int i = 0; i < ends; ++i)
            expected << files[i % kFiles];
        player.list()->append(expected);
        form.findChild<QRadioButton*>(QStringLiteral("OptRes"))->setChecked(true);
    }
    form.findChild<QListView*>(QStringLiteral("List1"))
        ->selectionModel()
        ->setCurrentIndex(player.list()->index(0), QItemSelectionModel::ClearAndSelect);
    QStringList started;
    int ended = 0, brokeOff = 0;
    QObject::connect(engine, &MediaEngine::stateChanged, [&] {
        if (engine->state() == MediaEngine::PlayState::Playing)
            started << engine->fileName();
    });
    QObject::connect(engine, &MediaEngine::endOfStream, [&](int result) {
        ++ended;
        brokeOff += result != 0;
    });
    // A queued track took over: the one before played to its end, the new one started.
    QObject::connect(engine, &MediaEngine::queuedStarted, [&] {
        ++ended;
        started << engine->fileName();
    });
    const int warmUp = std::max(5, ends / 10);
    qint64 warmKiB = 0;
    QElapsedTimer clock;
    clock.start();
    form.CmdPlay_Click();
    for (int n = 1; n <= ends; ++n) {
        if (!waitFor([&] { return ended >= n; }, 10000))
            break;
        if (n == warmUp)
            warmKiB = residentKiB();
    }
    const qint64 endKiB = residentKiB();
    form.CmdStop_Click();
    waitFor([] { return false; }, 300); // a stray end would show up here
    const bool followed = ended == ends && brokeOff == 0 && started.mid(0, ends) == expected;
    std::fprintf(stderr, "soak %s: %d ends in %lld ms, %lld KiB -> %lld KiB\n",
                 random ? "random" : "resume", ended, clock.elapsed(), warmKiB, endKiB);
    return QStringLiteral("soak, %1 mode: memory per track end (%2 ends)\t%3 KiB\t-\t"
                          "every end followed, < 20 KiB\t%4")
        .arg(random ? "random" : "resume")
        .arg(ends)
        .arg(double(endKiB - warmKiB) / (ends - warmUp), 0, 'f', 2)
        .arg(followed && endKiB - warmKiB < 20 * (ends - warmUp) ? "met" : "missed");
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    gst_init(nullptr, nullptr);
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("MARROWTUNE_SOAK_ENDS", &ok);
    const int ends = ok && n > 0 ? n : 1000;
    QTemporaryDir dir;
    QStringList files; // different names, so the order of starts can be checked
    for (int i = 0; i < kFiles; ++i) {
        files << dir.filePath(QStringLiteral("tick%1.mp3").arg(i));
        if (!writeMp3Tone(files.last(), 50)) {
            std::fprintf(stderr, "soak: could not encode a test track\n");
            return 1;
        }
    }
    for (bool random : {false, true})
        std::printf("%s\n", qPrintable(soak(files, random, ends)));
    return 0;
}
