#include "app/form1.h"

#include "app/form2.h"
#include "app/window_stacking.h"
#include "playback/level_rules.h"
#include "playback/media_engine.h"
#include "playback/next_entry.h"
#include "playback/position_rules.h"
#include "playlist/dropped_entries.h"
#include "playlist/form3.h"
#include "playlist/list_file_store.h"
#include "playlist/play_list_model.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
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
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QShortcutEvent>
#include <QSlider>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>

namespace {

// Layout unit: 1/1440 inch, 15 to the pixel at 96 dpi. Qt scales logical pixels on HiDPI.
constexpr int kTwipsPerPixel = 15;
QRect twips(int left, int top, int width, int height) {
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
            height / kTwipsPerPixel};
}

// The window asks for a tick every millisecond, but the desktop it was designed on never
// ticked faster than every 10 ms, and the time text changes once a second: a 1 kHz wake-up
// would cost CPU for nothing.
constexpr int kTimer1IntervalMs = 1;
constexpr int kTimerFloorMs = 10;

const QString kPlaceholder = QStringLiteral("   song file will show in here when playing.....");
const QString kPauseCaption = QStringLiteral("Pause");

QColor menuColour() {
    return QApplication::palette("QMenu").color(QPalette::Window);
}

void colour(QWidget* w, const QColor& background, const QColor& text) {
    QPalette p = w->palette();
    for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
        p.setColor(role, background);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(role, text);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

QFont classicFont(bool serif) {
    QFont f;
    if (serif)
        f.setFamilies({QStringLiteral("MS Serif"), QStringLiteral("Times New Roman"),
                       QStringLiteral("DejaVu Serif"), QStringLiteral("Serif")});
    else
        f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                       QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    f.setStyleHint(serif ? QFont::Serif : QFont::SansSerif);
    f.setPointSizeF(8.25);
    return f;
}

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

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(std::max(kTimer1IntervalMs, kTimerFloorMs));
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);

    Form_Load();
    Timer1->start();
    List1->setFocus();
}

Form1::~Form1() = default;

void Form1::setRandomSource(std::function<double()> source) {
    random_ = std::move(source);
}
void Form1::setMixerCandidates(QList<QStringList> candidates) {
    mixerCandidates_ = std::move(candidates);
}
void Form1::setListFolders(QString programFolder, QString fallbackFolder) {
    programFolder_ = std::move(programFolder);
    fallbackFolder_ = std::move(fallbackFolder);
}

void Form1::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(400, 184);
    colour(client, menuColour(), palette().color(QPalette::WindowText));
    setCentralWidget(client);
    const QColor menu = menuColour();

    auto button = [form = this](QWidget* parent, const char* name, const QString& caption,
                                QRect geometry) {
        auto* b = new QPushButton(caption, parent);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(geometry);
        // No fixed accessible name: Qt names a button after its current caption without the
        // "&", so "Pause" and "Resume" are spoken as they change.
        b->setAutoDefault(false);
        b->installEventFilter(form); // access keys click at once
        return b;
    };
    auto slider = [](QWidget* parent, const char* name, QRect geometry, int min, int max,
                     const QString& description) {
        auto* s = new QSlider(Qt::Horizontal, parent);
        s->setObjectName(QLatin1String(name));
        s->setGeometry(geometry);
        s->setRange(min, max);
        s->setSingleStep(1);
        s->setPageStep(5);
        s->setFocusPolicy(Qt::StrongFocus);
        s->setAccessibleName(description);
        return s;
    };
    auto label = [menu](QWidget* parent, const char* name, const QString& caption, QRect geometry) {
        auto* l = new QLabel(caption, parent);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(geometry);
        l->setAccessibleName(caption);
        colour(l, menu, Qt::white);
        return l;
    };
    auto frame = [menu](QWidget* parent, const char* name, const QString& caption, QRect geometry) {
        auto* f = new QGroupBox(caption, parent);
        f->setObjectName(QLatin1String(name));
        f->setGeometry(geometry);
        f->setAccessibleName(caption);
        colour(f, menu, Qt::white);
        return f;
    };
    auto option = [menu](QWidget* parent, const char* name, const QString& caption,
                         QRect geometry) {
        auto* o = new QRadioButton(caption, parent);
        o->setObjectName(QLatin1String(name));
        o->setGeometry(geometry);
        o->setAccessibleName(caption);
        colour(o, menu, Qt::white);
        return o;
    };

    CmdPlay = button(client, "CmdPlay", QStringLiteral("&play"), twips(0, 0, 855, 195));
    CmdStop = button(client, "CmdStop", QStringLiteral("&stop"), twips(960, 0, 855, 195));
    CmdPause = button(client, "CmdPause", QStringLiteral("pauze"), twips(1920, 0, 855, 195));
    CmdPause->setEnabled(false);
    Cmdvol = button(client, "Cmdvol", QStringLiteral("&volume"), twips(2880, 0, 855, 195));
    Command1 = button(client, "Command1", QStringLiteral("minimi&ze"), twips(3840, 0, 855, 195));
    CmdOnTop = button(client, "CmdOnTop", QStringLiteral("keep on top"), twips(4800, 0, 1215, 195));

    Check3 = new QCheckBox(QStringLiteral("Keep On Top"), client);
    Check3->setObjectName(QStringLiteral("Check3"));
    Check3->setGeometry(twips(4800, 0, 615, 195));
    Check3->setAccessibleName(QStringLiteral("Keep On Top"));
    colour(Check3, Qt::black, Qt::white);

    Frame1 = frame(client, "Frame1", QStringLiteral("main v0lume"), twips(0, 240, 1755, 915));
    Label = label(Frame1, "Label", QStringLiteral("v0lume "), twips(240, 240, 615, 195));
    Label2 = label(Frame1, "Label2", QStringLiteral("0%"), twips(1080, 240, 435, 195));
    Slider3 = slider(Frame1, "Slider3", twips(120, 480, 1515, 315), 0, kVolumeSliderMax,
                     QStringLiteral("volume"));
    // Below and beside the frame's visible area: reached from the keyboard (and the menu).
    Slider2 = slider(Frame1, "Slider2", twips(60, 1440, 1515, 315), -5000, 5000,
                     QStringLiteral("balance"));
    CmdMute = button(Frame1, "CmdMute", QStringLiteral("&mute"), twips(2520, 1320, 675, 255));

    Text1 = new QLineEdit(kPlaceholder, client);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(twips(1800, 240, 4155, 285));
    Text1->setAccessibleName(QStringLiteral("current file"));
    QFont bold = classicFont(false);
    bold.setBold(true);
    Text1->setFont(bold);
    colour(Text1, menu, Qt::white);

    TxtTime = new QLineEdit(client);
    TxtTime->setObjectName(QStringLiteral("TxtTime"));
    TxtTime->setGeometry(twips(1920, 720, 555, 315));
    TxtTime->setReadOnly(true);
    TxtTime->setAccessibleName(QStringLiteral("elapsed time"));
    colour(TxtTime, menu, Qt::white);

    Slider1 =
        slider(client, "Slider1", twips(2520, 720, 3495, 315), 0, 10, QStringLiteral("position"));

    Frame2 = frame(client, "Frame2", QStringLiteral("play lizt"), twips(0, 1200, 4035, 615));
    CmdAdd = button(Frame2, "CmdAdd", QStringLiteral("&aDD"), twips(120, 240, 795, 255));
    CmdRem = button(Frame2, "CmdRem", QStringLiteral("&rem()ve"), twips(840, 240, 795, 255));
    CmdClear = button(Frame2, "CmdClear", QStringLiteral("rem. a&LL"), twips(1560, 240, 795, 255));
    CmdLoadList =
        button(Frame2, "CmdLoadList", QStringLiteral("l()ad lizt"), twips(2280, 240, 915, 255));
    CmdSaveList =
        button(Frame2, "CmdSaveList", QStringLiteral("saVe lizt"), twips(3120, 240, 795, 255));

    OptRND = option(client, "OptRND", QStringLiteral("ranDom"), twips(4200, 1320, 975, 195));
    OptRes = option(client, "OptRes", QStringLiteral("rezume"), twips(5160, 1320, 855, 195));
    OptNON = option(client, "OptNON", QStringLiteral("n()ne"), twips(4800, 1560, 675, 255));
    OptNON->setChecked(true);

    List1 = new QListView(client);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setGeometry(twips(0, 1920, 6015, 840));
    List1->setModel(playList_);
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List1->setUniformItemSizes(true); // keeps 100,000 entries as quick as ten
    List1->setFont(classicFont(true));
    List1->setAccessibleName(QStringLiteral("play list"));
    colour(List1, menu, Qt::white);
    List1->viewport()->setAutoFillBackground(true);

    connect(CmdPlay, &QPushButton::clicked, this, &Form1::CmdPlay_Click);
    connect(CmdStop, &QPushButton::clicked, this, &Form1::CmdStop_Click);
    connect(CmdPause, &QPushButton::clicked, this, &Form1::CmdPause_Click);
    connect(Cmdvol, &QPushButton::clicked, this, &Form1::Cmdvol_Click);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(CmdOnTop, &QPushButton::clicked, this, &Form1::CmdOnTop_Click);
    connect(CmdMute, &QPushButton::clicked, this, &Form1::CmdMute_Click);
    connect(CmdRem, &QPushButton::clicked, this, &Form1::CmdRem_Click);
    connect(CmdClear, &QPushButton::clicked, this, &Form1::CmdClear_Click);
    connect(CmdLoadList, &QPushButton::clicked, this, &Form1::CmdLoadList_Click);
    connect(CmdSaveList, &QPushButton::clicked, this, &Form1::CmdSaveList_Click);
    // CmdAdd has no click handler: only a released mouse button opens its menu.
    CmdAdd->installEventFilter(this);
    connect(Slider1, &QSlider::actionTriggered, this, &Form1::Slider1_Scroll);
    connect(Slider2, &QSlider::actionTriggered, this, &Form1::Slider2_Scroll);
    connect(Slider3, &QSlider::actionTriggered, this, &Form1::Slider3_Scroll);
    connect(List1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &Form1::List1_Click);
    // After the handlers, so listeners see the state they left.
    connect(Slider1, &QSlider::actionTriggered, this, &Form1::positionMoved);
    connect(Slider3, &QSlider::valueChanged, this, &Form1::volumeLevelChanged);
    connect(List1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &Form1::selectedEntryChanged);
    connect(List1, &QListView::doubleClicked, this, &Form1::List1_DblClick);
    // Files and folders dropped from a file manager are added like the add commands do.
    List1->setAcceptDrops(true);
    List1->viewport()->setAcceptDrops(true);
    List1->viewport()->installEventFilter(this);
    // Menu shortcuts such as Ctrl+A or Ctrl+X win over the text boxes' own editing keys.
    Text1->installEventFilter(this);
    TxtTime->installEventFilter(this);
}

QAction* Form1::addMenuItem(QMenu* menu, const char* name, const QString& caption,
                            const QKeySequence& shortcut, void (Form1::*handler)()) {
    auto* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    action->setShortcut(shortcut);
    connect(action, &QAction::triggered, this, handler);
    return action;
}

void Form1::buildMenus() {
    QMenu* mnufile = menuBar()->addMenu(QStringLiteral("File"));
    mnufile->setObjectName(QStringLiteral("mnufile"));
    addMenuItem(mnufile, "mnuAbout", QStringLiteral("About"), QKeySequence(Qt::CTRL | Qt::Key_A),
                &Form1::mnuAbout_Click);
    addMenuItem(mnufile, "mnuExit", QStringLiteral("Exit"), QKeySequence(Qt::CTRL | Qt::Key_X),
                &Form1::mnuExit_Click);

    QMenu* mnumarrowtune = menuBar()->addMenu(QStringLiteral("Marrowtune"));
    mnumarrowtune->setObjectName(QStringLiteral("mnumarrowtune"));
    struct Item {
        const char* name;
        const char* caption;
        Qt::Key key;
        void (Form1::*handler)();
    };
    const Item items[] = {
        {"mnuplay", "Play", Qt::Key_P, &Form1::mnuplay_Click},
        {"mnustop", "Stop", Qt::Key_S, &Form1::mnustop_Click},
        {"mnuaddfile2", "Add File", Qt::Key_F, &Form1::mnuaddfile2_Click},
        {"mnuAdddir2", "Add Dir", Qt::Key_D, &Form1::mnuAdddir2_Click},
        {"mnuRemove", "Remove", Qt::Key_R, &Form1::mnuRemove_Click},
        {"mnuRemall", "Remove All", Qt::Key_L, &Form1::mnuRemall_Click},
        {"mnuMute", "Mute", Qt::Key_M, &Form1::mnuMute_Click},
        {"mnuVolume", "Volume", Qt::Key_V, &Form1::mnuVolume_Click},
        {"mnumini", "Minimize", Qt::Key_Z, &Form1::mnumini_Click},
        {"mnuOnTop", "Keep on Top", Qt::Key_K, &Form1::mnuOnTop_Click},
        {"mnuLoadList", "Load List", Qt::Key_O, &Form1::mnuLoadList_Click},
        {"mnuSavelist", "Save List", Qt::Key_T, &Form1::mnuSavelist_Click},
    };
    for (const Item& item : items)
        addMenuItem(mnumarrowtune, item.name, QString::fromLatin1(item.caption),
                    QKeySequence(Qt::CTRL | item.key), item.handler);

    // Never in the menu bar: it only opens over the add button.
    addmenu = new QMenu(QStringLiteral("Addmenu"), this);
    addmenu->setObjectName(QStringLiteral("addmenu"));
    addMenuItem(addmenu, "mnuaddfile", QStringLiteral("File"), {}, &Form1::mnuaddfile_Click);
    addMenuItem(addmenu, "mnuAdddir", QStringLiteral("Directory"), {}, &Form1::mnuAdddir_Click);
}

void Form1::applyStackingAndTabOrder() {
    // Back to front: where two controls overlap, the right-hand one lies in front, and
    // Check3 lies hidden behind CmdOnTop.
    for (QWidget* w : {static_cast<QWidget*>(Check3), static_cast<QWidget*>(Text1),
                       static_cast<QWidget*>(List1), static_cast<QWidget*>(Slider1),
                       static_cast<QWidget*>(CmdPlay), static_cast<QWidget*>(CmdPause),
                       static_cast<QWidget*>(CmdStop), static_cast<QWidget*>(Command1),
                       static_cast<QWidget*>(Cmdvol), static_cast<QWidget*>(TxtTime),
                       static_cast<QWidget*>(Frame2), static_cast<QWidget*>(Frame1),
                       static_cast<QWidget*>(CmdOnTop), static_cast<QWidget*>(OptRND),
                       static_cast<QWidget*>(OptRes), static_cast<QWidget*>(OptNON)})
        w->raise();
    for (QWidget* w : {static_cast<QWidget*>(CmdAdd), static_cast<QWidget*>(CmdRem),
                       static_cast<QWidget*>(CmdClear), static_cast<QWidget*>(CmdLoadList),
                       static_cast<QWidget*>(CmdSaveList)})
        w->raise();
    for (QWidget* w : {static_cast<QWidget*>(Label2), static_cast<QWidget*>(Label),
                       static_cast<QWidget*>(Slider2), static_cast<QWidget*>(Slider3),
                       static_cast<QWidget*>(CmdMute)})
        w->raise();

    const QList<QWidget*> tabOrder = {List1,    CmdPlay, CmdStop, Cmdvol,      CmdPause,    Text1,
                                      Command1, Slider1, TxtTime, Slider3,     Slider2,     CmdMute,
                                      CmdClear, CmdRem,  CmdAdd,  CmdLoadList, CmdSaveList, Check3,
                                      CmdOnTop, OptRND,  OptRes,  OptNON};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == CmdAdd && event->type() == QEvent::MouseButtonRelease) {
        const auto* me = static_cast<QMouseEvent*>(event);
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
        return false; // the button still gets its release, so it does not stay pressed
    }
    if (event->type() == QEvent::Shortcut) {
        // Qt animates a button pressed by its access key and clicks 100 ms later; the
        // player reacts at once, as a click with the mouse does.
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button && !static_cast<QShortcutEvent*>(event)->isAmbiguous()) {
            button->setFocus(Qt::ShortcutFocusReason);
            button->click();
            return true;
        }
    }
    if (List1 && watched == List1->viewport()) {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto* drag = static_cast<QDropEvent*>(event);
            if (drag->mimeData()->hasUrls())
                drag->acceptProposedAction();
            return true;
        }
        if (event->type() == QEvent::Drop) {
            auto* drop = static_cast<QDropEvent*>(event);
            List1_OLEDragDrop(drop->mimeData()->urls());
            drop->acceptProposedAction();
            return true;
        }
    }
    if ((watched == Text1 || watched == TxtTime) && event->type() == QEvent::ShortcutOverride) {
        const auto* ke = static_cast<QKeyEvent*>(event);
        if (ke->modifiers() == Qt::ControlModifier) {
            const QKeySequence pressed(ke->keyCombination());
            for (const QAction* a : findChildren<QAction*>())
                if (a->shortcut() == pressed)
                    return true; // left unaccepted, so the menu shortcut fires
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- start-up ----

void Form1::Form_Load() {
    CmdPause->setText(kPauseCaption);
    // The engine's own scale is copied as it is; the engine starts at 0 (full volume).
    Slider3->setValue(std::clamp(MediaPlayer1->volume(), 0, kVolumeSliderMax));
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
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Error"), text, QMessageBox::Ok, this);
    box.exec();
}

// Engine play, slider maximum, Pause enabled: each step runs even when the one before failed.
bool Form1::startCurrentFile() {
    const bool started = MediaPlayer1->play();
    if (const auto length = MediaPlayer1->length()) {
        if (const auto maximum = roundHalfEvenToInt32(*length); maximum && *maximum >= 0)
            Slider1->setMaximum(*maximum);
    }
    CmdPause->setEnabled(true);
    return started;
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
    startCurrentFile();
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

// ---- position and time ----

void Form1::Timer1_Timer() {
    // Runs every tick for the life of the window: no widget is written unless what it shows
    // changes (an unchanged setText still resets the cursor and undo history).
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
}

void Form1::Slider1_Scroll() {
    MediaPlayer1->setPosition(userValue(Slider1));
}

// ---- levels ----

void Form1::Slider3_Scroll() {
    QPalette p = Label2->palette();
    p.setColor(QPalette::WindowText, QColor(volumeLabelRed(userValue(Slider3)), 0, 0));
    Label2->setPalette(p);
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
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Marrowtune"), QStringLiteral("Err"),
                        QMessageBox::Ok, this);
        box.exec();
    }
}

void Form1::CmdMute_Click() {
    MediaPlayer1->setMute(!MediaPlayer1->mute());
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

QString Form1::askForFile(const QString& name, const QString& title, const QString& filter) {
    QFileDialog dialog(this, title, QString(), filter);
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
    playList_->append(droppedEntries(urls)); // neither the selection nor Text1 changes
}

void Form1::CmdRem_Click() {
    const int index = selectedIndex();
    if (index == -1) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Error"),
                        QStringLiteral("No file selected"), QMessageBox::Ok, this);
        box.exec();
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
    const ListFileFolder folder = programFolder_.isEmpty()
                                      ? listFileFolder()
                                      : listFileFolder(programFolder_, fallbackFolder_);
    const QString path = listFilePath(folder.path, answer);
    const ListFileResult saved = saveListFile(path, playList_->entries());
    if (!saved.ok) {
        showError(
            QStringLiteral("The list could not be saved to \"%1\": %2").arg(path, saved.error));
        return;
    }
    if (folder.fallbackUsed && !toldListFallback_) {
        toldListFallback_ = true;
        QMessageBox box(QMessageBox::Information, QStringLiteral("Marrowtune"),
                        QStringLiteral("Lists are saved in \"%1\".").arg(folder.path),
                        QMessageBox::Ok, this);
        box.exec();
    }
}

void Form1::CmdLoadList_Click() {
    const QString path =
        askForFile(QStringLiteral("CommonDialog2"), QStringLiteral("Load your list."),
                   QStringLiteral("list Files (*.mlt)"));
    if (path.isEmpty())
        return;
    const LoadedListFile loaded = loadListFile(path);
    playList_->append(loaded.entries); // what was read before a failure stays
    if (!loaded.ok)
        showError(QStringLiteral("File Not Found"));
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
