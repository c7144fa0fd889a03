#pragma once

#include "playback/media_engine.h"

#include <QStringList>
#include <utility>

// A scripted engine for handler tests: records every call in `calls` and answers from the
// fields below, so a test can say "play fails" or "the track is 187.5 s long".
class FakeEngine : public MediaEngine {
    Q_OBJECT
public:
    using MediaEngine::MediaEngine;

    QStringList calls;
    QStringList failing; // "play", "queue" or "balance": those calls are refused
    QString name;
    QString queued;
    std::optional<double> trackLength = 0.0;
    double pos = 0.0;
    int vol = 0;
    bool muted = false;

    bool setFileName(const QString& n) override {
        name = n;
        newFile_ = true;
        return record("file:" + n);
    }
    QString fileName() const override { return name; }
    // As the real engine: play() after setFileName starts anew, passing through Stopped;
    // otherwise it continues after pause() and changes nothing while playing.
    quint64 play() override {
        record(QStringLiteral("play"));
        if (std::exchange(newFile_, false)) {
            setState(PlayState::Stopped);
            pos = 0;
        }
        setState(failing.contains("play") ? PlayState::Stopped : PlayState::Playing);
        return failing.contains("play") ? 0 : 1;
    }
    bool pause() override {
        if (state_ == PlayState::Playing)
            setState(PlayState::Paused);
        return record(QStringLiteral("pause"));
    }
    bool stop() override {
        pos = 0;
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
    int balance() const override { return 0; } // the window never asks
    bool setBalance(int b) override {
        return !failing.contains("balance") && record(QStringLiteral("balance:%1").arg(b));
    }
    bool mute() const override { return muted; }
    bool setMute(bool on) override {
        muted = on;
        return record(QStringLiteral("mute:%1").arg(int(on)));
    }

    // The end of a track: the queued file takes over without a gap, or the end of stream.
    void finishTrack() {
        if (queued.isEmpty()) {
            setState(PlayState::Stopped);
            emit endOfStream(0);
            return;
        }
        name = std::exchange(queued, QString());
        pos = 0;
        emit queuedStarted();
    }

private:
    PlayState state_ = PlayState::Stopped;
    bool newFile_ = false;

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
