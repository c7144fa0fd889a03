#include "playback/file_check.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

QString unplayableReason(const QString& name) {
    if (name.isEmpty())
        return QStringLiteral("no file name");
    const QByteArray path = QFile::encodeName(name);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0 || ::access(path.constData(), R_OK) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("not a file");
    if (st.st_size == 0)
        return QStringLiteral("the file is empty");
    return {};
}
