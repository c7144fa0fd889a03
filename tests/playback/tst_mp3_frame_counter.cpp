#include "playback/mp3_frame_counter.h"

#include <QTest>
#include <optional>

namespace {

// One frame: the 4 header bytes, the rest zero (silence for a decoder, no Xing tag).
QByteArray frame(quint32 header, int length) {
    QByteArray f(length, '\0');
    for (int i = 0; i < 4; ++i)
        f[i] = static_cast<char>((header >> (24 - 8 * i)) & 0xFF);
    return f;
}

QByteArray frames(int count, quint32 header, int length) {
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += frame(header, length);
    return out;
}

// MPEG 1 layer III, 128 kbit/s, 44.1 kHz, stereo: 417 bytes, 1152 samples.
constexpr quint32 kMpeg1L3 = 0xFFFB9000;
constexpr int kMpeg1L3Len = 417;

QByteArray id3v2Tag(int payload) {
    QByteArray tag("ID3\x04\x00\x00", 6);
    for (int shift : {21, 14, 7, 0})
        tag += static_cast<char>((payload >> shift) & 0x7F);
    // A frame sync inside the tag must not be taken for audio.
    return tag + frame(kMpeg1L3, payload);
}

// An Info frame as LAME writes it, telling the frame count, delay and padding.
QByteArray infoFrame(quint32 frameCount, int delay, int padding) {
    QByteArray f = frame(kMpeg1L3, kMpeg1L3Len);
    const int x = 4 + 32;
    f.replace(x, 4, "Info");
    f[x + 7] = 0x0F;
    for (int i = 0; i < 4; ++i)
        f[x + 8 + i] = static_cast<char>((frameCount >> (24 - 8 * i)) & 0xFF);
    const int lame = x + 120;
    f.replace(lame, 4, "LAME");
    const quint32 v = (static_cast<quint32>(delay) << 12) | static_cast<quint32>(padding);
    f[lame + 21] = static_cast<char>(v >> 16);
    f[lame + 22] = static_cast<char>((v >> 8) & 0xFF);
    f[lame + 23] = static_cast<char>(v & 0xFF);
    return f;
}

std::optional<double> durationOf(const QByteArray& bytes) {
    return mp3Duration({reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                        static_cast<std::size_t>(bytes.size())});
}

} // namespace

class TestMp3FrameCounter : public QObject {
    Q_OBJECT
private slots:
    void bytes_data();
    void bytes();
    void fixtures_data();
    void fixtures();
};

void TestMp3FrameCounter::bytes_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<double>("expected"); // < 0: no duration

    const QByteArray ten = frames(10, kMpeg1L3, kMpeg1L3Len);
    const double tenSeconds = 10 * 1152 / 44100.0;
    QTest::newRow("mpeg1 layer III") << ten << tenSeconds;
    QTest::newRow("ID3v2 tag skipped") << id3v2Tag(300) + ten << tenSeconds;
    QTest::newRow("garbage between frames")
        << frames(4, kMpeg1L3, kMpeg1L3Len) + QByteArray(37, '\x55') +
               frames(6, kMpeg1L3, kMpeg1L3Len)
        << tenSeconds;
    QTest::newRow("truncated last frame")
        << ten + frame(kMpeg1L3, kMpeg1L3Len).left(200) << tenSeconds;
    QTest::newRow("ID3v1 and APE at the end")
        << ten + QByteArray("APETAGEX") + QByteArray(24, '\x01') + QByteArray("TAG") +
               QByteArray(125, 'x')
        << tenSeconds;
    QTest::newRow("padded frames")
        << frames(8, kMpeg1L3 | 0x200, kMpeg1L3Len + 1) << 8 * 1152 / 44100.0;
    // 22.05 kHz, 80 kbit/s, 576 samples a frame.
    QTest::newRow("mpeg2 layer III") << frames(12, 0xFFF39000, 261) << 12 * 576 / 22050.0;
    // 11.025 kHz, 80 kbit/s.
    QTest::newRow("mpeg2.5 layer III") << frames(5, 0xFFE39000, 522) << 5 * 576 / 11025.0;
    // 160 kbit/s, 44.1 kHz.
    QTest::newRow("mpeg1 layer II") << frames(7, 0xFFFD9000, 522) << 7 * 1152 / 44100.0;
    // 128 kbit/s: 12 * 128000 / 44100 = 34 slots of 4 bytes.
    QTest::newRow("mpeg1 layer I") << frames(9, 0xFFFF4000, 136) << 9 * 384 / 44100.0;
    QTest::newRow("Info frame: delay and padding taken off")
        << infoFrame(10, 576, 1000) + ten << (10 * 1152 - 1576) / 44100.0;
    QTest::newRow("Info frame of a cut file: only the delay")
        << infoFrame(20, 576, 1000) + ten << (10 * 1152 - 576) / 44100.0;
    QTest::newRow("empty") << QByteArray() << -1.0;
    QTest::newRow("text") << QByteArray("This is not music at all.\n").repeated(50) << -1.0;
    QTest::newRow("lone sync bytes")
        << QByteArray("\xFF\xFB\x90\x00", 4) + QByteArray(90, 'a') << -1.0;
    QTest::newRow("only an ID3v2 tag") << id3v2Tag(500) << -1.0;
}

void TestMp3FrameCounter::bytes() {
    QFETCH(QByteArray, data);
    QFETCH(double, expected);
    const auto got = durationOf(data);
    if (expected < 0) {
        QVERIFY2(!got, qPrintable(QString::number(got.value_or(0))));
        return;
    }
    QVERIFY(got);
    QCOMPARE_LE(std::abs(*got - expected), 1e-9);
}

void TestMp3FrameCounter::fixtures_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<double>("expected"); // < 0: no duration
    QTest::addColumn<double>("tolerance");

    // Files with a LAME tag come out exact. Without one the encoder's delay and padding
    // stay in: 113 frames of 1152 samples at 32 kHz (lame -V 7 resamples), which is also
    // where GStreamer's playback of it ends.
    QTest::newRow("CBR") << "cbr_3s.mp3" << 3.0 << 1e-6;
    QTest::newRow("VBR with header") << "vbr_4s.mp3" << 4.0 << 1e-6;
    QTest::newRow("VBR without header") << "vbr_4s_noheader.mp3" << 113 * 1152 / 32000.0 << 1e-6;
    QTest::newRow("short") << "short_0_3s.mp3" << 0.3 << 1e-6;
    QTest::newRow("truncated") << "truncated.mp3" << 1.45 << 0.05;
    QTest::newRow("text named .mp3") << "not_audio.mp3" << -1.0 << 0.0;
    QTest::newRow("WAV") << "tone_1s.wav" << -1.0 << 0.0;
    QTest::newRow("Ogg") << "tone_stereo_2s.ogg" << -1.0 << 0.0;
    QTest::newRow("missing") << "no_such_file.mp3" << -1.0 << 0.0;
}

void TestMp3FrameCounter::fixtures() {
    QFETCH(QString, file);
    QFETCH(double, expected);
    QFETCH(double, tolerance);
    const auto got = mp3FileDuration(QStringLiteral(MT_FIXTURES "/") + file);
    if (expected < 0) {
        QVERIFY(!got);
        return;
    }
    QVERIFY(got);
    QVERIFY2(std::abs(*got - expected) <= tolerance, qPrintable(QString::number(*got, 'f', 6)));
}

QTEST_GUILESS_MAIN(TestMp3FrameCounter)
#include "tst_mp3_frame_counter.moc"
