#include "playlist/list_file.h"
#include "playlist/list_file_store.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

class TestListFile : public QObject {
    Q_OBJECT
private slots:
    void decode_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("entries");
        const QString nul(1, QChar(0));

        QTest::newRow("empty file") << QByteArray() << QStringList();
        QTest::newRow("no final line end") << QByteArray("a\r\nb") << QStringList{"a", "b"};
        QTest::newRow("comma splits") << QByteArray("a,b\r\n") << QStringList{"a", "b"};
        QTest::newRow("comma in a path")
            << QByteArray("C:\\Music\\a, b.mp3\r\n") << QStringList{"C:\\Music\\a", "b.mp3"};
        QTest::newRow("quoted comma") << QByteArray("\"x, y\"\r\n") << QStringList{"x, y"};
        QTest::newRow("empty line") << QByteArray("a\r\n\r\nb\r\n") << QStringList{"a", "", "b"};
        QTest::newRow("only a line end") << QByteArray("\r\n") << QStringList{""};
        QTest::newRow("trailing comma") << QByteArray("a,\r\n") << QStringList{"a", ""};
        QTest::newRow("comma at end of file") << QByteArray("a,") << QStringList{"a", ""};
        QTest::newRow("leading spaces skipped")
            << QByteArray("  a, b\r\n") << QStringList{"a", "b"};
        QTest::newRow("trailing spaces kept")
            << QByteArray("a  ,b \r\n") << QStringList{"a  ", "b "};
        QTest::newRow("tab not skipped") << QByteArray("\ta\r\n") << QStringList{"\ta"};
        QTest::newRow("spaces before quote")
            << QByteArray("   \"q, r\"\r\n") << QStringList{"q, r"};
        QTest::newRow("empty quoted") << QByteArray("\"\"\r\n") << QStringList{""};
        QTest::newRow("text after closing quote ignored")
            << QByteArray("\"a\"junk,b\r\n\"c\" x\r\n") << QStringList{"a", "b", "c"};
        QTest::newRow("quote inside a field is a character")
            << QByteArray("/m/a\"b.mp3\r\n") << QStringList{"/m/a\"b.mp3"};
        QTest::newRow("quoted field spans lines")
            << QByteArray("\"a\r\nb,c\"\r\nd\r\n") << QStringList{"a\r\nb,c", "d"};
        QTest::newRow("quoted field cut by end of file")
            << QByteArray("x\r\n\"abc") << QStringList{"x", "abc"};
        QTest::newRow("cut quoted field ends before final line end")
            << QByteArray("\"ab,c\r\nd\r\n") << QStringList{"ab,c\r\nd"};
        QTest::newRow("lone LF") << QByteArray("a\nb\n") << QStringList{"a", "b"};
        QTest::newRow("lone CR") << QByteArray("a\rb\r") << QStringList{"a", "b"};
        QTest::newRow("LF CR is two line ends")
            << QByteArray("a\n\rb") << QStringList{"a", "", "b"};
        QTest::newRow("UTF-8") << QByteArray("/m/caf\xC3\xA9.mp3\r\n")
                               << QStringList{u"/m/café.mp3"_qs};
        QTest::newRow("byte order mark skipped")
            << QByteArray("\xEF\xBB\xBF/a\r\n") << QStringList{"/a"};
        QTest::newRow("invalid UTF-8 replaced")
            << QByteArray("a\xFF\r\n") << QStringList{QString("a") + QChar::ReplacementCharacter};
        QTest::newRow("NUL kept") << QByteArray("a\0b\r\n", 5) << QStringList{"a" + nul + "b"};
    }

    void decode() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, entries);
        QCOMPARE(decodeListFile(bytes), entries);
    }

    void encode_data() {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QByteArray>("bytes");

        QTest::newRow("empty list is an empty file") << QStringList() << QByteArray();
        QTest::newRow("every line ends in CR LF")
            << QStringList{"/m/a.mp3", "/m/b c.mp3"} << QByteArray("/m/a.mp3\r\n/m/b c.mp3\r\n");
        QTest::newRow("empty entries") << QStringList{"a", "", "b"} << QByteArray("a\r\n\r\nb\r\n");
        QTest::newRow("one empty entry") << QStringList{""} << QByteArray("\r\n");
        QTest::newRow("comma quoted")
            << QStringList{"/m/a, b.mp3"} << QByteArray("\"/m/a, b.mp3\"\r\n");
        QTest::newRow("leading space quoted") << QStringList{" a"} << QByteArray("\" a\"\r\n");
        QTest::newRow("trailing space unchanged") << QStringList{"a "} << QByteArray("a \r\n");
        QTest::newRow("line break quoted") << QStringList{"a\nb"} << QByteArray("\"a\nb\"\r\n");
        QTest::newRow("UTF-8") << QStringList{u"/m/é"_qs} << QByteArray("/m/\xC3\xA9\r\n");
        QTest::newRow("inner quote unchanged")
            << QStringList{"/m/a\"b"} << QByteArray("/m/a\"b\r\n");
        // Entries that cannot be stored: written as they are, never leaving a quote open.
        QTest::newRow("quote and comma unchanged")
            << QStringList{"/m/a\"b,c"} << QByteArray("/m/a\"b,c\r\n");
        QTest::newRow("leading quote closed") << QStringList{"\"q"} << QByteArray("\"q\"\r\n");
        QTest::newRow("open quote after comma closed")
            << QStringList{"x, \"y"} << QByteArray("x, \"y\"\r\n");
        QTest::newRow("line breaks become CR LF, each line closed")
            << QStringList{"\"a\nb, \"c\rd"} << QByteArray("\"a\"\r\nb, \"c\"\r\nd\r\n");
    }

    void encode() {
        QFETCH(QStringList, entries);
        QFETCH(QByteArray, bytes);
        QCOMPARE(encodeListFile(entries), bytes);
    }

    void roundTrip_data() {
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("plain") << QStringList{"/music/a.mp3", "/music/b.mp3"};
        QTest::newRow("commas") << QStringList{"/m/a, b.mp3", ",", ",,x,"};
        QTest::newRow("leading and trailing spaces") << QStringList{" a", "   ", "b  ", " , "};
        QTest::newRow("empty entries") << QStringList{"", "a", "", "", "b", ""};
        QTest::newRow("non-ASCII") << QStringList{u"/Música/Ñandú, ♫.mp3"_qs, u"/音楽/曲.mp3"_qs};
        QTest::newRow("line breaks") << QStringList{"a\r\nb", "\n", "\r", "x\r"};
        QTest::newRow("quote not first") << QStringList{"/m/say \"hi\".mp3", "a\"\"b"};
    }

    void roundTrip() {
        QFETCH(QStringList, entries);
        QCOMPARE(decodeListFile(encodeListFile(entries)), entries);
    }

    void unstorableEntryKeepsNeighbours_data() {
        QTest::addColumn<QString>("entry");
        QTest::newRow("leading quote") << "\"abc";
        QTest::newRow("quote after comma") << "/m/a, \"b.mp3";
        QTest::newRow("quote and line break") << "a\"\n\"b";
        QTest::newRow("three quotes") << "\"a\"b\"";
    }

    void unstorableEntryKeepsNeighbours() {
        QFETCH(QString, entry);
        const QStringList decoded =
            decodeListFile(encodeListFile({"/before.mp3", entry, "/after.mp3"}));
        QVERIFY(decoded.size() >= 3);
        QCOMPARE(decoded.first(), "/before.mp3");
        QCOMPARE(decoded.last(), "/after.mp3");
    }

    void randomInputIsHandled() {
        QRandomGenerator rng(20240607);

        // Arbitrary bytes: never more entries than separators allow.
        QByteArray noise(1 << 20, Qt::Uninitialized);
        for (char& c : noise)
            c = char(rng.bounded(256));
        const qsizetype separators = noise.count(',') + noise.count('\r') + noise.count('\n');
        QVERIFY(decodeListFile(noise).size() <= separators + 1);

        // Lists built from the troublesome characters come back whole when they hold no quote.
        const QString alphabet = u"a ,\r\né/"_qs;
        for (int round = 0; round < 2000; ++round) {
            QStringList entries;
            for (int n = rng.bounded(5); n > 0; --n) {
                QString e;
                for (int len = rng.bounded(6); len > 0; --len)
                    e += alphabet.at(rng.bounded(alphabet.size()));
                entries << e;
            }
            QCOMPARE(decodeListFile(encodeListFile(entries)), entries);
        }
    }

    void saveWritesExactBytesAndLoadsBack() {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QStringList entries{"/m/a.mp3", "/m/b, c.mp3", ""};
        const QString path = listFilePath(tmp.path(), "list");
        const ListFileResult saved = saveListFile(path, entries);
        QVERIFY2(saved.ok, qPrintable(saved.error));
        QCOMPARE(readBytes(path), QByteArray("/m/a.mp3\r\n\"/m/b, c.mp3\"\r\n\r\n"));

        const LoadedListFile loaded = loadListFile(path);
        QVERIFY(loaded.ok);
        QCOMPARE(loaded.entries, entries);

        QVERIFY(saveListFile(path, {}).ok);
        QCOMPARE(QFileInfo(path).size(), 0);
        QVERIFY(loadListFile(path).ok);
    }

    void saveReplacesExistingFile() {
        QTemporaryDir tmp;
        const QString path = tmp.filePath("x.mlt");
        QVERIFY(writeBytes(path, QByteArray(10000, 'z')));
        QVERIFY(saveListFile(path, {"/a"}).ok);
        QCOMPARE(readBytes(path), QByteArray("/a\r\n"));
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"x.mlt"});
    }

    void failedSave_data() {
        QTest::addColumn<QString>("typed");
        QTest::newRow("folder missing") << "missing/x";
        QTest::newRow("folder is a file") << "file/x";
        QTest::newRow("target is a folder") << "folder";
        QTest::newRow("read-only folder") << "readonly/x";
    }

    void failedSave() {
        QFETCH(QString, typed);
        QTemporaryDir tmp;
        QVERIFY(writeBytes(tmp.filePath("file"), "keep"));
        QVERIFY(QDir(tmp.path()).mkpath("folder.mlt"));
        QVERIFY(QDir(tmp.path()).mkdir("readonly"));
        QVERIFY(writeBytes(tmp.filePath("readonly/x.mlt"), "keep"));
        QFile::setPermissions(tmp.filePath("readonly"), QFile::ReadOwner | QFile::ExeOwner);
        if (typed.startsWith("readonly") &&
            QFile(tmp.filePath("readonly/probe")).open(QIODevice::WriteOnly))
            QSKIP("permissions do not bite for this user");

        const QString path = listFilePath(tmp.path(), typed);
        const ListFileResult saved = saveListFile(path, {"/a.mp3"});
        QFile::setPermissions(tmp.filePath("readonly"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!saved.ok);
        QVERIFY(!saved.error.isEmpty());
        QCOMPARE(readBytes(tmp.filePath("file")), "keep");
        QCOMPARE(readBytes(tmp.filePath("readonly/x.mlt")), "keep");
        QVERIFY(QFileInfo(tmp.filePath("folder.mlt")).isDir());
    }

    void failedWriteLeavesExistingFileIntact() {
        // A file size limit makes writing fail like a full disk, whoever runs the test.
        QTemporaryDir tmp;
        const QString path = tmp.filePath("big.mlt");
        QVERIFY(writeBytes(path, "old\r\n"));
        const QStringList entries(20000, QStringLiteral("/music/some/long/enough/path.mp3"));

        rlimit before{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &before) == 0);
        auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = before;
        small.rlim_cur = 4096;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        const ListFileResult saved = saveListFile(path, entries);
        setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, previousHandler);

        QVERIFY(!saved.ok);
        QVERIFY(!saved.error.isEmpty());
        QCOMPARE(readBytes(path), "old\r\n");
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"big.mlt"});
    }

    void failedLoad_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing file") << "missing.mlt";
        QTest::newRow("folder") << "folder.mlt";
        QTest::newRow("under a file") << "file/x.mlt";
    }

    void failedLoad() {
        QFETCH(QString, name);
        QTemporaryDir tmp;
        QVERIFY(QDir(tmp.path()).mkdir("folder.mlt"));
        QVERIFY(writeBytes(tmp.filePath("file"), "x"));
        const LoadedListFile loaded = loadListFile(tmp.filePath(name));
        QVERIFY(!loaded.ok);
        QVERIFY(!loaded.error.isEmpty());
        QVERIFY(loaded.entries.isEmpty());
    }

    void folderFallsBackWhenProgramFolderIsNotWritable() {
        QTemporaryDir tmp;
        QVERIFY(writeBytes(tmp.filePath("file"), "x"));
        const QString userFolder = tmp.filePath("user/data");

        const ListFileFolder own = listFileFolder(tmp.path(), userFolder);
        QCOMPARE(own.path, tmp.path());
        QVERIFY(!own.fallbackUsed);
        QVERIFY(!QFileInfo::exists(userFolder));
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"file"});

        for (const QString& unwritable : {tmp.filePath("file/sub"), tmp.filePath("missing")}) {
            const ListFileFolder other = listFileFolder(unwritable, userFolder);
            QCOMPARE(other.path, userFolder);
            QVERIFY(other.fallbackUsed);
            QVERIFY(QFileInfo(userFolder).isDir());
        }
    }
};

QTEST_GUILESS_MAIN(TestListFile)
#include "tst_list_file.moc"
