// Audio files that go wrong, on the real window and engine: broken or strange files in the
// list, and the playing file deleted under the player.
#include "app/form1.h"
#include "playlist/play_list_model.h"
#include "soak/soak_helpers.h"
#include "soak/timed_engine.h"

#include <QDir>
#include <QListView>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

namespace {

QByteArray fixture(const char* name) {
    QFile f(QStringLiteral(MT_FIXTURES "/") + QLatin1String(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// An ID3v2.3 tag of `size` bytes of padding: the header stores the size in 7-bit bytes.
QByteArray id3Tag(int size) {
    QByteArray tag("ID3\x03\x00\x00", 6);
    for (int shift : {21, 14, 7, 0})
        tag.append(char((size >> shift) & 0x7f));
    return tag + QByteArray(size, '\0');
}

// Makes the bad file of one kind at `path`; false when it could not be made.
bool makeBadFile(const QString& kind, const QString& path) {
    if (kind == "empty")
        return writeFile(path, {});
    if (kind == "text")
        return writeFile(path, fixture("not_audio.mp3"));
    if (kind == "truncated")
        return writeFile(path, fixture("short_0_3s.mp3").left(2000)); // cut mid-frame
    if (kind == "random bytes") {
        QByteArray noise(256 * 1024, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        return writeFile(path, noise);
    }
    if (kind == "huge ID3 tag")
        return writeFile(path, id3Tag(5 * 1024 * 1024) + fixture("short_0_3s.mp3"));
    if (kind == "FIFO")
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    if (kind == "folder")
        return QDir().mkdir(path);
    return false;
}

} // namespace

class TstFaultFiles : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        for (const char* name : {"before.mp3", "after.mp3"})
            QVERIFY(writeMp3Tone(dir_.filePath(name), 100));
    }

    // In resume mode a bad entry is passed by: the good one after it plays to its end, and
    // no play() keeps the window waiting for long.
    void badFileIsPassedBy_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("starts"); // 1 starts, 0 does not, -1 either
        QTest::newRow("0 bytes") << "empty" << 0;
        QTest::newRow("text") << "text" << 0;
        QTest::newRow("truncated MP3") << "truncated" << 1;
        QTest::newRow("random bytes") << "random bytes" << -1;
        QTest::newRow("5 MB ID3 tag") << "huge ID3 tag" << 1;
        QTest::newRow("FIFO") << "FIFO" << 0;
        QTest::newRow("folder") << "folder" << 0;
    }

    void badFileIsPassedBy() {
        QFETCH(QString, kind);
        QFETCH(int, starts);
        const QString bad = dir_.filePath(QStringLiteral("bad %1.mp3").arg(kind));
        QVERIFY(makeBadFile(kind, bad));
        const QString before = dir_.filePath("before.mp3");
        const QString after = dir_.filePath("after.mp3");

        auto* engine = new TimedEngine;
        Form1 form(engine);
        const auto& ends = engine->ends;
        form.playList()->append({before, bad, after});
        form.findChild<QListView*>("List1")->selectionModel()->setCurrentIndex(
            form.playList()->index(0), QItemSelectionModel::ClearAndSelect);
        form.findChild<QRadioButton*>("OptRes")->setChecked(true);
        form.CmdPlay_Click();

        QTRY_VERIFY_WITH_TIMEOUT(ends.contains(qMakePair(after, 0)), 5000);
        QCOMPARE(ends.first(), qMakePair(before, 0));
        QString report;
        for (const TimedEngine::Start& s : std::as_const(engine->starts)) {
            QVERIFY2(s.ms < 2000, qPrintable(QStringLiteral("play() took %1 ms").arg(s.ms)));
            if (s.file != bad)
                continue;
            report +=
                QStringLiteral("play() %1 in %2 ms; ").arg(s.ok ? "started" : "failed").arg(s.ms);
            if (starts != -1)
                QCOMPARE(s.ok, starts == 1);
        }
        for (const auto& end : std::as_const(ends))
            if (end.first == bad)
                report += QStringLiteral("ended with %1").arg(end.second);
        qInfo("%s: %s", qPrintable(kind), qPrintable(report));
    }

    // filesrc holds the file open, so the track may play on; either way it ends once, and
    // the next file plays.
    void playingFileDeleted() {
        const QString doomed = dir_.filePath("doomed.mp3");
        QVERIFY(writeFile(doomed, fixture("cbr_3s.mp3")));
        auto* engine = new TimedEngine;
        Form1 form(engine);
        QSignalSpy ended(engine, &MediaEngine::endOfStream);
        form.playList()->append({doomed, dir_.filePath("after.mp3")});
        auto* list = form.findChild<QListView*>("List1");
        list->selectionModel()->setCurrentIndex(form.playList()->index(0),
                                                QItemSelectionModel::ClearAndSelect);
        form.CmdPlay_Click();
        QTRY_VERIFY_WITH_TIMEOUT(engine->position() > 0.3, 3000);
        QVERIFY(QFile::remove(doomed));

        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 5000);
        QTest::qWait(300);
        QCOMPARE(ended.count(), 1);
        qInfo("deleted while playing: ended with %d", ended.at(0).at(0).toInt());

        list->selectionModel()->setCurrentIndex(form.playList()->index(1),
                                                QItemSelectionModel::ClearAndSelect);
        form.CmdPlay_Click();
        QVERIFY(engine->starts.last().ok);
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 2, 3000);
        QCOMPARE(ended.at(1).at(0).toInt(), 0);
    }

private:
    QTemporaryDir dir_;
};

QTEST_MAIN(TstFaultFiles)
#include "tst_fault_files.moc"
