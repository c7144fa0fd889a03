#include "playlist/list_formats.h"

#include "playlist/list_file.h"
#include "playlist/list_readers.h"

namespace {

ListReading readMlt(QByteArrayView data, const QString& /*listFolder*/) {
    return {decodeListFile(data), 0};
}

} // namespace

const QList<ListFormat>& listFormats() {
    // The saved kind first.
    static const QList<ListFormat> formats = {
        {QStringLiteral("mlt"), readMlt},
        {QStringLiteral("m3u"), readM3u},
        {QStringLiteral("m3u8"), readM3u8},
        {QStringLiteral("pls"), readPls},
    };
    return formats;
}

const ListFormat& savedListFormat() {
    return listFormats().first();
}

const ListFormat* listFormatFor(const QString& path) {
    // Asked for every entry of a list: plain string work, no QFileInfo.
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot < 0 || path.indexOf(u'/', dot) >= 0)
        return nullptr;
    const QStringView suffix = QStringView(path).sliced(dot + 1);
    for (const ListFormat& format : listFormats())
        if (suffix.compare(format.suffix, Qt::CaseInsensitive) == 0)
            return &format;
    return nullptr;
}

QStringList listFileFilters() {
    QStringList patterns;
    for (const ListFormat& format : listFormats())
        patterns << QStringLiteral("*.") + format.suffix;
    QStringList filters{QStringLiteral("list Files (*.%1)").arg(savedListFormat().suffix)};
    if (patterns.size() > 1)
        filters << QStringLiteral("All lists (%1)").arg(patterns.join(QLatin1Char(' ')));
    return filters;
}
