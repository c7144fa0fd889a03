// List files and folders that go wrong under the window: a folder removed while it is being
// imported, a list saved where it cannot be written, list files that are huge or garbage.
#include "app/form1_fixture.h"
#include "playlist/form3.h"
#include "soak/soak_helpers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QListWidget>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.flush();
}

bool mountTmpfs(const QString& folder, const char* options) {
    return ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options) == 0;
}

// Answers the name box with `name` and presses OK on any message box.
std::function<void(QWidget*)> typeName(const QString& name) {
    return [name](QWidget* w) {
        if (auto* box = qobject_cast<QInputDialog*>(w)) {
            box->setTextValue(name);
            box->accept();
        } else {
            ModalWatcher::acceptBox(w);
        }
    };
}

} // namespace

class TstFaultLists : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // As root, permissions do not stop a write; a mount namespace of this thread's own
        // lets the test mount small read-only or full file systems without touching the host.
        // Without it (no CAP_SYS_ADMIN) the fallbacks below stand in.
        privateMounts_ = ::unshare(CLONE_NEWNS) == 0 &&
                         ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        startFolder_ = QDir::currentPath();
    }

    void init() { dir_ = std::make_unique<QTemporaryDir>(); }

    void cleanup() {
        for (const QString& m : std::as_const(mounts_))
            ::umount2(QFile::encodeName(m).constData(), MNT_DETACH);
        mounts_.clear();
        QDir::setCurrent(startFolder_);
        dir_.reset(); // the 200 MB file goes here
    }

    void folderRemovedBeforeOk() {
        const QString music = dir_->filePath("music");
        QVERIFY(QDir().mkpath(music));
        QVERIFY(writeFile(music + "/a.mp3", "x"));
        QVERIFY(QDir::setCurrent(music)); // the chooser opens the current folder
        Form1Fixture f;
        {
            bool removed = false;
            ModalWatcher watcher([&](QWidget* w) {
                auto* chooser = qobject_cast<Form3*>(w);
                if (!chooser) {
                    ModalWatcher::acceptBox(w);
                    return;
                }
                removed = chooser->openFolder() == music && QDir(music).removeRecursively();
                // Queued: the box it opens must find the watcher free to answer it.
                QTimer::singleShot(0, chooser->findChild<QPushButton*>("CmdOk"),
                                   &QPushButton::click);
            });
            f.form->mnuAdddir_Click();
            QVERIFY(removed);
            QCOMPARE(f.list()->count(), 0);
            QCOMPARE(watcher.seen.size(), 2);
            QCOMPARE(watcher.seen[1].title, QStringLiteral("Error"));
        }

        // Opened again while the current folder is gone, the chooser must still lead somewhere.
        int foldersOffered = -1;
        ModalWatcher reopened([&](QWidget* w) {
            if (auto* chooser = qobject_cast<Form3*>(w)) {
                foldersOffered = chooser->findChild<QListWidget*>("Dir1")->count();
                chooser->reject();
            }
        });
        f.form->mnuAdddir_Click();
        QVERIFY(foldersOffered > 0);
    }

    // A save that cannot be completed leaves the list file of that name as it was, tells the
    // user, and does not stop the next save from working.
    void failedSaveKeepsTheOldList_data() {
        QTest::addColumn<bool>("full");
        QTest::newRow("read-only folder") << false;
        QTest::newRow("full file system") << true;
    }

    void failedSaveKeepsTheOldList() {
        QFETCH(bool, full);
        QString folder = dir_->filePath("lists");
        QVERIFY(QDir().mkdir(folder));
        const QByteArray old("/m/old.mp3\r\n");
        QString how;
        rlimit fileSize{};
        ::getrlimit(RLIMIT_FSIZE, &fileSize);
        const rlimit unchanged = fileSize;
        if (privateMounts_) {
            QVERIFY(mountTmpfs(folder, "size=64k"));
            mounts_ << folder;
            QVERIFY(writeFile(folder + "/keep.mlt", old));
            if (full) {
                // Room for a little, so the save fails part way through.
                QVERIFY(writeFile(folder + "/filler", QByteArray(48 * 1024, 'x')));
                how = "a 64 KiB tmpfs with 8 KiB free";
            } else {
                QVERIFY(::mount(nullptr, QFile::encodeName(folder).constData(), nullptr,
                                MS_REMOUNT | MS_RDONLY, nullptr) == 0);
                how = "a read-only tmpfs";
            }
        } else if (full) {
            QVERIFY(writeFile(folder + "/keep.mlt", old));
            std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead
            fileSize.rlim_cur = 4096;
            QVERIFY(::setrlimit(RLIMIT_FSIZE, &fileSize) == 0);
            how = "RLIMIT_FSIZE of 4 KiB";
        } else {
            // No existing list can be kept in a folder that cannot exist.
            QVERIFY(writeFile(dir_->filePath("plain"), "x"));
            folder = dir_->filePath("plain/lists");
            how = "a folder under a regular file";
        }
        const QStringList before = QDir(folder).entryList(QDir::Files | QDir::Hidden);

        Form1Fixture f;
        for (int i = 0; i < 1000; ++i) // 30 KB, more than there is room for
            f.add({QStringLiteral("/music/track%1.mp3").arg(i)});
        f.form->setListFolders(folder, folder);
        ModalWatcher watcher(typeName("keep"));
        f.form->CmdSaveList_Click();
        ::setrlimit(RLIMIT_FSIZE, &unchanged);

        QCOMPARE(watcher.seen.size(), 2);
        QCOMPARE(watcher.seen[1].title, QStringLiteral("Error"));
        qInfo("%s: \"%s\"", qPrintable(how), qPrintable(watcher.seen[1].text));
        QVERIFY2(!watcher.seen[1].text.contains(QStringLiteral("Unknown error")),
                 qPrintable(watcher.seen[1].text)); // the user is told the real reason
        if (before.contains("keep.mlt"))
            QCOMPARE(readAll(folder + "/keep.mlt"), old);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), before); // nothing left over

        const QString good = dir_->filePath("good");
        QVERIFY(QDir().mkdir(good));
        f.form->setListFolders(good, good);
        f.form->CmdSaveList_Click();
        QCOMPARE(watcher.seen.size(), 3);
        QCOMPARE(readAll(good + "/keep.mlt").count('\n'), 1000);
    }

    // Loading never hangs the window nor brings it down, however big or broken the file.
    void loadOddListFile_data() {
        QTest::addColumn<int>("megabytes");
        QTest::newRow("200 MB") << 200;
        QTest::newRow("random bytes") << 0;
    }

    void loadOddListFile() {
        QFETCH(int, megabytes);
        const QString path = dir_->filePath("odd.mlt");
        int lines = 0;
        {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            if (megabytes > 0) {
                QByteArray chunk;
                while (out.size() < qint64(megabytes) * 1024 * 1024) {
                    chunk.clear();
                    for (int i = 0; i < 10000; ++i, ++lines)
                        chunk +=
                            QStringLiteral("/home/user/Music/Artist %1/Album %2/%3 Track.mp3\r\n")
                                .arg(lines / 1000)
                                .arg(lines / 10 % 100)
                                .arg(lines % 10)
                                .toUtf8();
                    QVERIFY(out.write(chunk) == chunk.size());
                }
            } else {
                QByteArray noise(1024 * 1024, Qt::Uninitialized);
                QRandomGenerator(11).fillRange(reinterpret_cast<quint32*>(noise.data()),
                                               noise.size() / 4);
                QVERIFY(out.write(noise) == noise.size());
            }
        }

        Form1Fixture f;
        ModalWatcher watcher(chooseFile(path));
        QElapsedTimer clock;
        clock.start();
        f.form->CmdLoadList_Click();
        const qint64 ms = clock.elapsed();
        qInfo("%lld MB loaded in %lld ms: %d entries, VmRSS %lld MB", QFileInfo(path).size() >> 20,
              ms, f.list()->count(), residentKiB() >> 10);
        QCOMPARE(watcher.seen.size(), 1); // the file dialog, no error
        if (megabytes > 0)
            QCOMPARE(f.list()->count(), lines);
        else
            QVERIFY(f.list()->count() > 0);

        QSignalSpy ticks(f.get<QTimer>("Timer1"), &QTimer::timeout);
        f.moveSlider("Slider1", 1); // the window still answers
        QVERIFY(ticks.wait(1000));
        f.form->CmdClear_Click();
        QCOMPARE(f.list()->count(), 0);
    }

private:
    bool privateMounts_ = false;
    QStringList mounts_;
    QString startFolder_;
    std::unique_ptr<QTemporaryDir> dir_;
};

QTEST_MAIN(TstFaultLists)
#include "tst_fault_lists.moc"
