#include "app/mpris_player_adaptor.h"

#include "playback/level_rules.h"
#include "playback/next_entry.h"
#include "playback/song_tag_reader.h"
#include "player/player.h"
#include "playlist/play_list_model.h"

#include <QDBusMessage>
#include <QFileInfo>
#include <QMetaObject>
#include <QUrl>
#include <algorithm>
#include <cmath>

namespace {

using PlayState = MediaEngine::PlayState;

qlonglong toMicroseconds(double seconds) {
    return std::llround(seconds * 1e6);
}

// The song's title for the desktop: the tag's, else the file name without ".mp3".
QString songTitle(const SongTags& tags, const QString& path) {
    if (!tags.title.isEmpty())
        return tags.title;
    QString name = QFileInfo(path).fileName();
    if (name.endsWith(QStringLiteral(".mp3"), Qt::CaseInsensitive))
        name.chop(4);
    return name;
}

} // namespace

MprisPlayerAdaptor::MprisPlayerAdaptor(QObject* parent, Player* player)
    : QDBusAbstractAdaptor(parent), player_(player), tagReader_(new SongTagReader(this)) {
    setAutoRelaySignals(true); // Seeked
    connect(player_, &Player::songStarted, this, &MprisPlayerAdaptor::readTags);
    connect(tagReader_, &SongTagReader::read, this, &MprisPlayerAdaptor::tagsRead);
    for (auto signal : {&Player::stateChanged, &Player::songStarted, &Player::lengthChanged,
                        &Player::levelsChanged})
        connect(player_, signal, this, &MprisPlayerAdaptor::noteChange);
    connect(player_, &Player::selectionChanged, this, &MprisPlayerAdaptor::noteChange);
    connect(player_, &Player::seeked, this, [this] { emit Seeked(position()); });
    const PlayListModel* list = player_->list();
    connect(list, &QAbstractItemModel::rowsInserted, this, &MprisPlayerAdaptor::noteChange);
    connect(list, &QAbstractItemModel::rowsRemoved, this, &MprisPlayerAdaptor::noteChange);
    connect(list, &QAbstractItemModel::modelReset, this, &MprisPlayerAdaptor::noteChange);
}

void MprisPlayerAdaptor::sendChangesOn(const QDBusConnection& bus, const QString& path) {
    bus_ = bus;
    path_ = path;
    sent_ = current(); // what a client reading the properties now gets
}

// ---- properties ----

QString MprisPlayerAdaptor::playbackStatus() const {
    switch (player_->state()) {
    // On its way to playing, as asked: the desktop's play button turns at once.
    case PlayState::Starting:
    case PlayState::Playing:
        return QStringLiteral("Playing");
    case PlayState::Paused:
        return QStringLiteral("Paused");
    case PlayState::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

void MprisPlayerAdaptor::setRate(double rate) {
    // The rate is fixed; a client that sets 0 anyway means Pause.
    if (rate <= 0.0)
        Pause();
}

QDBusObjectPath MprisPlayerAdaptor::trackId() const {
    return QDBusObjectPath(QStringLiteral("/marrowtune/track/%1").arg(player_->songNumber()));
}

std::optional<qlonglong> MprisPlayerAdaptor::lengthUs() const {
    const std::optional<double> length = player_->length();
    if (!length || !std::isfinite(*length) || *length <= 0.0)
        return std::nullopt;
    return toMicroseconds(*length);
}

// Only a song whose start was answered is described: a file still starting may be refused.
bool MprisPlayerAdaptor::hasSong() const {
    return player_->state() == PlayState::Playing || player_->state() == PlayState::Paused;
}

QVariantMap MprisPlayerAdaptor::metadata() const {
    const QString file = player_->playingFile();
    if (!hasSong() || file.isEmpty())
        return {};
    const QFileInfo info(file);
    QVariantMap m;
    m.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(trackId()));
    m.insert(QStringLiteral("xesam:url"),
             QUrl::fromLocalFile(info.absoluteFilePath()).toString(QUrl::FullyEncoded));
    const SongTags t = tagsFile_ == file ? tags_ : SongTags{};
    m.insert(QStringLiteral("xesam:title"), songTitle(t, file));
    if (!t.artist.isEmpty())
        m.insert(QStringLiteral("xesam:artist"), QStringList{t.artist});
    if (!t.album.isEmpty())
        m.insert(QStringLiteral("xesam:album"), t.album);
    if (t.trackNumber > 0)
        m.insert(QStringLiteral("xesam:trackNumber"), t.trackNumber);
    if (const auto length = lengthUs())
        m.insert(QStringLiteral("mpris:length"), *length);
    return m;
}

void MprisPlayerAdaptor::readTags() {
    tagReader_->request(player_->playingFile());
}

void MprisPlayerAdaptor::tagsRead(const QString& file, const SongTags& tags) {
    if (file != player_->playingFile())
        return; // another song has started meanwhile
    tagsFile_ = file;
    tags_ = tags;
    ++tagsRead_;
    noteChange();
}

double MprisPlayerAdaptor::volume() const {
    return sliderValueForEngineVolume(player_->volume()) / double(kVolumeSliderMax);
}

void MprisPlayerAdaptor::setVolume(double volume) {
    if (!std::isfinite(volume))
        return;
    player_->setVolume(engineVolumeForSlider(
        static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * kVolumeSliderMax))));
}

qlonglong MprisPlayerAdaptor::position() const {
    return toMicroseconds(player_->position());
}

int MprisPlayerAdaptor::nextRow() const {
    return nextEntryIndex(player_->list()->count(), player_->selected());
}

int MprisPlayerAdaptor::previousRow() const {
    return player_->selected() - 1 >= 0 ? player_->selected() - 1 : -1;
}

bool MprisPlayerAdaptor::canGoNext() const {
    return nextRow() >= 0;
}

bool MprisPlayerAdaptor::canGoPrevious() const {
    return previousRow() >= 0;
}

// A media key plays the list even with nothing selected (see Play()).
bool MprisPlayerAdaptor::canPlay() const {
    return player_->state() != PlayState::Stopped || player_->list()->rowCount() > 0;
}

bool MprisPlayerAdaptor::canPause() const {
    return player_->state() != PlayState::Stopped;
}

bool MprisPlayerAdaptor::canSeek() const {
    return player_->state() != PlayState::Stopped;
}

// ---- methods ----

void MprisPlayerAdaptor::Next() {
    if (const int row = nextRow(); row >= 0)
        player_->playEntry(row);
}

void MprisPlayerAdaptor::Previous() {
    if (const int row = previousRow(); row >= 0)
        player_->playEntry(row);
}

void MprisPlayerAdaptor::Pause() {
    player_->pause();
}

void MprisPlayerAdaptor::Play() {
    if (player_->state() == PlayState::Paused)
        player_->resume();
    else if (player_->state() == PlayState::Stopped && player_->selected() >= 0)
        player_->play();
    // Unlike the window's Play, which says "No file to play": a media key has no one
    // looking at a selection, so it starts the list from its top.
    else if (player_->state() == PlayState::Stopped && player_->list()->rowCount() > 0)
        player_->playEntry(0);
}

void MprisPlayerAdaptor::PlayPause() {
    if (player_->state() == PlayState::Playing || player_->state() == PlayState::Starting)
        Pause();
    else
        Play();
}

void MprisPlayerAdaptor::Stop() {
    player_->stop();
}

void MprisPlayerAdaptor::Seek(qlonglong Offset) {
    if (!canSeek())
        return;
    // Past the end is left to the engine, as with the slider: the track ends and the
    // end-of-track mode decides what follows.
    player_->seek(std::max(0.0, player_->position() + Offset / 1e6));
}

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
    if (!canSeek() || TrackId != trackId() || Position < 0)
        return;
    if (const auto length = lengthUs(); length && Position > *length)
        return;
    player_->seek(Position / 1e6);
}

void MprisPlayerAdaptor::OpenUri(const QString& Uri) {
    const QUrl url(Uri);
    if (!url.isLocalFile())
        return;
    player_->openPaths({url.toLocalFile()}, false);
}

// ---- change signals ----

void MprisPlayerAdaptor::noteChange() {
    // One send for all that changed in this event: a track that ends and the next one
    // that starts is one change, not a Stopped in between.
    if (!bus_ || sendPending_)
        return;
    sendPending_ = true;
    QMetaObject::invokeMethod(this, &MprisPlayerAdaptor::sendChanges, Qt::QueuedConnection);
}

MprisPlayerAdaptor::Sent MprisPlayerAdaptor::current() const {
    Sent s;
    s.status = playbackStatus();
    if (hasSong()) {
        s.track = player_->songNumber();
        s.file = player_->playingFile();
        s.tagsRead = tagsRead_;
        s.length = lengthUs();
    }
    s.volume = player_->volume();
    s.canGoNext = canGoNext();
    s.canGoPrevious = canGoPrevious();
    s.canPlay = canPlay();
    s.canPause = canPause();
    s.canSeek = canSeek();
    return s;
}

void MprisPlayerAdaptor::sendChanges() {
    sendPending_ = false;
    const Sent now = current();
    QVariantMap changed;
    auto note = [&changed](bool differs, const char* name, const QVariant& value) {
        if (differs)
            changed.insert(QLatin1String(name), value);
    };
    note(now.status != sent_.status, "PlaybackStatus", now.status);
    note(now.track != sent_.track || now.file != sent_.file || now.tagsRead != sent_.tagsRead ||
             now.length != sent_.length,
         "Metadata", metadata());
    note(now.volume != sent_.volume, "Volume", volume());
    note(now.canGoNext != sent_.canGoNext, "CanGoNext", now.canGoNext);
    note(now.canGoPrevious != sent_.canGoPrevious, "CanGoPrevious", now.canGoPrevious);
    note(now.canPlay != sent_.canPlay, "CanPlay", now.canPlay);
    note(now.canPause != sent_.canPause, "CanPause", now.canPause);
    note(now.canSeek != sent_.canSeek, "CanSeek", now.canSeek);
    sent_ = now;
    if (changed.isEmpty())
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(path_, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << QStringLiteral("org.mpris.MediaPlayer2.Player") << changed << QStringList();
    bus_->send(signal);
}
