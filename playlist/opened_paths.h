#pragma once

#include <QStringList>

// What a list of paths opened from outside the window (the command line, another launch, the
// desktop's media controls, a drop) adds to the play list, in the order given: a file is one
// entry, a folder gives its MP3 files as the folder import does, a list file gives its entries
// as loading it does.
struct OpenedPaths {
    QStringList entries;
    QStringList unreadable;   // paths that do not exist or cannot be read
    QStringList emptyFolders; // folders without MP3 files
    int skipped = 0;          // entries of list files that were left out
};

OpenedPaths openedPaths(const QStringList& paths);

// True when `path` names something that exists and can be read.
bool isReadablePath(const QString& path);
