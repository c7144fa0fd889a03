#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

// Mounted volumes stand in for drive letters in the folder import dialog.

struct MountEntry {
    QString device;
    QString root; // where it is mounted
    QString type; // file system type
};

// The entries of a mount table in the format of /proc/self/mounts (octal escapes decoded).
QList<MountEntry> parseMountTable(QByteArrayView text);

// Whether a mount holds files a user may keep music on, rather than kernel or runtime state.
bool isUserVolume(const MountEntry& mount);

// Roots of the user volumes in `mounts`, each once, sorted; "/" is always among them.
QStringList userVolumeRoots(const QList<MountEntry>& mounts);

// Roots of this machine's user volumes.
QStringList mountedVolumes();

// The root in `roots` of the volume holding `folder`: the longest one that contains it.
// Empty when none does.
QString volumeOf(const QString& folder, const QStringList& roots);
