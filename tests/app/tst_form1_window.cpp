#include "form1_fixture.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

// The main window as it opens: its controls, their places, order and names, the menus, and
// the keys that reach them.
class TstForm1Window : public QObject {
    Q_OBJECT
private slots:
    void startUpState() {
        Form1Fixture f;
        QCOMPARE(f.form->windowTitle(), QStringLiteral("Marrowtune"));
        QCOMPARE(f.form->centralWidget()->size(), QSize(400, 184));
        QVERIFY(f.get<QRadioButton>("OptNON")->isChecked());
        QVERIFY(!f.get<QRadioButton>("OptRes")->isChecked());
        QVERIFY(!f.get<QRadioButton>("OptRND")->isChecked());
        QVERIFY(!f.button("CmdPause")->isEnabled());
        QCOMPARE(f.button("CmdPause")->text(), QStringLiteral("Pause"));
        QCOMPARE(f.Text1()->text(), QStringLiteral("   song file will show in here when playing....."));
        QCOMPARE(f.TxtTime()->text(), QString());
        QCOMPARE(f.list()->count(), 0);
        QCOMPARE(f.get<QLabel>("Label2")->text(), QStringLiteral("0%"));
        QCOMPARE(f.slider("Slider1")->value(), 0);
        QCOMPARE(f.slider("Slider1")->maximum(), 10);
        QCOMPARE(f.slider("Slider2")->value(), 0);
        QCOMPARE(f.slider("Slider3")->value(), 0);
        QVERIFY(!f.get<QCheckBox>("Check3")->isChecked());
        QVERIFY(f.engine->calls.isEmpty()); // nothing is sent to the engine at start-up
        QVERIFY(!f.form->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!f.form->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QCOMPARE(f.form->minimumSize(), f.form->maximumSize());
    }

    void volumeSliderStartsFromEngine_data() {
        QTest::addColumn<int>("engineVolume");
        QTest::addColumn<int>("slider");
        QTest::newRow("full") << 0 << 0;
        QTest::newRow("inside") << 1200 << 1200;
        QTest::newRow("below") << -2500 << 0;
        QTest::newRow("above") << 99999 << 2500;
    }
    void volumeSliderStartsFromEngine() {
        QFETCH(int, engineVolume);
        QFETCH(int, slider);
        auto* engine = new FakeEngine;
        engine->vol = engineVolume;
        Form1 form(engine);
        QCOMPARE(form.findChild<QSlider*>("Slider3")->value(), slider);
    }

    void geometry_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("twips");
        const struct {
            const char* name;
            int l, t, w, h;
        } rows[] = {
            {"CmdPlay", 0, 0, 855, 195},       {"CmdStop", 960, 0, 855, 195},
            {"CmdPause", 1920, 0, 855, 195},   {"Cmdvol", 2880, 0, 855, 195},
            {"Command1", 3840, 0, 855, 195},   {"CmdOnTop", 4800, 0, 1215, 195},
            {"Check3", 4800, 0, 615, 195},     {"Frame1", 0, 240, 1755, 915},
            {"Label", 240, 240, 615, 195},     {"Label2", 1080, 240, 435, 195},
            {"Slider3", 120, 480, 1515, 315},  {"Slider2", 60, 1440, 1515, 315},
            {"CmdMute", 2520, 1320, 675, 255}, {"Text1", 1800, 240, 4155, 285},
            {"TxtTime", 1920, 720, 555, 315},  {"Slider1", 2520, 720, 3495, 315},
            {"Frame2", 0, 1200, 4035, 615},    {"CmdAdd", 120, 240, 795, 255},
            {"CmdRem", 840, 240, 795, 255},    {"CmdClear", 1560, 240, 795, 255},
            {"CmdLoadList", 2280, 240, 915, 255}, {"CmdSaveList", 3120, 240, 795, 255},
            {"OptRND", 4200, 1320, 975, 195},  {"OptRes", 5160, 1320, 855, 195},
            {"OptNON", 4800, 1560, 675, 255},  {"List1", 0, 1920, 6015, 840},
        };
        for (const auto& r : rows)
            QTest::newRow(r.name) << QString::fromLatin1(r.name) << QRect(r.l, r.t, r.w, r.h);
    }
    void geometry() {
        QFETCH(QString, name);
        QFETCH(QRect, twips);
        Form1Fixture f;
        auto* w = f.form->findChild<QWidget*>(name);
        QVERIFY(w);
        QCOMPARE(w->geometry(),
                 QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
    }

    void tabOrderAndStacking() {
        Form1Fixture f;
        f.showActive();
        QVERIFY(f.List1()->hasFocus());
        const QStringList expected = {
            "List1",  "CmdPlay",  "CmdStop",     "Cmdvol",      "CmdPause", "Text1",
            "Command1", "Slider1", "TxtTime",    "Slider3",     "Slider2",  "CmdMute",
            "CmdClear", "CmdRem",  "CmdAdd",     "CmdLoadList", "CmdSaveList", "Check3",
            "CmdOnTop", "OptRND",  "OptRes",     "OptNON"};
        QStringList order;
        QWidget* w = f.List1();
        do {
            if (w->focusPolicy() & Qt::TabFocus)
                order << w->objectName();
            w = w->nextInFocusChain();
        } while (w != f.List1() && order.size() < 60);
        order.removeAll(QString()); // anonymous helpers inside composite widgets
        QCOMPARE(order.mid(0, expected.size()), expected);

        QWidget* client = f.form->centralWidget();
        // Check3 is hidden behind the keep-on-top button; OptRND lies behind OptRes.
        QCOMPARE(client->childAt(f.get<QWidget>("Check3")->geometry().center()),
                 f.button("CmdOnTop"));
        QCOMPARE(client->childAt(QPoint(f.get<QWidget>("OptRes")->x(), 90)),
                 f.get<QWidget>("OptRes"));
        // Balance and mute lie outside their frame: never seen, still reachable.
        QVERIFY(f.slider("Slider2")->visibleRegion().isEmpty());
        QVERIFY(f.button("CmdMute")->visibleRegion().isEmpty());
        QVERIFY(!f.slider("Slider3")->visibleRegion().isEmpty());
    }

    void accessibleNames() {
        Form1Fixture f;
        const QList<QPair<const char*, const char*>> names = {
            {"CmdPlay", "play"},          {"CmdClear", "rem. aLL"},     {"CmdMute", "mute"},
            {"Text1", "current file"},    {"TxtTime", "elapsed time"},  {"Slider1", "position"},
            {"Slider3", "volume"},        {"Slider2", "balance"},       {"List1", "play list"},
            {"Check3", "Keep On Top"},    {"Frame1", "main v0lume"},    {"OptNON", "n()ne"}};
        for (const auto& [name, spoken] : names)
            QCOMPARE(f.get<QWidget>(name)->accessibleName(), QString::fromLatin1(spoken));
        for (QWidget* w : f.form->findChildren<QWidget*>())
            if (w->focusPolicy() & Qt::TabFocus && !w->objectName().isEmpty())
                QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
    }

    void menus() {
        Form1Fixture f;
        QStringList titles;
        for (QAction* a : f.form->menuBar()->actions())
            titles << a->text();
        QCOMPARE(titles, QStringList({"File", "Marrowtune"}));
        const QList<QPair<const char*, const char*>> file = {{"About", "Ctrl+A"},
                                                            {"Exit", "Ctrl+X"}};
        const QList<QPair<const char*, const char*>> main = {
            {"Play", "Ctrl+P"},       {"Stop", "Ctrl+S"},        {"Add File", "Ctrl+F"},
            {"Add Dir", "Ctrl+D"},    {"Remove", "Ctrl+R"},      {"Remove All", "Ctrl+L"},
            {"Mute", "Ctrl+M"},       {"Volume", "Ctrl+V"},      {"Minimize", "Ctrl+Z"},
            {"Keep on Top", "Ctrl+K"}, {"Load List", "Ctrl+O"},  {"Save List", "Ctrl+T"}};
        auto itemsOf = [](QAction* menu) {
            QList<QPair<QString, QString>> items;
            for (QAction* a : menu->menu()->actions())
                items << qMakePair(a->text(), a->shortcut().toString());
            return items;
        };
        auto expect = [](const QList<QPair<const char*, const char*>>& rows) {
            QList<QPair<QString, QString>> items;
            for (const auto& [caption, key] : rows)
                items << qMakePair(QString::fromLatin1(caption), QString::fromLatin1(key));
            return items;
        };
        QCOMPARE(itemsOf(f.form->menuBar()->actions().at(0)), expect(file));
        QCOMPARE(itemsOf(f.form->menuBar()->actions().at(1)), expect(main));
        auto* addmenu = f.form->findChild<QMenu*>("addmenu");
        QVERIFY(addmenu);
        QCOMPARE(addmenu->title(), QStringLiteral("Addmenu"));
        QCOMPARE(addmenu->actions().size(), 2);
        QCOMPARE(addmenu->actions().at(0)->text(), QStringLiteral("File"));
        QCOMPARE(addmenu->actions().at(1)->text(), QStringLiteral("Directory"));
    }

    // The add button's menu opens where its mouse button is released, shifted by a fixed
    // offset from the client area's corner; other buttons and keys open nothing.
    void addPopup_data() {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<QPoint>("expected");
        // (QTest takes a null point for the widget's centre, so the corner row starts at 1, 1.)
        QTest::newRow("left near corner") << Qt::LeftButton << QPoint(1, 1) << QPoint(268, 134);
        QTest::newRow("left 300 twips right")
            << Qt::LeftButton << QPoint(20, 0) << QPoint(287, 133);
        QTest::newRow("left lower") << Qt::LeftButton << QPoint(4, 10) << QPoint(271, 143);
        QTest::newRow("right") << Qt::RightButton << QPoint(1, 1) << QPoint();
        QTest::newRow("middle") << Qt::MiddleButton << QPoint(1, 1) << QPoint();
    }
    void addPopup() {
        QFETCH(Qt::MouseButton, button);
        QFETCH(QPoint, at);
        QFETCH(QPoint, expected);
        Form1Fixture f;
        f.showActive();
        auto* addmenu = f.form->findChild<QMenu*>("addmenu");
        QTest::mouseRelease(f.button("CmdAdd"), button, {}, at);
        if (expected.isNull()) {
            QVERIFY(!addmenu->isVisible());
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(addmenu->isVisible(), 2000);
        QCOMPARE(addmenu->pos(), f.form->centralWidget()->mapToGlobal(expected));
        addmenu->hide();
    }

    void keysOnAddButtonOpenNothing() {
        Form1Fixture f;
        f.showActive();
        auto* addmenu = f.form->findChild<QMenu*>("addmenu");
        QTest::keyClick(f.form.get(), Qt::Key_A, Qt::AltModifier);
        f.button("CmdAdd")->setFocus();
        QTest::keyClick(f.button("CmdAdd"), Qt::Key_Space);
        QTest::keyClick(f.button("CmdAdd"), Qt::Key_Return);
        QTest::qWait(50);
        QVERIFY(!addmenu->isVisible());
        QVERIFY(!QApplication::activeModalWidget());
    }

    // Access keys and Ctrl shortcuts reach their handlers, also from the text box, whose own
    // editing keys (Ctrl+A, Ctrl+X, Ctrl+V, Ctrl+Z) must not swallow the menu's.
    void accessKeysAndShortcuts() {
        Form1Fixture f;
        f.showActive();
        f.add({"/m/a.mp3", "/m/b.mp3"});
        f.select(1);
        // An access key presses its button with a short animation before the click.
        QTest::keyClick(f.form.get(), Qt::Key_P, Qt::AltModifier);
        QTRY_COMPARE_WITH_TIMEOUT(f.engine->calls, QStringList({"file:/m/b.mp3", "play"}), 2000);
        QTest::keyClick(f.form.get(), Qt::Key_M, Qt::AltModifier); // hidden mute button
        QTRY_VERIFY_WITH_TIMEOUT(f.engine->muted, 2000);
        f.Text1()->setFocus();
        QTest::keyClick(f.Text1(), Qt::Key_M, Qt::ControlModifier);
        QVERIFY(!f.engine->muted);
        QTest::keyClick(f.Text1(), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(f.engine->calls.last(), QStringLiteral("stop"));
        QCOMPARE(f.Text1()->text(), QString());
        f.select(0);
        QTest::keyClick(f.form.get(), Qt::Key_R, Qt::AltModifier);
        QTRY_COMPARE_WITH_TIMEOUT(f.list()->entries(), QStringList({"/m/b.mp3"}), 2000);
        QTest::keyClick(f.form.get(), Qt::Key_L, Qt::AltModifier);
        QTRY_COMPARE_WITH_TIMEOUT(f.list()->count(), 0, 2000);
    }
};

QTEST_MAIN(TstForm1Window)
#include "tst_form1_window.moc"
