#include "playlist/list_file.h"

#include <cstring>

// How the text is read (every choice here keeps files written by earlier versions loading as
// they always did):
// - A line ends at CR LF, and also at a lone LF or a lone CR, so files edited by hand with other
//   tools still load. LF followed by CR is two line ends.
// - A line is split at its commas into fields; every field, empty ones too, is one entry.
// - Spaces at the start of a field are skipped; spaces at its end are kept (they may belong to a
//   file name, and the writer never needs to rely on them).
// - A field starting with a double quote runs to the next double quote, across commas and line
//   ends. Text between the closing quote and the next comma or line end is ignored.
// - The end of the file cuts off an open field. A line end closing the last line, or ending an
//   unclosed quoted field, adds nothing.
// - A UTF-8 byte order mark at the very start is skipped; invalid UTF-8 is decoded leniently
//   (replacement characters), since a damaged file should load whatever it still holds.
//
// How entries are written: unchanged, unless reading them back would change them (a comma, a
// leading space, a line break, or a double quote as the first character after any spaces); such
// entries are written inside double quotes. There is no way to escape a double quote, so an entry
// that both needs quoting and contains a double quote cannot be stored. Those are written
// unchanged (as earlier versions did), each line break turned into CR LF; if a line of such an
// entry would leave a quoted field open, a closing quote is added so that the damage stays on
// that line and never swallows the entries that follow.

namespace {

constexpr char CR = '\r';
constexpr char LF = '\n';
constexpr char Quote = '"';
constexpr char Comma = ',';
constexpr char Space = ' ';

bool isLineBreak(char c) {
    return c == CR || c == LF;
}

bool readsBackUnchanged(QByteArrayView utf8) {
    if (utf8.isEmpty())
        return true;
    if (utf8.front() == Space || utf8.front() == Quote)
        return false;
    for (char c : utf8) {
        if (c == Comma || isLineBreak(c))
            return false;
    }
    return true;
}

// Appends one line of an entry that cannot be stored, closing a quoted field it would leave open.
void appendDamagedLine(QByteArray& out, QByteArrayView line) {
    bool inQuote = false;
    bool atFieldStart = true;
    for (char c : line) {
        if (inQuote) {
            if (c == Quote)
                inQuote = false;
        } else if (c == Comma) {
            atFieldStart = true;
        } else if (atFieldStart && c == Quote) {
            inQuote = true;
            atFieldStart = false;
        } else if (c != Space) {
            atFieldStart = false;
        }
    }
    out.append(line.data(), line.size());
    if (inQuote)
        out.append(Quote);
    out.append("\r\n", 2);
}

void appendDamagedEntry(QByteArray& out, QByteArrayView utf8) {
    qsizetype start = 0;
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        if (!isLineBreak(utf8[i]))
            continue;
        appendDamagedLine(out, utf8.sliced(start, i - start));
        if (utf8[i] == CR && i + 1 < utf8.size() && utf8[i + 1] == LF)
            ++i;
        start = i + 1;
    }
    appendDamagedLine(out, utf8.sliced(start));
}

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

QString fieldText(const char* begin, const char* end) {
    QString text = QString::fromUtf8(begin, end - begin);
    // fromUtf8 drops a byte order mark that starts its input; inside a file it is the
    // entry's own character.
    if (end - begin >= 3 && std::memcmp(begin, kByteOrderMark, 3) == 0)
        text.prepend(QChar(0xFEFF));
    return text;
}

} // namespace

QByteArray encodeListFile(const QStringList& entries) {
    QByteArray out;
    qsizetype estimate = 0;
    for (const QString& e : entries)
        estimate += e.size() + 4; // ASCII paths dominate; growth handles the rest
    out.reserve(estimate);
    // The reader skips a byte order mark that starts the file; a first entry that begins
    // with one gets a mark of its own in front, so it keeps its character.
    if (!entries.isEmpty() && entries.front().startsWith(QChar(0xFEFF)))
        out.append(kByteOrderMark, 3);

    for (const QString& entry : entries) {
        const QByteArray utf8 = entry.toUtf8();
        if (readsBackUnchanged(utf8)) {
            out.append(utf8);
            out.append("\r\n", 2);
        } else if (!utf8.contains(Quote)) {
            out.append(Quote);
            out.append(utf8);
            out.append("\"\r\n", 3);
        } else {
            appendDamagedEntry(out, utf8);
        }
    }
    return out;
}

bool decodeListFile(QByteArrayView data, const std::function<bool(QString)>& take) {
    const char* p = data.data();
    const char* const end = p + data.size();
    if (data.startsWith("\xEF\xBB\xBF"))
        p += 3;
    if (p == end)
        return true;

    // Each round reads one field and the separator after it.
    for (;;) {
        while (p != end && *p == Space)
            ++p;

        if (p != end && *p == Quote) {
            const char* const begin = ++p;
            while (p != end && *p != Quote)
                ++p;
            if (p == end) {
                // Cut off by the end of the file: a final line end closes the line, not the field.
                const char* last = end;
                if (last != begin && last[-1] == LF)
                    --last;
                if (last != begin && last[-1] == CR)
                    --last;
                return take(fieldText(begin, last));
            }
            if (!take(fieldText(begin, p)))
                return false;
            ++p;
            while (p != end && *p != Comma && !isLineBreak(*p))
                ++p;
        } else {
            const char* const begin = p;
            while (p != end && *p != Comma && !isLineBreak(*p))
                ++p;
            if (!take(fieldText(begin, p)))
                return false;
        }

        if (p == end)
            return true;
        if (*p == Comma) {
            ++p;
            continue;
        }
        if (*p == CR && p + 1 != end && p[1] == LF)
            ++p;
        ++p;
        if (p == end)
            return true;
    }
}

QStringList decodeListFile(QByteArrayView data) {
    QStringList entries;
    decodeListFile(data, [&entries](QString entry) {
        entries.append(std::move(entry));
        return true;
    });
    return entries;
}
