#include "playback/id3_tags.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace {

constexpr qsizetype kHeaderSize = 10;
constexpr qsizetype kId3v1Size = 128;
// A tag's pictures can be megabytes; the text frames a player shows never are. Reading more
// than this would only cost time on the thread that asked.
constexpr qsizetype kMaxTagBytes = 16 * 1024 * 1024;

quint32 bigEndian(QByteArrayView b, qsizetype at, int bytes) {
    quint32 v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | quint8(b[at + i]);
    return v;
}

// Four bytes of seven bits each, as ID3v2 stores sizes.
quint32 syncSafe(QByteArrayView b, qsizetype at) {
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v = (v << 7) | (quint8(b[at + i]) & 0x7F);
    return v;
}

// Taggers insert a 0 after every FF so that no tag byte looks like an MPEG frame start.
QByteArray removeUnsynchronisation(QByteArrayView in) {
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        out.append(in[i]);
        if (quint8(in[i]) == 0xFF && i + 1 < in.size() && in[i + 1] == '\0')
            ++i;
    }
    return out;
}

// A text frame: an encoding byte, then the text. Version 2.4 separates several values with a
// terminator; the first one is what a player shows.
QString frameText(QByteArrayView data) {
    if (data.isEmpty())
        return {};
    const char encoding = data[0];
    QByteArrayView text = data.sliced(1);
    QString decoded;
    switch (encoding) {
    case 1:   // UTF-16 with a byte order mark (little-endian without one, as most taggers write)
    case 2: { // UTF-16 big-endian
        qsizetype end = 0;
        while (end + 1 < text.size() && (text[end] != '\0' || text[end + 1] != '\0'))
            end += 2;
        QByteArrayView units = text.first(end);
        auto order = encoding == 2 ? QStringConverter::Utf16BE : QStringConverter::Utf16LE;
        if (units.size() >= 2 && quint8(units[0]) == 0xFE && quint8(units[1]) == 0xFF) {
            order = QStringConverter::Utf16BE;
            units = units.sliced(2);
        } else if (units.size() >= 2 && quint8(units[0]) == 0xFF && quint8(units[1]) == 0xFE) {
            order = QStringConverter::Utf16LE;
            units = units.sliced(2);
        }
        QStringDecoder decoder(order, QStringConverter::Flag::Stateless);
        decoded = decoder.decode(units);
        break;
    }
    case 3: {
        const qsizetype nul = text.indexOf('\0');
        decoded = QString::fromUtf8(nul < 0 ? text : text.first(nul));
        break;
    }
    default: {
        const qsizetype nul = text.indexOf('\0');
        decoded = QString::fromLatin1(nul < 0 ? text : text.first(nul));
        break;
    }
    }
    return decoded.trimmed();
}

// "3" or "3/12" gives 3.
int trackNumberOf(const QString& text) {
    bool ok = false;
    const int n = text.section(QLatin1Char('/'), 0, 0).trimmed().toInt(&ok);
    return ok && n > 0 ? n : 0;
}

void takeFrame(Id3Tags& tags, QByteArrayView id, QByteArrayView data) {
    if (id == "TIT2" || id == "TT2")
        tags.title = frameText(data);
    else if (id == "TPE1" || id == "TP1")
        tags.artist = frameText(data);
    else if (id == "TALB" || id == "TAL")
        tags.album = frameText(data);
    else if (id == "TRCK" || id == "TRK")
        tags.trackNumber = trackNumberOf(frameText(data));
}

QString v1Field(QByteArrayView b, qsizetype at, qsizetype length) {
    QByteArrayView field = b.sliced(at, length);
    const qsizetype nul = field.indexOf('\0');
    if (nul >= 0)
        field = field.first(nul);
    return QString::fromLatin1(field).trimmed();
}

} // namespace

Id3Tags decodeId3v2(QByteArrayView tag) {
    Id3Tags tags;
    if (tag.size() < kHeaderSize || !tag.startsWith("ID3"))
        return tags;
    const int version = quint8(tag[3]);
    const quint8 flags = quint8(tag[5]);
    if (version < 2 || version > 4 || (version == 2 && (flags & 0x40)))
        return tags; // unknown, or a compressed 2.2 tag that nobody writes
    const qsizetype size = qMin<qsizetype>(syncSafe(tag, 6), tag.size() - kHeaderSize);
    QByteArray body = tag.sliced(kHeaderSize, size).toByteArray();
    // Up to 2.3 the whole tag is unsynchronised; 2.4 marks it frame by frame.
    if ((flags & 0x80) && version < 4)
        body = removeUnsynchronisation(body);

    qsizetype at = 0;
    if (version >= 3 && (flags & 0x40) && body.size() >= 4)
        at = version == 3 ? 4 + bigEndian(body, 0, 4) : syncSafe(body, 0);

    const int idSize = version == 2 ? 3 : 4;
    const qsizetype frameHeader = version == 2 ? 6 : 10;
    while (at >= 0 && at + frameHeader <= body.size()) {
        const QByteArrayView id = QByteArrayView(body).sliced(at, idSize);
        if (id.front() == '\0')
            break; // padding
        const qsizetype frameSize = version == 2   ? bigEndian(body, at + 3, 3)
                                    : version == 3 ? bigEndian(body, at + 4, 4)
                                                   : syncSafe(body, at + 4);
        const qsizetype start = at + frameHeader;
        if (frameSize > body.size() - start)
            break;
        QByteArray data = body.sliced(start, frameSize);
        const quint8 format = version == 2 ? 0 : quint8(body[at + 9]);
        bool readable = true;
        if (version == 3) {
            readable = !(format & 0xC0); // compressed or encrypted
            if (format & 0x20)
                data.remove(0, 1); // group byte
        } else if (version == 4) {
            readable = !(format & 0x0C);
            if (format & 0x40)
                data.remove(0, 1);
            if (format & 0x01)
                data.remove(0, 4); // data length indicator
            if ((format & 0x02) || (flags & 0x80))
                data = removeUnsynchronisation(data);
        }
        if (readable)
            takeFrame(tags, id, data);
        at = start + frameSize;
    }
    return tags;
}

Id3Tags decodeId3v1(QByteArrayView last128) {
    Id3Tags tags;
    if (last128.size() != kId3v1Size || !last128.startsWith("TAG"))
        return tags;
    tags.title = v1Field(last128, 3, 30);
    tags.artist = v1Field(last128, 33, 30);
    tags.album = v1Field(last128, 63, 30);
    // Version 1.1 keeps the track number in the last byte of the comment, after a 0.
    if (last128[125] == '\0' && last128[126] != '\0')
        tags.trackNumber = quint8(last128[126]);
    return tags;
}

Id3Tags readId3Tags(const QString& path) {
    // A FIFO would block open() until something writes to it, a device may never end.
    if (!QFileInfo(path).isFile())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    Id3Tags tags;
    const QByteArray header = file.read(kHeaderSize);
    if (header.size() == kHeaderSize && header.startsWith("ID3")) {
        const qsizetype size = qMin<qsizetype>(syncSafe(header, 6), kMaxTagBytes);
        tags = decodeId3v2(header + file.read(size));
    }
    if (!tags.title.isEmpty() && !tags.artist.isEmpty() && !tags.album.isEmpty() &&
        tags.trackNumber > 0)
        return tags;
    if (file.size() >= kId3v1Size && file.seek(file.size() - kId3v1Size)) {
        const Id3Tags v1 = decodeId3v1(file.read(kId3v1Size));
        if (tags.title.isEmpty())
            tags.title = v1.title;
        if (tags.artist.isEmpty())
            tags.artist = v1.artist;
        if (tags.album.isEmpty())
            tags.album = v1.album;
        if (tags.trackNumber == 0)
            tags.trackNumber = v1.trackNumber;
    }
    return tags;
}

QString songTitle(const Id3Tags& tags, const QString& path) {
    if (!tags.title.isEmpty())
        return tags.title;
    QString name = QFileInfo(path).fileName();
    if (name.endsWith(QStringLiteral(".mp3"), Qt::CaseInsensitive))
        name.chop(4);
    return name;
}
