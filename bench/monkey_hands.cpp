#include "bench/monkey_hands.h"

#include "app/form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <utility>

namespace {

// What a person does, and how often against the others.
enum class Act {
    Play,
    Stop,
    Pause,
    Mute,
    Remove,
    RemoveAll,
    LoadList,
    SaveList,
    Mixer,
    Minimise,
    OnTop,
    AddMenu,
    Mode,
    Key,
    List,
    Position,
    Volume,
    Balance,
    Drop,
    Type,
    Window,
};
struct Weighted {
    Act act;
    int weight;
};
constexpr Weighted kActs[] = {
    {Act::Play, 14},  {Act::Stop, 8},      {Act::Pause, 8},    {Act::Mute, 4},
    {Act::Remove, 3}, {Act::RemoveAll, 1}, {Act::LoadList, 3}, {Act::SaveList, 2},
    {Act::Mixer, 1},  {Act::Minimise, 1},  {Act::OnTop, 2},    {Act::AddMenu, 4},
    {Act::Mode, 6},   {Act::Key, 12},      {Act::List, 14},    {Act::Position, 14},
    {Act::Volume, 4}, {Act::Balance, 3},   {Act::Drop, 3},     {Act::Type, 2},
    {Act::Window, 3},
};

// Access keys and menu shortcuts; never Ctrl+X, which ends the program.
struct Chord {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
};
const Chord kChords[] = {
    {Qt::Key_P, Qt::AltModifier},     {Qt::Key_S, Qt::AltModifier},
    {Qt::Key_M, Qt::AltModifier},     {Qt::Key_R, Qt::AltModifier},
    {Qt::Key_L, Qt::AltModifier},     {Qt::Key_P, Qt::ControlModifier},
    {Qt::Key_S, Qt::ControlModifier}, {Qt::Key_F, Qt::ControlModifier},
    {Qt::Key_D, Qt::ControlModifier}, {Qt::Key_R, Qt::ControlModifier},
    {Qt::Key_L, Qt::ControlModifier}, {Qt::Key_M, Qt::ControlModifier},
    {Qt::Key_V, Qt::ControlModifier}, {Qt::Key_Z, Qt::ControlModifier},
    {Qt::Key_K, Qt::ControlModifier}, {Qt::Key_O, Qt::ControlModifier},
    {Qt::Key_T, Qt::ControlModifier}, {Qt::Key_A, Qt::ControlModifier},
    {Qt::Key_Tab, Qt::NoModifier},    {Qt::Key_Space, Qt::NoModifier},
};

const QStringList kListNames = {
    QStringLiteral("monkey"), QStringLiteral("mix 1"), QString(),
    QStringLiteral("a/b"),    QStringLiteral(".."),    QString(300, QLatin1Char('n'))};

} // namespace

MonkeyHands::MonkeyHands(Form1* window, QStringList media, QStringList lists, std::uint32_t seed)
    : window_(window), media_(std::move(media)), lists_(std::move(lists)), random_(seed) {}

void MonkeyHands::run(qint64 ms, std::function<void()> finished) {
    runMs_ = ms;
    finished_ = std::move(finished);
    clock_.start();
    step();
}

QString MonkeyHands::lastAction() const {
    const std::scoped_lock lock(lastMutex_);
    return last_;
}

int MonkeyHands::below(int n) {
    return n <= 1 ? 0 : std::uniform_int_distribution<int>(0, n - 1)(random_);
}

const QString& MonkeyHands::pick(const QStringList& from) {
    return from[below(int(from.size()))];
}

void MonkeyHands::note(const QString& what) {
    const QString line =
        QStringLiteral("%1 s: %2").arg(clock_.elapsed() / 1e3, 0, 'f', 3).arg(what);
    std::fprintf(stderr, "monkey %s\n", qPrintable(line));
    const std::scoped_lock lock(lastMutex_);
    last_ = line;
}

void MonkeyHands::step() {
    if (done_)
        return;
    if (clock_.elapsed() >= runMs_) {
        // Time is up: whatever is still open is answered first, so that no nested loop of a
        // box is left running under the end.
        if (answerOpenWindow()) {
            QTimer::singleShot(50, this, &MonkeyHands::step);
            return;
        }
        done_ = true;
        note(QStringLiteral("done"));
        QTimer::singleShot(0, this, [this] { finished_(); });
        return;
    }
    // The next step is set first: a click that opens a box runs the box's own loop, and it
    // is that loop which brings the next step, to answer the box.
    QTimer::singleShot(20 + below(280), this, &MonkeyHands::step);
    if (held_)
        return;
    if (!answerOpenWindow())
        act();
}

bool MonkeyHands::answerOpenWindow() {
    if (QWidget* popup = QApplication::activePopupWidget()) {
        if (auto* menu = qobject_cast<QMenu*>(popup))
            answerMenu(menu);
        else
            popup->close();
        return true;
    }
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) {
        // A progress dialog may show without being the active window.
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && qobject_cast<QProgressDialog*>(w))
                modal = w;
    }
    if (!modal)
        return false;
    if (auto* dialog = qobject_cast<QDialog*>(modal))
        answerDialog(dialog);
    else
        modal->close();
    return true;
}

void MonkeyHands::answerDialog(QDialog* dialog) {
    ++actions_;
    if (auto* files = qobject_cast<QFileDialog*>(dialog)) {
        if (below(7) == 0) {
            note(QStringLiteral("%1: Cancel").arg(files->windowTitle()));
            files->reject();
            return;
        }
        // Mostly what the dialog asks for, now and then the other kind.
        const bool forList = files->objectName() == QLatin1String("CommonDialog2");
        const QString& path = pick(forList != (below(6) == 0) ? lists_ : media_);
        note(QStringLiteral("%1: %2").arg(files->windowTitle(), path));
        // Typed into the name box, as a person pastes a path: selectFile() leaves a box that
        // has the focus alone.
        if (auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            name->setText(path);
        else
            files->selectFile(path);
        static_cast<QDialog*>(files)->accept(); // its own accept, as Return would call it
        return;
    }
    if (auto* input = qobject_cast<QInputDialog*>(dialog)) {
        if (below(5) == 0) {
            note(QStringLiteral("list name: Cancel"));
            input->reject();
            return;
        }
        const QString& name = pick(kListNames);
        note(QStringLiteral("list name: \"%1\"").arg(name.left(20)));
        input->setTextValue(name);
        input->accept();
        return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
        ++boxes_;
        // Control characters (a path read from a binary "list") shown, so the log keeps its lines.
        QString text = box->text().left(160);
        for (QChar& c : text)
            if (c.category() == QChar::Other_Control || c.isNull())
                c = QChar(0x2400 + (c.unicode() < 0x20 ? c.unicode() : 0x21)); // control pictures
        note(QStringLiteral("box \"%1\": %2").arg(box->windowTitle(), text));
        const QList<QAbstractButton*> buttons = box->buttons();
        if (buttons.isEmpty())
            box->reject();
        else
            QTest::mouseClick(buttons.first(), Qt::LeftButton);
        return;
    }
    if (qobject_cast<QProgressDialog*>(dialog)) {
        // A load that outlasts its delay: let it run a little, or cut it short.
        if (below(4) == 0) {
            note(QStringLiteral("progress: Cancel"));
            QTest::keyClick(dialog, Qt::Key_Escape);
        }
        return;
    }
    // The folder chooser (OK adds the folder open in it) and the about box.
    auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("CmdOk"));
    if (ok && below(2) == 0) {
        note(QStringLiteral("%1: OK").arg(dialog->objectName()));
        QTest::mouseClick(ok, Qt::LeftButton);
        return;
    }
    note(QStringLiteral("%1: Escape").arg(dialog->objectName()));
    QTest::keyClick(dialog, Qt::Key_Escape);
}

void MonkeyHands::answerMenu(QMenu* menu) {
    ++actions_;
    const QList<QAction*> items = menu->actions();
    if (items.isEmpty() || below(4) == 0) {
        note(QStringLiteral("menu: Escape"));
        QTest::keyClick(menu, Qt::Key_Escape);
        return;
    }
    QAction* item = items[below(int(items.size()))];
    note(QStringLiteral("menu: %1").arg(item->text()));
    menu->close();
    item->trigger();
}

void MonkeyHands::click(QWidget* w) {
    note(QStringLiteral("click %1").arg(w->objectName()));
    QTest::mouseClick(w, Qt::LeftButton);
}

void MonkeyHands::key(int key, Qt::KeyboardModifiers modifiers, QWidget* to) {
    QWidget* target = to ? to : QApplication::focusWidget();
    if (!target)
        target = window_;
    note(QStringLiteral("key %1 to %2")
             .arg(QKeySequence(int(modifiers) | key).toString(), target->objectName()));
    QTest::keyClick(target, Qt::Key(key), modifiers);
}

void MonkeyHands::act() {
    ++actions_;
    int total = 0;
    for (const Weighted& w : kActs)
        total += w.weight;
    int roll = below(total);
    Act act = Act::Play;
    for (const Weighted& w : kActs) {
        if (roll < w.weight) {
            act = w.act;
            break;
        }
        roll -= w.weight;
    }
    auto button = [this](const char* name) {
        return window_->findChild<QPushButton*>(QLatin1String(name));
    };
    switch (act) {
    case Act::Play:
        click(button("CmdPlay"));
        break;
    case Act::Stop:
        click(button("CmdStop"));
        break;
    case Act::Pause:
        click(button("CmdPause"));
        break;
    case Act::Mute:
        click(button("CmdMute"));
        break;
    case Act::Remove:
        click(button("CmdRem"));
        break;
    case Act::RemoveAll:
        click(button("CmdClear"));
        break;
    case Act::LoadList:
        click(button("CmdLoadList"));
        break;
    case Act::SaveList:
        click(button("CmdSaveList"));
        break;
    case Act::Mixer:
        click(button("Cmdvol"));
        break;
    case Act::Minimise:
        click(button("Command1"));
        break;
    case Act::OnTop:
        click(button("CmdOnTop"));
        break;
    case Act::AddMenu:
        click(button("CmdAdd"));
        break; // its menu opens on the release
    case Act::Mode: {
        static const char* const options[] = {"OptRND", "OptRes", "OptNON"};
        click(window_->findChild<QRadioButton*>(QLatin1String(options[below(3)])));
        break;
    }
    case Act::Key: {
        const Chord& c = kChords[below(int(std::size(kChords)))];
        key(c.key, c.modifiers);
        break;
    }
    case Act::List:
        touchList();
        break;
    case Act::Position:
        moveSlider("Slider1");
        break;
    case Act::Volume:
        moveSlider("Slider3");
        break;
    case Act::Balance:
        moveSlider("Slider2");
        break;
    case Act::Drop:
        dropFiles();
        break;
    case Act::Type:
        typeInto("Text1");
        break;
    case Act::Window:
        // Back from the taskbar, as a person finds a minimised window.
        note(QStringLiteral("window to the front"));
        window_->bringToFront();
        break;
    }
}

void MonkeyHands::touchList() {
    auto* list = window_->findChild<QListView*>(QStringLiteral("List1"));
    const int rows = list->model()->rowCount();
    const int what = below(9);
    if (rows > 0 && what < 4) {
        const QModelIndex index = list->model()->index(below(rows), 0);
        list->scrollTo(index);
        const QPoint at = list->visualRect(index).center();
        note(
            QStringLiteral("%1 row %2").arg(what == 0 ? "double-click" : "click").arg(index.row()));
        if (what == 0)
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        else
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        return;
    }
    static const Qt::Key keys[] = {Qt::Key_Up,     Qt::Key_Down,   Qt::Key_Home,    Qt::Key_End,
                                   Qt::Key_Return, Qt::Key_Delete, Qt::Key_PageDown};
    list->setFocus();
    key(keys[below(int(std::size(keys)))], Qt::NoModifier, list);
}

void MonkeyHands::moveSlider(const char* name) {
    auto* slider = window_->findChild<QSlider*>(QLatin1String(name));
    const int how = below(3);
    if (how == 0) {
        static const Qt::Key keys[] = {Qt::Key_Left,     Qt::Key_Right, Qt::Key_PageUp,
                                       Qt::Key_PageDown, Qt::Key_Home,  Qt::Key_End};
        slider->setFocus();
        key(keys[below(int(std::size(keys)))], Qt::NoModifier, slider);
    } else if (how == 1) {
        // On the groove: a page towards the point, or straight there with the middle button.
        const QPoint at(below(slider->width()), slider->height() / 2);
        const bool middle = below(2) == 0;
        note(QStringLiteral("%1 %2 at x %3")
                 .arg(middle ? "middle-click" : "click", name)
                 .arg(at.x()));
        QTest::mouseClick(slider, middle ? Qt::MiddleButton : Qt::LeftButton, {}, at);
    } else {
        // A drag: the handle held and moved through a few places, each a move of the slider.
        const int range = slider->maximum() - slider->minimum();
        note(QStringLiteral("drag %1").arg(name));
        slider->setSliderDown(true);
        for (int i = 0, n = 1 + below(6); i < n; ++i)
            slider->setSliderPosition(slider->minimum() + below(range + 1));
        slider->setSliderDown(false);
    }
}

void MonkeyHands::dropFiles() {
    auto* list = window_->findChild<QListView*>(QStringLiteral("List1"));
    QList<QUrl> urls;
    for (int i = 0, n = 1 + below(4); i < n; ++i)
        urls << QUrl::fromLocalFile(pick(below(5) == 0 ? lists_ : media_));
    note(QStringLiteral("drop %1 files, the first %2")
             .arg(urls.size())
             .arg(urls.first().toLocalFile()));
    QMimeData data;
    data.setUrls(urls);
    const QPoint at(list->viewport()->width() / 2, list->viewport()->height() / 2);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &drop);
}

void MonkeyHands::typeInto(const char* name) {
    auto* box = window_->findChild<QLineEdit*>(QLatin1String(name));
    box->setFocus();
    if (below(2) == 0) {
        note(QStringLiteral("empty %1").arg(name));
        QTest::keyClick(box, Qt::Key_End);
        QTest::keyClick(box, Qt::Key_Home, Qt::ShiftModifier);
        QTest::keyClick(box, Qt::Key_Backspace);
    } else {
        note(QStringLiteral("type into %1").arg(name));
        QTest::keyClicks(box, QStringLiteral("zq"));
    }
}
