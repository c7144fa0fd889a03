#include "playlist/list_file.h"
#include "playlist/list_file_store.h"
#include "playlist/list_formats.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <sched.h>
#include <sys/mount.h>

namespace {

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A mount namespace of the test's own (root only), so it can mount small full or read-only
// file systems, which stop root too, without touching the host.
QString enterPrivateMounts() {
    if (::unshare(CLONE_NEWNS) != 0)
        return QStringLiteral("no mount namespace (needs root): %1").arg(qt_error_string(errno));
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return QStringLiteral("mounts cannot be made private: %1").arg(qt_error_string(errno));
    return {};
}

const QString noMounts = enterPrivateMounts(); // why the file system rows cannot run

// How a row's bytes and entries go together: the bytes read as the entries; the entries are
// also written as the bytes; or they are written so, but cannot be stored whole.
enum Way { Read, Both, Damaged };

// A list file of the kind `suffix`, kept in /lists, with the number of entries left out.
void read(const char* name, const char* suffix, const QByteArray& bytes, const QStringList& entries,
          int skipped = 0, Way way = Read) {
    QTest::newRow(name) << bytes << entries << QString::fromLatin1(suffix) << skipped << way;
}

void written(const char* name, const QByteArray& bytes, const QStringList& entries,
             Way way = Both) {
    read(name, "mlt", bytes, entries, 0, way);
}

} // namespace

class TstListFile : public QObject {
    Q_OBJECT
private slots:
    void listText_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<int>("skipped");
        QTest::addColumn<Way>("way");
        read("empty input", "mlt", "", {});
        read("commas split, final CR LF adds nothing", "mlt", "a,b,\r\n", {"a", "b", ""});
        read("empty lines, no final line end", "mlt", "\r\na\r\n\r\nb", {"", "a", "", "b"});
        read("leading spaces skipped, trailing kept", "mlt", "  a ,  \"b\", c \r\n",
             {"a ", "b", "c "});
        read("text after closing quote ignored", "mlt", "\"a\"junk,b\r\n\"c\" x", {"a", "b", "c"});
        read("lone LF, lone CR, LF CR is two", "mlt", "a\nb\rc\n\rd\n", {"a", "b", "c", "", "d"});
        read("quoted field cut by end of file", "mlt", "x\r\n\"ab,c\r\nd\r\n", {"x", "ab,c\r\nd"});
        read("byte order mark, UTF-8, invalid byte", "mlt", "\xEF\xBB\xBF\"/\xC3\xA9,\xFF\"",
             {u"/é,"_qs + QChar::ReplacementCharacter});
        read("U+FEFF starting a later field is kept", "mlt", "x\r\n\xEF\xBB\xBF\"a",
             {"x", QChar(0xFEFF) + QStringLiteral("\"a")});
        written("plain entries unchanged", "/a b\r\n\r\n/\xC3\xA9\r\nz \r\n",
                {"/a b", "", u"/é"_qs, "z "});
        written("comma, leading space, line break quoted", "\"a, b\"\r\n\" a\"\r\n\"a\r\nb\"\r\n",
                {"a, b", " a", "a\r\nb"});
        written("U+FEFF starting the first entry", "\xEF\xBB\xBF\xEF\xBB\xBF a\r\nb\r\n",
                {QChar(0xFEFF) + QStringLiteral(" a"), "b"});
        // With no way to escape a quote these cannot be stored: written as they are, line breaks
        // as CR LF, a quote left open closed on its own line, so the entries after them stay.
        written("quote and comma", "/a\"b,c\r\n/z\r\n", {"/a\"b,c", "/z"}, Damaged);
        written("open quote after comma", "x, \"y\"\r\n/z\r\n", {"x, \"y", "/z"}, Damaged);
        written("quotes and line breaks", "\"a\"\r\nb, \"c\"\r\nd\r\n/z\r\n",
                {"\"a\nb, \"c\rd", "/z"}, Damaged);
        read("m3u: # lines skipped, relative paths, all line ends", "m3u",
             "#EXTM3U\r\n#EXTINF:3,T\r\n/m/a.mp3\n\n rel/b.mp3 \r../c.mp3\r\n:/d.mp3",
             {"/m/a.mp3", "/lists/rel/b.mp3", "/c.mp3", "/lists/:/d.mp3"});
        read("m3u: file URIs decoded, others left out", "m3u",
             "file:///m/a%20b%C3%A9.mp3\nhttp://r/s.mp3\nfile://host/x.mp3\nC:/"
             "y.mp3\nfile:z.mp3\nfile:///m/%0A",
             {u"/m/a bé.mp3"_qs, "/lists/C:/y.mp3"}, 4);
        read("m3u: a colon with no // after it is in a file name", "m3u",
             "Live:2004.mp3\nmailto:x/a:b.mp3\nftp://h/x.mp3",
             {"/lists/Live:2004.mp3", "/lists/mailto:x/a:b.mp3"}, 1);
        read("m3u8: always UTF-8", "m3u8", "/m/\xE9.mp3", {u"/m/\uFFFD.mp3"_qs});
        read("pls: FileN in order of N, other keys ignored", "pls",
             "[playlist]\r\nNumberOfEntries=1\r\nFile3=/m/c.mp3\r\nTitle3=C\r\nfile1 = a.mp3\r\n"
             "Length1=-1\r\nFile10=http://x/s\r\nFile2=\r\nFiles=/m/no.mp3\r\nFile=/m/no.mp3\r\n"
             "File4=file:///m/d%23.mp3\r\nFile5=../l.m3u\r\nVersion=2\r\n",
             {"/lists/a.mp3", "/m/c.mp3", "/m/d#.mp3"}, 2);
        read("pls: a colon with no // after it is in a file name", "pls",
             "[playlist]\nFile1=Live:2004.mp3\nFile2=https://h/x.mp3\n", {"/lists/Live:2004.mp3"},
             1);
    }
    void listText() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, entries);
        QFETCH(QString, suffix);
        QFETCH(int, skipped);
        QFETCH(Way, way);
        if (way != Read)
            QCOMPARE(encodeListFile(entries), bytes);
        const ListFormat* format = listFormatFor(QStringLiteral("/lists/x.") + suffix);
        QVERIFY(format);
        const ListReading reading = format->read(bytes, QStringLiteral("/lists"));
        if (way == Damaged) // whatever an entry holds, it never swallows the entries after it
            QCOMPARE(reading.entries.last(), entries.last());
        else
            QCOMPARE(reading.entries, entries);
        QCOMPARE(reading.skipped, skipped);
    }

    // A save replaces the list of that name whole; one that cannot finish leaves it as it was,
    // nothing half-written beside it, and says why.
    void save_data() {
        QTest::addColumn<QString>("place");
        QTest::newRow("replaces") << "";
        QTest::newRow("full file system") << "full"; // room for a part of the list only
        QTest::newRow("read-only file system") << "read-only";
        QTest::newRow("replacing fails at the end") << "busy"; // a mount point is not renamed over
    }
    void save() {
        QFETCH(QString, place);
        if (!noMounts.isEmpty())
            QSKIP(qPrintable(noMounts));
        QTemporaryDir tmp;
        const QString folder = tmp.path(), list = folder + "/keep.mlt", other = folder + "/other";
        const QByteArray mountPoint = QFile::encodeName(folder), target = QFile::encodeName(list);
        const QByteArray old("/m/old.mp3\r\n");
        QVERIFY(::mount("tmpfs", mountPoint, "tmpfs", 0, "size=64k") == 0);
        QVERIFY(writeFile(list, old));
        QVERIFY(writeFile(other, place == "full" ? QByteArray(48 * 1024, 'x') : old));
        if (place == "read-only")
            QVERIFY(::mount(nullptr, mountPoint, nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0);
        if (place == "busy")
            QVERIFY(::mount(QFile::encodeName(other), target, nullptr, MS_BIND, nullptr) == 0);
        // 21 KB: a little more than the full one holds.
        const QStringList entries(1000, QStringLiteral("/music/track 21.mp3"));
        const ListFileResult saved = saveListFile(list, entries);
        const QStringList after =
            QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        const QStringList kept = loadListFile(list).entries;
        ::umount2(target, MNT_DETACH); // only the busy one is a mount point
        ::umount2(mountPoint, MNT_DETACH);
        QCOMPARE(saved.ok, place.isEmpty());
        QVERIFY2(saved.ok || !(saved.error.isEmpty() || saved.error.contains("Unknown")),
                 qPrintable(saved.error));
        QCOMPARE(after, (QStringList{"keep.mlt", "other"}));
        QCOMPARE(kept, saved.ok ? entries : QStringList{"/m/old.mp3"});
    }
};

QTEST_GUILESS_MAIN(TstListFile)
#include "tst_list_file.moc"
