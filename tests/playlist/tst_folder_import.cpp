#include "common/modal_watcher.h"
#include "playlist/folder_listing.h"
#include "playlist/form3.h"
#include "playlist/mounted_volumes.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class TstFolderImport : public QObject {
    Q_OBJECT
private slots:
    void init() {
        tmp_ = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(tmp_->path())); // the dialog opens the current folder
    }
    void cleanup() { QDir::setCurrent(QDir::rootPath()); }

    // What the user does with the dialog open, and what that adds to the play list.
    void userSession_data() {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QStringList>("added"); // relative to the starting folder
        QTest::newRow("Ok, no mp3 there: says so")
            << "click, second click, click, second click, ok" << QStringList();
        QTest::newRow("Ok, open folder removed: says so") << "remove folder, ok" << QStringList();
        QTest::newRow("Cancel") << "cancel" << QStringList();
        QTest::newRow("Enter and Esc press no button") << "keys, close" << QStringList();
        // MP3 files in any case, sorted ignoring case; hidden ones and folders left out.
        QTest::newRow("single click only highlights")
            << "click, ok" << QStringList{"a.mp3", "B.MP3"};
        QTest::newRow("double click opens")
            << "click, second click, ok" << QStringList{"d.mp3/x.mp3"};
    }
    void userSession() {
        QFETCH(QString, user);
        QFETCH(QStringList, added);
        for (const char* name :
             {"a.mp3", "B.MP3", ".h.mp3", "c.wav", "d.mp3/x.mp3", "d.mp3/e/y.wav"}) {
            QDir().mkpath(QFileInfo(name).path()); // in the current folder, the temporary one
            QVERIFY(QFile(name).open(QIODevice::WriteOnly));
        }
        QList<QStringList> batches;
        Form3 dlg(nullptr, [&](const QStringList& entries) { batches << entries; });
        auto* dir1 = dlg.findChild<QListWidget*>("Dir1");
        ModalWatcher watcher;
        QString failed; // checks inside the dialog must not return before closing it
        QTimer::singleShot(0, &dlg, [&] {
            for (const QString& step : user.split(", ")) {
                QListWidgetItem* last = dir1->item(dir1->count() - 1); // subfolders come last
                const QPoint at = dir1->visualItemRect(last).center();
                if (step == "remove folder") {
                    if (!QDir::setCurrent(QDir::rootPath()) || !tmp_->remove())
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
                } else if (step == "second click") { // as a window system delivers it
                    QTest::mousePress(dir1->viewport(), Qt::LeftButton, {}, at);
                    QTest::mouseDClick(dir1->viewport(), Qt::LeftButton, {}, at);
                    QTest::mouseRelease(dir1->viewport(), Qt::LeftButton, {}, at);
                } else if (step == "close") {
                    dlg.close();
                } else {
                    dlg.findChild<QPushButton*>(step == "ok" ? "CmdOk" : "CmdCancel")->click();
                }
            }
            if (dlg.isVisible())
                failed = "the dialog stayed open";
        });
        const int result = dlg.exec();
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        QCOMPARE(result, int(added.isEmpty() ? QDialog::Rejected : QDialog::Accepted));
        for (QString& name : added)
            name.prepend(tmp_->path() + "/");
        QCOMPARE(batches, added.isEmpty() ? QList<QStringList>() : QList<QStringList>{added});
        QStringList boxes;
        for (const auto& s : std::as_const(watcher.seen))
            if (!s.text.isEmpty()) // a message box
                boxes << s.title + "|" + s.text;
        const bool saysSo = added.isEmpty() && user.endsWith("ok");
        QCOMPARE(boxes, saysSo ? QStringList{"Error|No files were found in specific folder"}
                               : QStringList());
    }

    void driveChange() {
        Form3 dlg(nullptr, {});
        auto* drive1 = dlg.findChild<QComboBox*>("Drive1");
        auto* dir1 = dlg.findChild<QListWidget*>("Dir1");
        const int listed = dir1->count();
        QVERIFY(tmp_->path().startsWith(drive1->currentText()));
        // A volume that cannot be read is ignored silently.
        drive1->addItem(tmp_->filePath("gone"));
        drive1->setCurrentIndex(drive1->count() - 1);
        QCOMPARE(dlg.openFolder(), tmp_->path());
        QCOMPARE(dir1->count(), listed);
        drive1->setCurrentIndex(drive1->findText("/"));
        QCOMPARE(dlg.openFolder(), "/");
        // Opened while the current folder is gone, it still leads somewhere.
        QVERIFY(tmp_->remove());
        Form3 again(nullptr, {});
        QVERIFY(again.findChild<QListWidget*>("Dir1")->count() > 0);
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
    std::unique_ptr<QTemporaryDir> tmp_;
};

QTEST_MAIN(TstFolderImport)
#include "tst_folder_import.moc"
