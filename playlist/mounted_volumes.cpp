#include "playlist/mounted_volumes.h"

#include <QFile>
#include <QSet>
#include <QStorageInfo>

#include <algorithm>

namespace {

// /proc/self/mounts writes space, tab, newline and backslash as \ooo.
QString unescapeMountField(QByteArrayView field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && field.size() - i > 3) {
            const QByteArrayView digits = field.sliced(i + 1, 3);
            bool ok = true;
            int value = 0;
            for (char d : digits) {
                ok = ok && d >= '0' && d <= '7';
                value = value * 8 + (d - '0');
            }
            if (ok && value < 256) {
                out.append(char(value));
                i += 3;
                continue;
            }
        }
        out.append(c);
    }
    return QString::fromUtf8(out);
}

bool isUnder(QStringView path, QStringView folder) {
    return path == folder || (path.startsWith(folder) && path.size() > folder.size() &&
                              (folder.endsWith(u'/') || path.at(folder.size()) == u'/'));
}

} // namespace

QList<MountEntry> parseMountTable(QByteArrayView text) {
    QList<MountEntry> mounts;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        const QByteArrayView line = text.sliced(start, end - start);
        start = end + 1;

        QList<QByteArrayView> fields;
        qsizetype i = 0;
        while (i < line.size() && fields.size() < 3) {
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
                ++i;
            const qsizetype from = i;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t')
                ++i;
            if (i > from)
                fields.append(line.sliced(from, i - from));
        }
        if (fields.size() == 3)
            mounts.append({unescapeMountField(fields[0]), unescapeMountField(fields[1]),
                           unescapeMountField(fields[2])});
    }
    return mounts;
}

bool isUserVolume(const MountEntry& mount) {
    static const QSet<QString> kernelTypes = {
        u"proc"_qs,        u"sysfs"_qs,     u"cgroup"_qs,
        u"cgroup2"_qs,     u"devpts"_qs,    u"devtmpfs"_qs,
        u"securityfs"_qs,  u"debugfs"_qs,   u"tracefs"_qs,
        u"pstore"_qs,      u"bpf"_qs,       u"mqueue"_qs,
        u"hugetlbfs"_qs,   u"configfs"_qs,  u"fusectl"_qs,
        u"binfmt_misc"_qs, u"efivarfs"_qs,  u"nsfs"_qs,
        u"rpc_pipefs"_qs,  u"autofs"_qs,    u"selinuxfs"_qs,
        u"rootfs"_qs,      u"nfsd"_qs,      u"squashfs"_qs,
        u"ramfs"_qs,       u"tmpfs"_qs,     u"fuse.gvfsd-fuse"_qs,
        u"fuse.portal"_qs, u"fuse.lxcfs"_qs};
    if (mount.root == u"/")
        return true;
    if (!mount.root.startsWith(u'/') || kernelTypes.contains(mount.type))
        return false;
    // Memory-backed tmpfs is left out above: no one keeps music there, and most of its
    // mounts are runtime state. Other mounts under these folders are the system's own.
    for (QStringView system : {u"/proc", u"/sys", u"/dev"}) {
        if (isUnder(mount.root, system))
            return false;
    }
    // /run holds runtime state, except removable media mounted by the desktop.
    if (isUnder(mount.root, u"/run") && !isUnder(mount.root, u"/run/media"))
        return false;
    return true;
}

QStringList userVolumeRoots(const QList<MountEntry>& mounts) {
    QStringList roots{QStringLiteral("/")};
    for (const MountEntry& m : mounts) {
        if (isUserVolume(m) && !roots.contains(m.root))
            roots.append(m.root);
    }
    std::sort(roots.begin(), roots.end());
    return roots;
}

QStringList mountedVolumes() {
    QFile table(QStringLiteral("/proc/self/mounts"));
    if (table.open(QIODevice::ReadOnly))
        return userVolumeRoots(parseMountTable(table.readAll()));

    QList<MountEntry> mounts;
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes())
        mounts.append(
            {QString::fromUtf8(v.device()), v.rootPath(), QString::fromUtf8(v.fileSystemType())});
    return userVolumeRoots(mounts);
}

QString volumeOf(const QString& folder, const QStringList& roots) {
    QString best;
    for (const QString& root : roots) {
        if (root.size() > best.size() && isUnder(folder, root))
            best = root;
    }
    return best;
}
