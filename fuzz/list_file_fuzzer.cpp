// libFuzzer target for the list-file readers and the writer. An input whose first byte is 1, 2
// or 3 is read, after that byte, as an M3U, M3U8 or PLS list. Any other input is used twice: as
// the bytes of a saved list, and as a play list (entries separated by NUL bytes) to write and
// read back.

#include "fuzz/fuzz_check.h"
#include "playlist/list_file.h"
#include "playlist/list_readers.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace {

bool needsQuoting(const QString& entry) {
    return entry.startsWith(u' ') || entry.startsWith(u'"') || entry.contains(u',') ||
           entry.contains(u'\r') || entry.contains(u'\n');
}

// With no way to escape a quote, an entry that needs quoting and holds one cannot be stored.
bool storable(const QString& entry) {
    return !needsQuoting(entry) || !entry.contains(u'"');
}

// UTF-8 text as an entry holds it: a U+FEFF that starts it is kept (QString::fromUtf8 would
// drop it), and a sequence cut off by the end becomes a replacement character.
QString utf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom |
                                                     QStringDecoder::Flag::Stateless);
    return decoder.decode(bytes);
}

void checkReader(QByteArrayView data) {
    const QStringList entries = decodeListFile(data);

    // Every entry but the first needs a comma or a line break in front of it.
    const qsizetype separators = data.count(',') + data.count('\r') + data.count('\n');
    check(entries.size() <= separators + 1, "more entries than separators allow");

    // Each byte gives at most one UTF-16 unit (a replacement character at worst), so a list file
    // never takes more memory than its size suggests.
    qsizetype units = 0;
    for (const QString& e : entries)
        units += e.size();
    check(units <= data.size(), "entries longer than the file");

    for (const QString& e : entries)
        check(storable(e), "reader returned an entry the writer cannot store");

    // Anything the reader returns, the writer stores and the reader gets back.
    check(decodeListFile(encodeListFile(entries)) == entries,
          "read list did not survive writing and reading");
}

void checkWriter(QByteArrayView data) {
    QStringList entries;
    for (QByteArrayView rest = data;;) {
        const qsizetype nul = rest.indexOf('\0');
        entries.append(utf8(nul < 0 ? rest : rest.first(nul)));
        if (nul < 0)
            break;
        rest = rest.sliced(nul + 1);
    }

    // What each entry reads back as when it is not the first, so a leading U+FEFF is its own.
    QStringList pieces;
    for (const QString& e : entries) {
        const QStringList both = decodeListFile(encodeListFile({u"x"_qs, e}));
        check(both.size() >= 2 && both.front() == u"x", "an entry spoilt the one before it");
        const QStringList piece = both.sliced(1);
        if (storable(e))
            check(piece == QStringList{e}, "storable entry did not read back as itself");
        pieces += piece;
    }

    // An entry that cannot be stored damages only its own lines: the file reads as the pieces
    // one after another.
    check(decodeListFile(encodeListFile(entries)) == pieces,
          "an entry changed how the entries after it read");
}

// Lists of other players: every entry is an absolute path without control characters, and
// each line gives at most one entry, taken or left out.
void checkOtherReader(ListReader read, QByteArrayView data) {
    const ListReading reading = read(data, QStringLiteral("/lists"));
    const qsizetype lines = data.count('\r') + data.count('\n') + 1;
    check(reading.skipped >= 0 && reading.entries.size() + reading.skipped <= lines,
          "more entries than lines");
    for (const QString& e : reading.entries) {
        check(e.startsWith(u'/'), "entry is not an absolute path");
        for (const QChar c : e)
            check(c.unicode() >= 0x20 && c.unicode() != 0x7F, "control character in an entry");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const QByteArrayView data(reinterpret_cast<const char*>(bytes), qsizetype(size));
    if (size > 0 && bytes[0] >= 1 && bytes[0] <= 3) {
        const ListReader readers[] = {readM3u, readM3u8, readPls};
        checkOtherReader(readers[bytes[0] - 1], data.sliced(1));
        return 0;
    }
    checkReader(data);
    checkWriter(data);
    return 0;
}
