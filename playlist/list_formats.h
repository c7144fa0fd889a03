#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

// The kinds of list file the player reads, by file name suffix. Saving always writes ".mlt".

struct ListReading {
    QStringList entries;
    int skipped = 0; // entries left out: web addresses, other lists
};

// Turns the bytes of a list file kept in `listFolder` into play list entries.
using ListReader = ListReading (*)(QByteArrayView data, const QString& listFolder);

struct ListFormat {
    QString suffix; // without the dot, lower case
    ListReader read;
};

const QList<ListFormat>& listFormats();

// The kind the player saves, and reads from a file of any other name.
const ListFormat& savedListFormat();

// The format of the list file at `path` by its suffix in any letter case; null when it is
// not a list file.
const ListFormat* listFormatFor(const QString& path);

// The load dialog's filters: the saved lists first, then all list files.
QStringList listFileFilters();
