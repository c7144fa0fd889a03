#include "playlist/list_file.h"
#include "playlist/list_file_store.h"
#include "playlist/list_formats.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A mount namespace of the test's own, so it can mount small full or read-only file systems
// (which stop root too) without touching the host: directly as root, else in a user
// namespace where an ordinary user is root.
QString enterPrivateMounts() {
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWNS) != 0) {
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return QStringLiteral("no mount namespace: %1").arg(qt_error_string(errno));
        writeFile(QStringLiteral("/proc/self/setgroups"), "deny");
        if (!writeFile(QStringLiteral("/proc/self/uid_map"),
                       QByteArray::number(uid).prepend("0 ") + " 1") ||
            !writeFile(QStringLiteral("/proc/self/gid_map"),
                       QByteArray::number(gid).prepend("0 ") + " 1"))
            return QStringLiteral("could not map the user into a user namespace");
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return QStringLiteral("mounts cannot be made private: %1").arg(qt_error_string(errno));
    return {};
}

// Before main(): a user namespace can only be entered while the process has one thread.
const QString noMounts = enterPrivateMounts(); // why the file system rows cannot run

void row(const char* name, const QByteArray& bytes, const QStringList& entries) {
    QTest::newRow(name) << bytes << entries;
}

// A list file of the kind `suffix`, kept in /lists, with the number of entries left out.
void read(const char* name, const char* suffix, const QByteArray& bytes, const QStringList& entries,
          int skipped = 0) {
    QTest::newRow(name) << bytes << entries << QString::fromLatin1(suffix) << skipped;
}

} // namespace

class TstListFile : public QObject {
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
        read("lone LF, lone CR, LF CR is two", "mlt", "a\nb\rc\n\rd\n", {"a", "b", "c", "", "d"});
        read("quoted field cut by end of file", "mlt", "x\r\n\"ab,c\r\nd\r\n", {"x", "ab,c\r\nd"});
        read("byte order mark, UTF-8, invalid byte", "mlt", "\xEF\xBB\xBF\"/\xC3\xA9,\xFF\"",
             {u"/é,"_qs + QChar::ReplacementCharacter});
        read("U+FEFF starting a later field is kept", "mlt", "x\r\n\xEF\xBB\xBF\"a",
             {"x", QChar(0xFEFF) + QStringLiteral("\"a")});
        read("m3u: # lines skipped, relative paths, all line ends", "m3u",
             "#EXTM3U\r\n#EXTINF:3,T\r\n/m/a.mp3\n\n rel/b.mp3 \r../c.mp3\r\n:/d.mp3",
             {"/m/a.mp3", "/lists/rel/b.mp3", "/c.mp3", "/lists/:/d.mp3"});
        read("m3u: byte order mark, UTF-8", "M3U", "\xEF\xBB\xBF/m/\xC3\xA9.mp3", {u"/m/é.mp3"_qs});
        read("m3u: not UTF-8, so Latin-1", "m3u", "/m/\xE9.mp3\n/m/\xC3\xA9",
             {u"/m/é.mp3"_qs, u"/m/Ã©"_qs});
        read("m3u8: always UTF-8", "m3u8", "/m/\xE9.mp3", {u"/m/\uFFFD.mp3"_qs});
        read("m3u: file URIs decoded, others left out", "m3u",
             "file:///m/a%20b%C3%A9.mp3\nhttp://r/s.mp3\nfile://host/x.mp3\nC:/"
             "y.mp3\nfile:z.mp3\nfile:///m/%0A",
             {u"/m/a bé.mp3"_qs, "/lists/C:/y.mp3"}, 4);
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
        row("plain entries unchanged", "/a b\r\n\r\n/\xC3\xA9\r\nz \r\n",
            {"/a b", "", u"/é"_qs, "z "});
        row("comma, leading space, line break quoted", "\"a, b\"\r\n\" a\"\r\n\"a\nb\"\r\n",
            {"a, b", " a", "a\nb"});
        row("U+FEFF starting the first entry", "\xEF\xBB\xBF\xEF\xBB\xBF a\r\nb\r\n",
            {QChar(0xFEFF) + QStringLiteral(" a"), "b"});
        // With no way to escape a quote these cannot be stored: written as they are, line breaks
        // as CR LF, a quote left open closed on its own line.
        row("quote and comma", "/a\"b,c\r\n/z\r\n", {"/a\"b,c", "/z"});
        row("open quote after comma", "x, \"y\"\r\n/z\r\n", {"x, \"y", "/z"});
        row("quotes and line breaks", "\"a\"\r\nb, \"c\"\r\nd\r\n/z\r\n", {"\"a\nb, \"c\rd", "/z"});
    }
    void encode() {
        QFETCH(QStringList, entries);
        QFETCH(QByteArray, bytes);
        QCOMPARE(encodeListFile(entries), bytes);
        // Whatever an entry holds, it never swallows the entries after it.
        QCOMPARE(decodeListFile(bytes).last(), entries.last());
    }

    // A save replaces the list of that name whole, or leaves it as it was and says why.
    void save_data() {
        QTest::addColumn<QString>("place"); // where the list is saved
        QTest::addColumn<bool>("ok");
        QTest::newRow("replaces") << "" << true;
        QTest::newRow("folder missing") << "missing folder" << false;
        QTest::newRow("name taken by a folder") << "folder" << false;
        QTest::newRow("full file system") << "full" << false;
        QTest::newRow("read-only file system") << "read-only" << false;
        QTest::newRow("replacing fails at the end") << "busy" << false;
    }
    void save() {
        QFETCH(QString, place);
        QFETCH(bool, ok);
        QTemporaryDir tmp;
        QString folder = tmp.path();
        const QByteArray old("/m/old.mp3\r\n");
        const QByteArray mountPoint = QFile::encodeName(folder);
        const bool mounted = place == "full" || place == "read-only" || place == "busy";
        if (mounted) {
            if (!noMounts.isEmpty())
                QSKIP(qPrintable(noMounts));
            QVERIFY(::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=64k") == 0);
        }
        QVERIFY(writeFile(folder + "/keep.mlt", old));
        if (place == "missing folder") {
            folder += "/missing";
        } else if (place == "folder") {
            QVERIFY(QFile::remove(folder + "/keep.mlt") && QDir(folder).mkdir("keep.mlt"));
        } else if (place == "full") { // room for a part of the list only
            QVERIFY(writeFile(folder + "/filler", QByteArray(48 * 1024, 'x')));
        } else if (place == "read-only") {
            QVERIFY(::mount(nullptr, mountPoint.constData(), nullptr, MS_REMOUNT | MS_RDONLY,
                            nullptr) == 0);
        } else if (place == "busy") { // a mount point cannot be renamed over
            QVERIFY(writeFile(folder + "/other", old));
            QVERIFY(::mount(QFile::encodeName(folder + "/other").constData(),
                            QFile::encodeName(folder + "/keep.mlt").constData(), nullptr, MS_BIND,
                            nullptr) == 0);
        }
        const QStringList before = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden);
        QStringList entries;
        for (int i = 0; i < 1000; ++i) // 30 KB: a little more than the full one holds
            entries << QStringLiteral("/music/track%1.mp3").arg(i);
        entries << "/m/b, c.mp3"
                << "";

        const ListFileResult saved = saveListFile(listFilePath(folder, "keep"), entries);
        const QStringList after = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden);
        const QByteArray kept = readBytes(folder + "/keep.mlt");
        const QStringList loaded = loadListFile(folder + "/keep.mlt").entries;
        if (place == "busy")
            ::umount2(QFile::encodeName(folder + "/keep.mlt").constData(), MNT_DETACH);
        if (mounted)
            ::umount2(mountPoint.constData(), MNT_DETACH);
        QCOMPARE(saved.ok, ok);
        if (ok) {
            QCOMPARE(loaded, entries);
            return;
        }
        QVERIFY2(!saved.error.isEmpty() && !saved.error.contains("Unknown"),
                 qPrintable(saved.error));
        QCOMPARE(after, before); // nothing half-written left behind
        if (place != "folder" && place != "missing folder")
            QCOMPARE(kept, old);
    }

    // Lists go next to the program, unless that is an install folder or cannot be written.
    void listFolder_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("fallback");
        QTest::newRow("own folder") << "" << false;
        QTest::newRow("not writable, even by root") << "/proc" << true;
        QTest::newRow("installed copy") << "/usr/bin/" << true;
    }
    void listFolder() {
        QFETCH(QString, program);
        QFETCH(bool, fallback);
        QTemporaryDir tmp;
        const QString user = tmp.filePath("user/data");
        const ListFileFolder got = listFileFolder(program.isEmpty() ? tmp.path() : program, user);
        QCOMPARE(got.fallbackUsed, fallback);
        QCOMPARE(got.path, fallback ? user : tmp.path());
        // Neither the write probe nor an unused user folder is left behind.
        QCOMPARE(QDir(tmp.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 !fallback);
    }
};

QTEST_GUILESS_MAIN(TstListFile)
#include "tst_list_file.moc"
