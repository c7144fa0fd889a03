#pragma once

#include "playlist/opened_paths.h"

#include <QList>
#include <QStringList>
#include <QUrl>

// The play list entries for things dropped on the list, in the order dropped: a local file
// is one entry, a local folder gives its MP3 files as the folder import does, and anything
// else (web addresses, missing paths) gives nothing.
QStringList droppedEntries(const QList<QUrl>& urls);

// The same, with what could not be opened or was left out of dropped list files.
OpenedPaths droppedPaths(const QList<QUrl>& urls);
