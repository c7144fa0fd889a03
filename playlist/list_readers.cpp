#include "playlist/list_readers.h"

#include <QDir>
#include <QMap>
#include <QStringDecoder>
#include <QUrl>

#include <optional>

namespace {

constexpr QByteArrayView kUtf8ByteOrderMark("\xEF\xBB\xBF");

QString decodeText(QByteArrayView data, bool latin1Fallback) {
    if (data.startsWith(kUtf8ByteOrderMark))
        data = data.sliced(kUtf8ByteOrderMark.size());
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(data);
    if (latin1Fallback && utf8.hasError())
        return QString::fromLatin1(data);
    return text;
}

// CR LF, LF and a lone CR all end a line.
QList<QStringView> lines(const QString& text) {
    QList<QStringView> result;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        result << QStringView(text).sliced(start, i - start);
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        result << QStringView(text).sliced(start);
    return result;
}

// A web address ("http://...") or a file URI. A scheme is two letters or more, so "C:\..."
// stays a path; any other colon ("Live:2004.mp3") is part of a relative file name.
bool isUri(QStringView text) {
    const qsizetype colon = text.indexOf(u':');
    if (colon < 2)
        return false;
    for (qsizetype i = 0; i < colon; ++i) {
        const QChar c = text[i];
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        if (!letter && !(i > 0 && (c.isDigit() || c == u'+' || c == u'-' || c == u'.')))
            return false;
    }
    return text.first(colon).compare(QLatin1String("file"), Qt::CaseInsensitive) == 0 ||
           text.sliced(colon + 1).startsWith(QLatin1String("//"));
}

// The entry for one line of a list, or nothing when it is to be left out.
std::optional<QString> entryFor(QStringView text, const QString& listFolder) {
    QString path;
    if (isUri(text)) {
        const QUrl url(text.toString());
        const bool local =
            url.isLocalFile() && (url.host().isEmpty() || url.host() == QLatin1String("localhost"));
        path = url.toLocalFile();
        // "file:name" names no folder to look in.
        if (!local || !path.startsWith(u'/'))
            return std::nullopt;
    } else {
        // Joined by hand: QDir takes ":/..." for one of Qt's resources, an absolute path.
        path = text.startsWith(u'/') ? text.toString()
                                     : listFolder + QLatin1Char('/') + text.toString();
    }
    // No file name in a real list holds control characters (decoded ones included); binary
    // data read as a list does.
    for (const QChar c : path)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return std::nullopt;
    path = QDir::cleanPath(path);
    if (listFormatFor(path))
        return std::nullopt;
    return path;
}

void take(ListReading& reading, QStringView text, const QString& listFolder) {
    if (const auto entry = entryFor(text, listFolder))
        reading.entries << *entry;
    else
        ++reading.skipped;
}

ListReading readM3uText(const QString& text, const QString& listFolder) {
    ListReading reading;
    for (const QStringView line : lines(text)) {
        const QStringView entry = line.trimmed();
        if (entry.isEmpty() || entry.startsWith(u'#'))
            continue;
        take(reading, entry, listFolder);
    }
    return reading;
}

} // namespace

ListReading readM3u(QByteArrayView data, const QString& listFolder) {
    return readM3uText(decodeText(data, true), listFolder);
}

ListReading readM3u8(QByteArrayView data, const QString& listFolder) {
    return readM3uText(decodeText(data, false), listFolder);
}

ListReading readPls(QByteArrayView data, const QString& listFolder) {
    // NumberOfEntries is often wrong, and numbers may have gaps: the FileN keys decide.
    QMap<qulonglong, QStringView> files;
    const QString text = decodeText(data, true);
    for (const QStringView line : lines(text)) {
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            continue;
        const QStringView key = line.first(equals).trimmed();
        if (!key.startsWith(QLatin1String("file"), Qt::CaseInsensitive))
            continue;
        bool ok = false;
        const qulonglong n = key.sliced(4).toULongLong(&ok);
        if (ok)
            files.insert(n, line.sliced(equals + 1).trimmed());
    }
    ListReading reading;
    for (const QStringView value : std::as_const(files)) {
        if (!value.isEmpty())
            take(reading, value, listFolder);
    }
    return reading;
}
