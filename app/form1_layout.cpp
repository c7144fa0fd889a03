// Where Form1's controls and menus are built (one table of geometry for the controls, one for
// the menus, then the stacking and tab order), and where the events it takes over go.
#include "app/form1.h"

#include "app/form_parts.h"
#include "app/playing_row_delegate.h"
#include "app/song_tooltip.h"
#include "app/window_stacking.h"
#include "playback/level_rules.h"
#include "player/player.h"
#include "playlist/play_list_model.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcutEvent>
#include <QSlider>

#include <type_traits>
#include <variant>

namespace {

// Rows laid out per pass of the event loop: a few milliseconds of work.
constexpr int kListLayoutSlice = 50000;

const QString kPlaceholder = QStringLiteral("   song file will show in here when playing.....");

// What a control is drawn on: as the desktop draws it, the menu colour, or black; its text
// is white wherever white reads there.
enum class Look { Desktop, OnMenu, OnBlack };

template <typename W> W* makeControl(const QString& caption, QWidget* parent) {
    if constexpr (std::is_same_v<W, QPushButton>)
        return makeButton(parent, "", caption, {});
    else if constexpr (std::is_same_v<W, QSlider>)
        return new W(Qt::Horizontal, parent);
    else if constexpr (std::is_same_v<W, QListView>)
        return new W(parent);
    else
        return new W(caption, parent);
}

} // namespace

void Form1::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(400, 184);
    paintColours(client, menuColour());
    setCentralWidget(client);

    using Slot = std::variant<QPushButton * Form1::*, QCheckBox * Form1::*, QGroupBox * Form1::*,
                              QLabel * Form1::*, QSlider * Form1::*, QLineEdit * Form1::*,
                              QRadioButton * Form1::*, QListView * Form1::*>;
    struct Control {
        Slot slot;
        const char* name;
        QGroupBox* Form1::*frame; // the frame it sits in; null for the window itself
        QString caption;
        QRect geometry;
        // Empty: a button is named after its current caption without the "&", so "Pause"
        // and "Resume" are spoken as they change.
        QString accessibleName;
        Look look;
    };
    const QString none;
    const Control controls[] = {
        {&Form1::CmdPlay, "CmdPlay", nullptr, QStringLiteral("&play"), twips(0, 0, 855, 195), none,
         Look::Desktop},
        {&Form1::CmdStop, "CmdStop", nullptr, QStringLiteral("&stop"), twips(960, 0, 855, 195),
         none, Look::Desktop},
        {&Form1::CmdPause, "CmdPause", nullptr, QStringLiteral("pauze"), twips(1920, 0, 855, 195),
         none, Look::Desktop},
        {&Form1::Cmdvol, "Cmdvol", nullptr, QStringLiteral("&volume"), twips(2880, 0, 855, 195),
         none, Look::Desktop},
        {&Form1::Command1, "Command1", nullptr, QStringLiteral("minimi&ze"),
         twips(3840, 0, 855, 195), none, Look::Desktop},
        {&Form1::CmdOnTop, "CmdOnTop", nullptr, QStringLiteral("keep on top"),
         twips(4800, 0, 1215, 195), none, Look::Desktop},
        {&Form1::Check3, "Check3", nullptr, QStringLiteral("Keep On Top"), twips(4800, 0, 615, 195),
         QStringLiteral("Keep On Top"), Look::OnBlack},
        {&Form1::Frame1, "Frame1", nullptr, QStringLiteral("main v0lume"), twips(0, 240, 1755, 915),
         QStringLiteral("main v0lume"), Look::OnMenu},
        {&Form1::Label, "Label", &Form1::Frame1, QStringLiteral("v0lume "),
         twips(240, 240, 615, 195), QStringLiteral("v0lume "), Look::OnMenu},
        // Named after its text, so a screen reader hears the volume it shows.
        {&Form1::Label2, "Label2", &Form1::Frame1, QStringLiteral("0%"), twips(1080, 240, 435, 195),
         none, Look::OnMenu},
        {&Form1::Slider3, "Slider3", &Form1::Frame1, none, twips(120, 480, 1515, 315),
         QStringLiteral("volume"), Look::Desktop},
        // Below and beside the frame's visible area: reached from the keyboard (and the menu).
        {&Form1::Slider2, "Slider2", &Form1::Frame1, none, twips(60, 1440, 1515, 315),
         QStringLiteral("balance"), Look::Desktop},
        {&Form1::CmdMute, "CmdMute", &Form1::Frame1, QStringLiteral("&mute"),
         twips(2520, 1320, 675, 255), none, Look::Desktop},
        {&Form1::Text1, "Text1", nullptr, kPlaceholder, twips(1800, 240, 4155, 285),
         QStringLiteral("current file"), Look::OnMenu},
        {&Form1::TxtTime, "TxtTime", nullptr, none, twips(1920, 720, 555, 315),
         QStringLiteral("elapsed time"), Look::OnMenu},
        {&Form1::Slider1, "Slider1", nullptr, none, twips(2520, 720, 3495, 315),
         QStringLiteral("position"), Look::Desktop},
        {&Form1::Frame2, "Frame2", nullptr, QStringLiteral("play lizt"), twips(0, 1200, 4035, 615),
         QStringLiteral("play lizt"), Look::OnMenu},
        {&Form1::CmdAdd, "CmdAdd", &Form1::Frame2, QStringLiteral("&aDD"),
         twips(120, 240, 795, 255), none, Look::Desktop},
        {&Form1::CmdRem, "CmdRem", &Form1::Frame2, QStringLiteral("&rem()ve"),
         twips(840, 240, 795, 255), none, Look::Desktop},
        {&Form1::CmdClear, "CmdClear", &Form1::Frame2, QStringLiteral("rem. a&LL"),
         twips(1560, 240, 795, 255), none, Look::Desktop},
        {&Form1::CmdLoadList, "CmdLoadList", &Form1::Frame2, QStringLiteral("l()ad lizt"),
         twips(2280, 240, 915, 255), none, Look::Desktop},
        {&Form1::CmdSaveList, "CmdSaveList", &Form1::Frame2, QStringLiteral("saVe lizt"),
         twips(3120, 240, 795, 255), none, Look::Desktop},
        {&Form1::OptRND, "OptRND", nullptr, QStringLiteral("ranDom"), twips(4200, 1320, 975, 195),
         QStringLiteral("ranDom"), Look::OnMenu},
        {&Form1::OptRes, "OptRes", nullptr, QStringLiteral("rezume"), twips(5160, 1320, 855, 195),
         QStringLiteral("rezume"), Look::OnMenu},
        {&Form1::OptNON, "OptNON", nullptr, QStringLiteral("n()ne"), twips(4800, 1560, 675, 255),
         QStringLiteral("n()ne"), Look::OnMenu},
        {&Form1::List1, "List1", nullptr, none, twips(0, 1920, 6015, 840),
         QStringLiteral("play list"), Look::OnMenu},
    };
    const QColor menu = menuColour();
    for (const Control& c : controls) {
        QWidget* parent = c.frame ? static_cast<QWidget*>(this->*c.frame) : client;
        QWidget* w = std::visit(
            [&](auto slot) -> QWidget* {
                using W = std::remove_pointer_t<std::remove_reference_t<decltype(this->*slot)>>;
                W* made = makeControl<W>(c.caption, parent);
                this->*slot = made;
                return made;
            },
            c.slot);
        w->setObjectName(QLatin1String(c.name));
        w->setGeometry(c.geometry);
        if (!c.accessibleName.isEmpty())
            w->setAccessibleName(c.accessibleName);
        if (c.look == Look::OnMenu)
            paintColours(w, menu);
        else if (c.look == Look::OnBlack)
            paintColours(w, Qt::black);
        if (qobject_cast<QPushButton*>(w))
            w->installEventFilter(this); // access keys click at once
        if (auto* s = qobject_cast<QSlider*>(w)) {
            s->setSingleStep(1);
            s->setPageStep(5);
            s->setFocusPolicy(Qt::StrongFocus);
        }
    }

    CmdPause->setEnabled(false);
    Slider3->setRange(0, kVolumeSliderMax);
    Slider2->setRange(-5000, 5000);
    Slider1->setRange(0, 10);
    QFont bold = classicFont(false);
    bold.setBold(true);
    Text1->setFont(bold);
    TxtTime->setReadOnly(true);
    OptNON->setChecked(true);
    List1->setModel(player_->list());
    List1->setItemDelegate(new PlayingRowDelegate(List1));
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List1->setUniformItemSizes(true); // keeps 100,000 entries as quick as ten
    // The view lays out every row again after each addition; in slices, a list of millions
    // growing during a load never holds up the window for a whole pass.
    List1->setLayoutMode(QListView::Batched);
    List1->setBatchSize(kListLayoutSlice);
    // Rows as wide as the list, shortened in the middle: the file name always shows, and the
    // tooltip and the accessible name hold the whole path.
    List1->setTextElideMode(Qt::ElideMiddle);
    List1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    List1->setFont(classicFont(true));
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
    connect(Slider1, &QSlider::actionTriggered, this, &Form1::Slider1_Scroll);
    connect(Slider2, &QSlider::actionTriggered, this, &Form1::Slider2_Scroll);
    connect(Slider3, &QSlider::actionTriggered, this, &Form1::Slider3_Scroll);
    connect(List1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &Form1::List1_Click);
    connect(List1, &QListView::doubleClicked, this, &Form1::List1_DblClick);
    // Files and folders dropped from a file manager are added like the add commands do.
    List1->setAcceptDrops(true);
    List1->viewport()->setAcceptDrops(true);
    List1->viewport()->installEventFilter(this);
    new SongTooltip(List1);
    List1->installEventFilter(this); // Return plays the selected row, Delete removes it
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
    QMenu* mnumarrowtune = menuBar()->addMenu(QStringLiteral("Marrowtune"));
    mnumarrowtune->setObjectName(QStringLiteral("mnumarrowtune"));
    // Never in the menu bar: it only opens over the add button.
    addmenu = new QMenu(QStringLiteral("Addmenu"), this);
    addmenu->setObjectName(QStringLiteral("addmenu"));

    struct Item {
        QMenu* menu;
        const char* name;
        const char* caption;
        Qt::Key key; // with Ctrl; Qt::Key_unknown for none
        void (Form1::*handler)();
    };
    const Item items[] = {
        {mnufile, "mnuAbout", "About", Qt::Key_A, &Form1::mnuAbout_Click},
        {mnufile, "mnuExit", "Exit", Qt::Key_X, &Form1::mnuExit_Click},
        {mnumarrowtune, "mnuplay", "Play", Qt::Key_P, &Form1::mnuplay_Click},
        {mnumarrowtune, "mnustop", "Stop", Qt::Key_S, &Form1::mnustop_Click},
        {mnumarrowtune, "mnuaddfile2", "Add File", Qt::Key_F, &Form1::mnuaddfile2_Click},
        {mnumarrowtune, "mnuAdddir2", "Add Dir", Qt::Key_D, &Form1::mnuAdddir2_Click},
        {mnumarrowtune, "mnuRemove", "Remove", Qt::Key_R, &Form1::mnuRemove_Click},
        {mnumarrowtune, "mnuRemall", "Remove All", Qt::Key_L, &Form1::mnuRemall_Click},
        {mnumarrowtune, "mnuMute", "Mute", Qt::Key_M, &Form1::mnuMute_Click},
        {mnumarrowtune, "mnuVolume", "Volume", Qt::Key_V, &Form1::mnuVolume_Click},
        {mnumarrowtune, "mnumini", "Minimize", Qt::Key_Z, &Form1::mnumini_Click},
        {mnumarrowtune, "mnuOnTop", "Keep on Top", Qt::Key_K, &Form1::mnuOnTop_Click},
        {mnumarrowtune, "mnuLoadList", "Load List", Qt::Key_O, &Form1::mnuLoadList_Click},
        {mnumarrowtune, "mnuSavelist", "Save List", Qt::Key_T, &Form1::mnuSavelist_Click},
        {addmenu, "mnuaddfile", "File", Qt::Key_unknown, &Form1::mnuaddfile_Click},
        {addmenu, "mnuAdddir", "Directory", Qt::Key_unknown, &Form1::mnuAdddir_Click},
    };
    for (const Item& item : items) {
        QAction* action = addMenuItem(
            item.menu, item.name, QString::fromLatin1(item.caption),
            item.key == Qt::Key_unknown ? QKeySequence() : QKeySequence(Qt::CTRL | item.key),
            item.handler);
        if (item.handler == &Form1::mnuOnTop_Click) {
            // The item shows the state the keep-on-top box holds.
            action->setCheckable(true);
            connect(Check3, &QCheckBox::toggled, action, &QAction::setChecked);
        }
    }
}

void Form1::applyStackingAndTabOrder() {
    // Back to front: where two controls overlap, the right-hand one lies in front, and
    // Check3 lies hidden behind CmdOnTop.
    const QList<QWidget*> backToFront = {
        Check3,   Text1,       List1,       Slider1,  CmdPlay, CmdPause, CmdStop, Command1, Cmdvol,
        TxtTime,  Frame2,      Frame1,      CmdOnTop, OptRND,  OptRes,   OptNON,  CmdAdd,   CmdRem,
        CmdClear, CmdLoadList, CmdSaveList, Label2,   Label,   Slider2,  Slider3, CmdMute};
    for (QWidget* w : backToFront)
        w->raise();

    const QList<QWidget*> tabOrder = {List1,    CmdPlay, CmdStop, Cmdvol,      CmdPause,    Text1,
                                      Command1, Slider1, TxtTime, Slider3,     Slider2,     CmdMute,
                                      CmdClear, CmdRem,  CmdAdd,  CmdLoadList, CmdSaveList, Check3,
                                      CmdOnTop, OptRND,  OptRes,  OptNON};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

// What the player tells is drawn; what the player must be told to say goes in a box.
void Form1::followPlayer() {
    Player* p = player_;
    connect(p, &Player::currentFileChanged, this, &Form1::showCurrentFile);
    connect(p, &Player::selectionChanged, this, &Form1::showSelection);
    connect(p, &Player::stateChanged, this, &Form1::showState);
    connect(p, &Player::songStarted, this, &Form1::showLength);
    connect(p, &Player::songStarted, this, &Form1::refreshSoon);
    connect(p, &Player::lengthChanged, this, &Form1::showLength);
    connect(p, &Player::positionJumped, this, &Form1::refreshSoon);
    connect(p, &Player::modeChanged, this, &Form1::showMode);
    connect(p, &Player::levelsChanged, this, &Form1::showLevels);
    // The user picks the mode; the player reads it when a track ends.
    for (auto [option, mode] :
         {std::pair{OptNON, PlayMode::None}, std::pair{OptRes, PlayMode::Resume},
          std::pair{OptRND, PlayMode::Random}})
        connect(option, &QRadioButton::toggled, this, [this, mode = mode](bool on) {
            if (on)
                player_->setMode(mode);
        });
    connect(Check3, &QCheckBox::toggled, this, &Form1::keptOnTopChanged);
    describeKeepOnTop(Check3);
}

// ---- events the window takes over ----

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
