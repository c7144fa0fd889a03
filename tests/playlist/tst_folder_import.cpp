#include "common/modal_watcher.h"
#include "playlist/folder_listing.h"
#include "playlist/form3.h"
#include "playlist/mounted_volumes.h"

#include <QComboBox>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void makeFiles(const QString& root, const QStringList& names) {
    for (const QString& name : names) {
        const QString path = root + "/" + name;
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    }
}

// Only message boxes are answered; the dialog under test is driven by the test itself.
void acceptBoxOnly(QWidget* w) {
    ModalWatcher::acceptBox(w);
}

QList<ModalWatcher::Seen> boxesSeen(const ModalWatcher& watcher) {
    QList<ModalWatcher::Seen> boxes;
    for (const auto& s : watcher.seen)
        if (s.className == "QMessageBox")
            boxes << s;
    return boxes;
}

QListWidgetItem* dirItem(QListWidget* dir1, const QString& path) {
    for (int i = 0; i < dir1->count(); ++i)
        if (dir1->item(i)->data(Qt::UserRole).toString() == path)
            return dir1->item(i);
    return nullptr;
}

// Runs the dialog as the main window does, with `act` doing the user's part inside it.
int runModal(Form3& dlg, const std::function<void()>& act) {
    QTimer::singleShot(0, &dlg, act);
    bool timedOut = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        timedOut = true;
        while (QWidget* w = QApplication::activeModalWidget())
            w->close();
        dlg.done(-1);
    });
    guard.start(10000);
    const int result = dlg.exec();
    if (timedOut)
        qWarning("dialog still open after 10 s");
    return timedOut ? -1 : result;
}

} // namespace

class TestFolderImport : public QObject {
    Q_OBJECT
private slots:
    void init() {
        tmp = new QTemporaryDir;
        QVERIFY(tmp->isValid());
        startFolder = QDir::currentPath();
        QVERIFY(QDir::setCurrent(tmp->path()));
        batches.clear();
    }

    void cleanup() {
        QDir::setCurrent(startFolder);
        delete tmp;
        tmp = nullptr;
    }

    void importsMp3FilesOfTheOpenFolder_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("imported");
        QTest::newRow("mp3 in any case, others left out")
            << QStringList{"c.wav", "b.MP3", "a.mp3"} << QStringList{"a.mp3", "b.MP3"};
        QTest::newRow("sorted ignoring case")
            << QStringList{"b.mp3", "C.Mp3", "A.mp3"} << QStringList{"A.mp3", "b.mp3", "C.Mp3"};
        QTest::newRow("hidden files left out")
            << QStringList{".h.mp3", ".mp3", "x.mp3"} << QStringList{"x.mp3"};
        QTest::newRow("names that only look alike")
            << QStringList{"x.mp3.txt", "mp3", "xmp3", "y.mp3"} << QStringList{"y.mp3"};
        QTest::newRow("subfolders neither listed nor searched")
            << QStringList{"d.mp3/inner.mp3", "e.mp3"} << QStringList{"e.mp3"};
        QTest::newRow("commas and spaces kept")
            << QStringList{" lead, comma.mp3"} << QStringList{" lead, comma.mp3"};
    }

    void importsMp3FilesOfTheOpenFolder() {
        QFETCH(QStringList, files);
        QFETCH(QStringList, imported);
        makeFiles(tmp->path(), files);

        ModalWatcher watcher(acceptBoxOnly);
        Form3 dlg(nullptr, [this](const QStringList& e) { batches << e; });
        QCOMPARE(dlg.openFolder(), QDir::currentPath());
        const int result = runModal(
            dlg, [&] { QTest::mouseClick(dlg.findChild<QPushButton*>("CmdOk"), Qt::LeftButton); });

        QCOMPARE(result, int(QDialog::Accepted));
        QVERIFY(boxesSeen(watcher).isEmpty());
        QStringList expected;
        for (const QString& name : imported)
            expected << tmp->path() + "/" + name;
        QCOMPARE(batches, QList<QStringList>{expected});
    }

    void noFilesShowsMessageAndAddsNothing_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("removeFolder");
        QTest::newRow("mp3 only in subfolders") << QStringList{"sub/x.mp3", "c.wav"} << false;
        QTest::newRow("folder removed while open") << QStringList{"a.mp3"} << true;
    }

    void noFilesShowsMessageAndAddsNothing() {
        QFETCH(QStringList, files);
        QFETCH(bool, removeFolder);
        makeFiles(tmp->path(), files);

        QMessageBox::StandardButtons buttons;
        ModalWatcher watcher([&](QWidget* w) {
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                buttons = box->standardButtons();
                box->accept();
            }
        });
        Form3 dlg(nullptr, [this](const QStringList& e) { batches << e; });
        if (removeFolder) {
            QVERIFY(QDir::setCurrent(startFolder));
            QVERIFY(tmp->remove());
        }
        const int result = runModal(
            dlg, [&] { QTest::mouseClick(dlg.findChild<QPushButton*>("CmdOk"), Qt::LeftButton); });

        QCOMPARE(result, int(QDialog::Rejected));
        const auto boxes = boxesSeen(watcher);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].title, "Error");
        QCOMPARE(boxes[0].text, "No files were found in specific folder");
        QCOMPARE(boxes[0].icon, QMessageBox::NoIcon);
        QCOMPARE(buttons, QMessageBox::Ok);
        QVERIFY(batches.isEmpty());
    }

    void importingTwiceAddsTwice() {
        makeFiles(tmp->path(), {"a.mp3", "b.mp3"});
        for (int i = 0; i < 2; ++i) {
            Form3 dlg(nullptr, [this](const QStringList& e) { batches << e; });
            runModal(dlg, [&] { dlg.findChild<QPushButton*>("CmdOk")->click(); });
        }
        const QStringList once{tmp->filePath("a.mp3"), tmp->filePath("b.mp3")};
        QCOMPARE(batches, (QList<QStringList>{once, once}));
    }

    void closingAddsNothing_data() {
        QTest::addColumn<bool>("byTitleBar");
        QTest::newRow("Cancel") << false;
        QTest::newRow("title bar close") << true;
    }

    void closingAddsNothing() {
        QFETCH(bool, byTitleBar);
        makeFiles(tmp->path(), {"a.mp3"});
        ModalWatcher watcher(acceptBoxOnly);
        Form3 dlg(nullptr, [this](const QStringList& e) { batches << e; });
        const int result = runModal(dlg, [&] {
            if (byTitleBar)
                dlg.close();
            else
                QTest::mouseClick(dlg.findChild<QPushButton*>("CmdCancel"), Qt::LeftButton);
        });
        QCOMPARE(result, int(QDialog::Rejected));
        QVERIFY(!dlg.isVisible());
        QVERIFY(batches.isEmpty());
        QVERIFY(boxesSeen(watcher).isEmpty());
    }

    void enterAndEscPressNoButton() {
        makeFiles(tmp->path(), {"a.mp3"});
        ModalWatcher watcher(acceptBoxOnly);
        Form3 dlg(nullptr, [this](const QStringList& e) { batches << e; });
        bool stillOpen = false;
        runModal(dlg, [&] {
            for (const char* name : {"Drive1", "CmdOk", "CmdCancel"}) {
                auto* w = dlg.findChild<QWidget*>(name);
                w->setFocus();
                for (auto key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
                    QTest::keyClick(w, key);
            }
            stillOpen = dlg.isVisible();
            dlg.close();
        });
        QVERIFY(stillOpen);
        QVERIFY(batches.isEmpty());
        QVERIFY(boxesSeen(watcher).isEmpty());
    }

    void doubleClickOpensSingleClickHighlights() {
        makeFiles(tmp->path(), {"a.mp3", "sub/x.mp3"});
        const QString sub = tmp->filePath("sub");

        for (bool doubleClick : {false, true}) {
            batches.clear();
            Form3 dlg(nullptr, [this](const QStringList& e) { batches << e; });
            auto* dir1 = dlg.findChild<QListWidget*>("Dir1");
            QString openAfterClick;
            runModal(dlg, [&] {
                QListWidgetItem* item = dirItem(dir1, sub);
                QVERIFY(item);
                const QPoint at = dir1->visualItemRect(item).center();
                QTest::mouseClick(dir1->viewport(), Qt::LeftButton, {}, at);
                if (doubleClick) {
                    // What a window system delivers for the second click of a double click.
                    QTest::mousePress(dir1->viewport(), Qt::LeftButton, {}, at);
                    QTest::mouseDClick(dir1->viewport(), Qt::LeftButton, {}, at);
                    QTest::mouseRelease(dir1->viewport(), Qt::LeftButton, {}, at);
                }
                openAfterClick = dlg.openFolder();
                if (!doubleClick)
                    QCOMPARE(dir1->currentItem(), item);
                dlg.findChild<QPushButton*>("CmdOk")->click();
            });
            QVERIFY(dlg.isHidden());
            QCOMPARE(openAfterClick, doubleClick ? sub : tmp->path());
            QCOMPARE(batches,
                     QList<QStringList>{{doubleClick ? sub + "/x.mp3" : tmp->filePath("a.mp3")}});
        }

        // The open folder is listed under the folders above it, its subfolders under it.
        Form3 dlg(nullptr, [this](const QStringList& e) { batches << e; });
        auto* dir1 = dlg.findChild<QListWidget*>("Dir1");
        const QStringList parts = tmp->path().split('/', Qt::SkipEmptyParts);
        QCOMPARE(dir1->count(), parts.size() + 2);
        QCOMPARE(dir1->item(0)->text().trimmed(), "/");
        for (int i = 0; i < parts.size(); ++i)
            QCOMPARE(dir1->item(i + 1)->text().trimmed(), parts[i]);
        QCOMPARE(dir1->item(parts.size() + 1)->text().trimmed(), "sub");
        QCOMPARE(dir1->currentRow(), parts.size());
    }

    void driveChange() {
        ModalWatcher watcher(acceptBoxOnly);
        Form3 dlg(nullptr, [this](const QStringList& e) { batches << e; });
        auto* drive1 = dlg.findChild<QComboBox*>("Drive1");
        QVERIFY(QDir::currentPath().startsWith(drive1->currentText()));

        // A volume that cannot be read is ignored silently.
        const QString gone = tmp->filePath("gone");
        drive1->addItem(gone);
        drive1->setCurrentIndex(drive1->count() - 1);
        QCOMPARE(dlg.openFolder(), tmp->path());
        QCOMPARE(drive1->currentText(), gone);

        drive1->setCurrentIndex(drive1->findText("/"));
        QCOMPARE(dlg.openFolder(), "/");
        QCoreApplication::processEvents();
        QVERIFY(boxesSeen(watcher).isEmpty());
    }

    void joinFolderAndName_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("entry");
        QTest::newRow("plain") << "/music"
                               << "/music/a.mp3";
        QTest::newRow("trailing slash") << "/music/"
                                        << "/music/a.mp3";
        QTest::newRow("root") << "/"
                              << "/a.mp3";
    }

    void joinFolderAndName() {
        QFETCH(QString, folder);
        QFETCH(QString, entry);
        QCOMPARE(::joinFolderAndName(folder, "a.mp3"), entry);
    }

    void volumeFilter_data() {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QStringList>("roots");
        QTest::newRow("desktop") << QByteArray(
                                        "sysfs /sys sysfs rw 0 0\n"
                                        "proc /proc proc rw 0 0\n"
                                        "udev /dev devtmpfs rw 0 0\n"
                                        "devpts /dev/pts devpts rw 0 0\n"
                                        "tmpfs /run tmpfs rw 0 0\n"
                                        "/dev/sda2 / ext4 rw 0 0\n"
                                        "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
                                        "tmpfs /dev/shm tmpfs rw 0 0\n"
                                        "/dev/sda1 /boot/efi vfat rw 0 0\n"
                                        "/dev/sda3 /home ext4 rw 0 0\n"
                                        "/dev/loop0 /snap/core/17 squashfs ro 0 0\n"
                                        "tmpfs /run/user/1000 tmpfs rw 0 0\n"
                                        "gvfsd-fuse /run/user/1000/gvfs fuse.gvfsd-fuse rw 0 0\n"
                                        "/dev/sdb1 /media/ann/USB\\040STICK vfat rw 0 0\n"
                                        "/dev/sdc1 /run/media/ann/DISK ext4 rw 0 0\n"
                                        "nas:/music /mnt/music nfs4 rw 0 0\n")
                                 << QStringList{"/",          "/boot/efi",
                                                "/home",      "/media/ann/USB STICK",
                                                "/mnt/music", "/run/media/ann/DISK"};
        QTest::newRow("container") << QByteArray("overlay / overlay rw 0 0\n"
                                                 "proc /proc proc rw 0 0\n"
                                                 "tmpfs /dev tmpfs rw 0 0\n"
                                                 "/dev/vda /etc/hosts ext4 rw 0 0\n")
                                   << QStringList{"/", "/etc/hosts"};
        QTest::newRow("mounted twice, malformed line")
            << QByteArray("/dev/sdb1 /data xfs rw 0 0\nbroken\n/dev/sdb1 /data xfs rw 0 0")
            << QStringList{"/", "/data"};
        QTest::newRow("empty table") << QByteArray() << QStringList{"/"};
    }

    void volumeFilter() {
        QFETCH(QByteArray, table);
        QFETCH(QStringList, roots);
        QCOMPARE(userVolumeRoots(parseMountTable(table)), roots);
    }

    void volumeOfFolder_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("volume");
        QTest::newRow("root") << "/"
                              << "/";
        QTest::newRow("inside a volume") << "/media/USB STICK/music"
                                         << "/media/USB STICK";
        QTest::newRow("volume itself") << "/home"
                                       << "/home";
        QTest::newRow("name only starts alike") << "/homework"
                                                << "/";
    }

    void volumeOfFolder() {
        QFETCH(QString, folder);
        QFETCH(QString, volume);
        QCOMPARE(volumeOf(folder, {"/", "/home", "/media/USB STICK"}), volume);
    }

private:
    QTemporaryDir* tmp = nullptr;
    QString startFolder;
    QList<QStringList> batches;
};

QTEST_MAIN(TestFolderImport)
#include "tst_folder_import.moc"
