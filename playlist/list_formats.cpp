#include "playlist/list_formats.h"

#include "playlist/list_file.h"
#include "playlist/list_readers.h"

#include <QFileInfo>

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
    const QString suffix = QFileInfo(path).suffix().toLower();
    for (const ListFormat& format : listFormats())
        if (format.suffix == suffix)
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
