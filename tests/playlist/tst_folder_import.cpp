#include "common/modal_watcher.h"
#include "playlist/folder_listing.h"
#include "playlist/form3.h"
#include "playlist/mounted_volumes.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

void makeFiles(const QString& root, const QStringList& names) {
    for (const QString& name : names) {
        QDir(root).mkpath(QFileInfo(name).path());
        QVERIFY2(QFile(root + "/" + name).open(QIODevice::WriteOnly), qPrintable(name));
    }
}

void click(Form3& dlg, const char* button) {
    QTest::mouseClick(dlg.findChild<QPushButton*>(button), Qt::LeftButton);
}

// Runs the dialog as the main window does, with `act` doing the user's part inside it. The
// fixture's ModalWatcher rejects the dialog if `act` leaves it open, so this always returns.
int runModal(Form3& dlg, const std::function<void()>& act) {
    QTimer::singleShot(0, &dlg, act);
    return dlg.exec();
}

} // namespace

class TestFolderImport : public QObject {
    Q_OBJECT
private slots:
    void init() {
        tmp = std::make_unique<QTemporaryDir>();
        startFolder = QDir::currentPath();
        QVERIFY(QDir::setCurrent(tmp->path())); // the dialog opens the current folder
        batches.clear();
        watcher = std::make_unique<ModalWatcher>([this](QWidget* w) {
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                boxButtons = box->standardButtons();
                box->accept();
            }
        });
    }

    void cleanup() {
        const bool noOtherBox = takeBoxes().isEmpty();
        watcher.reset();
        QDir::setCurrent(startFolder);
        tmp.reset();
        QVERIFY2(noOtherBox, "a message box the test did not expect");
    }

    // What the user does with the dialog open, and what that adds to the play list.
    void userSession_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QStringList>("added"); // relative to the starting folder
        const QStringList a{"a.mp3"};
        const QStringList withSub{"a.mp3", "sub/x.mp3"};
        QTest::newRow("Ok: mp3 in any case, in order")
            << QStringList{"c.wav", "b.MP3", "a.mp3"} << "ok" << QStringList{"a.mp3", "b.MP3"};
        QTest::newRow("Ok: hidden files and subfolders left out, case ignored in order")
            << QStringList{".h.mp3", "d.mp3/inner.mp3", "F.mp3", "e.mp3"} << "ok"
            << QStringList{"e.mp3", "F.mp3"};
        QTest::newRow("Ok: mp3 only in subfolders")
            << QStringList{"sub/x.mp3", "c.wav"} << "ok" << QStringList();
        QTest::newRow("Ok: open folder removed") << a << "remove folder, ok" << QStringList();
        QTest::newRow("Cancel") << a << "cancel" << QStringList();
        QTest::newRow("title bar close") << a << "close" << QStringList();
        QTest::newRow("Enter and Esc press no button") << a << "keys, close" << QStringList();
        QTest::newRow("single click only highlights") << withSub << "click, ok" << a;
        QTest::newRow("double click opens")
            << withSub << "click, second click, ok" << QStringList{"sub/x.mp3"};
    }

    void userSession() {
        QFETCH(QStringList, files);
        QFETCH(QString, user);
        QFETCH(QStringList, added);
        makeFiles(tmp->path(), files);
        Form3 dlg(nullptr, collect());
        auto* dir1 = dlg.findChild<QListWidget*>("Dir1");
        QListWidgetItem* sub = dir1->item(dir1->count() - 1); // subfolders are listed last
        QString failed; // checks inside the dialog must not return before closing it
        const int result = runModal(dlg, [&] {
            const QPoint at = dir1->visualItemRect(sub).center();
            for (const QString& step : user.split(", ")) {
                if (step == "remove folder") {
                    if (!QDir::setCurrent(startFolder) || !tmp->remove())
                        failed = "could not remove the folder";
                } else if (step == "keys") {
                    for (const char* name : {"Drive1", "CmdOk", "CmdCancel"}) {
                        dlg.findChild<QWidget*>(name)->setFocus();
                        for (auto key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
                            QTest::keyClick(dlg.findChild<QWidget*>(name), key);
                        if (!dlg.isVisible())
                            failed = QString("a key on %1 closed the dialog").arg(name);
                    }
                } else if (step == "click") {
                    QTest::mouseClick(dir1->viewport(), Qt::LeftButton, {}, at);
                    if (dir1->currentItem() != sub)
                        failed = "a click did not highlight the folder";
                } else if (step == "second click") { // as a window system delivers it
                    QTest::mousePress(dir1->viewport(), Qt::LeftButton, {}, at);
                    QTest::mouseDClick(dir1->viewport(), Qt::LeftButton, {}, at);
                    QTest::mouseRelease(dir1->viewport(), Qt::LeftButton, {}, at);
                } else if (step == "close") {
                    dlg.close();
                } else {
                    click(dlg, step == "ok" ? "CmdOk" : "CmdCancel");
                }
            }
            if (dlg.isVisible()) // the watcher would close it, but the user would be stuck
                failed = "the dialog stayed open";
        });
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        QCOMPARE(result, int(added.isEmpty() ? QDialog::Rejected : QDialog::Accepted));
        for (QString& name : added)
            name.prepend(tmp->path() + "/");
        QCOMPARE(batches, added.isEmpty() ? QList<QStringList>() : QList<QStringList>{added});

        if (!added.isEmpty() || !user.endsWith("ok"))
            return; // cleanup() fails the test on any message box
        const auto boxes = takeBoxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].title, "Error");
        QCOMPARE(boxes[0].text, "No files were found in specific folder");
        QCOMPARE(boxes[0].icon, QMessageBox::NoIcon);
        QCOMPARE(boxButtons, QMessageBox::Ok);
    }

    void importingTwiceAddsTwice() {
        makeFiles(tmp->path(), {"a.mp3"});
        for (int i = 0; i < 2; ++i) {
            Form3 dlg(nullptr, collect());
            runModal(dlg, [&] { click(dlg, "CmdOk"); });
        }
        const QStringList once{tmp->filePath("a.mp3")};
        QCOMPARE(batches, (QList<QStringList>{once, once}));
    }

    void driveChange() {
        Form3 dlg(nullptr, collect());
        auto* drive1 = dlg.findChild<QComboBox*>("Drive1");
        auto* dir1 = dlg.findChild<QListWidget*>("Dir1");
        const int listed = dir1->count();
        QVERIFY(tmp->path().startsWith(drive1->currentText()));
        // A volume that cannot be read is ignored silently.
        drive1->addItem(tmp->filePath("gone"));
        drive1->setCurrentIndex(drive1->count() - 1);
        QCOMPARE(dlg.openFolder(), tmp->path());
        QCOMPARE(drive1->currentText(), tmp->filePath("gone"));
        QCOMPARE(dir1->count(), listed);
        drive1->setCurrentIndex(drive1->findText("/"));
        QCOMPARE(dlg.openFolder(), "/");
    }

    void pathsAndVolumes() {
        QCOMPARE(joinFolderAndName("/", "a.mp3"), "/a.mp3");
        const QByteArray table = "proc /proc proc rw 0 0\n"
                                 "tmpfs /tmp tmpfs rw 0 0\n"
                                 "overlay /run/containerd/rootfs overlay rw 0 0\n"
                                 "/dev/sda2 / ext4 rw 0 0\n"
                                 "/dev/loop0 /snap/core/17 squashfs ro 0 0\n"
                                 "gvfsd-fuse /run/user/1000/gvfs fuse.gvfsd-fuse rw 0 0\n"
                                 "/dev/sdb1 /media/ann/USB\\040STICK vfat rw 0 0\n"
                                 "/dev/sdc1 /run/media/ann/DISK ext4 rw 0 0\n"
                                 "nas:/music /mnt/music nfs4 rw 0 0\n";
        const QStringList roots{"/", "/media/ann/USB STICK", "/mnt/music", "/run/media/ann/DISK"};
        QCOMPARE(userVolumeRoots(parseMountTable(table)), roots);
        QCOMPARE(userVolumeRoots({}), QStringList{"/"});
        QCOMPARE(volumeOf("/media/ann/USB STICK/music", roots), "/media/ann/USB STICK");
        QCOMPARE(volumeOf("/mnt/musical", roots), "/"); // a name that only starts alike
    }

private:
    Form3::AppendEntries collect() {
        return [this](const QStringList& entries) { batches << entries; };
    }

    // Message boxes seen so far; the watcher also sees the dialog under test.
    QList<ModalWatcher::Seen> takeBoxes() {
        QList<ModalWatcher::Seen> boxes;
        for (const auto& s : std::exchange(watcher->seen, {}))
            if (s.className == "QMessageBox")
                boxes << s;
        return boxes;
    }

    std::unique_ptr<QTemporaryDir> tmp;
    std::unique_ptr<ModalWatcher> watcher;
    QMessageBox::StandardButtons boxButtons;
    QString startFolder;
    QList<QStringList> batches;
};

QTEST_MAIN(TestFolderImport)
#include "tst_folder_import.moc"
