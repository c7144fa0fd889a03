// Plays two files one after the other through the player's engine, as the end of a track in
// mode "rezume" does, and quits after the second: `queued` joins them without a gap,
// `restart` starts the second after the first has ended (the road without queueing).
// With `--lag`, plays into a sink that notes when each buffer is rendered instead of the
// sound server, and prints how long after the second file's first sound the engine said so.
// usage: bench_joint_player queued|restart [--lag] FIRST SECOND
#include "playback/gst_engine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <utility>

namespace {

QElapsedTimer clock_;
std::atomic<qint64> firstSoundOfSecondNs{-1};
std::atomic<bool> secondStarted{false};

// A sink that renders in real time and notes when the second file's first buffer is due.
GstElement* timingSink() {
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    g_object_set(sink, "sync", TRUE, nullptr);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = [](GstAppSink* s, gpointer) {
        GstSample* sample = gst_app_sink_pull_sample(s);
        if (sample) {
            const GstSegment* segment = gst_sample_get_segment(sample);
            // The queued file arrives with a segment of its own; its first buffer is at 0.
            GstBuffer* buffer = gst_sample_get_buffer(sample);
            const GstClockTime pts =
                gst_segment_to_stream_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
            qint64 none = -1;
            if (secondStarted && pts < 30 * GST_MSECOND)
                firstSoundOfSecondNs.compare_exchange_strong(none, clock_.nsecsElapsed());
            gst_sample_unref(sample);
        }
        return GST_FLOW_OK;
    };
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, nullptr, nullptr);
    return sink;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool lag = args.removeAll(QStringLiteral("--lag")) > 0;
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: bench_joint_player queued|restart [--lag] FIRST SECOND\n");
        return 2;
    }
    const bool queued = args[0] == QLatin1String("queued");
    const QString first = args[1], second = args[2];
    gst_init(&argc, &argv);
    clock_.start();
    GstEngine engine(nullptr, lag ? std::function<GstElement*()>(timingSink)
                                  : std::function<GstElement*()>());
    qint64 notifiedNs = -1;
    bool joined = false, restarted = false;
    QObject::connect(&engine, &MediaEngine::aboutToFinish, &engine, [&] {
        if (queued && !secondStarted) {
            engine.queueNext(second);
            secondStarted = true;
        }
    });
    QObject::connect(&engine, &MediaEngine::queuedStarted, &engine, [&] {
        joined = true;
        notifiedNs = clock_.nsecsElapsed();
    });
    // Not joined (the old way, or the engine declined the queued file): started after the end.
    QObject::connect(&engine, &MediaEngine::endOfStream, &engine, [&] {
        if (!joined && !std::exchange(restarted, true)) {
            secondStarted = true;
            engine.setFileName(second);
            engine.play();
            return;
        }
        app.quit();
    });
    QObject::connect(&engine, &MediaEngine::startAnswered, &app, [&](quint64, bool started) {
        if (!started)
            app.exit(1);
    });
    QTimer::singleShot(30000, &app, [&] { app.exit(1); });
    engine.setFileName(first);
    engine.play();
    const int status = app.exec();
    if (lag && notifiedNs >= 0 && firstSoundOfSecondNs >= 0)
        std::printf("%.1f\n", (notifiedNs - firstSoundOfSecondNs) / 1e6);
    return status;
}
