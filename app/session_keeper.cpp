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

void say(const QString& text) {
    std::fprintf(stderr, "marrowtune: %s\n", qPrintable(text));
    std::fflush(stderr);
}

} // namespace

SessionKeeper::SessionKeeper(Player* player, Form1* window, const QString& dataFolder,
                             const QString& settingsFile)
    : QObject(window), player_(player), form_(window),
      listPath_(dataFolder + QLatin1Char('/') + kListName), settingsPath_(settingsFile),
      lock_(dataFolder + QStringLiteral("/.kept.lock")) {
    QDir().mkpath(dataFolder);
    QDir().mkpath(QFileInfo(settingsFile).absolutePath());
    listTimer_.setSingleShot(true);
    listTimer_.setInterval(kListDelayMs);
    connect(&listTimer_, &QTimer::timeout, this, &SessionKeeper::writeList);
    settingsTimer_.setSingleShot(true);
    settingsTimer_.setInterval(kSettingsDelayMs);
    connect(&settingsTimer_, &QTimer::timeout, this, &SessionKeeper::writeSettings);
}

SessionKeeper::~SessionKeeper() {
    waitForWriter();
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

void SessionKeeper::saveNow() {
    if (!claimed_)
        return;
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
