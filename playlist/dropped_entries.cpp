#include "playlist/dropped_entries.h"

#include "playlist/opened_paths.h"

OpenedPaths droppedPaths(const QList<QUrl>& urls) {
    QStringList paths;
    for (const QUrl& url : urls)
        if (url.isLocalFile())
            paths << url.toLocalFile();
    return openedPaths(paths);
}

QStringList droppedEntries(const QList<QUrl>& urls) {
    return droppedPaths(urls).entries;
}
