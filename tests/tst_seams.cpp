// One file on several encoder instances: the joined MP3 against a one-instance encode of the
// same input, seam by seam.
#include "encoder/lame/infotemplate.h"
#include "encoder/mp3/infoframe.h"
#include "adjustedsettings.h"
#include "audiocompare.h"
#include "mp3check.h"
#include "paralleltest.h"
#include "tempfiles.h"
#include "wavegen.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// lame's extension of an info tag: after the fields the tag's flags name.
const unsigned char *extensionOf(const unsigned char *tag)
{
    const quint32 flags = big32(tag + 4);
    return tag + 8 + (flags & 1 ? 4 : 0) + (flags & 2 ? 4 : 0) + (flags & 4 ? 100 : 0) + (flags & 8 ? 4 : 0);
}

// Error-to-signal ratio of each run of `block` samples (all channels) of decoded against the input.
std::vector<double> errorShares(const std::vector<float> &decoded, const std::vector<float> &input, int channels,
                                int block)
{
    std::vector<double> shares;
    const std::size_t step = static_cast<std::size_t>(block * channels);
    for (std::size_t start = 0; start + step <= std::min(decoded.size(), input.size()); start += step) {
        double signal = 1e-9;
        double error = 0;
        for (std::size_t i = start; i < start + step; ++i) {
            signal += double(input[i]) * input[i];
            error += double(decoded[i] - input[i]) * (decoded[i] - input[i]);
        }
        shares.push_back(error / signal);
    }
    return shares;
}

} // namespace

class TestSeams : public QObject
{
    Q_OBJECT

private:
    TestFolder m_dir;

private slots:
    // The joined MP3 against a one-instance encode of the same input and settings.
    void joinedStream_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<Adjust>("adjust");
        QTest::addColumn<int>("bitrate"); // every audio frame's, 0 for VBR
        QTest::addColumn<double>("seconds");
        // MPEG frames a chunk: 100 (about 2.6 s at 44.1 kHz) cuts a short input at several seams;
        // at 8 to 24 kHz out, chunks of 200 on twice the input, as the seam search there needs.
        QTest::addColumn<int>("chunkFrames");
        QTest::newRow("CBR 128") << 44100 << 2 << Adjust() << 128 << 15.0 << 100;
        QTest::newRow("CBR 112: reservoirs apart, data moved") << 44100 << 2 << Adjust([](EncoderSettings &s) { s.bitrate = 112; }) << 112 << 15.0 << 100;
        QTest::newRow("CBR 128, not whole frames") << 44100 << 2 << Adjust() << 128 << 12.5071 << 100;
        QTest::newRow("VBR 4") << 44100 << 2 << Adjust([](EncoderSettings &s) { s.useVbr = true; }) << 0 << 15.0 << 100;
        QTest::newRow("mono") << 44100 << 2 << Adjust([](EncoderSettings &s) { s.mono = true; }) << 128 << 15.0 << 100;
        QTest::newRow("48 kHz, VBR 2, tags, copyright") << 48000 << 2 << Adjust([](EncoderSettings &s) {
            s.useVbr = true;
            s.vbrRate = 2;
            s.tagTitle = QStringLiteral("Title");
            s.copyrighted = true;
            s.original = true;
        }) << 0 << 15.0 << 100;
        QTest::newRow("mono input, fast") << 32000 << 1 << Adjust([](EncoderSettings &s) { s.fastMode = true; s.bitrate = 96; }) << 96 << 15.0 << 100;
        QTest::newRow("16 kHz at 32 kbit/s: tag without seek table") << 16000 << 2 << Adjust([](EncoderSettings &s) { s.bitrate = 32; }) << 32 << 30.0 << 200;
        // Resampled ahead of lame to the rate lame picks: 8, 16, 22.05 (voice), 24, 32, 48 kHz out.
        QTest::newRow("CBR 8: 44.1 to 8 kHz") << 44100 << 2 << Adjust([](EncoderSettings &s) { s.bitrate = 8; }) << 8 << 60.0 << 200;
        QTest::newRow("CBR 32: 44.1 to 16 kHz") << 44100 << 2 << Adjust([](EncoderSettings &s) { s.bitrate = 32; }) << 32 << 30.0 << 200;
        QTest::newRow("CBR 56: 44.1 to 24 kHz, frames never padded") << 44100 << 2 << Adjust([](EncoderSettings &s) { s.bitrate = 56; }) << 56 << 30.0 << 200;
        QTest::newRow("voice: 44.1 to 22.05 kHz mono") << 44100 << 2 << Adjust([](EncoderSettings &s) { s.voiceMode = true; }) << 0 << 15.0 << 100;
        QTest::newRow("VBR 9") << 44100 << 2 << Adjust([](EncoderSettings &s) { s.useVbr = true; s.vbrRate = 9; }) << 0 << 15.0 << 100;
        QTest::newRow("CBR 96: 44.1 to 32 kHz") << 44100 << 2 << Adjust([](EncoderSettings &s) { s.bitrate = 96; }) << 96 << 15.0 << 100;
        QTest::newRow("88.2 to 44.1 kHz") << 88200 << 2 << Adjust() << 128 << 10.0 << 100;
        QTest::newRow("96 to 48 kHz, not whole frames") << 96000 << 2 << Adjust() << 128 << 10.00713 << 100;
        QTest::newRow("192 to 48 kHz, VBR 4") << 192000 << 2 << Adjust([](EncoderSettings &s) { s.useVbr = true; }) << 0 << 10.0 << 100;
    }

    void joinedStream()
    {
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(Adjust, adjust);
        QFETCH(int, bitrate);
        QFETCH(double, seconds);
        QFETCH(int, chunkFrames);
        const QString input = m_dir.musicWave(rate, channels, seconds);
        const QString joined = m_dir.path(QStringLiteral("joined.mp3"));
        const QString single = m_dir.path(QStringLiteral("single.mp3"));
        RunReport report;
        const Outcome parallel = encodeOn(settingsFor(input, joined, adjust), 2, &report, chunkFrames);
        QVERIFY2(parallel.ok(), qPrintable(parallel.message));
        QVERIFY(encodeOn(settingsFor(input, single, adjust), 1).ok());
        QVERIFY2(report.instances >= 4, qPrintable(QString::number(report.instances)));
        QCOMPARE(report.seams.size(), std::size_t(report.instances - 1));

        const Mp3Info mp3 = decodeMp3(joined, true);
        const Mp3Info one = decodeMp3(single, true);
        QVERIFY2(mp3.ok, qPrintable(mp3.error));
        const qint64 inputFrames = std::llround(rate * seconds);
        // Resampled, lame's length: the whole output samples of the input's duration.
        const qint64 outputFrames = inputFrames * mp3.rate / rate;
        QCOMPARE(mp3.frames, outputFrames);
        QCOMPARE(one.frames, outputFrames);
        QCOMPARE(one.rate, mp3.rate);

        std::vector<float> reference = musicSamples(inputFrames, channels, rate);
        for (float &s : reference)
            s = static_cast<float>(std::lround(std::clamp(s, -1.0f, 1.0f) * 32767.0f)) / 32768.0f; // as 16-bit
        if (mp3.rate != rate)
            reference = resampled(reference, channels, rate, mp3.rate, outputFrames);
        if (mp3.channels == 1 && channels == 2) {
            std::vector<float> mono;
            for (std::size_t i = 0; i + 1 < reference.size(); i += 2)
                mono.push_back((reference[i] + reference[i + 1]) / 2);
            reference = mono;
        }
        const double snrJoined = snrDb(mp3.samples, reference);
        const double snrOne = snrDb(one.samples, reference);
        QVERIFY2(std::abs(snrJoined - snrOne) <= 0.1, qPrintable(QStringLiteral("%1 vs %2 dB").arg(snrJoined).arg(snrOne)));

        // No audible seam: the error share of the frames around each seam stays within the
        // range of the other frames'.
        const QByteArray file = contentOf(joined);
        const Stream stream = streamOf(mp3, file);
        const int spf = stream.frames.front().header.samples;
        const unsigned char *tag = bytesOf(stream.audio) + stream.frames.front().header.sideInfoEnd;
        const unsigned char *extension = extensionOf(tag);
        const int delay = (extension[21] << 4) | (extension[22] >> 4);
        const int padding = ((extension[22] & 0xf) << 8) | extension[23];
        const std::vector<double> shares = errorShares(mp3.samples, reference, mp3.channels, spf);
        std::vector<bool> nearSeam(shares.size(), false);
        for (const std::int64_t seam : report.seams) {
            const std::int64_t at = (seam * spf - delay) / spf; // the output block where frame seam starts
            for (std::int64_t b = at - 2; b <= at + 2; ++b) {
                if (b >= 0 && b < std::int64_t(shares.size()))
                    nearSeam[std::size_t(b)] = true;
            }
        }
        double others = 0;
        for (std::size_t b = 2; b < shares.size(); ++b) {
            if (!nearSeam[b])
                others = std::max(others, shares[b]);
        }
        for (std::size_t b = 0; b < shares.size(); ++b) {
            if (nearSeam[b])
                QVERIFY2(shares[b] <= others, qPrintable(QStringLiteral("block %1: %2 > %3").arg(b).arg(shares[b]).arg(others)));
        }

        // Every frame parses, the reservoir chain holds across the seams, CBR stays CBR, the
        // info frame included.
        QVERIFY(stream.whole);
        QVERIFY(mainDataChainValid(stream.frames));
        for (std::size_t i = 0; i < stream.frames.size(); ++i) {
            if (bitrate > 0)
                QCOMPARE(stream.frames[i].header.bitrate, bitrate);
        }
        QVERIFY(mp3.hasInfoTag);
        QCOMPARE(mp3.infoTagId, bitrate > 0 ? QByteArray("Info") : QByteArray("Xing"));

        // The info frame describes the joined stream.
        const qint64 audioFrames = qint64(stream.frames.size()) - 1;
        QCOMPARE(qint64(big32(tag + 8)), audioFrames);
        // Only at 8 kbit/s is the frame too small for the byte count.
        QCOMPARE(bool(big32(tag + 4) & 2), bitrate == 0 || bitrate > 8);
        if (big32(tag + 4) & 2)
            QCOMPARE(qint64(big32(tag + 12)), qint64(stream.audio.size()));
        QCOMPARE(qint64(big32(extension + 28)), qint64(stream.audio.size()));
        QCOMPARE(audioFrames * spf - delay - padding, outputFrames);
        const int tagSize = stream.frames.front().header.size;
        QCOMPARE(crc16(0, bytesOf(stream.audio) + tagSize, std::size_t(stream.audio.size() - tagSize)),
                 quint16((extension[32] << 8) | extension[33]));
        QCOMPARE(crc16(0, bytesOf(stream.audio), std::size_t(extension + 34 - bytesOf(stream.audio))),
                 quint16((extension[34] << 8) | extension[35]));
        QCOMPARE(mp3.hasId3v2, settingsFor({}, {}, adjust).replayGain || settingsFor({}, {}, adjust).tagTitle.size() > 0);

        // The source rate and the low-rate "unwise" flag are the file's, as lame records them
        // in its own tag when it is given the file and resamples it itself, on both paths.
        const InputInfo source {channels, channels, rate, inputFrames, true};
        const std::optional<InfoFrameTemplate> lames = infoFrameTemplate(settingsFor(input, joined, adjust), source);
        QVERIFY(lames);
        const QByteArray lameTag(reinterpret_cast<const char *>(lames->frame.data()), qsizetype(lames->frame.size()));
        QVERIFY(lameTag.indexOf("LAME3") > 0);
        const int misc = static_cast<unsigned char>(lameTag[lameTag.indexOf("LAME3") + 24]) & 0xe0;
        QCOMPARE(extension[24] & 0xe0, misc);
        const QByteArray oneFile = contentOf(single);
        const qsizetype oneExtension = oneFile.indexOf("LAME3");
        QVERIFY(oneExtension > 0);
        QCOMPARE(static_cast<unsigned char>(oneFile[oneExtension + 24]) & 0xe0, misc);
    }
};

QTEST_GUILESS_MAIN(TestSeams)
#include "tst_seams.moc"
