// libFuzzer target for what the player reads of an MP3 file besides its sound: the tags (through
// TagLib) and the exact length (the frame counter). The input is the file's bytes.

#include "fuzz/fuzz_check.h"
#include "playback/mp3_frame_counter.h"
#include "playback/song_tags.h"

#include <QDir>
#include <QTemporaryFile>

#include <cstdint>

// The most sound a byte can hold: MPEG 2.5 layer III at 8 kbit/s and 8 kHz, 576 samples in 72
// bytes, is a millisecond a byte.
constexpr double kMostSecondsPerByte = 0.001;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    static QTemporaryFile file(QDir::tempPath() + QStringLiteral("/XXXXXX.mp3"));
    check(file.open() && file.resize(0) && file.seek(0) &&
              file.write(reinterpret_cast<const char*>(bytes), qint64(size)) == qint64(size) &&
              file.flush(),
          "cannot write the input to a file");
    readSongTags(file.fileName());

    const std::optional<double> whole = mp3Duration({bytes, size});
    check(whole == mp3FileDuration(file.fileName()), "a file counts otherwise than its bytes");
    check(!whole || (*whole > 0 && *whole <= size * kMostSecondsPerByte),
          "longer than its bytes can hold");
    return 0;
}
