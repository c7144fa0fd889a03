#include "playlist/folder_listing.h"

#include <QDir>

#include <algorithm>

namespace {

// Letter case decides only between names that are otherwise equal, so the order is stable.
void sortIgnoringCase(QStringList& names) {
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
}

QStringList namesIn(const QString& folder, QDir::Filters filters, const QStringList& patterns) {
    if (folder.isEmpty())
        return {}; // QDir would read the current folder instead
    QDir dir(folder, QString(), QDir::NoSort, filters);
    dir.setNameFilters(patterns);
    QStringList names = dir.entryList();
    sortIgnoringCase(names);
    return names;
}

} // namespace

QStringList mp3FileNames(const QString& folder) {
    // QDir::Files without QDir::System takes regular files and links to them, nothing else;
    // name filters ignore letter case by default.
    return namesIn(folder, QDir::Files, {QStringLiteral("*.mp3")});
}

QStringList subfolderNames(const QString& folder) {
    return namesIn(folder, QDir::Dirs | QDir::NoDotAndDotDot, {});
}

QString joinFolderAndName(const QString& folder, const QString& name) {
    qsizetype end = folder.size();
    while (end > 0 && folder.at(end - 1) == QLatin1Char('/'))
        --end;
    return folder.left(end) + QLatin1Char('/') + name;
}
