#include "playlist/dropped_entries.h"

#include "playlist/folder_listing.h"

#include <QFileInfo>

QStringList droppedEntries(const QList<QUrl>& urls) {
    QStringList entries;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const QFileInfo info(url.toLocalFile());
        if (info.isDir()) {
            const QString folder = info.absoluteFilePath();
            for (const QString& name : mp3FileNames(folder))
                entries << joinFolderAndName(folder, name);
        } else if (info.isFile()) {
            entries << info.absoluteFilePath();
        }
    }
    return entries;
}
