#include "app/form1.h"

#include "app/form2.h"
#include "app/form_parts.h"
#include "app/text_colours.h"
#include "app/window_stacking.h"
#include "playback/id3_tags.h"
#include "playback/level_rules.h"
#include "playback/media_engine.h"
#include "playback/next_entry.h"
#include "playback/position_rules.h"
#include "playback/refresh_schedule.h"
#include "playlist/dropped_entries.h"
#include "playlist/form3.h"
#include "playlist/list_file_store.h"
#include "playlist/list_formats.h"
#include "playlist/opened_paths.h"
#include "playlist/play_list_model.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QGroupBox>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QShortcutEvent>
#include <QSlider>
#include <QStandardPaths>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <memory>
#include <utility>

namespace {

const QString kPauseCaption = QStringLiteral("Pause");

// The value a user move has put the slider at: actionTriggered fires before the new
// position is copied into value().
int userValue(const QSlider* s) {
    return s->sliderPosition();
}

QList<QStringList> defaultMixers() {
#ifdef Q_OS_WIN
    return {{QStringLiteral("c:\\windows\\Sndvol32.exe")},
            {QStringLiteral("c:\\winnt\\system32\\Sndvol32.exe")}};
#else
    return {{QStringLiteral("pavucontrol")},
            {QStringLiteral("pavucontrol-qt")},
            {QStringLiteral("gnome-control-center"), QStringLiteral("sound")},
            {QStringLiteral("kcmshell6"), QStringLiteral("kcm_pulseaudio")},
            {QStringLiteral("kcmshell5"), QStringLiteral("kcm_pulseaudio")}};
#endif
}

} // namespace

Form1::Form1(MediaEngine* engine, QWidget* parent)
    : QMainWindow(parent), MediaPlayer1(engine), playList_(new PlayListModel(this)),
      random_([] { return QRandomGenerator::global()->generateDouble(); }),
      clock_([] { return QDeadlineTimer::current(Qt::PreciseTimer).deadline(); }),
      mixerCandidates_(defaultMixers()) {
    MediaPlayer1->setParent(this);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Marrowtune"));
    // Fixed single border with a close box only: the window minimises through its own button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(classicFont(false));

    buildControls();
    buildMenus();
    applyStackingAndTabOrder();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    layout()->activate();

    connect(MediaPlayer1, &MediaEngine::endOfStream, this, &Form1::MediaPlayer1_EndOfStream);
    for (QAbstractButton* b :
         {static_cast<QAbstractButton*>(OptRND), static_cast<QAbstractButton*>(OptRes),
          static_cast<QAbstractButton*>(OptNON), static_cast<QAbstractButton*>(Check3)})
        connect(b, &QAbstractButton::toggled, this, &Form1::settingsChanged);
    for (QSlider* s : {Slider2, Slider3})
        connect(s, &QSlider::valueChanged, this, &Form1::settingsChanged);
    connect(MediaPlayer1, &MediaEngine::aboutToFinish, this, &Form1::MediaPlayer1_AboutToFinish);
    connect(MediaPlayer1, &MediaEngine::queuedStarted, this, &Form1::MediaPlayer1_QueuedStarted);
    // What follows was picked with the mode, selection and list of that moment; when one of
    // them changes before the end, the end decides again.
    for (QRadioButton* option : {OptNON, OptRes, OptRND})
        connect(option, &QRadioButton::toggled, this, &Form1::dropQueuedTrack);
    connect(List1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &Form1::dropQueuedTrack);
    connect(playList_, &QAbstractItemModel::rowsRemoved, this, &Form1::dropQueuedTrack);
    connect(playList_, &QAbstractItemModel::modelReset, this, &Form1::dropQueuedTrack);

    // Fires only when what the display shows can change (see Timer1_Timer); a coarse timer
    // could come 50 ms late on a one-second wait.
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(MediaPlayer1, &MediaEngine::stateChanged, this, &Form1::refreshSoon);
    connect(MediaPlayer1, &MediaEngine::positionJumped, this, &Form1::refreshSoon);

    Form_Load();
    refreshSoon();
    List1->setFocus();
}

Form1::~Form1() = default;

void Form1::setRandomSource(std::function<double()> source) {
    random_ = std::move(source);
}

void Form1::setClock(std::function<qint64()> nowMs) {
    clock_ = std::move(nowMs);
}

void Form1::setMixerCandidates(QList<QStringList> candidates) {
    mixerCandidates_ = std::move(candidates);
}
void Form1::setListFolders(QString programFolder, QString fallbackFolder) {
    programFolder_ = std::move(programFolder);
    fallbackFolder_ = std::move(fallbackFolder);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonRelease:
        if (watched == CmdAdd)
            addButtonReleased(static_cast<QMouseEvent*>(event));
        break; // the button still gets its release, so it does not stay pressed
    case QEvent::Shortcut:
        if (clickOnAccessKey(watched, static_cast<QShortcutEvent*>(event)))
            return true;
        break;
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        if (List1 && watched == List1->viewport()) {
            dragOverList(static_cast<QDropEvent*>(event));
            return true;
        }
        break;
    case QEvent::KeyPress:
        if (watched == List1 && keyOnSelectedRow(static_cast<QKeyEvent*>(event)))
            return true;
        break;
    case QEvent::ToolTip:
        if (List1 && watched == List1->viewport() &&
            showSongTooltip(static_cast<QHelpEvent*>(event)))
            return true;
        break;
    case QEvent::ShortcutOverride:
        if ((watched == Text1 || watched == TxtTime) &&
            isMenuShortcut(static_cast<QKeyEvent*>(event)))
            return true; // left unaccepted, so the menu shortcut fires
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

// Read only for the entry under the pointer: a list can hold millions of files.
bool Form1::showSongTooltip(const QHelpEvent* help) {
    const QModelIndex index = List1->indexAt(help->pos());
    const Id3Tags tags = index.isValid() ? readId3Tags(playList_->entry(index.row())) : Id3Tags{};
    if (tags.artist.isEmpty() || tags.title.isEmpty())
        return false; // the entry's path, as the list gives it
    QToolTip::showText(help->globalPos(), tags.artist + QStringLiteral(" \u2013 ") + tags.title,
                       List1->viewport(), List1->visualRect(index));
    return true;
}

void Form1::addButtonReleased(const QMouseEvent* me) {
    int button = 0;
    if (me->button() == Qt::LeftButton)
        button = 1;
    else if (me->button() == Qt::RightButton)
        button = 2;
    else if (me->button() == Qt::MiddleButton)
        button = 4;
    int shift = 0;
    if (me->modifiers() & Qt::ShiftModifier)
        shift |= 1;
    if (me->modifiers() & Qt::ControlModifier)
        shift |= 2;
    if (me->modifiers() & Qt::AltModifier)
        shift |= 4;
    const QPoint p = me->position().toPoint();
    CmdAdd_MouseUp(button, shift, p.x() * kTwipsPerPixel, p.y() * kTwipsPerPixel);
}

bool Form1::clickOnAccessKey(QObject* watched, const QShortcutEvent* event) {
    // Qt animates a button pressed by its access key and clicks 100 ms later; the player
    // reacts at once, as a click with the mouse does.
    auto* button = qobject_cast<QPushButton*>(watched);
    if (!button || event->isAmbiguous())
        return false;
    button->setFocus(Qt::ShortcutFocusReason);
    button->click();
    return true;
}

void Form1::dragOverList(QDropEvent* event) {
    if (event->type() == QEvent::Drop) {
        List1_OLEDragDrop(event->mimeData()->urls());
        event->acceptProposedAction();
    } else if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

bool Form1::keyOnSelectedRow(const QKeyEvent* event) {
    if (event->modifiers() != Qt::NoModifier && event->modifiers() != Qt::KeypadModifier)
        return false;
    if (selectedIndex() < 0)
        return false;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        List1_DblClick();
        return true;
    case Qt::Key_Delete:
        CmdRem_Click();
        return true;
    default:
        return false;
    }
}

bool Form1::isMenuShortcut(const QKeyEvent* event) const {
    if (event->modifiers() != Qt::ControlModifier)
        return false;
    const QKeySequence pressed(event->keyCombination());
    for (const QAction* a : findChildren<QAction*>())
        if (a->shortcut() == pressed)
            return true;
    return false;
}

// ---- start-up ----

WindowSettings Form1::settings() const {
    WindowSettings s;
    s.mode = playMode();
    s.volume = Slider3->value();
    s.balance = Slider2->value();
    s.mute = MediaPlayer1->mute();
    s.onTop = Check3->checkState() == Qt::Checked;
    s.position = pos();
    return s;
}

void Form1::restoreSettings(const WindowSettings& kept) {
    switch (kept.mode) {
    case PlayMode::Random:
        OptRND->setChecked(true);
        break;
    case PlayMode::Resume:
        OptRes->setChecked(true);
        break;
    case PlayMode::None:
        OptNON->setChecked(true);
        break;
    }
    // As slider moves: the engine gets the levels, the readout its text and colour.
    if (kept.volume)
        Slider3->setSliderPosition(*kept.volume); // an equal value already matches the engine
    if (kept.balance != Slider2->value())
        Slider2->setSliderPosition(kept.balance);
    if (kept.mute != MediaPlayer1->mute())
        CmdMute_Click();
    if (kept.onTop && Check3->checkState() == Qt::Unchecked)
        CmdOnTop_Click();
    if (kept.position)
        move(*kept.position);
}

void Form1::Form_Load() {
    CmdPause->setText(kPauseCaption);
    // The slider and its readout show the level the engine plays at, so the first nudge
    // moves the volume by one step.
    const int v = sliderValueForEngineVolume(MediaPlayer1->volume());
    Slider3->setValue(v);
    showVolumeColour(v);
    Label2->setText(volumePercentText(v));
    showMuteState();
}

// ---- playback control ----

int Form1::selectedIndex() const {
    const QModelIndexList rows = List1->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void Form1::selectEntry(int row) {
    if (selectedIndex() == row) {
        // Selecting the selected entry changes nothing, yet the pick must show its path.
        List1_Click();
        return;
    }
    const QModelIndex index = playList_->index(row);
    List1->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    List1->scrollTo(index);
}

void Form1::showError(const QString& text) {
    showMessage(this, QMessageBox::NoIcon, QStringLiteral("Error"), text);
}

// Engine play, slider maximum, Pause enabled: each step runs even when the one before failed.
bool Form1::startCurrentFile() {
    const bool started = MediaPlayer1->play() != 0;
    showStartedTrack();
    return started;
}

void Form1::showStartedTrack() {
    if (const auto length = MediaPlayer1->length()) {
        if (const auto maximum = roundHalfEvenToInt32(*length); maximum && *maximum >= 0)
            Slider1->setMaximum(*maximum);
    }
    CmdPause->setEnabled(true);
}

void Form1::CmdPlay_Click() {
    const int index = selectedIndex();
    Text1->setText(index >= 0 ? playList_->entry(index) : QString());
    MediaPlayer1->setFileName(Text1->text());
    if (Text1->text().isEmpty()) {
        showError(QStringLiteral("No file to play"));
        return;
    }
    failedStarts_ = 0;
    if (!startCurrentFile()) {
        // Started by hand: say so at once, and offer no pause for a file that is not playing.
        CmdPause->setEnabled(false);
        const QString reason = QStringLiteral("it could not be started");
        showMessage(this, QMessageBox::Warning, QStringLiteral("Marrowtune"),
                    QStringLiteral("Cannot play %1: %2").arg(Text1->text(), reason));
    }
}

void Form1::playEntry(int row) {
    selectEntry(row);
    CmdPlay_Click();
}

void Form1::List1_DblClick() {
    CmdPlay_Click();
}

void Form1::CmdPause_Click() {
    if (playList_->count() == 0)
        return;
    if (Text1->text().isEmpty())
        return;
    if (CmdPause->text() == kPauseCaption) {
        MediaPlayer1->pause();
        CmdPause->setText(QStringLiteral("Resume"));
    } else {
        MediaPlayer1->play();
        CmdPause->setText(kPauseCaption);
    }
}

void Form1::CmdStop_Click() {
    MediaPlayer1->stop();
    Slider1->setValue(0);
    Text1->setText(QString());
    CmdPause->setEnabled(false);
}

// ---- track continuation ----

void Form1::stopAsInModeNone() {
    MediaPlayer1->stop();
}

PlayMode Form1::playMode() const {
    if (OptRND->isChecked())
        return PlayMode::Random;
    return OptRes->isChecked() ? PlayMode::Resume : PlayMode::None;
}

void Form1::MediaPlayer1_EndOfStream(int result) {
    queuedEntries_.clear();
    // A track that broke off counts like a start that failed, so a list of files that all
    // break off cannot keep the player cycling; a track that played to its end clears it.
    failedStarts_ = result != 0 ? failedStarts_ + 1 : 0;
    for (;;) {
        const TrackEndStep step =
            trackEndStep(playMode(), playList_->entries(), selectedIndex(), failedStarts_, random_);
        if (step.action == TrackEndStep::Action::Stop) {
            failedStarts_ = 0;
            stopAsInModeNone();
            return;
        }
        selectEntry(step.entry);
        Text1->setText(playList_->entry(step.entry));
        MediaPlayer1->setFileName(Text1->text());
        if (step.action == TrackEndStep::Action::NoFileToPlay) {
            showError(QStringLiteral("No file to play"));
            return;
        }
        if (startCurrentFile())
            return;
        ++failedStarts_;
    }
}

// The same decision as at the end, taken early so that the next track plays on without a
// gap. Anything but an ordinary start is left to the end of the track.
void Form1::MediaPlayer1_AboutToFinish() {
    // A short track can be about to finish before the one queued ahead of it is heard: the
    // walk goes on from that one.
    const int from = queuedEntries_.isEmpty() ? selectedIndex() : queuedEntries_.last();
    const TrackEndStep step = trackEndStep(playMode(), playList_->entries(), from, 0, random_);
    if (step.action != TrackEndStep::Action::Start)
        return;
    const QString path = playList_->entry(step.entry);
    if (!path.isEmpty() && MediaPlayer1->queueNext(path))
        queuedEntries_.append(step.entry);
}

// The queued track is heard: the window shows it as it shows any start.
void Form1::MediaPlayer1_QueuedStarted() {
    failedStarts_ = 0;
    if (!queuedEntries_.isEmpty()) {
        const int entry = queuedEntries_.takeFirst();
        // Moving the selection here is no reason to drop what is queued after this one.
        const QList<int> ahead = std::exchange(queuedEntries_, {});
        selectEntry(entry);
        queuedEntries_ = ahead;
    }
    Text1->setText(MediaPlayer1->fileName()); // the entry's path, as the engine was given it
    showStartedTrack();
    Timer1_Timer();
}

void Form1::dropQueuedTrack() {
    if (queuedEntries_.isEmpty())
        return;
    queuedEntries_.clear();
    MediaPlayer1->queueNext(QString());
}

// ---- position and time ----

void Form1::Timer1_Timer() {
    // No widget is written unless what it shows changes (an unchanged setText still resets
    // the cursor and undo history).
    const double p = MediaPlayer1->position();
    const qint32 value =
        std::clamp(roundHalfEvenClamped32(p), Slider1->minimum(), Slider1->maximum());
    if (value != Slider1->value())
        Slider1->setValue(value);
    const qint64 elapsed = roundHalfEvenSaturated(p);
    if (ElapsedSeconds != elapsed) {
        ElapsedSeconds = elapsed;
        TxtTime->setText(timeText(elapsed));
    }
    lastRefreshMs_ = clock_();
    scheduleRefresh(nextRefreshDelayMs(p, MediaPlayer1->state() == MediaEngine::PlayState::Playing,
                                       ElapsedSeconds, 0));
}

// Something moved the position or changed what plays: refresh as soon as the floor allows.
void Form1::refreshSoon() {
    scheduleRefresh(nextRefreshDelayMs(0, false, std::nullopt, clock_() - lastRefreshMs_));
}

void Form1::scheduleRefresh(std::optional<qint64> delayMs) {
    if (delayMs)
        Timer1->start(static_cast<int>(*delayMs));
    else
        Timer1->stop();
}

void Form1::Slider1_Scroll() {
    MediaPlayer1->setPosition(userValue(Slider1));
    // A seek the engine turns down still puts the slider back where the engine is.
    refreshSoon();
}

// ---- levels ----

void Form1::showVolumeColour(int sliderValue) {
    // The louder the redder; where the red does not read on the menu colour it gets a plate.
    const QColor red(volumeLabelRed(sliderValue), 0, 0);
    QPalette p = Label2->palette();
    p.setColor(QPalette::WindowText, red);
    p.setColor(QPalette::Window, volumeReadoutPlate(red, menuColour()));
    Label2->setPalette(p);
}

void Form1::Slider3_Scroll() {
    showVolumeColour(userValue(Slider3));
    MediaPlayer1->setVolume(engineVolumeForSlider(userValue(Slider3)));
    Label2->setText(volumePercentText(userValue(Slider3)));
}

int Form1::volumeLevel() const {
    return Slider3->value();
}

void Form1::setVolumeLevel(int value) {
    Slider3->setSliderPosition(value); // a user move: Slider3_Scroll runs
}

void Form1::Slider2_Scroll() {
    if (const auto word = balanceSideWord(userValue(Slider2))) {
        // The balance has no place of its own on the window: the word goes where a person
        // finds it, the tooltip of the slider and of its frame, and to screen readers.
        const QString text = QStringLiteral("Balance: ") + *word;
        for (QWidget* w : {static_cast<QWidget*>(Slider2), static_cast<QWidget*>(Frame1)}) {
            w->setToolTip(text);
            w->setAccessibleDescription(text);
        }
    }
    if (!MediaPlayer1->setBalance(userValue(Slider2))) {
        showMessage(this, QMessageBox::NoIcon, QStringLiteral("Marrowtune"), QStringLiteral("Err"));
    }
}

void Form1::CmdMute_Click() {
    MediaPlayer1->setMute(!MediaPlayer1->mute());
    showMuteState();
    emit settingsChanged();
}

void Form1::showMuteState() {
    // The caption stays "&mute"; the state is told where a person or a screen reader asks.
    const QString state =
        MediaPlayer1->mute() ? QStringLiteral("Sound is muted") : QStringLiteral("Sound is on");
    CmdMute->setToolTip(state);
    CmdMute->setAccessibleDescription(state);
}

void Form1::Cmdvol_Click() {
    for (const QStringList& candidate : std::as_const(mixerCandidates_)) {
        if (candidate.isEmpty() || QStandardPaths::findExecutable(candidate.first()).isEmpty())
            continue;
        if (QProcess::startDetached(candidate.first(), candidate.mid(1)))
            return;
    }
    showError(QStringLiteral("No volume mixer program was found."));
}

// ---- play list editing ----

void Form1::List1_Click() {
    const int index = selectedIndex();
    Text1->setText(index >= 0 ? playList_->entry(index) : QString());
}

void Form1::CmdAdd_MouseUp(int Button, int Shift, int X, int Y) {
    Q_UNUSED(Shift);
    if (Button != 1)
        return;
    // Offsets from the client area's corner, whatever the button's own place on the window.
    const QPoint at(roundHalfEvenClamped32((X + 4000) / double(kTwipsPerPixel)),
                    roundHalfEvenClamped32((Y + 2000) / double(kTwipsPerPixel)));
    addmenu->popup(centralWidget()->mapToGlobal(at));
}

void Form1::addOneFile() {
    const QString path =
        askForFile(QStringLiteral("CommonDialog1"), QStringLiteral("Load your MP3."),
                   QStringLiteral("MP3 Files (*.mp3)"));
    if (path.isEmpty())
        return;
    playList_->append({path});
    Text1->setText(path);
}

QString Form1::askForFile(const QString& name, const QString& title, const QString& filter,
                          const QString& folder) {
    QFileDialog dialog(this, title, folder, filter);
    dialog.setObjectName(name);
    // Qt's own dialog matches the pattern in any letter case and behaves the same everywhere.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // Any typed name is returned as it is; what cannot be opened is reported by its user.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}

void Form1::openFolderChooser() {
    Form3 chooser(this, [this](const QStringList& entries) { playList_->append(entries); });
    chooser.exec();
}

void Form1::mnuaddfile_Click() {
    addOneFile();
}
void Form1::mnuaddfile2_Click() {
    addOneFile();
}
void Form1::mnuAdddir_Click() {
    openFolderChooser();
}
void Form1::mnuAdddir2_Click() {
    openFolderChooser();
}

void Form1::List1_OLEDragDrop(const QList<QUrl>& urls) {
    const OpenedPaths dropped = droppedPaths(urls);
    playList_->append(dropped.entries); // neither the selection nor Text1 changes
    tellSkippedEntries(dropped.skipped);
}

void Form1::openPaths(const QStringList& paths, bool enqueue) {
    // Read on the loader's thread (a list given may hold millions of entries); `opened` is
    // looked at once the load is done.
    OpenedPaths opened;
    const int first = playList_->count();
    addEntries([&opened, paths](const EntryLoader::Take& take) {
        opened = openedPaths(paths);
        for (QString& entry : opened.entries)
            if (!take(std::move(entry)))
                break;
        return true;
    });
    if (!enqueue && playList_->count() > first)
        playEntry(first);
    if (!opened.unreadable.isEmpty()) {
        // Thousands of missing paths must not make a box taller than the screen.
        constexpr int kNamedAtMost = 12;
        QStringList lines = opened.unreadable.mid(0, kNamedAtMost);
        if (opened.unreadable.size() > kNamedAtMost)
            lines << QStringLiteral("... and %1 more").arg(opened.unreadable.size() - kNamedAtMost);
        showError(QStringLiteral("These do not exist or cannot be read:\n") +
                  lines.join(QLatin1Char('\n')));
    }
    if (!opened.emptyFolders.isEmpty())
        showError(QStringLiteral("No files were found in specific folder"));
    tellSkippedEntries(opened.skipped);
}

void Form1::bringToFront() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void Form1::tellSkippedEntries(int skipped) {
    if (skipped == 0)
        return;
    const QString what = skipped == 1
                             ? QStringLiteral("1 entry of the list was left out")
                             : QStringLiteral("%1 entries of the list were left out").arg(skipped);
    QMessageBox box(QMessageBox::Information, QStringLiteral("Marrowtune"),
                    what + QStringLiteral(": web addresses and other lists are not played."),
                    QMessageBox::Ok, this);
    box.exec();
}

void Form1::CmdRem_Click() {
    const int index = selectedIndex();
    if (index == -1) {
        showMessage(this, QMessageBox::Warning, QStringLiteral("Error"),
                    QStringLiteral("No file selected"));
        return;
    }
    playList_->removeAt(index);
    Text1->setText(QString());
    List1->selectionModel()->clear();
}

void Form1::CmdClear_Click() {
    playList_->clear();
    Text1->setText(QString());
}

// ---- list files ----

void Form1::CmdSaveList_Click() {
    bool confirmed = false;
    const QString answer =
        QInputDialog::getText(this, QStringLiteral("ListName"), QStringLiteral("Name of the list?"),
                              QLineEdit::Normal, QString(), &confirmed);
    if (!confirmed)
        return;
    const ListFileFolder folder = listFolder();
    const QString path = listFilePath(folder.path, answer);
    const ListFileResult saved = saveListFile(path, playList_->entries());
    if (!saved.ok) {
        showError(
            QStringLiteral("The list could not be saved to \"%1\": %2").arg(path, saved.error));
        return;
    }
    if (folder.fallbackUsed && !toldListFallback_) {
        toldListFallback_ = true;
        showMessage(this, QMessageBox::Information, QStringLiteral("Marrowtune"),
                    QStringLiteral("Lists are saved in \"%1\".").arg(folder.path));
    }
}

ListFileFolder Form1::listFolder() const {
    return programFolder_.isEmpty() ? listFileFolder()
                                    : listFileFolder(programFolder_, fallbackFolder_);
}

void Form1::CmdLoadList_Click() {
    // Opens where saved lists go, so a list saved a moment ago is found at once.
    const QString path =
        askForFile(QStringLiteral("CommonDialog2"), QStringLiteral("Load your list."),
                   listFileFilters().join(QStringLiteral(";;")), listFolder().path);
    if (path.isEmpty())
        return;
    int skipped = 0; // written by the loader's thread, read once it is done
    const bool ok = addEntries([path, &skipped](const EntryLoader::Take& take) {
        return loadListFile(path, take, skipped).ok; // what was read before a failure stays
    });
    if (!ok)
        showError(QStringLiteral("File Not Found"));
    else
        tellSkippedEntries(skipped);
}

bool Form1::addEntries(EntryLoader::Producer producer) {
    EntryLoader loader(playList_);
    // Nearly every addition ends within the delay, so the dialog is built only for one that
    // does not: building it loads the desktop's dialog font and a dozen widgets for nothing.
    std::unique_ptr<QProgressDialog> progress;
    qint64 added = -1;
    const auto progressText = [&added] {
        return added < 0 ? QStringLiteral("Adding to the play list...")
                         : QStringLiteral("Adding to the play list: %L1 entries").arg(added);
    };
    QTimer progressDelay;
    progressDelay.setSingleShot(true);
    connect(&progressDelay, &QTimer::timeout, &loader, [&] {
        if (!loader.running())
            return;
        progress =
            std::make_unique<QProgressDialog>(progressText(), QStringLiteral("Cancel"), 0, 0, this);
        progress->setObjectName(QStringLiteral("progress"));
        progress->setWindowTitle(QStringLiteral("Marrowtune"));
        progress->setWindowModality(Qt::WindowModal);
        // Cancel keeps what was added, as a load that fails halfway does.
        connect(progress.get(), &QProgressDialog::canceled, &loader, &EntryLoader::cancel);
        progress->show();
    });
    connect(&loader, &EntryLoader::progressed, &progressDelay, [&](qint64 count) {
        added = count;
        if (progress)
            progress->setLabelText(progressText());
    });

    QEventLoop wait;
    bool ok = true;
    connect(&loader, &EntryLoader::finished, &wait, [&](bool done) {
        ok = done;
        progressDelay.stop();
        wait.quit();
    });
    loading_ = &loader;
    loader.start(std::move(producer));
    if (loader.running()) {
        progressDelay.start(progressDelayMs_);
        wait.exec();
    }
    loading_ = nullptr;
    return ok;
}

void Form1::closeEvent(QCloseEvent* event) {
    // Closing in the middle of a long load ends the program at once.
    if (loading_) {
        closedWhileLoading_ = true;
        loading_->cancel();
    }
    QMainWindow::closeEvent(event);
}

// ---- shell ----

void Form1::mnuplay_Click() {
    CmdPlay_Click();
}
void Form1::mnustop_Click() {
    CmdStop_Click();
}
void Form1::mnuRemove_Click() {
    CmdRem_Click();
}
void Form1::mnuRemall_Click() {
    CmdClear_Click();
}
void Form1::mnuMute_Click() {
    CmdMute_Click();
}
void Form1::mnuVolume_Click() {
    Cmdvol_Click();
}
void Form1::mnumini_Click() {
    Command1_Click();
}
void Form1::mnuOnTop_Click() {
    CmdOnTop_Click();
}
void Form1::mnuLoadList_Click() {
    CmdLoadList_Click();
}
void Form1::mnuSavelist_Click() {
    CmdSaveList_Click();
}

void Form1::Command1_Click() {
    setWindowState(windowState() | Qt::WindowMinimized);
}

void Form1::CmdOnTop_Click() {
    if (Check3->checkState() == Qt::Unchecked) {
        AlwaysOnTop(true);
        Check3->setCheckState(Qt::Checked);
    } else if (Check3->checkState() == Qt::Checked) {
        AlwaysOnTop(false);
        Check3->setCheckState(Qt::Unchecked);
    }
}

void Form1::AlwaysOnTop(bool SetOnTop) {
    setKeptOnTop(this, SetOnTop);
}

void Form1::mnuAbout_Click() {
    Form2 about;
    about.exec();
}

void Form1::mnuExit_Click() {
    close();
    QCoreApplication::quit();
}
