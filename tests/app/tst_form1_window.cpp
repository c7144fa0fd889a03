#include "app/text_colours.h"
#include "form1_fixture.h"
#include "playback/level_rules.h"

#include <QAccessible>
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
        QCOMPARE(f.Text1()->text(),
                 QStringLiteral("   song file will show in here when playing....."));
        QCOMPARE(f.TxtTime()->text(), QString());
        QCOMPARE(f.list()->count(), 0);
        QCOMPARE(f.get<QLabel>("Label2")->text(), QStringLiteral("100 %"));
        QCOMPARE(f.slider("Slider1")->value(), 0);
        QCOMPARE(f.slider("Slider1")->maximum(), 10);
        QCOMPARE(f.slider("Slider2")->value(), 0);
        QCOMPARE(f.slider("Slider3")->value(), 2500);
        QVERIFY(!f.get<QCheckBox>("Check3")->isChecked());
        QVERIFY(f.engine->calls.isEmpty()); // nothing is sent to the engine at start-up
        QVERIFY(!f.form->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!f.form->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QCOMPARE(f.form->minimumSize(), f.form->maximumSize());
    }

    // The slider and its readout show the engine's level; the first nudge moves it one step.
    void volumeSliderStartsFromEngine() {
        for (const auto& [engineVolume, slider, text] : {std::tuple{-1300, 1200, "48 %"},
                                                         {-2500, 0, "0 %"},
                                                         {99999, 2500, "100 %"},
                                                         {-99999, 0, "0 %"}}) {
            auto* engine = new FakeEngine;
            engine->vol = engineVolume;
            Form1 form(engine);
            QCOMPARE(form.findChild<QSlider*>("Slider3")->value(), slider);
            QCOMPARE(form.findChild<QLabel*>("Label2")->text(), QString::fromLatin1(text));
            QCOMPARE(form.findChild<QLabel*>("Label2")->palette().color(QPalette::WindowText),
                     QColor(volumeLabelRed(slider), 0, 0));
            form.setVolumeLevel(slider > 0 ? slider - 1 : 1);
            QCOMPARE(engine->vol, engineVolumeForSlider(slider > 0 ? slider - 1 : 1));
        }
    }

    void tabOrderAndStacking() {
        Form1Fixture f;
        f.showActive();
        QVERIFY(f.List1()->hasFocus());
        const QStringList expected = {
            "List1",    "CmdPlay", "CmdStop", "Cmdvol",      "CmdPause",    "Text1",
            "Command1", "Slider1", "TxtTime", "Slider3",     "Slider2",     "CmdMute",
            "CmdClear", "CmdRem",  "CmdAdd",  "CmdLoadList", "CmdSaveList", "Check3",
            "CmdOnTop", "OptRND",  "OptRes",  "OptNON"};
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

    // What a screen reader is told: captions without "&" (following the caption as it
    // changes), a plain description for the boxes, sliders and the list, and no blank name.
    void accessibleNames() {
        Form1Fixture f;
        auto spoken = [&](const char* name) {
            return QAccessible::queryAccessibleInterface(f.get<QWidget>(name))
                ->text(QAccessible::Name);
        };
        const QList<QPair<const char*, const char*>> names = {
            {"CmdPlay", "play"},     {"CmdClear", "rem. aLL"},  {"CmdMute", "mute"},
            {"CmdPause", "Pause"},   {"Text1", "current file"}, {"TxtTime", "elapsed time"},
            {"Slider1", "position"}, {"Slider3", "volume"},     {"Slider2", "balance"},
            {"List1", "play list"},  {"Check3", "Keep On Top"}, {"OptNON", "n()ne"}};
        for (const auto& [name, expected] : names)
            QCOMPARE(spoken(name), QString::fromLatin1(expected));
        f.add({"/m/a.mp3"});
        f.select(0);
        f.form->CmdPause_Click();
        QCOMPARE(spoken("CmdPause"), QStringLiteral("Resume"));
        f.moveSlider("Slider3", 1250);
        QCOMPARE(spoken("Label2"), QStringLiteral("50 %"));
        f.form->CmdMute_Click();
        QCOMPARE(f.button("CmdMute")->accessibleDescription(), QStringLiteral("Sound is muted"));
        f.get<QCheckBox>("Check3")->click();
        QVERIFY(f.form->findChild<QAction*>("mnuOnTop")->isChecked());
        for (QWidget* w : f.form->findChildren<QWidget*>())
            if (w->focusPolicy() & Qt::TabFocus && !w->objectName().isEmpty())
                QVERIFY2(
                    !QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name).isEmpty(),
                    qPrintable(w->objectName()));
    }

    // Every text reads at 4.5 : 1 on light, dark and mid-grey desktops (the volume's red at
    // 3 : 1), and a disabled button looks disabled.
    void readableOnEveryPalette_data() {
        QTest::addColumn<QColor>("window");
        QTest::addColumn<QColor>("text");
        QTest::addColumn<QColor>("onMenu"); // what the window's own texts are drawn in
        QTest::newRow("light") << QColor(0xEFEFEF) << QColor(Qt::black) << QColor(Qt::black);
        QTest::newRow("dark, as designed")
            << QColor(0x2A2A2A) << QColor(0xDDDDDD) << QColor(Qt::white);
        QTest::newRow("mid-grey, palette text reads")
            << QColor(0x8A8A8A) << QColor(0x1A1A1A) << QColor(0x1A1A1A);
        QTest::newRow("mid-grey, palette text fails")
            << QColor(0x808080) << QColor(0x606060) << QColor(Qt::black);
    }
    void readableOnEveryPalette() {
        QFETCH(QColor, window);
        QFETCH(QColor, text);
        QFETCH(QColor, onMenu);
        const QPalette saved = QApplication::palette();
        QPalette desktop(window); // buttons get black or white text, whichever reads
        for (auto role : {QPalette::WindowText, QPalette::Text})
            desktop.setColor(role, text);
        QApplication::setPalette(desktop);
        Form1Fixture f;
        f.add({"/m/a.mp3"});
        f.select(0);
        QCOMPARE(f.get<QLabel>("Label")->palette().color(QPalette::WindowText), onMenu);
        auto reads = [](QWidget* w, QPalette::ColorRole fg, QPalette::ColorRole bg, double at) {
            for (auto group : {QPalette::Active, QPalette::Inactive}) {
                const QPalette p = w->palette();
                QVERIFY2(contrastRatio(p.color(group, fg), p.color(group, bg)) >= at,
                         qPrintable(w->objectName()));
            }
        };
        for (QWidget* w : f.form->centralWidget()->findChildren<QWidget*>()) {
            if (qobject_cast<QPushButton*>(w))
                reads(w, QPalette::ButtonText, QPalette::Button, 4.5);
            else if (qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) ||
                     qobject_cast<QGroupBox*>(w))
                reads(w, QPalette::WindowText, QPalette::Window,
                      w->objectName() == "Label2" ? 3 : 4.5);
            else if (qobject_cast<QLineEdit*>(w) || qobject_cast<QListView*>(w)) {
                reads(w, QPalette::Text, QPalette::Base, 4.5);
                reads(w, QPalette::HighlightedText, QPalette::Highlight, 4.5);
            }
        }
        for (int v : {0, 1250, 2500}) {
            f.moveSlider("Slider3", v);
            reads(f.get<QLabel>("Label2"), QPalette::WindowText, QPalette::Window, 3);
        }
        const QPalette pause = f.button("CmdPause")->palette();
        QVERIFY(pause.color(QPalette::Disabled, QPalette::ButtonText) !=
                pause.color(QPalette::Active, QPalette::ButtonText));
        QApplication::setPalette(saved);
    }

    // Items and shortcuts are checked with their routes; here only what the bar shows.
    void menuBar() {
        Form1Fixture f;
        QStringList titles;
        for (QAction* a : f.form->menuBar()->actions())
            titles << a->text();
        QCOMPARE(titles, QStringList({"File", "Marrowtune"}));
        auto* addmenu = f.form->findChild<QMenu*>("addmenu");
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

    // An access key clicks its button at once (no delayed animated press), hidden ones too.
    void accessKeys() {
        Form1Fixture f;
        f.showActive();
        f.add({"/m/a.mp3", "/m/b.mp3"});
        f.select(1);
        QTest::keyClick(f.form.get(), Qt::Key_P, Qt::AltModifier);
        QCOMPARE(f.engine->calls, QStringList({"file:/m/b.mp3", "play"}));
        QTest::keyClick(f.form.get(), Qt::Key_M, Qt::AltModifier);
        QVERIFY(f.engine->muted);
        QTest::keyClick(f.form.get(), Qt::Key_R, Qt::AltModifier);
        QCOMPARE(f.list()->entries(), QStringList({"/m/a.mp3"}));
        QTest::keyClick(f.form.get(), Qt::Key_L, Qt::AltModifier);
        QCOMPARE(f.list()->count(), 0);
    }
};

QTEST_MAIN(TstForm1Window)
#include "tst_form1_window.moc"
