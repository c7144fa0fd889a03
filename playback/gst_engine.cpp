#include "playback/gst_engine.h"

#include "playback/gain_mapping.h"
#include "playback/gst_pipeline_worker.h"

#include <QFile>
#include <QMetaObject>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr auto kPlayAnswerWait = std::chrono::milliseconds(1500);

QString pluginsMissing() {
    return QStringLiteral("GStreamer's playback plugins are missing");
}

// Files that would make filesrc fail slowly or block (a FIFO blocks open() forever) are
// turned away before the pipeline sees them. Empty when the file may be played, otherwise
// why not.
QString unplayableReason(const QString& name) {
    if (name.isEmpty())
        return QStringLiteral("no file name");
    const QByteArray path = QFile::encodeName(name);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0 || ::access(path.constData(), R_OK) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("not a file");
    if (st.st_size == 0)
        return QStringLiteral("the file is empty");
    return {};
}

} // namespace

GstEngine::GstEngine(QObject* parent, std::function<GstElement*()> makeAudioSink)
    : MediaEngine(parent), worker_(std::make_shared<GstPipelineWorker>(std::move(makeAudioSink))) {
    // Runs on the worker thread; the destructor clears it before `this` goes away.
    worker_->setEndHandler([this](quint64 generation, int result) {
        QMetaObject::invokeMethod(
            this, [this, generation, result] { deliverEnd(generation, result); },
            Qt::QueuedConnection);
    });
    worker_->setJumpHandler([this] {
        QMetaObject::invokeMethod(this, &MediaEngine::positionJumped, Qt::QueuedConnection);
    });
    worker_->setQueueHandler([this](quint64 generation, const QString& heard) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, heard] {
                if (heard.isEmpty())
                    deliverAboutToFinish(generation);
                else
                    deliverQueuedStart(generation, heard);
            },
            Qt::QueuedConnection);
    });
}

void GstEngine::prepare() {
    worker_->start();
}

GstEngine::~GstEngine() {
    worker_->setEndHandler({});
    worker_->setJumpHandler({});
    worker_->setQueueHandler({});
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
    if (!fileChanged_ && !w.endedByItself()) {
        if (state_ == PlayState::Playing)
            return 0;
        if (state_ == PlayState::Paused) {
            setState(PlayState::Playing);
            w.requestResume(w.generation());
            return 0;
        }
    }
    fileChanged_ = false;
    return startCurrentFile();
}

quint64 GstEngine::startCurrentFile() {
    GstPipelineWorker& w = *worker_;
    const quint64 gen = w.newGeneration();
    const quint64 epoch = w.resetPosition(0.0);
    w.forgetLength();
    setState(PlayState::Stopped);
    const auto answer = [this, gen](bool ok, const QString& reason) {
        QMetaObject::invokeMethod(
            this, [this, gen, ok, reason] { emit startAnswered(gen, ok, reason); },
            Qt::QueuedConnection);
        return gen;
    };
    if (!w.hasPipeline())
        return answer(false, pluginsMissing());
    QString reason = unplayableReason(fileName_);
    if (!reason.isEmpty()) {
        w.requestUnload();
        return answer(false, reason);
    }
    w.requestLoad(gen, epoch, fileName_);
    const std::optional<bool> loaded = w.waitForLoad(gen, kPlayAnswerWait);
    if (!loaded) {
        // Abandon the start; the worker drops it when it gets to it.
        w.newGeneration();
        w.requestUnload();
    }
    const bool ok = loaded.value_or(false);
    if (ok)
        setState(PlayState::Playing);
    else if (!loaded)
        reason = QStringLiteral("the sound system did not answer");
    else if (!w.hasPipeline()) // found out only now when the thread had just started
        reason = pluginsMissing();
    else
        reason = QStringLiteral("not a sound file that can be decoded");
    return answer(ok, ok ? QString() : reason);
}

bool GstEngine::pause() {
    GstPipelineWorker& w = *worker_;
    if (state_ == PlayState::Paused)
        return true;
    if (state_ != PlayState::Playing || w.endedByItself())
        return false;
    w.holdPosition();
    setState(PlayState::Paused);
    w.requestPause(w.generation());
    return true;
}

bool GstEngine::stop() {
    GstPipelineWorker& w = *worker_;
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
    if (state_ == PlayState::Stopped || !std::isfinite(seconds) || w.endedByItself())
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
    if (!askingForNext_ || !unplayableReason(name).isEmpty())
        return false;
    queuedName_ = name;
    return true;
}

int GstEngine::volume() const {
    return volume_;
}

bool GstEngine::setVolume(int hundredthsOfDb) {
    if (!worker_->setVolumeFactor(gainFactor(hundredthsOfDb)))
        return false;
    volume_ = hundredthsOfDb;
    return true;
}

int GstEngine::balance() const {
    return balance_;
}

bool GstEngine::setBalance(int hundredthsOfDb) {
    if (!worker_->setPanorama(panoramaForBalance(hundredthsOfDb)))
        return false;
    balance_ = hundredthsOfDb;
    return true;
}

bool GstEngine::mute() const {
    return mute_;
}

bool GstEngine::setMute(bool on) {
    if (!worker_->setMute(on))
        return false;
    mute_ = on;
    return true;
}

void GstEngine::deliverEnd(quint64 generation, int result) {
    if (generation != worker_->generation() || state_ == PlayState::Stopped)
        return;
    setState(PlayState::Stopped);
    emit endOfStream(result);
}

void GstEngine::deliverAboutToFinish(quint64 generation) {
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
