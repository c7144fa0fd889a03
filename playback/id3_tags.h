#pragma once

#include <QByteArrayView>
#include <QString>

// What a file's ID3 tags say about the song. Empty texts and 0 mean the tag does not say.
struct Id3Tags {
    QString title;
    QString artist;
    QString album;
    int trackNumber = 0;
};

// Reads the ID3v2 tag (versions 2.2 to 2.4) at the start of the file and the ID3v1 tag at its
// end; what the ID3v2 tag leaves open is taken from the ID3v1 tag. A file that cannot be read,
// or has no tags, gives empty tags.
Id3Tags readId3Tags(const QString& path);

// The ID3v2 tag whose bytes, header included, start `tag` (cut short is fine).
Id3Tags decodeId3v2(QByteArrayView tag);
// The last 128 bytes of a file holding an ID3v1 or ID3v1.1 tag.
Id3Tags decodeId3v1(QByteArrayView last128);

// The song's title for the desktop: the tag's, else the file name without ".mp3".
QString songTitle(const Id3Tags& tags, const QString& path);
