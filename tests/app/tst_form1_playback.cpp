#include "form1_fixture.h"

#include "playback/position_rules.h"

#include <QMessageBox>
#include <QTimer>

// Starting, pausing and stopping, the position display, what follows the end of a track,
// and the levels, all against the scripted engine.
class TstForm1Playback : public QObject {
    Q_OBJECT
private slots:
    void playWithoutSelectionSaysSo() {
        Form1Fixture f;
        f.add({"/m/a.mp3"});
        ModalWatcher watcher;
        f.form->CmdPlay_Click();
        QCOMPARE(watcher.seen.size(), 1);
        QCOMPARE(watcher.seen[0].title, QStringLiteral("Error"));
        QCOMPARE(watcher.seen[0].text, QStringLiteral("No file to play"));
        QCOMPARE(watcher.seen[0].icon, QMessageBox::NoIcon);
        // The empty name reaches the engine before the check; nothing is started.
        QCOMPARE(f.engine->calls, QStringList({"file:"}));
        QCOMPARE(f.Text1()->text(), QString());
        QVERIFY(!f.button("CmdPause")->isEnabled());
        QCOMPARE(f.slider("Slider1")->maximum(), 10);
    }

    void playSetsSliderMaximum_data() {
        QTest::addColumn<std::optional<double>>("length");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<QString>("box"); // empty: none
        const std::optional<double> unknown;
        QTest::newRow("187.5 rounds up to even") << std::optional(187.5) << false << 188 << "";
        QTest::newRow("186.5 rounds down to even") << std::optional(186.5) << false << 186 << "";
        QTest::newRow("unknown keeps the old maximum") << unknown << false << 10 << "";
        QTest::newRow("too long keeps it") << std::optional(1e12) << false << 10 << "";
        QTest::newRow("refused: said, no pause")
            << unknown << true << 10 << "Cannot play /m/b.mp3: it could not be started";
    }
    void playSetsSliderMaximum() {
        QFETCH(std::optional<double>, length);
        QFETCH(bool, refused);
        QFETCH(int, maximum);
        QFETCH(QString, box);
        Form1Fixture f;
        f.engine->trackLength = length;
        f.engine->failPlay = refused;
        f.add({"/m/a.mp3", "/m/b.mp3"});
        f.select(1);
        ModalWatcher watcher;
        f.form->List1_DblClick();
        QCOMPARE(f.engine->calls, QStringList({"file:/m/b.mp3", "play"}));
        QCOMPARE(f.Text1()->text(), QStringLiteral("/m/b.mp3"));
        QCOMPARE(f.slider("Slider1")->maximum(), maximum);
        QCOMPARE(f.button("CmdPause")->isEnabled(), !refused);
        QCOMPARE(watcher.seen.size(), box.isEmpty() ? 0 : 1);
        if (!box.isEmpty()) {
            QCOMPARE(watcher.seen[0].title, QStringLiteral("Marrowtune"));
            QCOMPARE(watcher.seen[0].text, box);
        }
    }

    // Pause, Stop, Play: the new track plays under "Resume", and the next click plays on.
    void pauseResumeStop() {
        Form1Fixture f;
        QPushButton* pause = f.button("CmdPause");
        f.add({"/m/a.mp3"});
        f.select(0);
        f.form->CmdPlay_Click();
        f.engine->calls.clear();
        f.form->CmdPause_Click();
        QCOMPARE(pause->text(), QStringLiteral("Resume"));
        f.form->CmdPause_Click();
        QCOMPARE(pause->text(), QStringLiteral("Pause"));
        f.form->CmdPause_Click();
        f.slider("Slider1")->setValue(3);
        f.form->CmdStop_Click();
        QCOMPARE(f.engine->calls, QStringList({"pause", "play", "pause", "stop"}));
        QCOMPARE(f.slider("Slider1")->value(), 0);
        QCOMPARE(f.Text1()->text(), QString());
        QVERIFY(!pause->isEnabled());
        QCOMPARE(pause->text(), QStringLiteral("Resume"));

        f.form->CmdPause_Click(); // empty Text1: nothing
        f.select(0);
        f.form->CmdPlay_Click();
        QCOMPARE(pause->text(), QStringLiteral("Resume"));
        f.engine->calls.clear();
        f.form->CmdPause_Click();
        QCOMPARE(f.engine->calls, QStringList({"play"}));
        QCOMPARE(pause->text(), QStringLiteral("Pause"));

        f.form->CmdClear_Click(); // empty list, even with a path typed in: nothing
        f.Text1()->setText(QStringLiteral("/m/a.mp3"));
        f.engine->calls.clear();
        f.form->CmdPause_Click();
        QVERIFY(f.engine->calls.isEmpty());
        QCOMPARE(pause->text(), QStringLiteral("Pause"));
    }

    // With a fake clock: the timer fires only when the time text can change, the text never
    // lags the rounded position by more than 30 ms, and nothing wakes while nothing plays.
    void displayFollowsTheEngine_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("playsOn");
        QTest::newRow("none") << "OptNON" << false;
        QTest::newRow("resume") << "OptRes" << true;
        QTest::newRow("random") << "OptRND" << true;
    }
    void displayFollowsTheEngine() {
        QFETCH(QString, mode);
        QFETCH(bool, playsOn);
        Form1Fixture f;
        qint64 now = 0, due = 0;
        int refreshes = 0, stale = 0;
        f.form->setClock([&] { return now; });
        auto* timer = f.get<QTimer>("Timer1");
        const auto armed = [&] { due = timer->isActive() ? now + timer->interval() : -1; };
        // Runs `step`, then lets `ms` of fake time pass with the timer firing when due.
        const auto then = [&](const std::function<void()>& step, int ms) {
            step();
            armed();
            for (; ms > 0 && !QTest::currentTestFailed(); --ms) {
                if (f.engine->state() == MediaEngine::PlayState::Playing)
                    f.engine->pos += 0.001;
                if (++now >= due && due >= 0) {
                    ++refreshes;
                    f.form->Timer1_Timer();
                    armed();
                }
                const QString text = timeText(roundHalfEvenSaturated(f.engine->pos));
                stale = f.TxtTime()->text() == text ? 0 : stale + 1;
                QVERIFY2(stale <= 30, qPrintable(f.TxtTime()->text()));
            }
        };
        f.form->setRandomSource([] { return 0.0; });
        f.engine->trackLength = 60.0;
        f.add({"/m/a.mp3", "/m/b.mp3"});
        f.select(0);
        f.get<QRadioButton>(qPrintable(mode))->setChecked(true);
        then([] {}, 20);
        QVERIFY(!timer->isActive());
        then([&] { f.form->CmdPlay_Click(); }, 2300);
        then([&] { f.moveSlider("Slider1", 30); }, 1200);
        then([&] { f.engine->setPosition(5); }, 700); // from the desktop's media controls
        ModalWatcher watcher([&](QWidget* about) {
            f.TxtTime()->setCursorPosition(1);
            then([&] { f.form->CmdPause_Click(); }, 700);
            QVERIFY(!timer->isActive());
            QCOMPARE(f.TxtTime()->cursorPosition(), 1); // an unchanged text is not written again
            then([&] { f.form->CmdPause_Click(); }, 800);
            about->findChild<QPushButton*>("Command1")->click();
        });
        f.form->mnuAbout_Click();
        then([&] { f.engine->finishTrack(); }, 1600);
        QCOMPARE(timer->isActive(), playsOn);
        then([&] { f.form->CmdStop_Click(); }, 20);
        QVERIFY(!timer->isActive());
        QCOMPARE(f.TxtTime()->text(), QStringLiteral("0:0"));
        QVERIFY2(refreshes < 25, qPrintable(QString::number(refreshes)));
        // The refreshes write the slider all along; only the two seeks reach the engine.
        QCOMPARE(f.engine->calls.filter("seek"), QStringList({"seek:30", "seek:5"}));
    }

    void userMoveSeeks() {
        Form1Fixture f;
        f.slider("Slider1")->setMaximum(200);
        f.moveSlider("Slider1", 90);
        QCOMPARE(f.engine->calls, QStringList({"seek:90"}));
        f.slider("Slider1")->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(f.engine->calls.last(), QStringLiteral("seek:91"));
        f.slider("Slider1")->setValue(20); // the program's own writes do not seek
        QCOMPARE(f.engine->calls.size(), 2);
    }

    void endOfTrack_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<int>("selected");
        QTest::addColumn<double>("random");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<int>("selectedAfter");
        QTest::addColumn<QString>("text1After");
        const QStringList abc = {"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"};
        const QString untouched =
            QStringLiteral("   song file will show in here when playing.....");
        QTest::newRow("none stops")
            << "OptNON" << abc << 1 << 0.0 << QStringList{"stop"} << 1 << "/m/b.mp3";
        QTest::newRow("resume goes on") << "OptRes" << abc << 0 << 0.0
                                        << QStringList{"file:/m/b.mp3", "play"} << 1 << "/m/b.mp3";
        QTest::newRow("resume at the last entry stops")
            << "OptRes" << abc << 2 << 0.0 << QStringList{"stop"} << 2 << "/m/c.mp3";
        QTest::newRow("resume onto an empty entry passes it on")
            << "OptRes" << QStringList{"/m/a.mp3", ""} << 0 << 0.0 << QStringList{"file:", "play"}
            << 1 << "";
        QTest::newRow("random 0.5") << "OptRND" << abc << 2 << 0.5
                                    << QStringList{"file:/m/b.mp3", "play"} << 1 << "/m/b.mp3";
        QTest::newRow("random 0.999 picks the same again")
            << "OptRND" << abc << 2 << 0.999 << QStringList{"file:/m/c.mp3", "play"} << 2
            << "/m/c.mp3";
        QTest::newRow("random on an empty list stops")
            << "OptRND" << QStringList() << -1 << 0.3 << QStringList{"stop"} << -1 << untouched;
    }
    void endOfTrack() {
        QFETCH(QString, mode);
        QFETCH(QStringList, entries);
        QFETCH(int, selected);
        QFETCH(double, random);
        QFETCH(QStringList, calls);
        QFETCH(int, selectedAfter);
        QFETCH(QString, text1After);
        Form1Fixture f;
        f.form->setRandomSource([random] { return random; });
        f.add(entries);
        if (selected >= 0)
            f.select(selected);
        f.engine->trackLength = 42.0;
        f.get<QRadioButton>(qPrintable(mode))->setChecked(true);
        ModalWatcher watcher;
        f.engine->finishTrack();
        QCOMPARE(f.engine->calls, calls);
        QCOMPARE(f.selected(), selectedAfter);
        QCOMPARE(f.Text1()->text(), text1After);
        QVERIFY(watcher.seen.isEmpty());
        if (calls.contains("play")) {
            QCOMPARE(f.slider("Slider1")->maximum(), 42);
            QVERIFY(f.button("CmdPause")->isEnabled());
        }
    }

    void randomOntoEmptyEntrySaysSo() {
        Form1Fixture f;
        f.form->setRandomSource([] { return 0.9; });
        f.add({"/m/a.mp3", ""});
        f.get<QRadioButton>("OptRND")->setChecked(true);
        ModalWatcher watcher;
        f.engine->finishTrack();
        QCOMPARE(f.engine->calls, QStringList({"file:"}));
        QCOMPARE(watcher.seen.size(), 1);
        QCOMPARE(watcher.seen[0].text, QStringLiteral("No file to play"));
        QCOMPARE(watcher.seen[0].title, QStringLiteral("Error"));
    }

    void modeIsReadWhenTheTrackEnds() {
        Form1Fixture f;
        f.add({"/m/a.mp3", "/m/b.mp3"});
        f.select(0);
        f.form->CmdPlay_Click();
        f.get<QRadioButton>("OptRes")->setChecked(true);
        f.engine->calls.clear();
        f.engine->finishTrack();
        QCOMPARE(f.engine->calls, QStringList({"file:/m/b.mp3", "play"}));
        f.get<QRadioButton>("OptNON")->setChecked(true);
        f.engine->finishTrack();
        QCOMPARE(f.engine->calls.last(), QStringLiteral("stop"));
        QCOMPARE(f.Text1()->text(), QStringLiteral("/m/b.mp3"));
    }

    // Files that cannot be started are skipped, but a list of them cannot keep the player
    // busy: it gives up after as many failures in a row as there are entries, ten at most.
    void failingStartsGiveUp_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("plays");
        QTest::newRow("resume walks to the end") << "OptRes" << 3 << 3;
        QTest::newRow("random, three entries") << "OptRND" << 3 << 3;
        QTest::newRow("random, many entries") << "OptRND" << 50 << 10;
    }
    void failingStartsGiveUp() {
        QFETCH(QString, mode);
        QFETCH(int, count);
        QFETCH(int, plays);
        Form1Fixture f;
        f.engine->failPlay = true;
        QStringList entries;
        for (int i = 0; i < count; ++i)
            entries << QStringLiteral("/m/%1.mp3").arg(i);
        f.add(entries);
        f.get<QRadioButton>(qPrintable(mode))->setChecked(true);
        ModalWatcher watcher;
        f.engine->finishTrack();
        QCOMPARE(f.engine->calls.count("play"), plays);
        QCOMPARE(f.engine->calls.last(), QStringLiteral("stop"));
        QVERIFY(watcher.seen.isEmpty());
    }

    void tracksThatBreakOffStopRepeating() {
        Form1Fixture f;
        f.add({"/m/a.mp3", "/m/b.mp3"});
        f.get<QRadioButton>("OptRND")->setChecked(true);
        emit f.engine->endOfStream(1); // broke off: the next pick still plays
        QCOMPARE(f.engine->calls.count("play"), 1);
        emit f.engine->endOfStream(1);
        QCOMPARE(f.engine->calls.last(), QStringLiteral("stop"));
        f.engine->calls.clear();
        f.engine->finishTrack(); // a track that played through starts the count afresh
        QCOMPARE(f.engine->calls.count("play"), 1);
    }

    void volume() {
        Form1Fixture f;
        auto* label = f.get<QLabel>("Label2");
        f.moveSlider("Slider3", 15);
        QCOMPARE(f.engine->calls, QStringList({"volume:-2485"}));
        QCOMPARE(label->text(), QStringLiteral("0 %"));
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(2, 0, 0));
        f.moveSlider("Slider3", 2500);
        QCOMPARE(f.engine->vol, 0);
        QCOMPARE(label->text(), QStringLiteral("100 %"));
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(250, 0, 0));
        f.moveSlider("Slider3", 0);
        QCOMPARE(f.engine->vol, -2500);
        QCOMPARE(label->text(), QStringLiteral("0 %")); // with a blank, unlike at start-up
    }

    void balance() {
        Form1Fixture f;
        auto* balance = f.slider("Slider2");
        QCOMPARE(balance->toolTip(), QString()); // no word before the first move
        f.moveSlider("Slider2", -501);
        QCOMPARE(balance->toolTip(), QStringLiteral("Balance: Left"));
        QCOMPARE(f.get<QWidget>("Frame1")->accessibleDescription(),
                 QStringLiteral("Balance: Left"));
        f.moveSlider("Slider2", -500); // the word stays, the balance is still set
        QCOMPARE(balance->toolTip(), QStringLiteral("Balance: Left"));
        QCOMPARE(f.engine->bal, -500);
        f.moveSlider("Slider2", 499);
        QCOMPARE(balance->toolTip(), QStringLiteral("Balance: Center"));
        f.moveSlider("Slider2", 501);
        QCOMPARE(balance->toolTip(), QStringLiteral("Balance: Right"));
        QCOMPARE(f.engine->bal, 501);

        f.engine->failBalance = true;
        ModalWatcher watcher;
        f.moveSlider("Slider2", 3000);
        QCOMPARE(watcher.seen.size(), 1);
        QCOMPARE(watcher.seen[0].text, QStringLiteral("Err"));
        QCOMPARE(watcher.seen[0].title, QStringLiteral("Marrowtune"));
        QCOMPARE(watcher.seen[0].icon, QMessageBox::NoIcon);
        QCOMPARE(balance->value(), 3000); // the slider stays where the user left it
    }

    void muteToggles() {
        Form1Fixture f;
        f.form->CmdMute_Click();
        QVERIFY(f.engine->muted);
        f.form->mnuMute_Click();
        QVERIFY(!f.engine->muted);
    }

    void mixer() {
        Form1Fixture f;
        f.form->setMixerCandidates({{"/nonexistent/mixer"}, {"true"}});
        ModalWatcher watcher;
        f.form->Cmdvol_Click(); // the first that exists is launched, without waiting
        QVERIFY(watcher.seen.isEmpty());
        f.form->setMixerCandidates({{"/nonexistent/mixer"}, {"marrowtune-no-such-mixer"}});
        f.form->Cmdvol_Click();
        QCOMPARE(watcher.seen.size(), 1);
        QCOMPARE(watcher.seen[0].title, QStringLiteral("Error"));
        QVERIFY(watcher.seen[0].text.contains(QStringLiteral("mixer")));
    }
};

QTEST_MAIN(TstForm1Playback)
#include "tst_form1_playback.moc"
