#pragma once

#include <QFile>
#include <QtGlobal>

// The process's resident memory in KiB (VmRSS), or -1 when /proc cannot be read.
inline qint64 residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    // readAll, not readLine: /proc files report a size of 0.
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}
