#include "playback/gst_engine.h"

#include "playback/gain_mapping.h"
#include "playback/gst_pipeline_worker.h"

#include <QMetaObject>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

namespace {

// A hung sound server blocks GStreamer's state changes for half a minute; the person who
// pressed Play is told well before that.
constexpr auto kAnswerWait = std::chrono::milliseconds(1500);
// Each flush breaks the sound for a moment.
constexpr auto kBalanceFlushEvery = std::chrono::milliseconds(100);

} // namespace

GstEngine::GstEngine(QObject* parent, std::function<GstElement*()> makeAudioSink)
    : MediaEngine(parent), worker_(std::make_shared<GstPipelineWorker>(std::move(makeAudioSink))) {
    // Runs on the worker's threads; the destructor clears it before `this` goes away.
    worker_->setReporter([this](const WorkerReport& report) {
        QMetaObject::invokeMethod(
            this, [this, report] { deliver(report); }, Qt::QueuedConnection);
    });
    answerWait_.setSingleShot(true);
    answerWait_.setInterval(kAnswerWait);
    connect(&answerWait_, &QTimer::timeout, this, [this] {
        const quint64 gen = worker_->generation();
        worker_->newGeneration(); // the worker drops the start whenever it gets to it
        worker_->requestUnload();
        refuseStart(gen, QStringLiteral("the sound system did not answer"));
    });
    balanceFlushed_.setSingleShot(true);
    balanceFlushed_.setInterval(kBalanceFlushEvery);
    connect(&balanceFlushed_, &QTimer::timeout, this, [this] {
        if (std::exchange(balanceWaits_, false))
            flushBalance();
    });
}

void GstEngine::prepare() {
    worker_->start();
}

GstEngine::~GstEngine() {
    worker_->setReporter({});
    worker_->shutdown();
}

bool GstEngine::setFileName(const QString& name) {
    fileName_ = name;
    fileChanged_ = true;
    return true;
}

QString GstEngine::fileName() const {
    return fileName_;
}

quint64 GstEngine::play() {
    GstPipelineWorker& w = *worker_;
    prepare();
    if (!fileChanged_ && !w.endedByItself() && !outputLost_) {
        if (state_ == PlayState::Starting)
            pausedWhileStarting_ = false; // undoes a pause: it starts playing after all
        if (state_ == PlayState::Starting || state_ == PlayState::Playing)
            return 0;
        if (state_ == PlayState::Paused) {
            setState(PlayState::Playing);
            w.requestResume(w.generation());
            return 0;
        }
    }
    goingOn_ = std::exchange(outputLost_, false) && !fileChanged_;
    fileChanged_ = false;
    return startCurrentFile(goingOn_ ? position() : 0.0);
}

quint64 GstEngine::startCurrentFile(double from) {
    GstPipelineWorker& w = *worker_;
    const quint64 gen = w.newGeneration();
    pausedWhileStarting_ = aboutToFinishWaits_ = false;
    setState(PlayState::Starting);
    w.requestLoad(gen, fileName_, from);
    answerWait_.start();
    return gen;
}

// The worker holds a file it opened until told to play it, so a start answered while paused, or
// given up, is never heard.
void GstEngine::answerStart(quint64 generation, bool started, const QString& reason) {
    if (generation != worker_->generation() || state_ != PlayState::Starting)
        return; // stopped, given up or replaced: nobody waits for it
    answerWait_.stop();
    if (!started)
        return refuseStart(generation, reason);
    goingOn_ = false;
    if (!pausedWhileStarting_)
        worker_->requestResume(generation);
    setState(pausedWhileStarting_ ? PlayState::Paused : PlayState::Playing);
    emit startAnswered(generation, started, reason);
    if (std::exchange(aboutToFinishWaits_, false))
        deliverAboutToFinish(generation);
}

// A start that was to go on from where the sound output failed stays paused there, to be
// tried again.
void GstEngine::refuseStart(quint64 generation, const QString& reason) {
    outputLost_ = std::exchange(goingOn_, false);
    if (!outputLost_)
        worker_->resetPosition(0.0);
    setState(outputLost_ ? PlayState::Paused : PlayState::Stopped);
    emit startAnswered(generation, false, reason);
}

bool GstEngine::pause() {
    GstPipelineWorker& w = *worker_;
    if (state_ == PlayState::Paused)
        return true;
    if (state_ == PlayState::Starting) {
        pausedWhileStarting_ = true;
        return true;
    }
    if (state_ != PlayState::Playing || w.endedByItself())
        return false;
    w.holdPosition();
    setState(PlayState::Paused);
    w.requestPause(w.generation());
    return true;
}

bool GstEngine::stop() {
    GstPipelineWorker& w = *worker_;
    answerWait_.stop();
    outputLost_ = goingOn_ = false;
    w.newGeneration();
    w.resetPosition(0.0);
    setState(PlayState::Stopped);
    w.requestUnload();
    return true;
}

MediaEngine::PlayState GstEngine::state() const {
    return state_;
}

void GstEngine::setState(PlayState state) {
    if (state_ == state)
        return;
    state_ = state;
    emit stateChanged();
}

std::optional<double> GstEngine::length() const {
    return worker_->length();
}

double GstEngine::position() const {
    return worker_->position();
}

bool GstEngine::setPosition(double seconds) {
    GstPipelineWorker& w = *worker_;
    if (state_ == PlayState::Stopped || state_ == PlayState::Starting || !std::isfinite(seconds) ||
        (w.endedByItself() && !outputLost_))
        return false;
    seconds = std::max(0.0, seconds);
    if (const auto len = length())
        seconds = std::min(seconds, *len);
    const quint64 epoch = w.resetPosition(seconds);
    w.requestSeek(w.generation(), epoch, seconds);
    emit positionJumped();
    return true;
}

bool GstEngine::queueNext(const QString& name) {
    if (name.isEmpty()) {
        queuedName_.clear();
        worker_->dropQueued();
        return true;
    }
    // The file itself is looked at on the worker: a file system that hangs must not hang here.
    if (!askingForNext_)
        return false;
    queuedName_ = name;
    return true;
}

int GstEngine::volume() const {
    return volume_;
}

bool GstEngine::setVolume(int hundredthsOfDb) {
    return setLevels(hundredthsOfDb, balance_, mute_);
}

int GstEngine::balance() const {
    return balance_;
}

bool GstEngine::setBalance(int hundredthsOfDb) {
    const bool changed = hundredthsOfDb != balance_;
    if (!setLevels(volume_, hundredthsOfDb, mute_))
        return false;
    if (changed && worker_->feedsAhead())
        flushBalance();
    return true;
}

// The sound fed ahead still has the old balance: played again from the place heard, it has
// the new one at once.
void GstEngine::flushBalance() {
    if (balanceFlushed_.isActive()) {
        balanceWaits_ = true;
        return;
    }
    if (setPosition(position()))
        balanceFlushed_.start();
}

bool GstEngine::mute() const {
    return mute_;
}

bool GstEngine::setMute(bool on) {
    return setLevels(volume_, balance_, on);
}

bool GstEngine::setLevels(int volume, int balance, bool mute) {
    if (!worker_->setLevels(gainFactor(volume), panoramaForBalance(balance), mute))
        return false;
    volume_ = volume;
    balance_ = balance;
    mute_ = mute;
    return true;
}

void GstEngine::deliver(const WorkerReport& report) {
    const quint64 gen = report.generation;
    switch (report.kind) {
    case WorkerReport::Kind::Answer:
        return answerStart(gen, report.result != 0, report.text);
    case WorkerReport::Kind::End:
        return deliverEnd(gen, report.result);
    case WorkerReport::Kind::Jump:
        emit positionJumped();
        return;
    case WorkerReport::Kind::AboutToFinish:
        return deliverAboutToFinish(gen);
    case WorkerReport::Kind::QueuedHeard:
        return deliverQueuedStart(gen, report.text);
    case WorkerReport::Kind::LengthChanged:
        if (gen == worker_->generation() && state_ != PlayState::Stopped)
            emit lengthChanged();
        return;
    }
}

void GstEngine::deliverEnd(quint64 generation, int result) {
    if (generation != worker_->generation() || state_ == PlayState::Stopped)
        return;
    if (result == WorkerReport::kOutputLost) {
        outputLost_ = true;
        setState(PlayState::Paused);
        emit outputLost();
        return;
    }
    setState(PlayState::Stopped);
    emit endOfStream(result);
}

void GstEngine::deliverAboutToFinish(quint64 generation) {
    // A short file can be read to its end while it prerolls, before its start is answered.
    if (generation == worker_->generation() && state_ == PlayState::Starting) {
        aboutToFinishWaits_ = true;
        return;
    }
    queuedName_.clear();
    if (generation == worker_->generation() && state_ != PlayState::Stopped) {
        askingForNext_ = true;
        emit aboutToFinish();
        askingForNext_ = false;
    }
    worker_->answerQueue(generation, std::exchange(queuedName_, QString()));
}

void GstEngine::deliverQueuedStart(quint64 generation, const QString& file) {
    if (generation != worker_->generation() || state_ == PlayState::Stopped)
        return;
    fileName_ = file;
    fileChanged_ = false;
    emit queuedStarted();
    emit positionJumped(); // back to 0 for the new track
}
