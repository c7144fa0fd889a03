#include "app/session_keeper.h"

#include "app/form1.h"
#include "app/window_settings.h"
#include "playback/level_rules.h"
#include "player/player.h"
#include "playlist/list_file.h"
#include "playlist/list_file_store.h"
#include "playlist/play_list_model.h"

#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>

#include <cstdio>

namespace {

// Changes within this time are written together; a crash loses at most this much.
constexpr int kListDelayMs = 1000;
// Dragging a slider changes it many times a second; one write after it settles is enough.
constexpr int kSettingsDelayMs = 250;

const QString kListName = QStringLiteral("last session.mlt");
const QString kPlaceName = QStringLiteral("last song");
// While playing, the kept place is this stale at most when the program is killed.
constexpr int kPlaceEveryMs = 1000;

void say(const QString& text) {
    std::fprintf(stderr, "marrowtune: %s\n", qPrintable(text));
    std::fflush(stderr);
}

} // namespace

SessionKeeper::SessionKeeper(Player* player, Form1* window, const QString& dataFolder,
                             const QString& settingsFile)
    : QObject(window), player_(player), form_(window),
      listPath_(dataFolder + QLatin1Char('/') + kListName), settingsPath_(settingsFile),
      lock_(dataFolder + QStringLiteral("/.kept.lock")),
      placePath_(dataFolder + QLatin1Char('/') + kPlaceName) {
    QDir().mkpath(dataFolder);
    QDir().mkpath(QFileInfo(settingsFile).absolutePath());
    listTimer_.setSingleShot(true);
    listTimer_.setInterval(kListDelayMs);
    connect(&listTimer_, &QTimer::timeout, this, &SessionKeeper::writeList);
    settingsTimer_.setSingleShot(true);
    settingsTimer_.setInterval(kSettingsDelayMs);
    connect(&settingsTimer_, &QTimer::timeout, this, &SessionKeeper::writeSettings);
    placeTimer_.setInterval(kPlaceEveryMs);
    connect(&placeTimer_, &QTimer::timeout, this, [this] { writePlace(false); });
    placeWriter_.setMaxThreadCount(1);
}

SessionKeeper::~SessionKeeper() {
    waitForWriter();
    placeWriter_.waitForDone();
}

QString SessionKeeper::defaultDataFolder() {
    // Where saved lists go for an installed copy too.
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QString SessionKeeper::defaultSettingsFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Marrowtune/Marrowtune.conf");
}

bool SessionKeeper::claim() {
    // A lock left by a window that crashed is taken over: QLockFile checks its process.
    claimed_ = lock_.tryLock(0);
    if (!claimed_) {
        say(QStringLiteral("another Marrowtune window keeps the play list and settings; this "
                           "one runs without --remember"));
        return false;
    }
    const PlayListModel* list = player_->list();
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(list, signal, this, &SessionKeeper::listChanged);
    connect(list, &QAbstractItemModel::modelReset, this, &SessionKeeper::listChanged);
    connect(player_, &Player::modeChanged, this, &SessionKeeper::settingsChanged);
    connect(player_, &Player::levelsChanged, this, &SessionKeeper::settingsChanged);
    connect(form_, &Form1::keptOnTopChanged, this, &SessionKeeper::settingsChanged);
    for (auto signal : {&Player::stateChanged, &Player::songStarted, &Player::seeked})
        connect(player_, signal, this, &SessionKeeper::placeChanged);
    form_->installEventFilter(this);
    return true;
}

bool SessionKeeper::setAside(const QString& path, const QString& what) {
    const QString aside = path + QStringLiteral(".bad.") +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QFile file(path);
    if (file.rename(aside)) {
        say(QStringLiteral("the kept %1 could not be read; it was set aside as \"%2\"")
                .arg(what, aside));
        return true;
    }
    say(QStringLiteral("the kept %1 \"%2\" could not be read, nor set aside as \"%3\" (%4); it is "
                       "left as it is, and this run does not keep the %1")
            .arg(what, path, aside, file.errorString()));
    return false;
}

void SessionKeeper::restore() {
    if (!claimed_)
        return;
    restoring_ = true;
    QFile file(listPath_);
    const QFileInfo info(listPath_);
    // A FIFO or a device would hold the window up, or never end: only a file is opened. One
    // that cannot be opened is the user's to mend, so it is never written over.
    if (info.exists() && (!info.isFile() || !file.open(QIODevice::ReadOnly))) {
        keepList_ = false;
        say(QStringLiteral("the kept play list \"%1\" cannot be opened (%2); it is left as it is, "
                           "and this run does not keep the play list")
                .arg(listPath_,
                     info.isFile() ? file.errorString() : QStringLiteral("it is not a file")));
    } else if (info.exists()) {
        const QByteArray bytes = file.readAll();
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8.decode(bytes);
        // The writer only ever writes whole UTF-8 text; anything else was damaged outside.
        if (file.error() != QFile::NoError || utf8.hasError() || text.contains(QChar(0))) {
            file.close();
            keepList_ = setAside(listPath_, QStringLiteral("play list"));
        } else {
            player_->addEntries(decodeListFile(bytes));
        }
    }

    QSettings settings(settingsPath_, QSettings::IniFormat);
    WindowSettings kept;
    SettingsRead read = readWindowSettings(settings, kept);
    if (read == SettingsRead::Nothing && QFileInfo(settingsPath_).size() > 0)
        read = SettingsRead::Corrupt; // bytes that hold no setting at all
    if (read == SettingsRead::Corrupt) {
        keepSettings_ = setAside(settingsPath_, QStringLiteral("settings"));
    } else if (read == SettingsRead::Read) {
        if (kept.position) {
            QList<QRect> screens;
            if (QScreen* primary = QGuiApplication::primaryScreen())
                screens << primary->availableGeometry();
            for (QScreen* screen : QGuiApplication::screens())
                screens << screen->availableGeometry();
            kept.position =
                onVisibleScreen(QRect(*kept.position, form_->frameGeometry().size()), screens);
        }
        apply(kept);
    }
    restorePlace();
    restoring_ = false;
    listDirty_ = false;
    listTimer_.stop();
}

// As a person would set them: the engine gets the levels, the window shows them.
void SessionKeeper::apply(const WindowSettings& kept) {
    player_->setMode(kept.mode);
    if (kept.volume)
        player_->setVolume(engineVolumeForSlider(*kept.volume));
    if (kept.balance != player_->balance())
        player_->setBalance(kept.balance);
    if (kept.mute != player_->mute())
        player_->setMute(kept.mute);
    if (kept.onTop)
        form_->keepOnTop(true);
    if (kept.position)
        form_->move(*kept.position);
}

WindowSettings SessionKeeper::settings() const {
    WindowSettings s;
    s.mode = player_->mode();
    s.volume = sliderValueForEngineVolume(player_->volume());
    s.balance = player_->balance();
    s.mute = player_->mute();
    s.onTop = form_->keptOnTop();
    s.position = form_->pos();
    return s;
}

bool SessionKeeper::eventFilter(QObject* watched, QEvent* event) {
    if (watched == form_ && event->type() == QEvent::Move && form_->isVisible())
        settingsChanged();
    return QObject::eventFilter(watched, event);
}

void SessionKeeper::settingsChanged() {
    if (restoring_)
        return;
    settingsDirty_ = true;
    if (!settingsTimer_.isActive())
        settingsTimer_.start();
}

void SessionKeeper::listChanged() {
    if (restoring_)
        return;
    listDirty_ = true;
    if (!listTimer_.isActive())
        listTimer_.start();
}

void SessionKeeper::waitForWriter() {
    if (writer_.joinable())
        writer_.join();
}

void SessionKeeper::writeList() {
    if (!keepList_)
        return;
    // A list still loading, or a write still going, is written when it is done.
    if (player_->loading() || writing_) {
        listTimer_.start();
        return;
    }
    waitForWriter();
    if (!listDirty_)
        return;
    listDirty_ = false;
    // A shared copy: encoding millions of entries happens off the window's thread.
    writing_ = true;
    writer_ = std::thread([this, entries = player_->list()->entries(), path = listPath_] {
        const ListFileResult saved = saveListFile(path, entries);
        if (!saved.ok)
            say(QStringLiteral("the play list could not be kept in \"%1\": %2")
                    .arg(path, saved.error));
        writing_ = false;
    });
}

void SessionKeeper::writeSettings() {
    settingsDirty_ = false;
    if (!keepSettings_)
        return;
    QSettings settings(settingsPath_, QSettings::IniFormat);
    writeWindowSettings(settings, this->settings());
}

// The song comes back paused where it was, if it is still the list's entry at that row.
void SessionKeeper::restorePlace() {
    QFile file(placePath_);
    if (!QFileInfo(placePath_).isFile() || !file.open(QIODevice::ReadOnly))
        return;
    const QString text = QString::fromUtf8(file.read(64 * 1024)).chopped(1);
    placeWritten_ = text + QLatin1Char('\n');
    bool rowOk = false, placeOk = false;
    const int row = text.section(QLatin1Char('\t'), 0, 0).toInt(&rowOk);
    const double seconds = text.section(QLatin1Char('\t'), 1, 1).toDouble(&placeOk);
    const QString song = text.section(QLatin1Char('\t'), 2);
    if (!rowOk || !placeOk || song.isEmpty())
        return;
    if (player_->list()->entry(row) != song) {
        say(QStringLiteral("\"%1\", the song that was playing, is no longer in the play list")
                .arg(song));
        return;
    }
    connect(player_, &Player::placeNotRestored, this,
            [](const QString& file, const QString& reason) {
                say(QStringLiteral("\"%1\", the song that was playing, does not play (%2)")
                        .arg(file, reason));
            });
    player_->restorePlace(row, seconds);
}

void SessionKeeper::placeChanged() {
    if (restoring_)
        return;
    const bool playing = player_->state() == Player::PlayState::Playing;
    if (playing != placeTimer_.isActive())
        playing ? placeTimer_.start() : placeTimer_.stop();
    writePlace(false);
}

// ROW, the place in seconds and the file, tab-separated; empty when nothing plays. `now`: at
// exit, written before returning.
void SessionKeeper::writePlace(bool now) {
    const Player::PlayState state = player_->state();
    if (state == Player::PlayState::Starting)
        return; // the song it starts counts once it plays
    QString text;
    if (state != Player::PlayState::Stopped && player_->playing() >= 0)
        text = QStringLiteral("%1\t%2\t%3\n")
                   .arg(player_->playing())
                   .arg(player_->position(), 0, 'f', 1)
                   .arg(player_->playingFile());
    if (text == std::exchange(placeWritten_, text))
        return;
    auto write = [path = placePath_, text] {
        if (QSaveFile file(path); file.open(QIODevice::WriteOnly)) {
            file.write(text.toUtf8());
            file.commit();
        }
    };
    now ? (placeWriter_.waitForDone(), write()) : placeWriter_.start(write);
}

void SessionKeeper::saveNow() {
    if (!claimed_)
        return;
    writePlace(true);
    listTimer_.stop();
    settingsTimer_.stop();
    waitForWriter();
    writing_ = false;
    writeSettings();
    // A load cut short by closing the window leaves the list that was kept before it.
    if (listDirty_ && keepList_ && !player_->listCutShort()) {
        listDirty_ = false;
        const ListFileResult saved = saveListFile(listPath_, player_->list()->entries());
        if (!saved.ok)
            say(QStringLiteral("the play list could not be kept in \"%1\": %2")
                    .arg(listPath_, saved.error));
    }
}
