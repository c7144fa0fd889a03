#include "form1_fixture.h"

#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>

namespace {
// Answers the name box with `name`, or cancels it when `name` is null.
std::function<void(QWidget*)> typeName(const QString& name) {
    return [name](QWidget* w) {
        auto* box = qobject_cast<QInputDialog*>(w);
        if (!box) {
            ModalWatcher::acceptBox(w);
            return;
        }
        if (name.isNull()) {
            box->reject();
            return;
        }
        box->setTextValue(name);
        box->accept();
    };
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
} // namespace

// Building the list by hand, saving and loading list files, importing a folder.
class TstForm1Lists : public QObject {
    Q_OBJECT
private slots:
    void addFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("new.mp3");
        QFile(path).open(QIODevice::WriteOnly);
        Form1Fixture f;
        f.add({"/m/a.mp3"});
        f.select(0);
        ModalWatcher watcher(chooseFile(path));
        f.form->mnuaddfile_Click();
        QCOMPARE(watcher.seen.size(), 1);
        QCOMPARE(watcher.seen[0].title, QStringLiteral("Load your MP3."));
        QCOMPARE(f.list()->entries(), QStringList({"/m/a.mp3", path}));
        QCOMPARE(f.Text1()->text(), path);
        QCOMPARE(f.selected(), 0);   // adding never moves the selection
        f.form->mnuaddfile2_Click(); // the menu's copy does the same
        QCOMPARE(f.list()->entries(), QStringList({"/m/a.mp3", path, path}));
    }

    void addFileDialogOffersMp3sInAnyCase() {
        QTemporaryDir dir;
        for (const char* name : {"a.mp3", "b.MP3", "c.Mp3", "d.wav"})
            QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
        Form1Fixture f;
        QStringList filters;
        QStringList offered;
        ModalWatcher watcher([&](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            QVERIFY(dialog);
            filters = dialog->nameFilters();
            dialog->setDirectory(dir.path());
            auto* model = dialog->findChild<QFileSystemModel*>();
            QVERIFY(model);
            const QModelIndex folder = model->index(dir.path());
            // The listing fills in from a thread; wait until it has settled.
            QTRY_VERIFY_WITH_TIMEOUT(model->rowCount(folder) >= 3, 2000);
            QTest::qWait(100);
            for (int i = 0; i < model->rowCount(folder); ++i)
                offered << model->index(i, 0, folder).data().toString();
            dialog->reject();
        });
        f.form->mnuaddfile_Click();
        QCOMPARE(filters, QStringList({"MP3 Files (*.mp3)"}));
        offered.sort();
        QCOMPARE(offered, QStringList({"a.mp3", "b.MP3", "c.Mp3"}));
        QCOMPARE(f.list()->count(), 0); // cancelled: nothing changes
    }

    void cancelledAddChangesNothing() {
        Form1Fixture f;
        ModalWatcher watcher(chooseFile(QString()));
        f.form->mnuaddfile_Click();
        QCOMPARE(f.list()->count(), 0);
        QCOMPARE(f.Text1()->text(),
                 QStringLiteral("   song file will show in here when playing....."));
    }

    void removeEntries() {
        Form1Fixture f;
        f.add({"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"});
        ModalWatcher watcher;
        f.form->CmdRem_Click(); // nothing selected
        QCOMPARE(watcher.seen.size(), 1);
        QCOMPARE(watcher.seen[0].text, QStringLiteral("No file selected"));
        QCOMPARE(watcher.seen[0].title, QStringLiteral("Error"));
        QCOMPARE(watcher.seen[0].icon, QMessageBox::Warning);
        QCOMPARE(f.list()->count(), 3);

        f.select(1);
        QCOMPARE(f.Text1()->text(), QStringLiteral("/m/b.mp3"));
        f.form->CmdRem_Click();
        QCOMPARE(f.list()->entries(), QStringList({"/m/a.mp3", "/m/c.mp3"}));
        QCOMPARE(f.Text1()->text(), QString());
        QCOMPARE(f.selected(), -1);
        f.form->mnuRemove_Click(); // again without a new selection: the warning
        QCOMPARE(watcher.seen.size(), 2);
        QCOMPARE(f.list()->count(), 2);
        QVERIFY(f.engine->calls.isEmpty()); // playback is not touched

        f.select(0);
        f.form->CmdClear_Click();
        QCOMPARE(f.list()->count(), 0);
        QCOMPARE(f.Text1()->text(), QString());
        QCOMPARE(f.selected(), -1);
        f.Text1()->setText(QStringLiteral("typed"));
        f.form->mnuRemall_Click(); // on an empty list: no message, Text1 emptied
        QCOMPARE(f.Text1()->text(), QString());
        QCOMPARE(watcher.seen.size(), 2);
    }

    void arrowKeysSelect() {
        Form1Fixture f;
        f.showActive();
        f.add({"/m/a.mp3", "/m/b.mp3"});
        f.List1()->setFocus();
        QTest::keyClick(f.List1(), Qt::Key_Down);
        QTest::keyClick(f.List1(), Qt::Key_Down);
        QCOMPARE(f.selected(), 1);
        QCOMPARE(f.Text1()->text(), QStringLiteral("/m/b.mp3"));
        QTest::keyClick(f.List1(), Qt::Key_Up);
        QCOMPARE(f.Text1()->text(), QStringLiteral("/m/a.mp3"));
    }

    void saveList_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("file");
        QTest::newRow("name") << "mylist"
                              << "mylist.mlt";
        QTest::newRow("extension typed") << "mylist.mlt"
                                         << "mylist.mlt.mlt";
        QTest::newRow("empty answer") << ""
                                      << ".mlt";
    }
    void saveList() {
        QFETCH(QString, answer);
        QFETCH(QString, file);
        QTemporaryDir dir;
        Form1Fixture f;
        f.form->setListFolders(dir.path(), dir.filePath("fallback"));
        f.add({"/m/a.mp3", "", "/m/a, b.mp3"});
        ModalWatcher watcher(typeName(answer));
        f.form->CmdSaveList_Click();
        QCOMPARE(watcher.seen.size(), 1);
        QCOMPARE(watcher.seen[0].title, QStringLiteral("ListName"));
        QCOMPARE(readAll(dir.filePath(file)), QByteArray("/m/a.mp3\r\n\r\n\"/m/a, b.mp3\"\r\n"));

        f.form->CmdClear_Click(); // an existing list is replaced without a question
        f.form->mnuSavelist_Click();
        QCOMPARE(readAll(dir.filePath(file)), QByteArray());
        QCOMPARE(watcher.seen.size(), 2);
    }

    void cancelledSaveWritesNothing() {
        QTemporaryDir dir;
        Form1Fixture f;
        f.form->setListFolders(dir.path(), dir.filePath("fallback"));
        f.add({"/m/a.mp3"});
        ModalWatcher watcher(typeName(QString()));
        f.form->CmdSaveList_Click();
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
    }

    void failedSaveSaysWhy() {
        QTemporaryDir dir;
        Form1Fixture f;
        f.form->setListFolders(dir.path(), dir.filePath("fallback"));
        f.add({"/m/a.mp3"});
        ModalWatcher watcher(typeName(QStringLiteral("no such folder/list")));
        f.form->CmdSaveList_Click();
        QCOMPARE(watcher.seen.size(), 2);
        QCOMPARE(watcher.seen[1].title, QStringLiteral("Error"));
        QVERIFY2(watcher.seen[1].text.contains(QStringLiteral("no such folder/list.mlt")),
                 qPrintable(watcher.seen[1].text));
    }

    void loadList() {
        QTemporaryDir dir;
        const QString path = dir.filePath("l.mlt");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("/m/x.mp3\r\n/m/y.mp3, /m/z.mp3\r\n");
        file.close();
        Form1Fixture f;
        f.add({"/m/a.mp3"});
        f.select(0);
        ModalWatcher watcher(chooseFile(path));
        f.form->CmdLoadList_Click();
        f.form->mnuLoadList_Click();
        QCOMPARE(watcher.seen.size(), 2);
        QCOMPARE(watcher.seen[0].title, QStringLiteral("Load your list."));
        const QStringList once = {"/m/x.mp3", "/m/y.mp3", "/m/z.mp3"};
        QCOMPARE(f.list()->entries(), QStringList({"/m/a.mp3"}) + once + once);
        QCOMPARE(f.selected(), 0);
        QCOMPARE(f.Text1()->text(), QStringLiteral("/m/a.mp3"));
    }

    void loadMissingListSaysFileNotFound() {
        QTemporaryDir dir;
        Form1Fixture f;
        ModalWatcher watcher(chooseFile(dir.filePath("gone.mlt")));
        f.form->CmdLoadList_Click();
        QCOMPARE(watcher.seen.size(), 2);
        QCOMPARE(watcher.seen[1].text, QStringLiteral("File Not Found"));
        QCOMPARE(watcher.seen[1].title, QStringLiteral("Error"));
        QCOMPARE(f.list()->count(), 0);
    }

    void importFolderFromMenu() {
        QTemporaryDir dir;
        for (const char* name : {"b.MP3", "a.mp3", "c.wav"})
            QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
        const QString before = QDir::currentPath();
        QDir::setCurrent(dir.path()); // the chooser opens at the current folder
        Form1Fixture f;
        f.add({"/m/first.mp3"});
        ModalWatcher watcher([](QWidget* w) {
            QVERIFY(w->objectName() == QLatin1String("Form3"));
            QMetaObject::invokeMethod(w, "CmdOk_Click");
        });
        f.form->mnuAdddir2_Click();
        QDir::setCurrent(before);
        const QString folder = QDir(dir.path()).canonicalPath();
        QCOMPARE(f.list()->entries(),
                 QStringList({"/m/first.mp3", folder + "/a.mp3", folder + "/b.MP3"}));
        QCOMPARE(f.selected(), -1);
    }
    // Paths opened from outside the window: files, folders and lists in the order given, in
    // one batch; the first added entry plays unless enqueued; what is missing is named once.
    void openPaths_data() {
        QTest::addColumn<QStringList>("paths"); // inside a folder holding the files below
        QTest::addColumn<bool>("enqueue");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("file, folder, list; first plays")
            << QStringList{"one.mp3", "album", "l.mlt"} << false
            << QStringList{"one.mp3", "album/a.mp3", "album/b.MP3", "/m/x.mp3"} << QStringList{};
        QTest::newRow("enqueued") << QStringList{"album"} << true
                                  << QStringList{"album/a.mp3", "album/b.MP3"} << QStringList{};
        QTest::newRow("missing named in one box, the rest added")
            << QStringList{"gone.mp3", "one.mp3", "gone.mlt"} << false << QStringList{"one.mp3"}
            << QStringList{"These do not exist or cannot be read:\n%1/gone.mp3\n%1/gone.mlt"};
        QTest::newRow("folder without MP3 files")
            << QStringList{"empty"} << false << QStringList{}
            << QStringList{"No files were found in specific folder"};
    }

    void openPaths() {
        QFETCH(QStringList, paths);
        QFETCH(bool, enqueue);
        QFETCH(QStringList, entries);
        QTemporaryDir dir;
        QDir(dir.path()).mkpath("album");
        QDir(dir.path()).mkpath("empty");
        for (const char* name : {"one.mp3", "album/b.MP3", "album/a.mp3", "empty/c.txt"})
            QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
        QFile list(dir.filePath("l.mlt"));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("/m/x.mp3\r\n");
        list.close();
        for (QString& p : paths)
            p = dir.filePath(p);
        for (QString& e : entries)
            e = e.startsWith('/') ? e : dir.filePath(e);

        Form1Fixture f;
        f.add({"/m/first.mp3"});
        ModalWatcher watcher;
        f.form->openPaths(paths, enqueue);
        QCOMPARE(f.list()->entries(), QStringList{"/m/first.mp3"} + entries);
        const bool plays = !enqueue && !entries.isEmpty();
        QCOMPARE(f.selected(), plays ? 1 : -1);
        QCOMPARE(f.engine->state(),
                 plays ? MediaEngine::PlayState::Playing : MediaEngine::PlayState::Stopped);
        QCOMPARE(f.engine->fileName(), plays ? entries.first() : QString());
        QStringList shown;
        for (const auto& seen : std::as_const(watcher.seen))
            shown << seen.text;
        QFETCH(QStringList, messages);
        for (QString& m : messages)
            m = m.arg(dir.path());
        QCOMPARE(shown, messages);
    }

    // Dropped files are added in the order dropped, a dropped folder adds its MP3 files, and
    // other things are ignored; the selection and the current file stay as they were.
    void dropOnTheList() {
        QTemporaryDir dir;
        QDir(dir.path()).mkdir("album");
        for (const char* name : {"song.ogg", "album/b.mp3", "album/a.MP3", "album/c.txt"})
            QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
        Form1Fixture f;
        f.add({"/m/first.mp3"});
        f.select(0);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(dir.filePath("song.ogg")),
                      QUrl(QStringLiteral("https://example.org/x.mp3")),
                      QUrl::fromLocalFile(dir.filePath("album")),
                      QUrl::fromLocalFile(dir.filePath("gone.mp3"))});
        QWidget* target = f.List1()->viewport();
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(target, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(target, &drop);
        const QString album = dir.filePath("album");
        QCOMPARE(f.list()->entries(), QStringList({"/m/first.mp3", dir.filePath("song.ogg"),
                                                   album + "/a.MP3", album + "/b.mp3"}));
        QCOMPARE(f.selected(), 0);
        QCOMPARE(f.Text1()->text(), QStringLiteral("/m/first.mp3"));

        QMimeData text;
        text.setText(QStringLiteral("/m/x.mp3"));
        QDropEvent dropText(QPointF(5, 5), Qt::CopyAction, &text, Qt::LeftButton, {});
        QApplication::sendEvent(target, &dropText);
        QCOMPARE(f.list()->count(), 4);
    }
};

QTEST_MAIN(TstForm1Lists)
#include "tst_form1_lists.moc"
