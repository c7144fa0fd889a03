#include "playlist/list_file_store.h"

#include "playlist/list_file.h"
#include "playlist/list_formats.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Permission bits alone do not tell (root, read-only mounts, ACLs), so try to create a file.
bool canCreateFilesIn(const QString& folder) {
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return false;
    QTemporaryFile probe(folder + QStringLiteral("/.marrowtune-probe-XXXXXX"));
    return probe.open();
}

// Root can write to /usr/bin, but lists must not end up among the system's programs. The
// configured folder comes from the build; a package may use another prefix.
bool isInstallFolder(const QString& folder) {
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty())
        return false;
    for (const QString& bin : {QStringLiteral(MARROWTUNE_INSTALL_BINDIR),
                               QStringLiteral("/usr/bin"), QStringLiteral("/usr/local/bin")}) {
        if (canonical == QFileInfo(bin).canonicalFilePath())
            return true;
    }
    return false;
}

// Opens `path` for reading only when it is a regular file. A FIFO would block open() until
// something writes to it, and a device may never end: both are refused at once.
ListFileResult openRegularFile(const QString& path, QFile& file) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {false, QString::fromLocal8Bit(std::strerror(errno))};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return {false, QStringLiteral("not a file")};
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {false, file.errorString()};
    }
    return {true, {}};
}

} // namespace

ListFileFolder listFileFolder(const QString& programFolder, const QString& userDataFolder) {
    if (!isInstallFolder(programFolder) && canCreateFilesIn(programFolder))
        return {programFolder, false};
    // If this fails too, saving reports why; there is nothing better to offer here.
    QDir().mkpath(userDataFolder);
    return {userDataFolder, true};
}

ListFileFolder listFileFolder() {
    return listFileFolder(QCoreApplication::applicationDirPath(),
                          QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

QString listFilePath(const QString& folder, const QString& typedName) {
    return folder + QLatin1Char('/') + typedName + QLatin1Char('.') + savedListFormat().suffix;
}

QString listNameProblem(const QString& typedName) {
    if (!typedName.contains(QLatin1Char('/')) && typedName != QLatin1String(".."))
        return {};
    return QStringLiteral("The list was not saved: a list name cannot hold \"/\" nor be \"..\".");
}

ListFileResult saveListFile(const QString& path, const QStringList& entries) {
    QSaveFile file(path);
    // Unbuffered: a buffered tail that fails to flush on a full disk still lets Qt 6.4's
    // commit() report success over a cut-short file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return {false, file.errorString()};
    const QByteArray bytes = encodeListFile(entries);
    // A full disk first shows as a short write with no error set; writing the rest brings
    // the system's reason ("No space left on device") to light.
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            const QString why = file.errorString();
            file.cancelWriting();
            return {false, why};
        }
        done += n;
    }
    if (!file.commit())
        return {false, file.errorString()};
    return {true, {}};
}

ListFileResult loadListFile(const QString& path, const std::function<bool(QString)>& take,
                            int& skipped) {
    skipped = 0;
    QFile file;
    if (ListFileResult opened = openRegularFile(path, file); !opened.ok)
        return opened;

    // One read for the whole file; the small reads after it only matter for a file that grows
    // while it is read.
    QByteArray bytes(file.size(), Qt::Uninitialized);
    const qint64 first = file.read(bytes.data(), bytes.size());
    bool failed = first < 0;
    bytes.truncate(qMax<qint64>(first, 0));
    char more[64 * 1024];
    while (!failed) {
        const qint64 n = file.read(more, sizeof more);
        if (n == 0)
            break;
        failed = n < 0;
        if (n > 0)
            bytes.append(more, n);
    }

    const ListFormat* format = listFormatFor(path);
    if (!format || format->read == savedListFormat().read) {
        decodeListFile(bytes, take); // entry by entry: saved lists can be huge
    } else {
        ListReading reading = format->read(bytes, QFileInfo(path).absolutePath());
        skipped = reading.skipped;
        for (QString& entry : reading.entries)
            if (!take(std::move(entry)))
                break;
    }
    if (failed)
        return {false, file.errorString()};
    return {true, {}};
}

LoadedListFile loadListFile(const QString& path) {
    LoadedListFile result;
    const ListFileResult read = loadListFile(
        path,
        [&result](QString entry) {
            result.entries.append(std::move(entry));
            return true;
        },
        result.skipped);
    result.ok = read.ok;
    result.error = read.error;
    return result;
}
