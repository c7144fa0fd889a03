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
    QString name;
    bool failPlay = false;
    bool failBalance = false;
    bool failQueue = false;
    QString queued;
    std::optional<double> trackLength = 0.0;
    double pos = 0.0;
    int vol = 0;
    int bal = 0;
    bool muted = false;

    bool setFileName(const QString& n) override {
        calls << QStringLiteral("file:%1").arg(n);
        name = n;
        newFile_ = true;
        return true;
    }
    QString fileName() const override { return name; }
    // As the real engine: play() after setFileName starts anew, passing through Stopped;
    // otherwise it continues after pause() and changes nothing while playing.
    bool play() override {
        calls << QStringLiteral("play");
        if (newFile_) {
            setState(PlayState::Stopped);
            pos = 0;
        }
        newFile_ = false;
        setState(failPlay ? PlayState::Stopped : PlayState::Playing);
        return !failPlay;
    }
    bool pause() override {
        calls << QStringLiteral("pause");
        if (state_ == PlayState::Playing)
            setState(PlayState::Paused);
        return true;
    }
    bool stop() override {
        calls << QStringLiteral("stop");
        pos = 0;
        setState(PlayState::Stopped);
        return true;
    }
    PlayState state() const override { return state_; }
    std::optional<double> length() const override { return trackLength; }
    double position() const override { return pos; }
    bool setPosition(double s) override {
        calls << QStringLiteral("seek:%1").arg(s);
        pos = s;
        emit positionJumped();
        return true;
    }
    bool queueNext(const QString& n) override {
        calls << QStringLiteral("queue:%1").arg(n);
        queued = failQueue ? QString() : n;
        return !failQueue || n.isEmpty();
    }
    int volume() const override { return vol; }
    bool setVolume(int v) override {
        calls << QStringLiteral("volume:%1").arg(v);
        vol = v;
        return true;
    }
    int balance() const override { return bal; }
    bool setBalance(int b) override {
        if (failBalance)
            return false;
        calls << QStringLiteral("balance:%1").arg(b);
        bal = b;
        return true;
    }
    bool mute() const override { return muted; }
    bool setMute(bool on) override {
        calls << QStringLiteral("mute:%1").arg(on ? 1 : 0);
        muted = on;
        return true;
    }

    void aboutToEnd() { emit aboutToFinish(); }
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

    void setState(PlayState s) {
        if (state_ == s)
            return;
        state_ = s;
        emit stateChanged();
    }
};
