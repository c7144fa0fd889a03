#pragma once

#include "playback/gst_engine.h"

#include <QElapsedTimer>
#include <QList>
#include <gst/gst.h>

// The real engine, recording every play() (which file, whether it started, how long the
// caller was kept waiting) and every end (which file, with what result). By default its sink is a
// silent one that keeps time, so tracks end as they would on a sound card; `audible` uses the
// engine's own choice of sink.
class TimedEngine : public GstEngine {
public:
    struct Start {
        QString file;
        bool ok = false;
        qint64 ms = 0;
    };

    explicit TimedEngine(bool audible = false)
        : GstEngine(
              nullptr, audible ? std::function<GstElement*()>() : [] {
                  GstElement* sink = gst_element_factory_make("fakesink", nullptr);
                  g_object_set(sink, "sync", TRUE, nullptr);
                  return sink;
              }) {
        // Connected before the window's handler, which already names the next file.
        connect(this, &MediaEngine::endOfStream, this, [this](int result) {
            ends.append({fileName(), result});
        });
    }

    bool play() override {
        QElapsedTimer timer;
        timer.start();
        const bool ok = GstEngine::play();
        starts.append({fileName(), ok, timer.elapsed()});
        return ok;
    }

    qint64 longestPlayMs() const {
        qint64 longest = 0;
        for (const Start& s : starts)
            longest = std::max(longest, s.ms);
        return longest;
    }

    QList<Start> starts;
    QList<QPair<QString, int>> ends;
};
