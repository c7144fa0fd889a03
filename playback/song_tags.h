#pragma once

#include <QString>

// What a file's tags say about the song. Empty texts and 0 mean the tags do not say.
struct SongTags {
    QString title;
    QString artist;
    QString album;
    int trackNumber = 0;
};

// Reads the tags through TagLib: in an MP3 the ID3v2 tag, what it leaves open taken from an APE
// or ID3v1 tag; other formats their own. Of several values the first is taken. A file that
// cannot be read, or has no tags, gives empty tags. A slow disk or a tag holding megabytes of
// pictures can make this take long: not for the GUI thread.
SongTags readSongTags(const QString& path);

// The same, as the tag module exports it: the program loads TagLib only while it reads tags
// (see SongTagReader).
extern "C" void marrowtuneReadSongTags(const QString* path, SongTags* tags);
