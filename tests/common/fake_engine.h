#pragma once

#include "playback/media_engine.h"

#include <QMetaObject>
#include <QStringList>
#include <utility>

// A scripted engine for the player and the window: records every call in `calls` and answers
// from the fields below, so a test can say "play fails" or "the track is 187.5 s long". As the
// real engine, it answers a start later (at the next turn of the event loop, or when
// answerStart() is called while `holding`).
class FakeEngine : public MediaEngine {
    Q_OBJECT
public:
    using MediaEngine::MediaEngine;

    QStringList calls;
    QStringList failing;  // "play", "queue" or "balance": those calls are refused
    bool holding = false; // starts wait for answerStart()
    QString name;
    QString queued;
    std::optional<double> trackLength = 0.0;
    double pos = 0.0;
    int vol = 0;
    int bal = 0;
    bool muted = false;

    bool setFileName(const QString& n) override {
        name = n;
        newFile_ = true;
        return record("file:" + n);
    }
    QString fileName() const override { return name; }
    quint64 play() override {
        record(QStringLiteral("play"));
        const bool anew = std::exchange(newFile_, false) || state_ == PlayState::Stopped;
        if (!anew) {
            pausedStart_ = false;
            if (state_ == PlayState::Paused)
                setState(PlayState::Playing);
            return 0;
        }
        pos = 0;
        queued.clear();
        setState(PlayState::Stopped);
        setState(PlayState::Starting);
        const quint64 gen = ++generation_;
        if (!holding)
            QMetaObject::invokeMethod(this, &FakeEngine::answerStart, Qt::QueuedConnection);
        return gen;
    }
    // Answers the start that is waiting, if any.
    void answerStart() {
        if (state_ != PlayState::Starting)
            return;
        const bool ok = !failing.contains("play");
        setState(!ok ? PlayState::Stopped : pausedStart_ ? PlayState::Paused : PlayState::Playing);
        pausedStart_ = false;
        emit startAnswered(generation_, ok, ok ? QString() : QStringLiteral("it is refused"));
    }
    bool pause() override {
        record(QStringLiteral("pause"));
        if (state_ == PlayState::Starting)
            pausedStart_ = true;
        else if (state_ == PlayState::Playing)
            setState(PlayState::Paused);
        return state_ != PlayState::Stopped;
    }
    bool stop() override {
        pos = 0;
        ++generation_; // a start not answered yet never is
        pausedStart_ = false;
        queued.clear();
        setState(PlayState::Stopped);
        return record(QStringLiteral("stop"));
    }
    PlayState state() const override { return state_; }
    std::optional<double> length() const override { return trackLength; }
    double position() const override { return pos; }
    bool setPosition(double s) override {
        record(QStringLiteral("seek:%1").arg(s));
        pos = s;
        emit positionJumped();
        return true;
    }
    bool queueNext(const QString& n) override {
        queued = failing.contains("queue") ? QString() : n;
        return record("queue:" + n) && queued == n;
    }
    int volume() const override { return vol; }
    bool setVolume(int v) override {
        vol = v;
        return record(QStringLiteral("volume:%1").arg(v));
    }
    int balance() const override { return bal; }
    bool setBalance(int b) override {
        if (failing.contains("balance"))
            return false;
        bal = b;
        return record(QStringLiteral("balance:%1").arg(b));
    }
    bool mute() const override { return muted; }
    bool setMute(bool on) override {
        muted = on;
        return record(QStringLiteral("mute:%1").arg(int(on)));
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
    void aboutToEnd() { emit aboutToFinish(); }

private:
    PlayState state_ = PlayState::Stopped;
    quint64 generation_ = 0;
    bool newFile_ = false;
    bool pausedStart_ = false;

    bool record(const QString& call) {
        calls << call;
        return true;
    }
    void setState(PlayState s) {
        if (state_ != s) {
            state_ = s;
            emit stateChanged();
        }
    }
};
