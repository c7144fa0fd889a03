#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>
#include <functional>

// A list file (".mlt") holds the play list as UTF-8 text, one entry per line, every line ending
// in CR LF. An empty list is an empty file.

// Turns the play list into the bytes of a list file. Entries that would not read back as
// themselves are quoted; see the comment in list_file.cpp for the few that cannot be stored.
QByteArray encodeListFile(const QStringList& entries);

// Splits the bytes of a list file into entries. Never fails: any bytes give some list.
QStringList decodeListFile(QByteArrayView data);

// The same, handing each entry to `take` as soon as it is read; stops when `take` returns
// false. Returns false when it was stopped.
bool decodeListFile(QByteArrayView data, const std::function<bool(QString)>& take);
