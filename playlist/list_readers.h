#pragma once

#include "playlist/list_formats.h"

// Readers for play lists made by other players. Entries are local paths: relative ones are
// taken from `listFolder`, file:// URIs are decoded; web addresses and other lists (which are
// not followed) are left out and counted. Each reads its input once, in linear time.

// M3U: one entry per line, "#" lines skipped; UTF-8, or Latin-1 when the bytes are not UTF-8.
ListReading readM3u(QByteArrayView data, const QString& listFolder);
// M3U8: the same, always UTF-8.
ListReading readM3u8(QByteArrayView data, const QString& listFolder);
// PLS: the FileN= entries of the [playlist] section in the order of N.
ListReading readPls(QByteArrayView data, const QString& listFolder);
