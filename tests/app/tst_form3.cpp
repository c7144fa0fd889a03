#include "app/form3.h"
#include "common/modal_watcher.h"
#include "playlist/mounted_volumes.h"

#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class TstForm3 : public QObject {
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
        QTest::newRow("Ok, open folder removed: says so") << "remove folder, ok" << QStringList();
        QTest::newRow("Cancel") << "cancel" << QStringList();
        // MP3 files in any case, sorted ignoring case; hidden ones and folders left out.
        QTest::newRow("single click only highlights")
            << "click, ok" << QStringList{"a.mp3", "B.MP3"};
        QTest::newRow("double click opens")
            << "click, second click, ok" << QStringList{"d.mp3/x.mp3"};
    }
    void userSession() {
        QFETCH(QString, user);
        QFETCH(QStringList, added);
        for (const char* name : {"a.mp3", "B.MP3", ".h.mp3", "c.wav", "d.mp3/x.mp3"}) {
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
                } else if (step == "click") {
                    QTest::mouseClick(dir1->viewport(), Qt::LeftButton, {}, at);
                } else if (step == "second click") { // as a window system delivers it
                    QTest::mousePress(dir1->viewport(), Qt::LeftButton, {}, at);
                    QTest::mouseDClick(dir1->viewport(), Qt::LeftButton, {}, at);
                    QTest::mouseRelease(dir1->viewport(), Qt::LeftButton, {}, at);
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

    // Opened while the current folder is gone, it still leads somewhere.
    void openedWhileTheFolderIsGone() {
        QVERIFY(tmp_->remove());
        Form3 dlg(nullptr, {});
        QVERIFY(dlg.findChild<QListWidget*>("Dir1")->count() > 0);
    }

    void volumes() {
        const QByteArray table = "tmpfs /tmp tmpfs rw 0 0\n"
                                 "/dev/sdb1 /media/ann/USB\\040STICK vfat rw 0 0\n"
                                 "/dev/sdc1 /run/media/ann/DISK ext4 rw 0 0\n";
        const QStringList roots{"/", "/media/ann/USB STICK", "/run/media/ann/DISK"};
        QCOMPARE(userVolumeRoots(parseMountTable(table)), roots);
        QCOMPARE(volumeOf("/media/ann/USB STICKS/a", roots), "/"); // only starts alike
    }

private:
    std::unique_ptr<QTemporaryDir> tmp_;
};

QTEST_MAIN(TstForm3)
#include "tst_form3.moc"
