#pragma once

#include "playback/media_engine.h"

// An engine that makes no sound, so that list figures measure the window and the list alone.
class NullEngine : public MediaEngine {
public:
    using MediaEngine::MediaEngine;

    bool setFileName(const QString& name) override {
        name_ = name;
        return true;
    }
    QString fileName() const override { return name_; }
    // Starts as the real engine does: answered later, unless stopped first.
    quint64 play() override {
        if (state_ == PlayState::Paused)
            setState(PlayState::Playing);
        if (state_ != PlayState::Stopped)
            return 0;
        setState(PlayState::Starting);
        pausedWhileStarting_ = false;
        const quint64 gen = ++generation_;
        QMetaObject::invokeMethod(
            this,
            [this, gen] {
                if (gen != generation_ || state_ != PlayState::Starting)
                    return;
                setState(pausedWhileStarting_ ? PlayState::Paused : PlayState::Playing);
                emit startAnswered(gen, true, {});
            },
            Qt::QueuedConnection);
        return gen;
    }
    bool pause() override {
        if (state_ == PlayState::Starting)
            return pausedWhileStarting_ = true;
        return state_ != PlayState::Stopped && setState(PlayState::Paused);
    }
    bool stop() override {
        ++generation_;
        return setState(PlayState::Stopped);
    }
    PlayState state() const override { return state_; }
    std::optional<double> length() const override { return std::nullopt; }
    double position() const override { return 0; }
    bool setPosition(double) override {
        emit positionJumped();
        return true;
    }
    bool queueNext(const QString&) override { return false; }
    int volume() const override { return volume_; }
    bool setVolume(int hundredthsOfDb) override {
        volume_ = hundredthsOfDb;
        return true;
    }
    int balance() const override { return balance_; }
    bool setBalance(int hundredthsOfDb) override {
        balance_ = hundredthsOfDb;
        return true;
    }
    bool mute() const override { return mute_; }
    bool setMute(bool on) override {
        mute_ = on;
        return true;
    }

private:
    bool setState(PlayState s) {
        if (state_ != s) {
            state_ = s;
            emit stateChanged();
        }
        return true;
    }

    QString name_;
    quint64 generation_ = 0;
    bool pausedWhileStarting_ = false;
    int volume_ = 0;
    int balance_ = 0;
    bool mute_ = false;
    PlayState state_ = PlayState::Stopped;
};
