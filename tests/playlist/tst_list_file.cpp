#include "playlist/list_file.h"
#include "playlist/list_file_store.h"

#include <QDir>
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

// Hidden ones too, so a temporary file left behind by a save shows up.
QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden);
}

void row(const char* name, const QByteArray& bytes, const QStringList& entries) {
    QTest::newRow(name) << bytes << entries;
}

} // namespace

class TestListFile : public QObject {
    Q_OBJECT
private slots:
    void decode_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("entries");
        row("empty input", "", {});
        row("commas split, final CR LF adds nothing", "a,b,\r\n", {"a", "b", ""});
        row("empty lines, no final line end", "\r\na\r\n\r\nb", {"", "a", "", "b"});
        row("leading spaces skipped, trailing kept", "  a ,  \"b\", c \r\n", {"a ", "b", "c "});
        row("quoted comma and line break", "\"a,\r\nb\"\r\nc\r\n", {"a,\r\nb", "c"});
        row("text after closing quote ignored", "\"a\"junk,b\r\n\"c\" x", {"a", "b", "c"});
        row("quote inside a field kept", "/a\"b.mp3\r\n", {"/a\"b.mp3"});
        row("lone LF, lone CR, LF CR is two", "a\nb\rc\n\rd\n", {"a", "b", "c", "", "d"});
        row("quoted field cut by end of file", "x\r\n\"ab,c\r\nd\r\n", {"x", "ab,c\r\nd"});
        row("byte order mark, UTF-8, invalid byte", "\xEF\xBB\xBF\"/\xC3\xA9,\xFF\"",
            {u"/é,"_qs + QChar::ReplacementCharacter});
        row("U+FEFF starting a later field is kept", "x\r\n\xEF\xBB\xBF\"a",
            {"x", QChar(0xFEFF) + QStringLiteral("\"a")});
    }

    void decode() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, entries);
        QCOMPARE(decodeListFile(bytes), entries);
    }

    void encode_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("entries");
        row("empty list, empty file", "", {});
        row("plain entries unchanged", "/a b\r\n\r\n/\xC3\xA9\r\nz \r\n",
            {"/a b", "", u"/é"_qs, "z "});
        row("comma, leading space, line break quoted", "\"a, b\"\r\n\" a\"\r\n\"a\nb\"\r\n",
            {"a, b", " a", "a\nb"});
        row("inner quote unchanged", "/a\"b\r\n", {"/a\"b"});
        row("U+FEFF starting the first entry", "\xEF\xBB\xBF\xEF\xBB\xBF a\r\nb\r\n",
            {QChar(0xFEFF) + QStringLiteral(" a"), "b"});
        // With no way to escape a quote these cannot be stored: written as they are, line breaks
        // as CR LF, a quote left open closed on its own line.
        row("quote and comma", "/a\"b,c\r\n/z\r\n", {"/a\"b,c", "/z"});
        row("leading quote", "\"q\"\r\n/z\r\n", {"\"q", "/z"});
        row("open quote after comma", "x, \"y\"\r\n/z\r\n", {"x, \"y", "/z"});
        row("quotes and line breaks", "\"a\"\r\nb, \"c\"\r\nd\r\n/z\r\n", {"\"a\nb, \"c\rd", "/z"});
    }

    void encode() {
        QFETCH(QStringList, entries);
        QFETCH(QByteArray, bytes);
        QCOMPARE(encodeListFile(entries), bytes);
        // Whatever an entry holds, it never swallows the entries after it.
        if (!entries.isEmpty())
            QCOMPARE(decodeListFile(bytes).last(), entries.last());
    }

    void roundTripAndRandomBytes() {
        QRandomGenerator rng(20240607);
        // Lists built from the troublesome characters come back whole when they hold no quote.
        const QString alphabet = u"a ,\r\né/"_qs;
        for (int round = 0; round < 2000; ++round) {
            QStringList entries(rng.bounded(5));
            for (QString& e : entries)
                for (int len = rng.bounded(6); len > 0; --len)
                    e += alphabet.at(rng.bounded(alphabet.size()));
            QCOMPARE(decodeListFile(encodeListFile(entries)), entries);
        }
        QByteArray noise(1 << 16, Qt::Uninitialized);
        for (char& c : noise)
            c = char(rng.bounded(256));
        const qsizetype separators = noise.count(',') + noise.count('\r') + noise.count('\n');
        QVERIFY(decodeListFile(noise).size() <= separators + 1);
    }

    void saveReplacesAndLoadsBack() {
        QTemporaryDir tmp;
        const QString path = listFilePath(tmp.path(), "list");
        const QStringList entries{"/m/a.mp3", "/m/b, c.mp3", ""};
        QVERIFY(saveListFile(path, entries + entries).ok);
        const ListFileResult saved = saveListFile(path, entries);
        QVERIFY2(saved.ok, qPrintable(saved.error));
        QCOMPARE(readBytes(path), QByteArray("/m/a.mp3\r\n\"/m/b, c.mp3\"\r\n\r\n"));
        QCOMPARE(filesIn(tmp.path()), QStringList{"list.mlt"});
        const LoadedListFile loaded = loadListFile(path);
        QVERIFY(loaded.ok);
        QCOMPARE(loaded.entries, entries);
        const LoadedListFile missing = loadListFile(tmp.filePath("missing.mlt"));
        QVERIFY(!missing.ok && !missing.error.isEmpty());
    }

    void failedSave_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("diskFull");
        QTest::newRow("folder missing") << "missing/x" << false;
        QTest::newRow("target is a folder") << "folder" << false;
        QTest::newRow("disk full") << "old" << true;
    }

    void failedSave() {
        QFETCH(QString, typed);
        QFETCH(bool, diskFull);
        QTemporaryDir tmp;
        QVERIFY(QDir(tmp.path()).mkdir("folder.mlt"));
        QVERIFY(saveListFile(tmp.filePath("old.mlt"), {"old"}).ok);
        const QStringList entries(20000, QStringLiteral("/music/some/long/enough/path.mp3"));

        // A file size limit makes writing fail like a full disk, whoever runs the test.
        rlimit before{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &before) == 0);
        const rlimit limit{diskFull ? 4096 : before.rlim_cur, before.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN); // a failed write instead of a killed test
        QVERIFY(setrlimit(RLIMIT_FSIZE, &limit) == 0);
        const ListFileResult saved = saveListFile(listFilePath(tmp.path(), typed), entries);
        setrlimit(RLIMIT_FSIZE, &before);
        QVERIFY(!saved.ok && !saved.error.isEmpty());
        QCOMPARE(readBytes(tmp.filePath("old.mlt")), "old\r\n");
        QCOMPARE(filesIn(tmp.path()), QStringList{"old.mlt"});
        QVERIFY(QFileInfo(tmp.filePath("folder.mlt")).isDir());
    }

    void folderFallsBackWhenProgramFolderIsNotWritable() {
        QTemporaryDir tmp;
        const QString userFolder = tmp.filePath("user/data");
        const ListFileFolder own = listFileFolder(tmp.path(), userFolder);
        QCOMPARE(own.path, tmp.path());
        QVERIFY(!own.fallbackUsed);
        // Neither the write probe nor the user folder is left behind.
        QVERIFY(QDir(tmp.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));

        // Not even root can create files in /proc.
        const ListFileFolder other = listFileFolder("/proc", userFolder);
        QCOMPARE(other.path, userFolder);
        QVERIFY(other.fallbackUsed);
        QVERIFY(QFileInfo(userFolder).isDir());
    }

    void installedCopyUsesUserFolder() {
        // Root can write to /usr/bin; an installed copy must still keep lists out of it.
        QTemporaryDir tmp;
        const ListFileFolder installed = listFileFolder("/usr/bin/", tmp.filePath("user"));
        QCOMPARE(installed.path, tmp.filePath("user"));
        QVERIFY(installed.fallbackUsed);
    }
};

QTEST_GUILESS_MAIN(TestListFile)
#include "tst_list_file.moc"
