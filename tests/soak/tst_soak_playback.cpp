// Tracks that end one after another, followed by the real window and engine, as a long
// evening of short tracks would. CI runs 100 ends per mode; the long run, outside CI:
//   ctest --test-dir build -C long -L soak --output-on-failure
// or with any count:
//   MARROWTUNE_SOAK_ENDS=1000 QT_QPA_PLATFORM=offscreen build/tests/soak/tst_soak_playback
#include "app/form1.h"
#include "playlist/play_list_model.h"
#include "soak/soak_helpers.h"
#include "soak/timed_engine.h"

#include <QListView>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TstSoakPlayback : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        // Different names, so the order of starts can be checked.
        for (int i = 0; i < kFiles; ++i) {
            files_ << dir_.filePath(QStringLiteral("tick%1.mp3").arg(i));
            QVERIFY2(writeMp3Tone(files_.last(), 50), "could not encode a test track");
        }
    }

    void everyEndIsFollowed_data() {
        QTest::addColumn<bool>("random");
        QTest::newRow("resume") << false;
        QTest::newRow("random") << true;
    }

    void everyEndIsFollowed() {
        QFETCH(bool, random);
        const int ends = countFromEnvironment("MARROWTUNE_SOAK_ENDS", 100);
        const int warmUp = std::max(5, ends / 10);
        auto* engine = new TimedEngine;
        Form1 form(engine);

        // Resume stops at the last entry, so the list holds one entry per end. Random mode
        // picks from a few entries, in an order the injected source fixes.
        QStringList expected;
        if (random) {
            form.playList()->append(files_);
            form.setRandomSource(
                [this, pick = 0]() mutable { return (pick++ * 3 % kFiles + 0.5) / kFiles; });
            form.findChild<QRadioButton*>("OptRND")->setChecked(true);
            expected << files_[0];
            for (int i = 0; i < ends; ++i)
                expected << files_[i * 3 % kFiles];
        } else {
            for (int i = 0; i < ends; ++i)
                expected << files_[i % kFiles];
            form.playList()->append(expected);
            form.findChild<QRadioButton*>("OptRes")->setChecked(true);
        }
        form.findChild<QListView*>("List1")->selectionModel()->setCurrentIndex(
            form.playList()->index(0), QItemSelectionModel::ClearAndSelect);

        QSignalSpy ended(engine, &MediaEngine::endOfStream);
        QElapsedTimer clock;
        clock.start();
        form.CmdPlay_Click();
        qint64 warmKiB = 0;
        for (int n = 1; n <= ends; ++n) {
            while (ended.count() < n)
                QVERIFY2(ended.wait(10000), qPrintable(QStringLiteral("end %1 never came").arg(n)));
            if (n == warmUp)
                warmKiB = residentKiB();
        }
        const qint64 endKiB = residentKiB();
        form.CmdStop_Click();
        QTest::qWait(300); // a stray end would show up here

        QCOMPARE(ended.count(), ends);
        for (const auto& args : std::as_const(ended))
            QCOMPARE(args.at(0).toInt(), 0);
        QStringList started;
        for (const TimedEngine::Start& s : std::as_const(engine->starts)) {
            QVERIFY2(s.ok, qPrintable(s.file));
            started << s.file;
        }
        QCOMPARE(started, expected);

        qInfo("%d ends followed in %lld ms; longest play() %lld ms; VmRSS %lld KiB after %d "
              "ends, %lld KiB at the end (%+lld KiB)",
              ends, clock.elapsed(), engine->longestPlayMs(), warmKiB, warmUp, endKiB,
              endKiB - warmKiB);
        // Only gross growth fails: the allocator and GStreamer's caches settle slowly. Under
        // AddressSanitizer freed memory waits in its quarantine, so there only leaks count
        // (LeakSanitizer checks them at exit).
#ifndef __SANITIZE_ADDRESS__
        QVERIFY2(endKiB - warmKiB < 20 * 1024, "memory grew by more than 20 MB");
#endif
    }

private:
    static constexpr int kFiles = 7;
    QTemporaryDir dir_;
    QStringList files_;
};

QTEST_MAIN(TstSoakPlayback)
#include "tst_soak_playback.moc"
