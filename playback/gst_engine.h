#pragma once

#include "playback/media_engine.h"

#include <QTimer>
#include <functional>
#include <memory>

typedef struct _GstElement GstElement;
class GstPipelineWorker;
struct WorkerReport;

// Plays files with a GStreamer playbin. The pipeline lives on a worker thread of its own:
// a sound server that hangs makes GStreamer state changes block for half a minute, and the
// calling (GUI) thread must never sit in that. Calls post commands to the worker and never
// wait; its reports come back on this object's thread. A start the worker has not answered
// within 1.5 s is given up here, without waiting for the worker to come back.
//
// Volume and mute are set on the sound server's stream where the sink has one (heard at once
// though the sink is fed seconds ahead), in the samples otherwise; the balance is applied in
// the samples. All hold across tracks.
class GstEngine : public MediaEngine {
    Q_OBJECT
public:
    // `makeAudioSink` gives the sink for each new file (tests pass an appsink or fakesink);
    // without one, autoaudiosink is used. A start whose sink cannot open is refused.
    explicit GstEngine(QObject* parent = nullptr, std::function<GstElement*()> makeAudioSink = {});
    ~GstEngine() override;

    // Loads GStreamer and builds the pipeline on the worker thread, without waiting for it;
    // otherwise the first play() does. Loading takes the processor for a few milliseconds.
    void prepare();

    bool setFileName(const QString& name) override;
    QString fileName() const override;
    quint64 play() override;
    bool pause() override;
    bool stop() override;
    PlayState state() const override;
    std::optional<double> length() const override;
    double position() const override;
    bool setPosition(double seconds) override;
    bool queueNext(const QString& name) override;
    int volume() const override;
    bool setVolume(int hundredthsOfDb) override;
    int balance() const override;
    bool setBalance(int hundredthsOfDb) override;
    bool mute() const override;
    bool setMute(bool on) override;

private:
    void setState(PlayState state);
    bool setLevels(int volume, int balance, bool mute);
    void deliver(const WorkerReport& report);
    void answerStart(quint64 generation, bool started, const QString& reason);
    void refuseStart(quint64 generation, const QString& reason);
    void deliverEnd(quint64 generation, int result);
    void deliverAboutToFinish(quint64 generation);
    void deliverQueuedStart(quint64 generation, const QString& file);
    quint64 startCurrentFile(double from = 0.0);
    void flushBalance();

    // Shared so a worker stuck in a hung sound server can outlive the engine.
    std::shared_ptr<GstPipelineWorker> worker_;
    QString fileName_;
    QString queuedName_;
    QTimer answerWait_;     // gives up a start the worker does not answer
    QTimer balanceFlushed_; // a slider dragged flushes a few times a second, not at every step
    bool balanceWaits_ = false;
    bool askingForNext_ = false;
    bool fileChanged_ = true;
    bool pausedWhileStarting_ = false;
    bool aboutToFinishWaits_ = false; // for the start's answer, which it must not overtake
    bool outputLost_ = false; // paused where the sound output failed; play() starts from there
    bool goingOn_ = false;    // the start runs on from where the output failed
    PlayState state_ = PlayState::Stopped;
    int volume_ = 0;
    int balance_ = 0;
    bool mute_ = false;
};
