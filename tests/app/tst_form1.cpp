#include "app/form1.h"
#include "app/mpris_player_adaptor.h"
#include "app/playing_row_delegate.h"
#include "app/session_keeper.h"
#include "app/text_colours.h"
#include "common/modal_watcher.h"
#include "common/player_script.h"
#include "playback/position_rules.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSlider>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <unistd.h>

// The main window on the player and the scripted engine, driven by scenarios: each row is a
// list of steps, some acting as a person or the engine would, some checking what the window
// shows. Every message box or dialog that opens must be checked by a `boxes` step. The
// player's own steps (see PlayerScript) run here too.
//
// Acting:  startvol LEVEL (first only: the engine's volume as the window opens) | palette
//   WINDOW TEXT (first only: the desktop's colours) | select ROW (in the list) | click BUTTON |
//   call (CmdPause_Click, which no enabled control reaches) | menu ACTION | key KEYS (to the
//   focus) | focus WIDGET | show | move SLIDER=VALUE | set OBJECT.PROPERTY=VALUE |
//   release BUTTON left|right | wait MS (on the window's clock) | mixer PROGRAM... | lists |
//   cd FOLDER | answer TEXT (for the next dialog: a file, a name, "cancel", "close", "about" or
//   "do STEP, STEP...") | drop URL... | mpris METHOD [ARG...] | keep | second | save | restart
//   (a start with --remember, a second window, the exit, a new start)
// Checking:  boxes TITLE|TEXT;... (the boxes since the last check) | is OBJECT.PROPERTY=VALUE |
//   selected ROW | bytes PATH=CONTENT | meta KEY=VALUE | refreshes N | readable | fits |
//   exists PATH
class TstForm1 : public QObject {
    Q_OBJECT

    std::unique_ptr<PlayerScript> script_;
    std::unique_ptr<Form1> form_;
    MprisPlayerAdaptor* mpris_ = nullptr;
    QStringList answers_;
    QString tmp_; // the row's temporary folder
    ModalWatcher* watcher_ = nullptr;
    SessionKeeper* keeper_ = nullptr;
    qint64 now_ = 0; // the window's clock, in ms: it moves only in `wait` steps
    int refreshes_ = 0;

    // A player with its window, as the program starts them.
    void start(int engineVolume = 0) {
        form_.reset();
        script_ = std::make_unique<PlayerScript>();
        script_->tmp = tmp_;
        script_->engine->vol = engineVolume;
        form_ = std::make_unique<Form1>(&script_->player);
        form_->setClock([this] { return now_; });
    }

    QObject* object(const QString& name) const {
        if (name == "Form1")
            return form_.get();
        if (name == "mpris")
            return mpris_;
        auto* o = form_->findChild<QObject*>(name);
        if (!o)
            qFatal("no object %s", qPrintable(name));
        return o;
    }
    template <typename T> T* get(const QString& name) const {
        return qobject_cast<T*>(object(name));
    }
    QListView* list() const { return get<QListView>("List1"); }

    // The user's answer to a dialog; message boxes are acknowledged, other dialogs cancelled.
    void answer(QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w); // one that asks takes an answer: its button
        const QString a = (box && box->buttons().size() == 1) || answers_.isEmpty()
                              ? QString("cancel")
                              : answers_.takeFirst();
        if (box) {
            for (QAbstractButton* button : box->buttons())
                if (button->text() == a || box->buttons().size() == 1)
                    return button->click();
        } else if (auto* progress = qobject_cast<QProgressDialog*>(w)) {
            if (a == "close")
                form_->close();
            else
                progress->findChild<QPushButton*>()->click();
        } else if (a == "about") { // the window takes no input, but follows a track's end
            QTest::keyClick(form_.get(), Qt::Key_P, Qt::ControlModifier);
            script_->engine->finishTrack();
            script_->settle();
            w->findChild<QAbstractButton*>("Command1")->click();
        } else if (a.startsWith("do ")) { // steps while the window is open, then it closes
            for (const QString& step : a.mid(3).split(", "))
                if (!QTest::currentTestFailed())
                    run(step);
            w->close();
        } else if (a == "cancel") {
            static_cast<QDialog*>(w)->reject();
        } else if (auto* input = qobject_cast<QInputDialog*>(w)) {
            input->setTextValue(a);
            input->accept();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
            // As a person would: the full path typed into the name box, then Open.
            dialog->findChild<QLineEdit*>("fileNameEdit")->setText(a);
            static_cast<QDialog*>(dialog)->accept(); // protected in QFileDialog
        }
    }

    QStringList boxes() {
        // A box the player asked for opens without waiting: let the watcher answer it first.
        for (int i = 0; i < 600 && QApplication::activeModalWidget(); ++i)
            QTest::qWait(5);
        QStringList out;
        for (const auto& s : std::exchange(watcher_->seen, {}))
            out << s.title + "|" + s.text;
        return out;
    }

    static void reads(QWidget* w, QPalette::ColorRole fg, QPalette::ColorRole bg, double at) {
        for (auto group : {QPalette::Active, QPalette::Inactive}) {
            const QPalette& p = w->palette();
            QVERIFY2(contrastRatio(p.color(group, fg), p.color(group, bg)) >= at,
                     qPrintable(w->objectName()));
        }
    }

    void fits(QWidget* shown) {
        for (QWidget* w : shown->findChildren<QWidget*>()) {
            if (w->visibleRegion().isEmpty() || w->objectName() == "Check3")
                continue; // clipped away or covered: never seen
            QStyleOptionButton o;
            o.initFrom(w);
            QRect area;
            QString text;
            if (auto* b = qobject_cast<QAbstractButton*>(w)) {
                text = b->text().remove('&');
                area = w->style()->subElementRect(qobject_cast<QRadioButton*>(w)
                                                      ? QStyle::SE_RadioButtonContents
                                                      : QStyle::SE_PushButtonContents,
                                                  &o, w);
            } else if (auto* l = qobject_cast<QLabel*>(w)) {
                text = l->text();
                area = l->contentsRect();
            } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
                text = g->title();
                area = g->rect().adjusted(8, 0, -8, 0); // the title sits inside the frame line
            }
            if (text.isEmpty())
                continue;
            const QRect needed = w->fontMetrics().boundingRect(
                area, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
            QVERIFY2(area.contains(needed) ||
                         (needed.width() <= area.width() && qobject_cast<QAbstractButton*>(w)),
                     qPrintable(w->objectName() + ": " + text));
        }
    }

    void run(const QString& step) {
        const QString verb = step.section(' ', 0, 0);
        const QString arg = script_->expand(step.section(' ', 1));
        const QStringList args = arg.split(' ', Qt::SkipEmptyParts);
        const QString key = arg.section('=', 0, 0), value = arg.section('=', 1);
        const QString obj = key.section('.', 0, 0), prop = key.section('.', 1);
        if (verb == "select") {
            list()->selectionModel()->setCurrentIndex(script_->player.list()->index(arg.toInt()),
                                                      QItemSelectionModel::ClearAndSelect);
        } else if (verb == "click") {
            get<QAbstractButton>(arg)->click();
        } else if (verb == "call") {
            form_->CmdPause_Click();
        } else if (verb == "menu") {
            get<QAction>(arg)->trigger();
        } else if (verb == "key") {
            const QKeyCombination k = QKeySequence(arg)[0];
            if (form_->isVisible()) // a box that just closed may have left it inactive
                QApplication::setActiveWindow(form_.get());
            QWidget* to = QApplication::focusWidget() ? QApplication::focusWidget() : form_.get();
            QTest::keyClick(to, k.key(), k.keyboardModifiers());
        } else if (verb == "focus") {
            get<QWidget>(arg)->setFocus();
        } else if (verb == "show") {
            form_->show();
            QApplication::setActiveWindow(form_.get());
            QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        } else if (verb == "move") {
            get<QSlider>(key)->setSliderPosition(value.toInt());
        } else if (verb == "set") {
            QVERIFY(object(obj)->setProperty(qPrintable(prop), value));
        } else if (verb == "release") {
            const auto b = arg.endsWith("left") ? Qt::LeftButton : Qt::RightButton;
            QTest::mouseRelease(get<QWidget>(args[0]), b, {}, QPoint(1, 1));
        } else if (verb == "readable") { // 4.5 : 1 everywhere, the volume's red 3 : 1
            for (QWidget* w : form_->centralWidget()->findChildren<QWidget*>()) {
                if (w->objectName() == "Check3")
                    continue; // covered: never seen
                reads(w, w->foregroundRole(), w->backgroundRole(),
                      w->objectName() == "Label2" ? 3 : 4.5);
                if (w->backgroundRole() == QPalette::Base) // selected rows and text
                    reads(w, QPalette::HighlightedText, QPalette::Highlight, 4.5);
            }
            const QPalette pause = get<QWidget>("CmdPause")->palette(); // disabled looks so
            QVERIFY(pause.color(QPalette::Disabled, QPalette::ButtonText) !=
                    pause.color(QPalette::Active, QPalette::ButtonText));
        } else if (verb == "keep") { // as a start with --remember; "keep long|says=TEXT": says TEXT
            QString d = tmp_ + "/data"; // "long": named too long to set anything aside in
            d += QString("/.").repeated(key == "long" ? (4090 - 17 - d.size()) / 2 : 0);
            keeper_ = new SessionKeeper(&script_->player, form_.get(), d, tmp_ + "/config/mt.conf");
            QVERIFY(keeper_->claim());
            QFile said(tmp_ + "/said"); // stderr, as the kept ones are read
            const int err = ::dup(2);
            QVERIFY(said.open(QIODevice::ReadWrite) && ::dup2(said.handle(), 2) == 2);
            keeper_->restore();
            script_->settle(); // a kept song that does not start is said too
            ::dup2(err, 2), ::close(err), said.seek(0);
            QVERIFY2(said.readAll().contains(value.toUtf8()) && said.remove(), qPrintable(value));
        } else if (verb == "second") { // a later window runs without keeping anything
            Player player(new FakeEngine);
            Form1 second(&player);
            QVERIFY(!(new SessionKeeper(&player, &second, tmp_ + "/data", tmp_ + "/config/mt.conf"))
                         ->claim());
        } else if (verb == "save") { // as at exit
            keeper_->saveNow();
        } else if (verb == "restart") {
            delete std::exchange(mpris_, nullptr);
            start();
        } else if (verb == "exists") {
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(arg), 3000);
        } else if (verb == "mixer") {
            QList<QStringList> programs;
            for (const QString& a : args)
                programs << QStringList{a};
            form_->setMixerCandidates(programs);
        } else if (verb == "lists") {
            form_->setListFolders(tmp_, tmp_ + "/fallback");
        } else if (verb == "cd") {
            QVERIFY(QDir::setCurrent(arg));
        } else if (verb == "answer") {
            answers_ << arg;
        } else if (verb == "drop") {
            QMimeData data;
            data.setUrls(QUrl::fromStringList(args));
            QDragEnterEvent enter({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(list()->viewport(), &enter);
            QDropEvent drop({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(list()->viewport(), &drop);
        } else if (verb == "mpris" && args[0] == "SetPosition") {
            const auto track = mpris_->metadata().value("mpris:trackid").value<QDBusObjectPath>();
            mpris_->SetPosition(args[1] == "current" ? track : QDBusObjectPath(args[1]),
                                args[2].toLongLong());
        } else if (verb == "mpris") {
            QVERIFY(QMetaObject::invokeMethod(mpris_, qPrintable(arg)));
        } else if (verb == "boxes") {
            QCOMPARE(boxes().join(';'), arg);
        } else if (verb == "is") {
            QTRY_COMPARE_WITH_TIMEOUT(object(obj)->property(qPrintable(prop)).toString(), value,
                                      1000);
        } else if (verb == "wait") { // MS of time pass, the timer firing when it is due
            auto* timer = get<QTimer>("Timer1");
            FakeEngine* engine = script_->engine;
            qint64 due = timer->isActive() ? now_ + timer->interval() : -1;
            for (int ms = 0, stale = 0; ms < arg.toInt() && !QTest::currentTestFailed(); ++ms) {
                if (engine->state() == MediaEngine::PlayState::Playing)
                    engine->pos += 0.001;
                if (++now_ >= due && due >= 0) {
                    ++refreshes_;
                    form_->Timer1_Timer();
                    due = timer->isActive() ? now_ + timer->interval() : -1;
                }
                // The time text never lags the rounded position by more than 30 ms.
                const QString text = timeText(roundHalfEvenSaturated(engine->pos));
                stale = get<QLineEdit>("TxtTime")->text() == text ? 0 : stale + 1;
                QVERIFY2(stale <= 30, qPrintable(text));
            }
        } else if (verb == "refreshes") { // fewer than N timer refreshes since the start
            QVERIFY2(refreshes_ < arg.toInt(), qPrintable(QString::number(refreshes_)));
        } else if (verb == "fits") { // every caption of the open window fits its text area
            fits(QApplication::activeModalWidget() ? QApplication::activeModalWidget()
                                                   : form_.get());
        } else if (verb == "bold") { // the rows drawn in bold
            QStringList rows;
            for (int r = 0; r < list()->model()->rowCount(); ++r) {
                QStyleOptionViewItem o;
                static_cast<PlayingRowDelegate*>(list()->itemDelegate())
                    ->initStyleOption(&o, list()->model()->index(r, 0));
                rows << (o.font.bold() ? QString::number(r) : QString());
            }
            QCOMPARE(rows.join(QString()), arg);
        } else if (verb == "selected") {
            const auto rows = list()->selectionModel()->selectedRows();
            QCOMPARE(rows.isEmpty() ? -1 : rows.first().row(), arg.toInt());
        } else if (verb == "bytes") {
            QFile f(key);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(QString::fromUtf8(f.readAll()), value);
        } else if (verb == "tip") { // the pointer rests on row KEY; its tags come soon
            const QRect row = list()->visualRect(list()->model()->index(key.toInt(), 0));
            QCursor::setPos(list()->viewport()->mapToGlobal(row.center()));
            QHelpEvent help(QEvent::ToolTip, row.center(), QCursor::pos());
            QApplication::sendEvent(list()->viewport(), &help);
            QTRY_COMPARE_WITH_TIMEOUT(QToolTip::text(), value, 1000);
        } else if (verb == "meta") { // tags are read on another thread: they come soon
            const auto v = [&] { return mpris_->metadata().value(key); };
            QTRY_COMPARE_WITH_TIMEOUT(
                v().canConvert<QString>() ? v().toString() : v().value<QDBusObjectPath>().path(),
                value, 1000);
        } else {
            if (verb == "biglist") // its load shows progress
                form_->setProgressDelay(0);
            script_->run(verb, arg);
        }
        if (!QTest::currentTestFailed())
            script_->settle();
    }

private slots:
    void scenario_data();
    void scenario() {
        QFETCH(QStringList, steps);
        QTemporaryDir tmp;
        tmp_ = tmp.path();
        const QString startFolder = QDir::currentPath();
        const QPalette saved = QApplication::palette();
        if (steps.first().startsWith("palette ")) { // the desktop's colours: WINDOW TEXT
            const QStringList colours = steps.takeFirst().split(' ');
            QPalette desktop{QColor(colours[1])}; // buttons get black or white text
            desktop.setColor(QPalette::WindowText, QColor(colours[2]));
            desktop.setColor(QPalette::Text, QColor(colours[2]));
            QApplication::setPalette(desktop);
        }
        // The engine's level as the window opens.
        start(steps.first().startsWith("startvol ") ? steps.takeFirst().section(' ', 1).toInt()
                                                    : 0);
        now_ = refreshes_ = 0;
        QObject holder;
        mpris_ = new MprisPlayerAdaptor(&holder, &script_->player);
        answers_.clear();
        ModalWatcher watcher([this](QWidget* w) { answer(w); });
        watcher_ = &watcher;
        for (const QString& step : std::as_const(steps)) {
            run(step);
            if (QTest::currentTestFailed()) {
                qWarning("at step: %s", qPrintable(step));
                break;
            }
        }
        QDir::setCurrent(startFolder);
        const QStringList unchecked = boxes();
        form_.reset();
        script_.reset();
        QApplication::setPalette(saved);
        QVERIFY2(unchecked.isEmpty(), qPrintable(unchecked.join(';')));
    }
};

void TstForm1::scenario_data() {
    QTest::addColumn<QStringList>("steps");
    const auto row = [](const char* name, const QString& steps) {
        QTest::newRow(name) << steps.split("; ");
    };
    // Playing. Nothing reaches the engine at start; the volume shows the engine's level.
    row("start-up", "startvol -1300; is CmdPause.enabled=false; is Slider3.value=1200; "
                    "is Label2.text=48 %; move Slider3=1199; calls volume:-1301");
    row("play: the file and its length; nothing selected or a refused start: a box, no Pause",
        "length 187.5; add /m/a.mp3 /m/b.mp3; click CmdPlay; boxes Error|No file to play; "
        "is CmdPause.enabled=false; select 1; click CmdPlay; is Text1.text=/m/b.mp3; "
        "is Slider1.maximum=188; is CmdPause.enabled=true; length none; select 0; "
        "click CmdPlay; is Slider1.maximum=188; fail play; click CmdPlay; "
        "is CmdPause.enabled=false; boxes Marrowtune|Cannot play /m/a.mp3: it is refused");
    row("pause, resume, stop: the caption as the user left it",
        "add /m/a.mp3; select 0; click CmdPlay; click CmdPause; is CmdPause.text=Resume; "
        "click CmdPause; is CmdPause.text=Pause; click CmdPause; set Slider1.value=3; "
        "click CmdStop; calls file:/m/a.mp3 play pause play pause stop; is Slider1.value=0; "
        "is Text1.text=; is CmdPause.enabled=false; is CmdPause.text=Resume; call; select 0; "
        "click CmdPlay; is CmdPause.text=Resume; calls file:/m/a.mp3 play");
    // With the clock in hand: the timer fires only when the time text can change, and
    // nothing wakes while nothing plays.
    row("the time follows the engine",
        "random 0; length 60; add /m/a.mp3 /m/b.mp3; select 0; click OptRes; wait 20; "
        "is Timer1.active=false; click CmdPlay; wait 2300; move Slider1=30; wait 1200; "
        "mpris SetPosition current 5000000; wait 700; set TxtTime.cursorPosition=1; "
        "answer do call, wait 700, is Timer1.active=false, is TxtTime.cursorPosition=1, call, "
        "wait 800; menu mnuAbout; boxes about this prog|; end; wait 1600; "
        "is Timer1.active=true; click OptRND; end; wait 600; is Timer1.active=true; "
        "click OptNON; end; wait 600; is Timer1.active=false; click CmdStop; wait 20; "
        "is Timer1.active=false; is TxtTime.text=0:0; refreshes 25; "
        "calls file:/m/a.mp3 play seek:30 seek:5 pause play file:/m/b.mp3 play file:/m/a.mp3 "
        "play stop stop");
    // The end of a track, as the window shows it; what the player does is its own table.
    row("end: the next entry shown, selected, its length; a joined one a new song",
        "length 42; add /m/a.mp3 /m/b.mp3 /m/c.mp3; select 0; click OptRes; end; selected 1; "
        "is Text1.text=/m/b.mp3; is Slider1.maximum=42; is CmdPause.enabled=true; "
        "meta mpris:trackid=/marrowtune/track/1; soon; end; selected 2; is Text1.text=/m/c.mp3; "
        "meta mpris:trackid=/marrowtune/track/2; mpris SetPosition /marrowtune/track/1 3000000; "
        "select 0; bold 2; calls file:/m/b.mp3 play queue:/m/c.mp3");
    row("end followed while a box is open",
        "show; add /m/a.mp3 /m/b.mp3; select 0; click OptRes; answer about; menu mnuAbout; "
        "answer about; menu mnuAbout; boxes about this prog|;about this prog|; "
        "calls file:/m/b.mp3 play stop");
    // Levels.
    row("balance and its word; Err when refused",
        "move Slider2=-501; is Slider2.toolTip=Balance: Left; move Slider2=-500; "
        "is Slider2.toolTip=Balance: Left; calls balance:-501 balance:-500; fail balance; "
        "move Slider2=3000; boxes Marrowtune|Err; is Slider2.value=3000");
    row("mixer: the first that exists, else says so",
        "mixer /nonexistent/mixer true; click Cmdvol; mixer /nonexistent/mixer no-such-mixer; "
        "click Cmdvol; boxes Error|No volume mixer program was found.");
    // The list.
    row("add a file; a cancelled add changes nothing",
        "menu mnuaddfile; boxes Load your MP3.|; entries; file $T/new.mp3=; add /m/a.mp3; "
        "select 0; answer $T/new.mp3; menu mnuaddfile2; boxes Load your MP3.|; "
        "entries /m/a.mp3 $T/new.mp3; is Text1.text=$T/new.mp3; selected 0");
    row("remove and remove all",
        "add /m/a.mp3 /m/b.mp3 /m/c.mp3; click CmdRem; boxes Error|No file selected; select 1; "
        "click CmdRem; entries /m/a.mp3 /m/c.mp3; is Text1.text=; selected -1; select 0; "
        "click CmdClear; entries; set Text1.text=typed; menu mnuRemall; is Text1.text=; calls");
    row("arrow keys select, Return plays, Delete removes",
        "show; add /m/a.mp3 /m/b.mp3; focus List1; key Down; key Down; selected 1; "
        "is Text1.text=/m/b.mp3; key Up; is Text1.text=/m/a.mp3; key Return; "
        "calls file:/m/a.mp3 play; key Delete; entries /m/b.mp3");
    const QString saved = "bytes $T/mylist.mlt.mlt=/m/a.mp3\r\n\r\n\"/m/a,b.mp3\"\r\n; ";
    const QString replace = "ListName|;ListName|A list named mylist.mlt.mlt already exists. ";
    row("save: the name plus .mlt, replaced when asked; cancelled writes nothing; failures say why",
        "lists; add /m/a.mp3 - /m/a,b.mp3; click CmdSaveList; answer mylist.mlt; "
        "click CmdSaveList; " +
            saved +
            "click CmdClear; answer mylist.mlt; answer Cancel; "
            "menu mnuSavelist; " +
            saved +
            "answer mylist.mlt; answer Replace; menu mnuSavelist; "
            "bytes $T/mylist.mlt.mlt=; answer ../x; click CmdSaveList; file $T/d.mlt/x=; answer d; "
            "answer Replace; click CmdSaveList; boxes ListName|;ListName|;Marrowtune|Lists are "
            "saved "
            "in \"$T\".;" +
            replace + "Replace it?;" + replace +
            "Replace it?;ListName|;Error|The list "
            "was not saved: a list name cannot hold \"/\" nor be \"..\".;ListName|;ListName|A list "
            "named d.mlt already exists. Replace it?;Error|The list could not be saved to "
            "\"$T/d.mlt\": Filename refers to a directory");
    row("load: asks for the file; a missing one is not found",
        "lists; file $T/l.mlt=/m/x.mp3\r\n; add /m/a.mp3; answer $T/l.mlt; click CmdLoadList; "
        "answer $T/gone.mlt; menu mnuLoadList; loaded; "
        "boxes Load your list.|;Load your list.|;Error|File Not Found; entries /m/a.mp3 /m/x.mp3");
    // A long load stops at once, on Cancel or when the window closes, and keeps what it added.
    row("load: a long one stops",
        "show; biglist 2000000; answer $T/big.mlt; answer cancel; click CmdLoadList; loaded; "
        "boxes Load your list.|;Marrowtune|; stoppedbefore 2000000; click CmdClear; "
        "answer $T/big.mlt; answer close; click CmdLoadList; loaded; "
        "boxes Load your list.|;Marrowtune|; stoppedbefore 2000000; is Form1.visible=false");
    row("import a folder from the menu",
        "file $T/b.MP3=; file $T/a.mp3=; file $T/c.wav=; cd $T; add /m/first.mp3; answer do click "
        "CmdOk; menu mnuAdddir2; boxes Form3|; entries /m/first.mp3 $T/a.mp3 $T/b.MP3; "
        "selected -1");
    row("drop files and folders on the list; web addresses are not taken",
        "file $T/song.ogg=; file $T/album/b.mp3=; file $T/album/a.MP3=; file $T/album/c.txt=; "
        "add /m/first.mp3; select 0; "
        "drop file://$T/song.ogg https://example.org/x.mp3 file://$T/album file://$T/gone.mp3; "
        "loaded; entries /m/first.mp3 $T/song.ogg $T/album/a.MP3 $T/album/b.mp3; selected 0; "
        "is Text1.text=/m/first.mp3");
    row("opened from outside: what cannot be read is named in one box",
        "file $T/empty/c.txt=; open $T/gone.mp3 $T/empty $T/gone.mlt; loaded; "
        "boxes Error|These do not exist or cannot be read:\n$T/gone.mp3\n$T/gone.mlt;"
        "Error|No files were found in specific folder");
    // Every caption a person sees fits its control's text area, word-wrapped lines included.
    row("captions fit",
        "show; add /home/someone/Music/An_Artist_With_A_Long_Name/An_Album/07_-_A_Song.mp3; "
        "fits; is List1.textElideMode=ElideMiddle; answer do fits; menu mnuAbout; "
        "answer do fits; menu mnuAdddir2; boxes about this prog|;Form3|");
    // Every text reads on light, dark and mid-grey desktops; the window's own texts on the
    // menu colour are white where white reads, else the desktop's text colour.
    const QString readable = "add /m/a.mp3; select 0; move Slider3=0; readable; "
                             "move Slider3=1250; readable; move Slider3=2500; readable; show";
    row("dark desktop", "palette #2a2a2a #dddddd; " + readable);
    row("mid-grey desktop, its text fails", "palette #808080 #606060; " + readable);
    // A window started with --remember gets its list and settings back at the next such
    // start; a plain start, and whatever was damaged, starts as the first time.
    const QString session = "keep; second; add /m/a.mp3 /m/b.mp3; exists $T/data/last session.mlt; "
                            "click OptRes; move Slider3=1000; move Slider2=-800; click CmdMute; "
                            "click CmdOnTop; ";
    row("kept between runs",
        session +
            "select 1; click CmdPlay; wait 6200; save; restart; length 60; keep; entries /m/a.mp3 "
            "/m/b.mp3; selected 1; calls volume:-1500 balance:-800 mute:1 file:/m/b.mp3 play "
            "pause seek:6.2; is OptRes.checked=true; is Check3.checked=true; "
            "is CmdPause.text=Resume; is TxtTime.text=0:6; is Slider1.value=6; save; restart; "
            "fail play; keep says=the song that was playing, does not play (it is refused)");
    const QString damaged = "$T/data/last session.mlt=/m/a.mp3\r\n" + QString(QChar(0));
    row("kept: a damaged list is set aside",
        session + "select 1; click CmdPlay; save; file " + damaged +
            "; restart; keep says=set aside as; entries; calls volume:-1500 balance:-800 mute:1");
    row("kept: one that cannot be set aside is left alone",
        "file " + damaged + "; keep long=nor set aside; add /m/b; save; bytes " + damaged);
    row("kept: a list that cannot be opened (a FIFO) is left alone, not waited on",
        "file $T/data/x=; fifo $T/data/last session.mlt; keep says=cannot be opened; add /m/a; "
        "save; restart; keep; entries");
    // Keys, menus and the window.
    row("access keys click at once; keys and other buttons on aDD open nothing",
        "show; add /m/a.mp3 /m/b.mp3; select 1; key Alt+P; calls file:/m/b.mp3 play; key Alt+M; "
        "calls mute:1; key Alt+R; entries /m/a.mp3; key Alt+L; entries; key Alt+A; focus CmdAdd; "
        "key Space; key Return; release CmdAdd right; "
        "is addmenu.visible=false; release CmdAdd left; "
        "is addmenu.visible=true; set addmenu.visible=false");
    row("menu shortcuts, even from the text box",
        "show; add /m/a.mp3 /m/b.mp3; select 1; focus Text1; key Ctrl+P; calls file:/m/b.mp3 play; "
        "key Ctrl+R; entries /m/a.mp3; key Ctrl+T; boxes ListName|; key Ctrl+K; "
        "is mnuOnTop.checked=true; key Ctrl+X; is Form1.visible=false");
    // The desktop's media controls ask the player; the window shows what they did.
    row("media controls",
        "length 187.5; add /m/a.mp3 /m/b.mp3; is mpris.CanPlay=true; mpris Pause; calls; "
        "mpris PlayPause; selected 0; "
        "meta mpris:length=187500000; mpris SetPosition /old/track 3000000; "
        "mpris SetPosition current 3000000; "
        "calls file:/m/a.mp3 play seek:3; mpris PlayPause; is CmdPause.text=Resume; "
        "mpris Stop; mpris Play; mpris Pause; is mpris.PlaybackStatus=Paused; mpris Play; "
        "is CmdPause.text=Pause; calls pause stop file:/m/a.mp3 play pause play; "
        "mpris Next; selected 1; set mpris.Volume=0.5; is Label2.text=50 %; calls "
        "file:/m/b.mp3 play volume:-1250");
    // Each encoding, version 2 over version 1, the first of two values, else the file name, in
    // the media controls and the list's tooltip; a FIFO holds up none after it.
    row("media controls: the song's tags",
        "fifo $T/fifo.mp3; add $F/tags_v23_utf16.mp3 $T/fifo.mp3 $F/tags_v24_utf8.mp3 "
        "$F/tags_v1_latin1.mp3 $F/short_0_3s.mp3; tip 0=Anna Ødegård – Żółw – 東京; "
        "select 0; mpris Play; meta xesam:title=Żółw – 東京; meta xesam:artist=Anna Ødegård; "
        "meta xesam:trackNumber=3; tip 1=$T/fifo.mp3; mpris Next; meta xesam:title=fifo; "
        "mpris Next; meta xesam:title=Ελληνικά; mpris Next; meta xesam:title=Grüße aus Köln; "
        "mpris Next; meta xesam:title=short_0_3s");
}

QTEST_MAIN(TstForm1)
#include "tst_form1.moc"
