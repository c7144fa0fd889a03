#include "playback/song_tags.h"

#include <QFile>
#include <QFileInfo>
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <taglib/tpropertymap.h>

#include <climits>

namespace {

// The property map, of the first tag that has any, keeps each value of a field (ID3v2.4 allows
// several); the tag's own getters join them into one text, and take a field the first tag
// leaves empty from the next (an ID3v1 tag behind an ID3v2 tag).
QString firstValue(const TagLib::PropertyMap& fields, const char* key,
                   const TagLib::String& joined) {
    const auto it = fields.find(key);
    const bool own = it != fields.end() && !it->second.isEmpty() && !it->second.front().isEmpty();
    return QString::fromUtf8((own ? it->second.front() : joined).toCString(true)).trimmed();
}

} // namespace

SongTags readSongTags(const QString& path) {
    // A FIFO would block the open until something writes to it, a device may never end.
    if (!QFileInfo(path).isFile())
        return {};
    // Without the audio properties: the length comes from counting frames, and TagLib would
    // read the stream for a figure that is not used.
    const TagLib::FileRef file(QFile::encodeName(path).constData(), false);
    const TagLib::Tag* tag = file.tag();
    if (!tag)
        return {};
    const TagLib::PropertyMap fields = file.file()->properties();
    SongTags tags;
    tags.title = firstValue(fields, "TITLE", tag->title());
    tags.artist = firstValue(fields, "ARTIST", tag->artist());
    tags.album = firstValue(fields, "ALBUM", tag->album());
    tags.trackNumber = tag->track() <= INT_MAX ? static_cast<int>(tag->track()) : 0;
    return tags;
}

extern "C" Q_DECL_EXPORT void marrowtuneReadSongTags(const QString* path, SongTags* tags) {
    *tags = readSongTags(*path);
}
