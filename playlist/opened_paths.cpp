#include "playlist/opened_paths.h"

#include "playlist/folder_listing.h"
#include "playlist/list_file_store.h"
#include "playlist/list_formats.h"

#include <QFileInfo>

bool isReadablePath(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && info.isReadable();
}

OpenedPaths openedPaths(const QStringList& paths) {
    OpenedPaths opened;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!isReadablePath(path)) {
            opened.unreadable << path;
        } else if (info.isDir()) {
            const QString folder = info.absoluteFilePath();
            const QStringList names = mp3FileNames(folder);
            if (names.isEmpty())
                opened.emptyFolders << path;
            for (const QString& name : names)
                opened.entries << joinFolderAndName(folder, name);
        } else if (listFormatFor(path)) {
            const LoadedListFile loaded = loadListFile(info.absoluteFilePath());
            opened.entries << loaded.entries;
            opened.skipped += loaded.skipped;
            if (!loaded.ok)
                opened.unreadable << path;
        } else {
            opened.entries << info.absoluteFilePath();
        }
    }
    return opened;
}
