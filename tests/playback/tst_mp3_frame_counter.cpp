#include "playback/mp3_frame_counter.h"

#include <QTest>
#include <cmath>
#include <optional>

namespace {

// `count` frames: the 4 header bytes, the rest zero (silence for a decoder, no Xing tag).
QByteArray frames(int count, quint32 header, int length) {
    QByteArray f(length, '\0');
    for (int i = 0; i < 4; ++i)
        f[i] = static_cast<char>((header >> (24 - 8 * i)) & 0xFF);
    return f.repeated(count);
}

// MPEG 1 layer III, 128 kbit/s, 44.1 kHz, stereo: 417 bytes, 1152 samples.
QByteArray mpeg1L3(int count) {
    return frames(count, 0xFFFB9000, 417);
}

// A frame sync inside the tag must not be taken for audio.
QByteArray id3v2Tag(int payload) {
    QByteArray tag("ID3\x04\x00\x00", 6);
    for (int shift : {21, 14, 7, 0})
        tag += static_cast<char>((payload >> shift) & 0x7F);
    return tag + mpeg1L3(1).leftJustified(payload, '\0', true);
}

// A row: bytes go to mp3Duration, a file name to mp3FileDuration; expected < 0: no duration.
void row(const char* name, const QVariant& input, double expected, double tolerance = 1e-9) {
    QTest::newRow(name) << input << expected << tolerance;
}

} // namespace

class TestMp3FrameCounter : public QObject {
    Q_OBJECT
private slots:
    void duration_data() {
        QTest::addColumn<QVariant>("input");
        QTest::addColumn<double>("expected");
        QTest::addColumn<double>("tolerance");
        const double ten = 10 * 1152 / 44100.0;
        row("mpeg1 layer III", mpeg1L3(10), ten);
        row("ID3v2 tag skipped", id3v2Tag(300) + mpeg1L3(10), ten);
        row("garbage between frames", mpeg1L3(4) + QByteArray(37, 'U') + mpeg1L3(6), ten);
        row("truncated last frame", mpeg1L3(10) + mpeg1L3(1).left(200), ten);
        row("ID3v1 and APE at the end",
            mpeg1L3(10) + "APETAGEX" + QByteArray(24, '\x01') + "TAG" + QByteArray(125, 'x'), ten);
        row("padded frames", frames(8, 0xFFFB9200, 418), 8 * 1152 / 44100.0);
        row("mpeg2 layer III", frames(12, 0xFFF39000, 261), 12 * 576 / 22050.0);
        row("mpeg2.5 layer III", frames(5, 0xFFE39000, 522), 5 * 576 / 11025.0);
        row("mpeg1 layer II", frames(7, 0xFFFD9000, 522), 7 * 1152 / 44100.0);
        row("mpeg1 layer I", frames(9, 0xFFFF4000, 136), 9 * 384 / 44100.0);
        row("empty", QByteArray(), -1);
        row("text", QByteArray("This is not music at all.\n").repeated(50), -1);
        row("lone sync bytes", mpeg1L3(1).left(4) + QByteArray(90, 'a'), -1);
        row("only an ID3v2 tag", id3v2Tag(500), -1);
        // A LAME tag's delay and padding are taken off. Without one they stay in: 113 frames
        // of 1152 samples at 32 kHz, which is also where GStreamer's playback ends.
        row("CBR file", QString("cbr_3s.mp3"), 3.0, 1e-6);
        row("VBR file with header", QString("vbr_4s.mp3"), 4.0, 1e-6);
        row("VBR file without header", QString("vbr_4s_noheader.mp3"), 113 * 1152 / 32000.0, 1e-6);
        row("truncated file", QString("truncated.mp3"), 1.45, 0.05);
        row("WAV file", QString("tone_1s.wav"), -1);
        row("missing file", QString("no_such_file.mp3"), -1);
    }

    void duration() {
        QFETCH(QVariant, input);
        QFETCH(double, expected);
        QFETCH(double, tolerance);
        const QByteArray data = input.toByteArray();
        const auto got = input.typeId() == QMetaType::QString
                             ? mp3FileDuration(QStringLiteral(MT_FIXTURES "/") + input.toString())
                             : mp3Duration({reinterpret_cast<const std::uint8_t*>(data.constData()),
                                            static_cast<std::size_t>(data.size())});
        if (expected < 0) {
            QVERIFY2(!got, qPrintable(QString::number(got.value_or(0))));
            return;
        }
        QVERIFY(got);
        QVERIFY2(std::abs(*got - expected) <= tolerance, qPrintable(QString::number(*got, 'f', 6)));
    }
};

QTEST_GUILESS_MAIN(TestMp3FrameCounter)
#include "tst_mp3_frame_counter.moc"
