#include "player/player.h"

#include "player/list_loading.h"
#include "playlist/list_file_store.h"
#include "playlist/opened_paths.h"
#include "playlist/play_list_model.h"

#include <QRandomGenerator>

#include <memory>
#include <utility>

namespace {

// Reads what `paths` name, on the loader's thread; `opened` keeps the rest of what was found
// (what could not be read, empty folders) for when the load is over.
EntryLoader::Producer openedPathsProducer(QStringList paths, std::shared_ptr<OpenedPaths> opened) {
    return [paths = std::move(paths), opened = std::move(opened)](const EntryLoader::Take& take) {
        *opened = openedPaths(paths); // a list given may hold millions of entries
        for (QString& entry : opened->entries)
            if (!take(std::move(entry)))
                break;
        return true;
    };
}

} // namespace

Player::Player(MediaEngine* engine, QObject* parent)
    : QObject(parent), MediaPlayer1(engine), list_(new PlayListModel(this)),
      loading_(new ListLoading(list_, this)),
      random_([] { return QRandomGenerator::global()->generateDouble(); }) {
    MediaPlayer1->setParent(this);
    connect(MediaPlayer1, &MediaEngine::startAnswered, this, &Player::startAnswered);
    connect(MediaPlayer1, &MediaEngine::endOfStream, this, &Player::MediaPlayer1_EndOfStream);
    connect(MediaPlayer1, &MediaEngine::aboutToFinish, this, &Player::MediaPlayer1_AboutToFinish);
    connect(MediaPlayer1, &MediaEngine::queuedStarted, this, &Player::MediaPlayer1_QueuedStarted);
    connect(MediaPlayer1, &MediaEngine::outputLost, this,
            [this] { MediaPlayer1_OutputLost(false); });
    connect(MediaPlayer1, &MediaEngine::stateChanged, this, &Player::stateChanged);
    connect(MediaPlayer1, &MediaEngine::stateChanged, this, &Player::markPlaying);
    connect(MediaPlayer1, &MediaEngine::lengthChanged, this, &Player::lengthChanged);
    connect(MediaPlayer1, &MediaEngine::positionJumped, this, &Player::positionJumped);
    // What follows was picked from the list of that moment; after a removal the end of the
    // track decides again.
    connect(list_, &QAbstractItemModel::rowsRemoved, this, &Player::dropQueued);
    connect(list_, &QAbstractItemModel::modelReset, this, &Player::dropQueued);
    connect(loading_, &ListLoading::progressed, this, &Player::loadProgressed);
    connect(loading_, &ListLoading::busyChanged, this, &Player::loadingChanged);
}

Player::~Player() = default;

void Player::setRandomSource(std::function<double()> source) {
    random_ = std::move(source);
}

Player::PlayState Player::state() const {
    return MediaPlayer1->state();
}

std::optional<double> Player::length() const {
    return MediaPlayer1->length();
}

double Player::position() const {
    return MediaPlayer1->position();
}

QString Player::playingFile() const {
    return MediaPlayer1->fileName();
}

int Player::selected() const {
    return selected_.isValid() ? selected_.row() : -1;
}

void Player::markPlaying() {
    const bool on = state() == PlayState::Playing || state() == PlayState::Paused;
    list_->setPlaying(on ? QModelIndex(playing_) : QModelIndex());
}

int Player::playing() const {
    return list_->playingRow();
}

QPersistentModelIndex Player::indexOf(int row) const {
    return row >= 0 && row < list_->count() ? QPersistentModelIndex(list_->index(row))
                                            : QPersistentModelIndex();
}

// ---- what the user sees as current ----

void Player::setCurrentFile(const QString& file) {
    currentFile_ = file;
    // Told even when unchanged: the window may show what the user typed over it since.
    emit currentFileChanged(file);
}

// Moves the selection without a second thought about what is queued: the player's own moves.
void Player::moveSelection(int row) {
    const QPersistentModelIndex index = indexOf(row);
    if (index == selected_)
        return;
    selected_ = index;
    emit selectionChanged(selected());
}

void Player::select(int row) {
    // What follows was picked from the selection of that moment: the end decides again.
    if (indexOf(row) != selected_)
        dropQueued();
    moveSelection(row);
    setCurrentFile(list_->entry(row));
}

void Player::setPauseOffered(bool offered) {
    if (std::exchange(pauseOffered_, offered) != offered)
        emit stateChanged();
}

// ---- starting, pausing, stopping ----

void Player::play() {
    setCurrentFile(list_->entry(selected()));
    // An empty name is not handed over: the song playing would lose its name, and with it
    // the media controls' title and a later Resume.
    if (currentFile_.isEmpty()) {
        emit noFileToPlay();
        return;
    }
    MediaPlayer1->setFileName(currentFile_);
    failedStarts_ = 0;
    startCurrentFile(selected_, false);
}

void Player::playEntry(int row) {
    select(row);
    play();
}

void Player::restorePlace(int row, double seconds) {
    select(row);
    MediaPlayer1->setFileName(currentFile_);
    startCurrentFile(selected_, false);
    pending_.place = seconds;
    pause(); // starts paused
}

void Player::startCurrentFile(const QPersistentModelIndex& entry, bool automatic) {
    queued_.clear(); // a start drops what the engine had queued
    outputLost_ = false;
    pending_ = {MediaPlayer1->play(), entry, currentFile_, automatic, false, {}};
}

// Play after a pause goes on; after the end of a track it starts that file again, and after
// the sound output failed, the same song from where it stopped.
void Player::playOn() {
    const bool goingOn = std::exchange(outputLost_, false);
    if (const quint64 generation = MediaPlayer1->play())
        pending_ = {generation, playing_, MediaPlayer1->fileName(), false, goingOn, {}};
}

void Player::togglePause() {
    if (!pausedByUser_) {
        MediaPlayer1->pause();
        pausedByUser_ = true;
    } else {
        playOn();
        pausedByUser_ = false;
    }
    emit stateChanged();
}

void Player::pause() {
    if (state() != PlayState::Playing && state() != PlayState::Starting)
        return;
    MediaPlayer1->pause();
    pausedByUser_ = true;
    emit stateChanged();
}

void Player::resume() {
    if (state() != PlayState::Paused)
        return;
    playOn();
    pausedByUser_ = false;
    emit stateChanged();
}

void Player::stop() {
    MediaPlayer1->stop(); // drops a start not answered yet, and what was queued
    pending_ = {};
    outputLost_ = false;
    queued_.clear();
    playing_ = QPersistentModelIndex();
    failedStarts_ = 0;
    setCurrentFile({});
    setPauseOffered(false);
}

bool Player::seek(double seconds) {
    if (!MediaPlayer1->setPosition(seconds))
        return false;
    emit seeked();
    return true;
}

void Player::startAnswered(quint64 generation, bool started, const QString& reason) {
    if (generation == 0 || generation != pending_.generation)
        return;
    const PendingStart start = std::exchange(pending_, {});
    if (start.goingOn) { // the same song, not a new one
        if (!started)
            MediaPlayer1_OutputLost(true); // still paused there
    } else if (started) {
        if (start.place)
            MediaPlayer1->setPosition(*start.place);
        noteSongStarted(start.entry);
    } else if (start.place) { // comes back stopped, as after a plain start
        pausedByUser_ = false;
        setPauseOffered(false);
        emit stateChanged();
        emit placeNotRestored(start.file, reason);
    } else if (start.automatic) {
        ++failedStarts_;
        walkOn();
    } else {
        // Started by hand: said at once, and no pause is offered for a file that is not playing.
        setPauseOffered(false);
        emit startRefused(start.file, reason);
    }
}

void Player::noteSongStarted(const QPersistentModelIndex& entry) {
    if (entry.isValid())
        playing_ = entry;
    ++songNumber_;
    markPlaying();
    setPauseOffered(true);
    emit songStarted();
}

// ---- the end of a track ----

void Player::setMode(PlayMode mode) {
    if (mode == mode_)
        return;
    mode_ = mode;
    dropQueued(); // picked for the mode of that moment
    emit modeChanged(mode);
}

void Player::MediaPlayer1_EndOfStream(int result) {
    queued_.clear();
    // A track that broke off counts like a start that failed, so a list of files that all
    // break off cannot keep the player cycling; a track that played to its end clears it.
    failedStarts_ = result != 0 ? failedStarts_ + 1 : 0;
    walkOn();
}

// One step of the walk at the end of a track. A start it makes is answered later: a refused
// one takes the next step then, until the failures reach the limit.
void Player::walkOn() {
    const TrackEndStep step =
        trackEndStep(mode_, list_->entries(), selected(), failedStarts_, random_);
    if (step.action == TrackEndStep::Action::Stop) {
        failedStarts_ = 0;
        MediaPlayer1->stop(); // the current file and the Pause button stay as they are
        return;
    }
    moveSelection(step.entry);
    setCurrentFile(list_->entry(step.entry));
    MediaPlayer1->setFileName(currentFile_);
    if (step.action == TrackEndStep::Action::NoFileToPlay) {
        emit noFileToPlay();
        return;
    }
    startCurrentFile(indexOf(step.entry), true);
}

// The same decision as at the end, taken early so that the next track plays on without a
// gap. Anything but an ordinary start is left to the end of the track.
void Player::MediaPlayer1_AboutToFinish() {
    // A short track can be about to finish before the one queued ahead of it is heard: the
    // walk goes on from that one.
    const int from = queued_.isEmpty() ? selected() : queued_.last().row();
    const TrackEndStep step = trackEndStep(mode_, list_->entries(), from, 0, random_);
    if (step.action != TrackEndStep::Action::Start)
        return;
    const QString path = list_->entry(step.entry);
    if (!path.isEmpty() && MediaPlayer1->queueNext(path))
        queued_.append(indexOf(step.entry));
}

// The queued track is heard: shown as any start is.
void Player::MediaPlayer1_QueuedStarted() {
    failedStarts_ = 0;
    QPersistentModelIndex entry;
    if (!queued_.isEmpty()) {
        entry = queued_.takeFirst();
        moveSelection(entry.isValid() ? entry.row() : -1);
    }
    setCurrentFile(MediaPlayer1->fileName()); // the entry's path, as the engine was given it
    noteSongStarted(entry);
}

// Paused where the sound stopped, as if the user had paused there: never on to the next entry,
// never shown playing what nobody hears. Resume tries again from there.
void Player::MediaPlayer1_OutputLost(bool stillLost) {
    queued_.clear();
    outputLost_ = pausedByUser_ = true;
    emit stateChanged();
    emit outputLost(stillLost);
}

void Player::dropQueued() {
    if (queued_.isEmpty())
        return;
    queued_.clear();
    MediaPlayer1->queueNext(QString());
}

// ---- the list ----

void Player::addFile(const QString& path) {
    list_->append({path});
    setCurrentFile(path);
}

void Player::addEntries(const QStringList& entries) {
    list_->append(entries);
}

void Player::removeAt(int row) {
    list_->removeAt(row);
    setCurrentFile({});
    moveSelection(-1);
}

void Player::clear() {
    list_->clear();
    setCurrentFile({});
    moveSelection(-1);
}

bool Player::loading() const {
    return loading_->busy();
}

void Player::loadList(const QString& path) {
    // Written by the reader's thread; read here only once it is done.
    auto skipped = std::make_shared<int>(0);
    loading_->add(
        [path, skipped](const EntryLoader::Take& take) {
            return loadListFile(path, take, *skipped).ok; // what came before a failure stays
        },
        [this, skipped](const ListLoading::Outcome& done) {
            if (done.cancelled)
                return;
            if (!done.ok)
                emit listNotRead();
            else if (*skipped > 0)
                emit entriesLeftOut(*skipped);
        });
}

void Player::openPaths(const QStringList& paths, bool enqueue) {
    auto opened = std::make_shared<OpenedPaths>();
    loading_->add(openedPathsProducer(paths, opened),
                  [this, opened, enqueue](const ListLoading::Outcome& done) {
                      if (!enqueue && done.added > 0 && done.firstRow < list_->count())
                          playEntry(done.firstRow);
                      if (done.cancelled)
                          return; // the reader may still be at work on `opened`
                      if (!opened->unreadable.isEmpty())
                          emit pathsUnreadable(opened->unreadable);
                      if (!opened->emptyFolders.isEmpty())
                          emit foldersWithoutFiles();
                      if (opened->skipped > 0)
                          emit entriesLeftOut(opened->skipped);
                  });
}

void Player::addDropped(const QStringList& paths) {
    auto opened = std::make_shared<OpenedPaths>();
    loading_->add(openedPathsProducer(paths, opened),
                  [this, opened](const ListLoading::Outcome& done) {
                      if (!done.cancelled && opened->skipped > 0)
                          emit entriesLeftOut(opened->skipped);
                  });
}

void Player::cancelLoading(bool closing) {
    listCutShort_ = listCutShort_ || (closing && loading());
    loading_->cancel();
}

// ---- levels ----

int Player::volume() const {
    return MediaPlayer1->volume();
}

bool Player::setVolume(int hundredthsOfDb) {
    if (!MediaPlayer1->setVolume(hundredthsOfDb))
        return false;
    emit levelsChanged();
    return true;
}

int Player::balance() const {
    return MediaPlayer1->balance();
}

bool Player::setBalance(int hundredthsOfDb) {
    if (!MediaPlayer1->setBalance(hundredthsOfDb))
        return false;
    emit levelsChanged();
    return true;
}

bool Player::mute() const {
    return MediaPlayer1->mute();
}

bool Player::setMute(bool on) {
    if (!MediaPlayer1->setMute(on))
        return false;
    emit levelsChanged();
    return true;
}
