#pragma once

#include "playback/media_engine.h"

#include <QMetaObject>
#include <QStringList>
#include <utility>

// A scripted engine for the player and the window: records every call in `calls` and answers
// from the fields below, so a test can say "play fails" or "the track is 187.5 s long". As the
// real engine, it answers a start later: at the next turn of the event loop, or when
// answerStart() is called while `holding`.
class FakeEngine : public MediaEngine {
    Q_OBJECT
public:
    using MediaEngine::MediaEngine;

    QStringList calls;
    QStringList failing;  // "play", "queue" or "balance": those calls are refused
    bool holding = false; // starts wait for answerStart()
    QString name, queued;
    std::optional<double> trackLength = 0.0;
    double pos = 0.0;
    int vol = 0, bal = 0;
    bool muted = false;

    bool setFileName(const QString& n) override {
        name = n;
        return newFile_ = record("file:" + n);
    }
    QString fileName() const override { return name; }
    quint64 play() override {
        record("play");
        const bool newFile = std::exchange(newFile_, false);
        if (!newFile && state_ != PlayState::Stopped && !lost_) {
            pausedStart_ = false; // goes on
            setState(state_ == PlayState::Paused ? PlayState::Playing : state_);
            return 0;
        }
        goingOn_ = std::exchange(lost_, false) && !newFile; // a new start from the place
        pos = goingOn_ ? pos : 0;
        queued.clear();
        setState(PlayState::Stopped);
        setState(PlayState::Starting);
        if (!holding)
            QMetaObject::invokeMethod(this, &FakeEngine::answerStart, Qt::QueuedConnection);
        return ++generation_;
    }
    void answerStart() {
        if (state_ != PlayState::Starting)
            return; // stopped or answered meanwhile
        const bool ok = !failing.contains("play");
        lost_ = !ok && std::exchange(goingOn_, false);
        setState(!ok            ? (lost_ ? PlayState::Paused : PlayState::Stopped)
                 : pausedStart_ ? PlayState::Paused
                                : PlayState::Playing);
        pausedStart_ = false;
        emit startAnswered(generation_, ok, ok ? QString() : QStringLiteral("it is refused"));
    }
    bool pause() override {
        record("pause");
        pausedStart_ = state_ == PlayState::Starting;
        setState(state_ == PlayState::Playing ? PlayState::Paused : state_);
        return state_ != PlayState::Stopped;
    }
    bool stop() override {
        pos = 0;
        lost_ = goingOn_ = false;
        queued.clear();
        setState(PlayState::Stopped);
        return record("stop");
    }
    PlayState state() const override { return state_; }
    std::optional<double> length() const override { return trackLength; }
    double position() const override { return pos; }
    bool setPosition(double s) override {
        pos = s;
        emit positionJumped();
        return record(QStringLiteral("seek:%1").arg(s));
    }
    bool queueNext(const QString& n) override {
        queued = failing.contains("queue") ? QString() : n;
        return record("queue:" + n) && queued == n;
    }
    int volume() const override { return vol; }
    bool setVolume(int v) override { return record(QStringLiteral("volume:%1").arg(vol = v)); }
    int balance() const override { return bal; }
    bool setBalance(int b) override {
        return !failing.contains("balance") && record(QStringLiteral("balance:%1").arg(bal = b));
    }
    bool mute() const override { return muted; }
    bool setMute(bool on) override {
        return record(QStringLiteral("mute:%1").arg(int(muted = on)));
    }

    // The end of a track: the queued file takes over without a gap, or the end of stream
    // (`result` 1: it broke off).
    void finishTrack(int result = 0) {
        if (queued.isEmpty() || result != 0) {
            setState(PlayState::Stopped);
            emit endOfStream(result);
            return;
        }
        name = std::exchange(queued, QString());
        pos = 0;
        emit queuedStarted();
    }
    // The sound output fails under the playing file.
    void loseOutput() {
        lost_ = true;
        setState(PlayState::Paused);
        emit outputLost();
    }

private:
    PlayState state_ = PlayState::Stopped;
    quint64 generation_ = 0;
    bool newFile_ = false, pausedStart_ = false, lost_ = false, goingOn_ = false;

    bool record(const QString& call) {
        calls << call;
        return true;
    }
    void setState(PlayState s) {
        if (std::exchange(state_, s) != s)
            emit stateChanged();
    }
};
