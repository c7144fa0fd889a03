#include "app/form1.h"

#include "app/form2.h"
#include "app/form3.h"
#include "app/form_parts.h"
#include "app/load_progress.h"
#include "app/mixer_launch.h"
#include "app/notice_boxes.h"
#include "app/text_colours.h"
#include "app/window_stacking.h"
#include "playback/level_rules.h"
#include "playback/position_rules.h"
#include "playback/refresh_schedule.h"
#include "player/player.h"
#include "playlist/list_file_store.h"
#include "playlist/list_formats.h"
#include "playlist/play_list_model.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

const QString kPauseCaption = QStringLiteral("Pause");

// The value a user move has put the slider at: actionTriggered fires before the new
// position is copied into value().
int userValue(const QSlider* s) {
    return s->sliderPosition();
}

} // namespace

Form1::Form1(Player* player, QWidget* parent)
    : QMainWindow(parent), player_(player),
      clock_([] { return QDeadlineTimer::current(Qt::PreciseTimer).deadline(); }),
      mixerCandidates_(desktopMixers()) {
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

    // Fires only when what the display shows can change (see Timer1_Timer); a coarse timer
    // could come 50 ms late on a one-second wait.
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);

    progress_ = new LoadProgress(player_, this);
    new NoticeBoxes(player_, this);

    followPlayer();
    Form_Load();
    refreshSoon();
    List1->setFocus();
}

Form1::~Form1() = default;

void Form1::setProgressDelay(int ms) {
    progress_->setDelay(ms);
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

// ---- start-up ----

void Form1::Form_Load() {
    CmdPause->setText(kPauseCaption);
    // The slider and its readout show the level the engine plays at, so the first nudge
    // moves the volume by one step.
    const int v = sliderValueForEngineVolume(player_->volume());
    Slider3->setValue(v);
    showVolumeColour(v);
    Label2->setText(volumePercentText(v));
    showMuteState();
}

// ---- what the player tells ----

void Form1::showCurrentFile(const QString& file) {
    if (Text1->text() != file) // an unchanged text keeps the cursor where the user left it
        Text1->setText(file);
}

void Form1::showSelection(int row) {
    if (row == selectedIndex())
        return;
    if (row < 0) {
        List1->selectionModel()->clear();
        return;
    }
    const QModelIndex index = player_->list()->index(row);
    List1->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    List1->scrollTo(index);
}

void Form1::showState() {
    // "Resume" once the user paused, "Pause" once the user resumed; starting and stopping
    // leave the caption alone.
    CmdPause->setText(player_->pausedByUser() ? QStringLiteral("Resume") : kPauseCaption);
    CmdPause->setEnabled(player_->pauseOffered());
    refreshSoon();
}

void Form1::showLength() {
    if (const auto length = player_->length()) {
        if (const auto maximum = roundHalfEvenToInt32(*length); maximum && *maximum >= 0)
            Slider1->setMaximum(*maximum);
    }
}

void Form1::showMode(PlayMode mode) {
    QRadioButton* option = mode == PlayMode::Random   ? OptRND
                           : mode == PlayMode::Resume ? OptRes
                                                      : OptNON;
    option->setChecked(true);
}

// Levels set elsewhere (the media controls, the kept settings) move the sliders as a person
// would have.
void Form1::showLevels() {
    const int v = sliderValueForEngineVolume(player_->volume());
    if (v != Slider3->value()) {
        Slider3->setValue(v);
        showVolumeColour(v);
        Label2->setText(volumePercentText(v));
    }
    if (player_->balance() != Slider2->value()) {
        Slider2->setValue(player_->balance());
        showBalanceWord(player_->balance());
    }
    showMuteState();
}

void Form1::showMuteState() {
    // The caption stays "&mute"; the state is told where a person or a screen reader asks.
    const QString state =
        player_->mute() ? QStringLiteral("Sound is muted") : QStringLiteral("Sound is on");
    CmdMute->setToolTip(state);
    CmdMute->setAccessibleDescription(state);
}

void Form1::showError(const QString& text) {
    showMessage(this, QMessageBox::NoIcon, QStringLiteral("Error"), text);
}

// ---- playback control ----

int Form1::selectedIndex() const {
    const QModelIndexList rows = List1->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void Form1::CmdPlay_Click() {
    player_->play();
}

void Form1::List1_DblClick() {
    CmdPlay_Click();
}

void Form1::CmdPause_Click() {
    if (player_->list()->count() == 0)
        return;
    if (Text1->text().isEmpty())
        return;
    player_->togglePause();
}

void Form1::CmdStop_Click() {
    player_->stop();
    Slider1->setValue(0);
}

// ---- position and time ----

void Form1::Timer1_Timer() {
    // No widget is written unless what it shows changes (an unchanged setText still resets
    // the cursor and undo history).
    const double p = player_->position();
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
    scheduleRefresh(
        nextRefreshDelayMs(p, player_->state() == Player::PlayState::Playing, ElapsedSeconds, 0));
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
    player_->seek(userValue(Slider1));
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
    player_->setVolume(engineVolumeForSlider(userValue(Slider3)));
    Label2->setText(volumePercentText(userValue(Slider3)));
}

void Form1::showBalanceWord(int balance) {
    if (const auto word = balanceSideWord(balance)) {
        // The balance has no place of its own on the window: the word goes where a person
        // finds it, the tooltip of the slider and of its frame, and to screen readers.
        const QString text = QStringLiteral("Balance: ") + *word;
        for (QWidget* w : {static_cast<QWidget*>(Slider2), static_cast<QWidget*>(Frame1)}) {
            w->setToolTip(text);
            w->setAccessibleDescription(text);
        }
    }
}

void Form1::Slider2_Scroll() {
    showBalanceWord(userValue(Slider2));
    if (!player_->setBalance(userValue(Slider2)))
        showMessage(this, QMessageBox::NoIcon, QStringLiteral("Marrowtune"), QStringLiteral("Err"));
}

void Form1::CmdMute_Click() {
    player_->setMute(!player_->mute());
}

void Form1::Cmdvol_Click() {
    if (!launchMixer(mixerCandidates_))
        showError(QStringLiteral("No volume mixer program was found."));
}

// ---- play list editing ----

void Form1::List1_Click() {
    player_->select(selectedIndex());
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
    player_->addFile(path);
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
    Form3 chooser(this, [this](const QStringList& entries) { player_->addEntries(entries); });
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
    QStringList paths; // web addresses are not taken
    for (const QUrl& url : urls)
        if (url.isLocalFile())
            paths << url.toLocalFile();
    player_->addDropped(paths); // neither the selection nor Text1 changes
}

void Form1::bringToFront() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void Form1::CmdRem_Click() {
    const int index = selectedIndex();
    if (index == -1) {
        showMessage(this, QMessageBox::Warning, QStringLiteral("Error"),
                    QStringLiteral("No file selected"));
        return;
    }
    player_->removeAt(index);
}

void Form1::CmdClear_Click() {
    player_->clear();
}

// ---- list files ----

void Form1::CmdSaveList_Click() {
    bool confirmed = false;
    const QString answer =
        QInputDialog::getText(this, QStringLiteral("ListName"), QStringLiteral("Name of the list?"),
                              QLineEdit::Normal, QString(), &confirmed);
    if (!confirmed)
        return;
    if (const QString why = listNameProblem(answer); !why.isEmpty())
        return showError(why);
    const ListFileFolder folder = listFolder();
    const QString path = listFilePath(folder.path, answer);
    if (QFileInfo::exists(path) && !askToReplaceList(this, QFileInfo(path).fileName()))
        return;
    const ListFileResult saved = saveListFile(path, player_->list()->entries());
    if (!saved.ok) {
        showError(
            QStringLiteral("The list could not be saved to \"%1\": %2").arg(path, saved.error));
        return;
    }
    if (!std::exchange(toldListFolder_, true))
        showMessage(this, QMessageBox::Information, QStringLiteral("Marrowtune"),
                    QStringLiteral("Lists are saved in \"%1\".").arg(folder.path));
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
    player_->loadList(path); // read off this thread; "File Not Found" comes when it fails
}

void Form1::closeEvent(QCloseEvent* event) {
    // Closing in the middle of a long load ends the program at once.
    player_->cancelLoading(true);
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

bool Form1::keptOnTop() const {
    return Check3->checkState() == Qt::Checked;
}

void Form1::keepOnTop(bool on) {
    AlwaysOnTop(on);
    Check3->setCheckState(on ? Qt::Checked : Qt::Unchecked);
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
