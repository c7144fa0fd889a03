#pragma once

#include <QString>
#include <QStringList>

// Names (without the folder) of the MP3 files directly in `folder`: regular files, or links to
// them, whose names end in ".mp3" in any letter case, hidden ones left out, sorted by name
// ignoring letter case. A folder that cannot be read gives an empty list.
QStringList mp3FileNames(const QString& folder);

// Names (without the folder) of the folders directly in `folder`, hidden ones left out, sorted
// by name ignoring letter case.
QStringList subfolderNames(const QString& folder);

// The play list entry for `name` in `folder`: exactly one "/" between them.
QString joinFolderAndName(const QString& folder, const QString& name);
