#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// Where list files live and how they are saved and loaded.

struct ListFileFolder {
    QString path;
    // True when the per-user data folder is used instead of the program's own folder (an
    // installed copy, or a folder that cannot be written); the main window tells the user once.
    bool fallbackUsed = false;
};

// The folder holding list files: `programFolder` when files can be created there and it is not
// an install folder (the configured one, /usr/bin or /usr/local/bin), otherwise `userDataFolder`
// (created if needed).
ListFileFolder listFileFolder(const QString& programFolder, const QString& userDataFolder);

// The same for this program: the executable's folder, else the per-user application data folder.
ListFileFolder listFileFolder();

// The file a typed name is saved to: the name is used as typed, with ".mlt" added.
QString listFilePath(const QString& folder, const QString& typedName);
// Why a typed name cannot name a list, for the user; empty when it can. A list is a file in
// the lists' folder: a name that reaches into another folder is refused.
QString listNameProblem(const QString& typedName);

struct ListFileResult {
    bool ok = false;
    QString error; // why it failed, for the user; empty when ok
};

// Replaces `path` with the list in one step: on failure an existing file stays as it was.
ListFileResult saveListFile(const QString& path, const QStringList& entries);

struct LoadedListFile {
    bool ok = false;
    QString error;
    QStringList entries; // on failure, whatever was read before it
    int skipped = 0;     // entries left out (web addresses, other lists)
};

// Reads the list file at `path` by the reader for its suffix; any other name is read as a
// saved list (".mlt").
LoadedListFile loadListFile(const QString& path);

// The same, handing each entry to `take` as it is read; `take` returns false to stop early.
ListFileResult loadListFile(const QString& path, const std::function<bool(QString)>& take,
                            int& skipped);
