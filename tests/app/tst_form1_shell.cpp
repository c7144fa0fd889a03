#include "app/form2.h"
#include "form1_fixture.h"

#include <QAction>
#include <QDialog>
#include <QGroupBox>
#include <QMenu>

// Menu items and their shortcuts, minimise, exit, keep on top and the about box.
class TstForm1Shell : public QObject {
    Q_OBJECT
private slots:
    // Every menu item runs its button's handler: each is triggered here by its shortcut and
    // recognised by what that handler does to the engine and the controls.
    void menuRouting() {
        struct Route {
            const char* item;
            const char* caption;
            Qt::Key key;
            std::function<bool(Form1Fixture&, const ModalWatcher&)> reached;
        };
        auto sawModal = [](const char* title) {
            return [title](Form1Fixture&, const ModalWatcher& w) {
                return !w.seen.isEmpty() && w.seen.last().title == QLatin1String(title);
            };
        };
        const Route routes[] = {
            {"mnuAbout", "About", Qt::Key_A, sawModal("about this prog")},
            {"mnuplay", "Play", Qt::Key_P,
             [](Form1Fixture& f, const ModalWatcher&) {
                 return f.engine->calls == QStringList({"file:/m/b.mp3", "play"});
             }},
            {"mnustop", "Stop", Qt::Key_S,
             [](Form1Fixture& f, const ModalWatcher&) {
                 return f.engine->calls == QStringList({"stop"}) && f.Text1()->text().isEmpty();
             }},
            {"mnuaddfile2", "Add File", Qt::Key_F, sawModal("Load your MP3.")},
            {"mnuAdddir2", "Add Dir", Qt::Key_D, sawModal("Form3")},
            {"mnuRemove", "Remove", Qt::Key_R,
             [](Form1Fixture& f, const ModalWatcher&) {
                 return f.list()->entries() == QStringList({"/m/a.mp3"});
             }},
            {"mnuRemall", "Remove All", Qt::Key_L,
             [](Form1Fixture& f, const ModalWatcher&) { return f.list()->count() == 0; }},
            {"mnuMute", "Mute", Qt::Key_M,
             [](Form1Fixture& f, const ModalWatcher&) { return f.engine->muted; }},
            {"mnuVolume", "Volume", Qt::Key_V,
             [](Form1Fixture&, const ModalWatcher& w) {
                 return !w.seen.isEmpty() && w.seen.last().text.contains(QLatin1String("mixer"));
             }},
            {"mnumini", "Minimize", Qt::Key_Z,
             [](Form1Fixture& f, const ModalWatcher&) { return f.form->isMinimized(); }},
            {"mnuOnTop", "Keep on Top", Qt::Key_K,
             [](Form1Fixture& f, const ModalWatcher&) {
                 return f.get<QCheckBox>("Check3")->isChecked() &&
                        f.form->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
             }},
            {"mnuLoadList", "Load List", Qt::Key_O, sawModal("Load your list.")},
            {"mnuSavelist", "Save List", Qt::Key_T, sawModal("ListName")},
            {"mnuExit", "Exit", Qt::Key_X,
             [](Form1Fixture& f, const ModalWatcher&) { return !f.form->isVisible(); }},
        };
        for (const Route& route : routes) {
            Form1Fixture f;
            f.form->setMixerCandidates({});
            f.add({"/m/a.mp3", "/m/b.mp3"});
            f.select(1);
            f.showActive();
            auto* action = f.form->findChild<QAction*>(QLatin1String(route.item));
            QVERIFY2(action, route.item);
            QCOMPARE(action->text(), QLatin1String(route.caption));
            QCOMPARE(action->shortcut(), QKeySequence(Qt::CTRL | route.key));
            ModalWatcher watcher([](QWidget* w) {
                if (auto* dialog = qobject_cast<QDialog*>(w))
                    dialog->reject();
            });
            // From the text box too: its own editing keys must not take the menu's shortcuts.
            f.Text1()->setFocus();
            QTest::keyClick(f.Text1(), route.key, Qt::ControlModifier);
            QVERIFY2(route.reached(f, watcher), route.item);
        }
    }

    // The check box records the state; a toggle reads it, so ticking it from the keyboard
    // changes what the next toggle does.
    void keepOnTopFollowsCheck3() {
        Form1Fixture f;
        f.showActive();
        auto* check = f.get<QCheckBox>("Check3");
        f.form->CmdOnTop_Click();
        QVERIFY(check->isChecked());
        QVERIFY(f.form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        f.form->mnuOnTop_Click();
        QVERIFY(!check->isChecked());
        QVERIFY(!f.form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

        check->setFocus();
        QTest::keyClick(check, Qt::Key_Space); // ticked by hand: the window stays as it is
        QVERIFY(check->isChecked());
        QVERIFY(!f.form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        f.form->CmdOnTop_Click();
        QVERIFY(!check->isChecked());
        QVERIFY(!f.form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(f.form->isVisible());
    }

    void aboutBox() {
        Form1Fixture f;
        f.showActive();
        f.add({"/m/a.mp3", "/m/b.mp3"});
        f.select(0);
        f.get<QRadioButton>("OptRes")->setChecked(true);
        QList<QStringList> contents;
        ModalWatcher watcher([&](QWidget* w) {
            auto* about = qobject_cast<Form2*>(w);
            QVERIFY(about);
            QStringList texts = {about->windowTitle(),
                                 about->findChild<QGroupBox*>("Frame1")->title()};
            for (auto* label : about->findChildren<QLabel*>())
                texts << label->text();
            contents << texts;
            // The main window takes no input meanwhile, but a track that ends is followed.
            QTest::keyClick(f.form.get(), Qt::Key_P, Qt::ControlModifier);
            f.engine->finishTrack();
            about->findChild<QPushButton*>("Command1")->click();
        });
        f.form->mnuAbout_Click();
        f.form->mnuAbout_Click();
        QCOMPARE(contents.size(), 2);
        QCOMPARE(contents[0], contents[1]);
        QCOMPARE(contents[0].mid(0, 2), QStringList({"about this prog", "ab0ut Marrowtune"}));
        QCOMPARE(contents[0].size(), 7);
        QCOMPARE(f.engine->calls, QStringList({"file:/m/b.mp3", "play"}) + QStringList({"stop"}));
    }
};

QTEST_MAIN(TstForm1Shell)
#include "tst_form1_shell.moc"
