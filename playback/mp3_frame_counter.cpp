#include "playback/mp3_frame_counter.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace {

struct FrameHeader {
    int version = 0; // 1 = MPEG 1, 2 = MPEG 2, 3 = MPEG 2.5
    int layer = 0;
    int sampleRate = 0;
    int samplesPerFrame = 0;
    int length = 0; // bytes, header included
    bool mono = false;

    bool sameStream(const FrameHeader& o) const {
        return version == o.version && layer == o.layer && sampleRate == o.sampleRate;
    }
};

constexpr std::array<std::array<int, 16>, 5> kBitrates = {{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0}, // V1 L1
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},    // V1 L2
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},     // V1 L3
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},    // V2 L1
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},         // V2 L2/L3
}};

std::optional<FrameHeader> parseHeader(std::span<const std::uint8_t> d, std::size_t at) {
    if (at + 4 > d.size() || d[at] != 0xFF || (d[at + 1] & 0xE0) != 0xE0)
        return std::nullopt;
    const int versionBits = (d[at + 1] >> 3) & 3;
    const int layerBits = (d[at + 1] >> 1) & 3;
    const int bitrateIndex = d[at + 2] >> 4;
    const int rateIndex = (d[at + 2] >> 2) & 3;
    // Free-format frames have no computable length; nobody encodes them in practice.
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 ||
        rateIndex == 3)
        return std::nullopt;

    FrameHeader h;
    h.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 3;
    h.layer = 4 - layerBits;
    constexpr std::array<int, 3> kRates = {44100, 48000, 32000};
    h.sampleRate = kRates[static_cast<std::size_t>(rateIndex)] >> (h.version - 1);
    const std::size_t table = h.version == 1 ? static_cast<std::size_t>(h.layer - 1)
                              : h.layer == 1 ? 3
                                             : 4;
    const int bitrate = kBitrates[table][static_cast<std::size_t>(bitrateIndex)] * 1000;
    const int padding = (d[at + 2] >> 1) & 1;
    h.mono = (d[at + 3] >> 6) == 3;
    if (h.layer == 1) {
        h.samplesPerFrame = 384;
        h.length = (12 * bitrate / h.sampleRate + padding) * 4;
    } else if (h.layer == 2 || h.version == 1) {
        h.samplesPerFrame = 1152;
        h.length = 144 * bitrate / h.sampleRate + padding;
    } else {
        h.samplesPerFrame = 576;
        h.length = 72 * bitrate / h.sampleRate + padding;
    }
    return h;
}

// A lone 0xFF 0xE? pair is common in any binary data, so a frame only counts as found
// when the next frame header follows right after it (or the data ends there).
bool frameChains(std::span<const std::uint8_t> d, std::size_t at, const FrameHeader& h) {
    const std::size_t next = at + static_cast<std::size_t>(h.length);
    if (next > d.size())
        return false;
    if (next == d.size())
        return true;
    const auto n = parseHeader(d, next);
    return n && n->sameStream(h);
}

std::size_t skipId3v2(std::span<const std::uint8_t> d) {
    std::size_t at = 0;
    while (at + 10 <= d.size() && d[at] == 'I' && d[at + 1] == 'D' && d[at + 2] == '3') {
        std::size_t size = 0;
        for (std::size_t i = 6; i < 10; ++i)
            size = (size << 7) | (d[at + i] & 0x7F);
        const bool footer = (d[at + 5] & 0x10) != 0;
        at += 10 + size + (footer ? 10 : 0);
    }
    return at;
}

// About 27 s of sound, half a megabyte at 128 kbit/s: on storage reading 4 MiB/s a stop is
// noticed within about 0.1 s, and a check costs nothing against reading that much.
constexpr std::size_t kFramesBetweenChecks = 1024;

std::size_t readBigEndian(std::span<const std::uint8_t> d, std::size_t at, int bytes) {
    std::size_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | d[at + static_cast<std::size_t>(i)];
    return v;
}

struct InfoFrame {
    std::size_t frames = 0; // audio frames the encoder wrote, 0 if not told
    int delay = 0;
    int padding = 0;
};

// A Xing/Info or VBRI frame describes the stream and holds no audio.
std::optional<InfoFrame> readInfoFrame(std::span<const std::uint8_t> d, std::size_t at,
                                       const FrameHeader& h) {
    const std::size_t end = at + static_cast<std::size_t>(h.length);
    const std::size_t sideInfo = h.version == 1 ? (h.mono ? 17 : 32) : (h.mono ? 9 : 17);
    std::size_t x = at + 4 + sideInfo;
    auto tagAt = [&](std::size_t p, const char* tag) {
        return p + 4 <= end && std::memcmp(d.data() + p, tag, 4) == 0;
    };
    if (tagAt(at + 36, "VBRI"))
        return InfoFrame{};
    if (!tagAt(x, "Xing") && !tagAt(x, "Info"))
        return std::nullopt;
    InfoFrame info;
    if (x + 8 > end)
        return info;
    const std::size_t flags = readBigEndian(d, x + 4, 4);
    x += 8;
    if (flags & 1) {
        if (x + 4 > end)
            return info;
        info.frames = readBigEndian(d, x, 4);
        x += 4;
    }
    x += (flags & 2 ? 4 : 0) + (flags & 4 ? 100 : 0) + (flags & 8 ? 4 : 0);
    // The LAME extension keeps encoder delay and padding in 12 bits each, 21 bytes in.
    if (x + 24 <= end && (tagAt(x, "LAME") || tagAt(x, "Lavf") || tagAt(x, "Lavc"))) {
        const std::size_t v = readBigEndian(d, x + 21, 3);
        info.delay = static_cast<int>(v >> 12);
        info.padding = static_cast<int>(v & 0xFFF);
    }
    return info;
}

// Without a known stream (at the start) three frames in a row are needed, which random
// bytes practically never give.
std::optional<std::size_t> findChainedFrame(std::span<const std::uint8_t> d, std::size_t from,
                                            const FrameHeader* like) {
    for (std::size_t at = from; at + 4 <= d.size(); ++at) {
        const auto h = parseHeader(d, at);
        if (!h || (like && !h->sameStream(*like)) || !frameChains(d, at, *h))
            continue;
        const std::size_t next = at + static_cast<std::size_t>(h->length);
        if (like || next == d.size() || frameChains(d, next, *parseHeader(d, next)))
            return at;
    }
    return std::nullopt;
}

// What a walk has found so far, carried from one piece of the file to the next.
struct Walk {
    std::optional<FrameHeader> stream; // the first frame's, once found
    std::optional<InfoFrame> info;
    bool searching = true; // stepping over garbage, or looking for the first frame
    bool stopped = false;  // `keepGoing` said to stop
    std::size_t frames = 0;
    std::uint64_t samples = 0;
};

// The most a decision at one place looks ahead: three of the longest frames (2881 bytes).
constexpr std::size_t kLookahead = 16 * 1024;

// Walks the frames of `d`, which goes on where the last piece stopped. Unless `last`, only
// places with a whole lookahead after them are decided; returns where the next piece begins.
std::size_t walkFrames(std::span<const std::uint8_t> d, bool last, Walk& w,
                       const std::function<bool()>& keepGoing) {
    const std::size_t limit = last ? d.size() : d.size() - kLookahead;
    std::size_t at = 0;
    while (at < limit) {
        if (w.searching) {
            const auto found = findChainedFrame(d, at, w.stream ? &*w.stream : nullptr);
            if (!found || *found >= limit)
                return limit;
            at = *found;
            w.searching = false;
            if (!w.stream) {
                w.stream = parseHeader(d, at);
                w.info = readInfoFrame(d, at, *w.stream);
                if (w.info)
                    at += static_cast<std::size_t>(w.stream->length);
                continue;
            }
        }
        const auto h = parseHeader(d, at);
        if (!h || !h->sameStream(*w.stream)) {
            w.searching = true;
            ++at;
            continue;
        }
        if (at + static_cast<std::size_t>(h->length) > d.size())
            return d.size(); // a cut-off frame does not decode
        if (++w.frames % kFramesBetweenChecks == 0 && keepGoing && !keepGoing()) {
            w.stopped = true;
            return d.size();
        }
        w.samples += static_cast<std::uint64_t>(h->samplesPerFrame);
        at += static_cast<std::size_t>(h->length);
    }
    return at;
}

std::optional<double> lengthOf(const Walk& w) {
    if (w.stopped || w.frames == 0)
        return std::nullopt;
    std::uint64_t samples = w.samples;
    if (w.info) {
        // The delay sits at the start; the padding only if the file still has its end.
        std::uint64_t trim = static_cast<std::uint64_t>(w.info->delay);
        if (w.info->frames == w.frames)
            trim += static_cast<std::uint64_t>(w.info->padding);
        if (trim < samples)
            samples -= trim;
    }
    return static_cast<double>(samples) / w.stream->sampleRate;
}

// Read a piece at a time rather than mapped: a tagger cutting the file short meanwhile
// would kill the player with SIGBUS on a mapping, while a read just ends early.
constexpr qint64 kPiece = 256 * 1024;

} // namespace

std::optional<double> mp3Duration(std::span<const std::uint8_t> data,
                                  const std::function<bool()>& keepGoing) {
    Walk w;
    walkFrames(data.subspan(std::min(skipId3v2(data), data.size())), true, w, keepGoing);
    return lengthOf(w);
}

std::optional<double> mp3FileDuration(const QString& path, const std::function<bool()>& keepGoing) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    qint64 at = 0; // after the ID3v2 tags, read header by header: one may hold megabytes
    for (;;) {
        const QByteArray head = file.read(10);
        const std::size_t tag = skipId3v2(
            {reinterpret_cast<const std::uint8_t*>(head.constData()), std::size_t(head.size())});
        if (tag == 0 || !file.seek(at += static_cast<qint64>(tag)))
            break;
    }
    if (!file.seek(at))
        return std::nullopt;
    Walk w;
    const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kPiece + kLookahead);
    std::size_t kept = 0; // bytes of the last piece not walked yet
    for (bool last = false; !last && !w.stopped;) {
        const qint64 got = file.read(reinterpret_cast<char*>(buffer.get() + kept), kPiece);
        last = got < kPiece;
        const std::size_t size = kept + static_cast<std::size_t>(std::max<qint64>(got, 0));
        const std::size_t walked = walkFrames({buffer.get(), size}, last, w, keepGoing);
        kept = size - walked;
        std::memmove(buffer.get(), buffer.get() + walked, kept);
    }
    return lengthOf(w);
}
