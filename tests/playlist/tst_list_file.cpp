#include "playlist/list_file.h"
#include "playlist/list_file_store.h"
#include "playlist/list_formats.h"

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

// A list file of the kind `suffix`, kept in /lists, with the number of entries left out.
void read(const char* name, const char* suffix, const QByteArray& bytes, const QStringList& entries,
          int skipped = 0) {
    QTest::newRow(name) << bytes << entries << QString::fromLatin1(suffix) << skipped;
}

} // namespace

class TestListFile : public QObject {
    Q_OBJECT
private slots:
    void decode_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<int>("skipped");
        read("empty input", "mlt", "", {});
        read("commas split, final CR LF adds nothing", "mlt", "a,b,\r\n", {"a", "b", ""});
        read("empty lines, no final line end", "mlt", "\r\na\r\n\r\nb", {"", "a", "", "b"});
        read("leading spaces skipped, trailing kept", "mlt", "  a ,  \"b\", c \r\n",
             {"a ", "b", "c "});
        read("quoted comma and line break", "mlt", "\"a,\r\nb\"\r\nc\r\n", {"a,\r\nb", "c"});
        read("text after closing quote ignored", "mlt", "\"a\"junk,b\r\n\"c\" x", {"a", "b", "c"});
        read("quote inside a field kept", "mlt", "/a\"b.mp3\r\n", {"/a\"b.mp3"});
        read("lone LF, lone CR, LF CR is two", "mlt", "a\nb\rc\n\rd\n", {"a", "b", "c", "", "d"});
        read("quoted field cut by end of file", "mlt", "x\r\n\"ab,c\r\nd\r\n", {"x", "ab,c\r\nd"});
        read("byte order mark, UTF-8, invalid byte", "mlt", "\xEF\xBB\xBF\"/\xC3\xA9,\xFF\"",
             {u"/é,"_qs + QChar::ReplacementCharacter});
        read("U+FEFF starting a later field is kept", "mlt", "x\r\n\xEF\xBB\xBF\"a",
             {"x", QChar(0xFEFF) + QStringLiteral("\"a")});
        read("m3u: # lines skipped, relative paths, all line ends", "m3u",
             "#EXTM3U\r\n#EXTINF:3,T\r\n/m/a.mp3\n\n rel/b.mp3 \r../c.mp3\r\n",
             {"/m/a.mp3", "/lists/rel/b.mp3", "/c.mp3"});
        read("m3u: byte order mark, UTF-8", "M3U", "\xEF\xBB\xBF/m/\xC3\xA9.mp3", {u"/m/é.mp3"_qs});
        read("m3u: not UTF-8, so Latin-1", "m3u", "/m/\xE9.mp3\n/m/\xC3\xA9",
             {u"/m/é.mp3"_qs, u"/m/Ã©"_qs});
        read("m3u8: always UTF-8", "m3u8", "/m/\xE9.mp3", {u"/m/\uFFFD.mp3"_qs});
        read("m3u: file URIs decoded, others left out", "m3u",
             "file:///m/a%20b%C3%A9.mp3\nhttp://r/s.mp3\nfile://host/x.mp3\nC:/y.mp3",
             {u"/m/a bé.mp3"_qs, "/lists/C:/y.mp3"}, 2);
        read("m3u: lists in the list not followed", "m3u",
             "self.m3u\n/m/o.PLS\nx.mlt\nfile:///m/y.m3u8\n/m/a.mp3", {"/m/a.mp3"}, 4);
        read("m3u: binary data left out", "m3u", QByteArray("\x00\xFF\x01\x7F\n\xFE\x1B", 7), {},
             2);
        read("m3u: empty file", "m3u", "", {});
        read("pls: FileN in order of N, other keys ignored", "pls",
             "[playlist]\r\nNumberOfEntries=1\r\nFile3=/m/c.mp3\r\nTitle3=C\r\nfile1 = a.mp3\r\n"
             "Length1=-1\r\nFile10=http://x/s\r\nFile2=\r\nFiles=/m/no.mp3\r\nFile=/m/no.mp3\r\n"
             "File4=file:///m/d%23.mp3\r\nFile5=../l.m3u\r\nVersion=2\r\n",
             {"/lists/a.mp3", "/m/c.mp3", "/m/d#.mp3"}, 2);
    }

    void decode() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, entries);
        QFETCH(QString, suffix);
        QFETCH(int, skipped);
        const ListFormat* format = listFormatFor(QStringLiteral("/lists/x.") + suffix);
        QVERIFY(format);
        const ListReading reading = format->read(bytes, QStringLiteral("/lists"));
        QCOMPARE(reading.entries, entries);
        QCOMPARE(reading.skipped, skipped);
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
