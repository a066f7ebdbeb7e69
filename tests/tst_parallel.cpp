// One file on several encoder instances: the joined MP3 against a one-instance encode of the
// same input, seam by seam, and the frame parser and info frame it rests on.
#include "encoder/encoderun.h"
#include "encoder/lameencoderx.h"
#include "encoder/mp3/frames.h"
#include "encoder/lame/infotemplate.h"
#include "encoder/mp3/infoframe.h"
#include "encoder/parallel/seams.h"
#include "adjustedsettings.h"
#include "audiocompare.h"
#include "mp3check.h"
#include "tempfiles.h"
#include "wavegen.h"

#include <QDir>
#include <QSignalSpy>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {


const unsigned char *bytesOf(const QByteArray &data)
{
    return reinterpret_cast<const unsigned char *>(data.constData());
}

quint32 big32(const unsigned char *at)
{
    return (quint32(at[0]) << 24) | (quint32(at[1]) << 16) | (quint32(at[2]) << 8) | at[3];
}

// lame's extension of an info tag: after the fields the tag's flags name.
const unsigned char *extensionOf(const unsigned char *tag)
{
    const quint32 flags = big32(tag + 4);
    return tag + 8 + (flags & 1 ? 4 : 0) + (flags & 2 ? 4 : 0) + (flags & 4 ? 100 : 0) + (flags & 8 ? 4 : 0);
}

// A program that reports an MP3's length: its arguments before the file, and a pattern whose
// captures are (minutes, seconds) pairs, summed; a reader's display sets its tolerance.
struct LengthReader
{
    QString program;
    QStringList arguments;
    QString pattern;
    double tolerance;
};

const LengthReader kLengthReaders[] = {
    {QStringLiteral("eyeD3"), {QStringLiteral("--no-color")}, QStringLiteral(R"(Time: (\d+):(\d+))"), 1},
    {QStringLiteral("mutagen-inspect"), {}, QStringLiteral(R"(()([\d.]+) seconds)"), 0.05},
    // The encoder delay and padding count as well: up to three frames.
    {QStringLiteral("ffprobe"),
     {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"), QStringLiteral("format=duration"),
      QStringLiteral("-of"), QStringLiteral("csv=p=0")},
     QStringLiteral(R"(^()([\d.]+))"), 0.25},
    // The first status line: time played + time left.
    {QStringLiteral("mpg123"), {QStringLiteral("-t"), QStringLiteral("-v")},
     QStringLiteral(R"((\d+):([\d.]+)\+(\d+):([\d.]+))"), 0.05},
};

// The MPEG frames of an MP3 file: from its first frame to the ID3v1 tag or the end.
struct Stream
{
    QByteArray audio;
    std::vector<FrameEntry> frames;
    bool whole = false; // the frames cover every byte
};

Stream streamOf(const Mp3Info &info, const QByteArray &file)
{
    Stream stream;
    const qint64 end = file.size() - (info.hasId3v1 ? 128 : 0);
    stream.audio = file.mid(info.firstFrameAt, end - info.firstFrameAt);
    std::size_t scanned = 0;
    stream.frames = scanFrames(bytesOf(stream.audio), static_cast<std::size_t>(stream.audio.size()), &scanned);
    stream.whole = scanned == static_cast<std::size_t>(stream.audio.size());
    return stream;
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

// The audio frames of an MP3 (without its info frame) as one encoder instance's chunk.
EncodedChunk chunkOf(const Stream &stream)
{
    EncodedChunk chunk;
    const std::size_t tag = static_cast<std::size_t>(stream.frames.front().header.size);
    chunk.bytes.assign(bytesOf(stream.audio) + tag, bytesOf(stream.audio) + stream.audio.size());
    chunk.frames = scanFrames(chunk.bytes.data(), chunk.bytes.size());
    return chunk;
}

// The main data each frame uses, gathered from the slots as a decoder reads it.
std::vector<QByteArray> mainDataOf(const EncodedChunk &chunk)
{
    QByteArray slotBytes;
    std::vector<long> slotStart;
    for (const FrameEntry &frame : chunk.frames) {
        slotStart.push_back(slotBytes.size());
        slotBytes.append(reinterpret_cast<const char *>(chunk.bytes.data() + frame.offset + frame.header.sideInfoEnd),
                     frame.header.size - frame.header.sideInfoEnd);
    }
    std::vector<QByteArray> data;
    for (std::size_t k = 0; k < chunk.frames.size(); ++k)
        data.push_back(slotBytes.mid(slotStart[k] - chunk.frames[k].side.mainDataBegin, chunk.frames[k].side.mainDataBytes));
    return data;
}

} // namespace


class TestParallel : public QObject
{
    Q_OBJECT

private:
    Outcome encode(const EncoderSettings &settings, int workers, RunReport *report = nullptr,
                   const ProgressReport &progress = [](int, qint64) {}, const std::atomic_bool *abort = nullptr)
    {
        static const std::atomic_bool never = false;
        // workers 1: one instance, as for an input shorter than a chunk; more: chunks of about
        // 5 s, several seams in a short input.
        ParallelPlan plan;
        plan.workers = workers;
        plan.chunkFrames = 200;
        plan.minSeconds = workers > 1 ? 0 : 1e9;
        return runEncode(settings, plan, abort ? *abort : never, progress, report);
    }

    TestFolder m_dir;

private slots:
    void headers_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("bitrate");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("sideInfoEnd");
        QTest::addColumn<bool>("neverPadded"); // at a constant bit rate

        QTest::newRow("MPEG-1 128 kbit/s 44.1 kHz joint stereo") << QByteArray("\xff\xfb\x90\x64", 4) << true << 1 << 128 << 44100 << 417 << 36 << false;
        QTest::newRow("padded") << QByteArray("\xff\xfb\x92\x64", 4) << true << 1 << 128 << 44100 << 418 << 36 << false;
        QTest::newRow("MPEG-1 mono 48 kHz 320") << QByteArray("\xff\xfb\xe4\xc0", 4) << true << 1 << 320 << 48000 << 960 << 21 << true;
        QTest::newRow("MPEG-2 22.05 kHz 64 stereo") << QByteArray("\xff\xf3\x80\x44", 4) << true << 2 << 64 << 22050 << 208 << 21 << false;
        QTest::newRow("MPEG-2 16 kHz 64, never padded") << QByteArray("\xff\xf3\x88\x44", 4) << true << 2 << 64 << 16000 << 288 << 21 << true;
        QTest::newRow("MPEG-2.5 8 kHz 8 mono") << QByteArray("\xff\xe3\x18\xc0", 4) << true << 25 << 8 << 8000 << 72 << 13 << true;
        QTest::newRow("with CRC") << QByteArray("\xff\xfa\x90\x64", 4) << true << 1 << 128 << 44100 << 417 << 38 << false;
        QTest::newRow("free format") << QByteArray("\xff\xfb\x00\x64", 4) << false << 0 << 0 << 0 << 0 << 0 << false;
        QTest::newRow("bad bit rate") << QByteArray("\xff\xfb\xf0\x64", 4) << false << 0 << 0 << 0 << 0 << 0 << false;
        QTest::newRow("reserved rate") << QByteArray("\xff\xfb\x9c\x64", 4) << false << 0 << 0 << 0 << 0 << 0 << false;
        QTest::newRow("layer II") << QByteArray("\xff\xfd\x90\x64", 4) << false << 0 << 0 << 0 << 0 << 0 << false;
        QTest::newRow("reserved version") << QByteArray("\xff\xeb\x90\x64", 4) << false << 0 << 0 << 0 << 0 << 0 << false;
        QTest::newRow("no sync") << QByteArray("\xff\x7b\x90\x64", 4) << false << 0 << 0 << 0 << 0 << 0 << false;
        QTest::newRow("cut short") << QByteArray("\xff\xfb\x90", 3) << false << 0 << 0 << 0 << 0 << 0 << false;
    }

    void headers()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, valid);
        const std::optional<FrameHeader> header = parseHeader(bytesOf(bytes), static_cast<std::size_t>(bytes.size()));
        QCOMPARE(header.has_value(), valid);
        if (!valid)
            return;
        QTEST(header->version, "version");
        QTEST(header->bitrate, "bitrate");
        QTEST(header->sampleRate, "rate");
        QTEST(header->size, "size");
        QTEST(header->sideInfoEnd, "sideInfoEnd");
        QTEST(framesNeverPadded(header->version, header->bitrate, header->sampleRate), "neverPadded");
    }

    // lame's own one-instance streams: every frame parses to the size libmpg123 reads, and the
    // reservoir chain as parsed holds, so the side information is read at the right bits.
    void parsesLameStreams_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<Adjust>("adjust");
        QTest::newRow("CBR 128 stereo") << 44100 << 2 << Adjust();
        QTest::newRow("VBR 0 stereo 48 kHz") << 48000 << 2 << Adjust([](EncoderSettings &s) { s.useVbr = true; s.vbrRate = 0; });
        QTest::newRow("mono MPEG-2") << 22050 << 1 << Adjust([](EncoderSettings &s) { s.bitrate = 64; });
        QTest::newRow("MPEG-2.5 stereo") << 8000 << 2 << Adjust([](EncoderSettings &s) { s.bitrate = 24; });
    }

    void parsesLameStreams()
    {
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(Adjust, adjust);
        const QString output = m_dir.path(QStringLiteral("lame.mp3"));
        const EncoderSettings settings = settingsFor(m_dir.musicWave(rate, channels, 6), output, adjust);
        const Outcome encoded = encode(settings, 1);
        QVERIFY2(encoded.ok(), qPrintable(encoded.message));
        const Mp3Info info = decodeMp3(output);
        QVERIFY2(info.ok, qPrintable(info.error));
        const Stream stream = streamOf(info, contentOf(output));
        QVERIFY(stream.whole);
        // The info frame, and at 576 samples a frame one that lies wholly in the encoder delay,
        // which libmpg123 skips when decoding gapless.
        const std::size_t skipped = stream.frames.size() - info.audioFrames.size();
        QVERIFY(skipped == 1 || (skipped == 2 && stream.frames.front().header.samples == 576));
        for (std::size_t i = 0; i < info.audioFrames.size(); ++i) {
            QCOMPARE(stream.frames[i + skipped].header.size, info.audioFrames[i].bytes);
            QCOMPARE(stream.frames[i + skipped].header.bitrate, info.audioFrames[i].bitrate);
        }
        QVERIFY(mainDataChainValid(stream.frames));
        const auto borrowing = std::count_if(stream.frames.begin(), stream.frames.end(),
                                             [](const FrameEntry &f) { return f.side.mainDataBegin > 0; });
        QVERIFY(borrowing > 0); // the reservoir is in use, so the chain test means something
    }

    // Breaking one frame's main_data_begin breaks the chain: the check is not vacuous.
    void chainCatchesBadReference()
    {
        const QString output = m_dir.path(QStringLiteral("chain.mp3"));
        QVERIFY(encode(settingsFor(m_dir.musicWave(44100, 2, 6), output, {}), 1).ok());
        const Mp3Info info = decodeMp3(output);
        Stream stream = streamOf(info, contentOf(output));
        auto target = std::find_if(stream.frames.begin() + 10, stream.frames.end(),
                                   [](const FrameEntry &f) { return f.side.mainDataBegin > 0; });
        QVERIFY(target != stream.frames.end());
        target->side.mainDataBegin += 300; // now reaches into the data of earlier frames
        QVERIFY(!mainDataChainValid(stream.frames));
        stream.frames.front().side.mainDataBegin = 1; // before the stream's start
        QVERIFY(!mainDataChainValid({stream.frames.front()}));
    }

    // Moving a chunk's main data later keeps every frame's data, byte for byte, and the chain.
    void shiftKeepsMainData_data()
    {
        QTest::addColumn<Adjust>("adjust");
        QTest::addColumn<int>("shift");
        QTest::newRow("CBR 128, 1 byte") << Adjust() << 1;
        QTest::newRow("CBR 128, 40 bytes") << Adjust() << 40;
        QTest::newRow("VBR 4, 3 bytes") << Adjust([](EncoderSettings &s) { s.useVbr = true; }) << 3;
        QTest::newRow("MPEG-2, 8 bytes") << Adjust([](EncoderSettings &s) { s.bitrate = 64; }) << 8;
    }

    void shiftKeepsMainData()
    {
        QFETCH(Adjust, adjust);
        QFETCH(int, shift);
        const QString output = m_dir.path(QStringLiteral("shift.mp3"));
        const EncoderSettings settings = settingsFor(m_dir.musicWave(adjust && settingsFor({}, {}, adjust).bitrate == 64 ? 22050 : 44100, 2, 6), output, adjust);
        QVERIFY(encode(settings, 1).ok());
        const EncodedChunk original = chunkOf(streamOf(decodeMp3(output), contentOf(output)));
        const std::vector<QByteArray> before = mainDataOf(original);
        int moved = 0;
        for (std::int64_t j = 10; j < original.endFrame() && moved < 3; ++j) {
            EncodedChunk chunk = original;
            if (!shiftMainData(chunk, j, shift))
                continue; // no room after this frame; nothing changed
            ++moved;
            QCOMPARE(chunk.frame(j).side.mainDataBegin, original.frame(j).side.mainDataBegin - shift);
            QVERIFY(mainDataChainValid(chunk.frames));
            QVERIFY(mainDataOf(chunk) == before);
            // The side information says the same as the frames remember.
            const std::vector<FrameEntry> reread = scanFrames(chunk.bytes.data(), chunk.bytes.size());
            for (std::size_t k = 0; k < reread.size(); ++k)
                QCOMPARE(reread[k].side.mainDataBegin, chunk.frames[k].side.mainDataBegin);
            j += 20;
        }
        QVERIFY(moved > 0);
    }

    // A frame grown at the seam gains free bytes at its end and keeps its data.
    void growFrame_data()
    {
        QTest::addColumn<bool>("freeRate");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<bool>("possible");
        QTest::newRow("VBR: next larger rate") << true << 30 << true;
        QTest::newRow("VBR: several rates up") << true << 300 << true;
        QTest::newRow("VBR: beyond 320 kbit/s") << true << 2000 << false;
        QTest::newRow("CBR: the padding byte") << false << 1 << true;
        QTest::newRow("CBR: two bytes") << false << 2 << false;
    }

    void growFrame()
    {
        QFETCH(bool, freeRate);
        QFETCH(int, bytes);
        QFETCH(bool, possible);
        const QString output = m_dir.path(QStringLiteral("grow.mp3"));
        const EncoderSettings settings = settingsFor(m_dir.musicWave(48000, 2, 4), output, [&](EncoderSettings &s) { s.useVbr = freeRate; });
        QVERIFY(encode(settings, 1).ok());
        const EncodedChunk original = chunkOf(streamOf(decodeMp3(output), contentOf(output)));
        const std::vector<QByteArray> before = mainDataOf(original);
        const std::int64_t k = 40;
        EncodedChunk chunk = original;
        QCOMPARE(::growFrame(chunk, k, bytes, freeRate), possible);
        if (!possible)
            return;
        QCOMPARE(chunk.endFrame(), k + 1);
        QVERIFY(chunk.frame(k).header.size >= original.frame(k).header.size + bytes);
        QCOMPARE(chunk.bytes.size(), chunk.frame(k).offset + std::size_t(chunk.frame(k).header.size));
        const std::vector<FrameEntry> reread = scanFrames(chunk.bytes.data(), chunk.bytes.size());
        QCOMPARE(reread.size(), chunk.frames.size());
        QVERIFY(mainDataChainValid(reread));
        const std::vector<QByteArray> after = mainDataOf(chunk);
        QVERIFY(std::equal(after.begin(), after.end(), before.begin()));
    }

    // The info frame made here for lame's own stream is lame's own, but for the seek table
    // (lame counts bit rates, this counts bytes).
    void infoFrameAsLame_data()
    {
        QTest::addColumn<Adjust>("adjust");
        QTest::newRow("CBR 128") << Adjust();
        QTest::newRow("VBR 4") << Adjust([](EncoderSettings &s) { s.useVbr = true; });
        QTest::newRow("mono 320, high quality, copyright") << Adjust([](EncoderSettings &s) {
            s.mono = true;
            s.bitrate = 320;
            s.fixQuality = true;
            s.copyrighted = true;
        });
    }

    void infoFrameAsLame()
    {
        QFETCH(Adjust, adjust);
        const int channels = 2; // the input's; a mono setting down-mixes inside lame
        const QString input = m_dir.musicWave(44100, channels, 6);
        const QString output = m_dir.path(QStringLiteral("own.mp3"));
        EncoderSettings settings = settingsFor(input, output, adjust);
        settings.replayGain = false; // lame's frame as lame leaves it, without our loudness fields
        QVERIFY(encode(settings, 1).ok());
        const Mp3Info info = decodeMp3(output);
        const Stream stream = streamOf(info, contentOf(output));
        QVERIFY(stream.whole);

        InfoFrameBuilder builder;
        for (std::size_t i = 1; i < stream.frames.size(); ++i)
            builder.addFrame(bytesOf(stream.audio) + stream.frames[i].offset, stream.frames[i].header.size);
        const FrameEntry &tagFrame = stream.frames.front();
        const auto *lameTag = bytesOf(stream.audio);
        const int side = tagFrame.header.sideInfoEnd;
        const int delay = (lameTag[side + 141] << 4) | (lameTag[side + 142] >> 4);
        const int padding = ((lameTag[side + 142] & 0xf) << 8) | lameTag[side + 143];
        const std::optional<InfoFrameTemplate> templ =
            infoFrameTemplate(settings, InputInfo {channels, channels, 44100, 0, true});
        QVERIFY(templ && templ->lameWritesIt);
        const std::vector<unsigned char> built = builder.build(templ->frame, delay, padding);
        QCOMPARE(built.size(), static_cast<std::size_t>(tagFrame.header.size));
        for (int i = 0; i < tagFrame.header.size; ++i) {
            const bool seekTable = i >= side + 16 && i < side + 116;
            const bool tagCrc = i >= side + 154 && i < side + 156;
            if (seekTable)
                QVERIFY2(std::abs(int(built[i]) - int(lameTag[i])) <= 1, qPrintable(QString::number(i)));
            else if (!tagCrc)
                QVERIFY2(built[i] == lameTag[i], qPrintable(QStringLiteral("byte %1").arg(i)));
        }
        QCOMPARE(crc16(0, built.data(), side + 154), quint16((built[side + 154] << 8) | built[side + 155]));
    }

    // The joined MP3 against a one-instance encode of the same input and settings.
    void joinedStream_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<Adjust>("adjust");
        QTest::addColumn<int>("bitrate"); // every audio frame's, 0 for VBR
        QTest::addColumn<double>("seconds");
        QTest::newRow("CBR 128") << 44100 << 2 << Adjust() << 128 << 30.0;
        QTest::newRow("CBR 112: reservoirs apart, data moved") << 44100 << 2 << Adjust([](EncoderSettings &s) { s.bitrate = 112; }) << 112 << 30.0;
        QTest::newRow("CBR 128, not whole frames") << 44100 << 2 << Adjust() << 128 << 25.0071;
        QTest::newRow("VBR 4") << 44100 << 2 << Adjust([](EncoderSettings &s) { s.useVbr = true; }) << 0 << 30.0;
        QTest::newRow("mono") << 44100 << 2 << Adjust([](EncoderSettings &s) { s.mono = true; }) << 128 << 30.0;
        QTest::newRow("48 kHz, VBR 2, tags, copyright") << 48000 << 2 << Adjust([](EncoderSettings &s) {
            s.useVbr = true;
            s.vbrRate = 2;
            s.tagTitle = QStringLiteral("Title");
            s.copyrighted = true;
            s.original = true;
        }) << 0 << 30.0;
        QTest::newRow("mono input, fast") << 32000 << 1 << Adjust([](EncoderSettings &s) { s.fastMode = true; s.bitrate = 96; }) << 96 << 30.0;
        QTest::newRow("16 kHz at 32 kbit/s: tag without seek table") << 16000 << 2 << Adjust([](EncoderSettings &s) { s.bitrate = 32; }) << 32 << 30.0;
        // Resampled ahead of lame to the rate lame picks: 8, 16, 22.05 (voice), 24, 32, 48 kHz out.
        QTest::newRow("CBR 8: 44.1 to 8 kHz") << 44100 << 2 << Adjust([](EncoderSettings &s) { s.bitrate = 8; }) << 8 << 60.0;
        QTest::newRow("CBR 32: 44.1 to 16 kHz") << 44100 << 2 << Adjust([](EncoderSettings &s) { s.bitrate = 32; }) << 32 << 30.0;
        QTest::newRow("CBR 56: 44.1 to 24 kHz, frames never padded") << 44100 << 2 << Adjust([](EncoderSettings &s) { s.bitrate = 56; }) << 56 << 30.0;
        QTest::newRow("voice: 44.1 to 22.05 kHz mono") << 44100 << 2 << Adjust([](EncoderSettings &s) { s.voiceMode = true; }) << 0 << 30.0;
        QTest::newRow("VBR 9") << 44100 << 2 << Adjust([](EncoderSettings &s) { s.useVbr = true; s.vbrRate = 9; }) << 0 << 30.0;
        QTest::newRow("CBR 96: 44.1 to 32 kHz") << 44100 << 2 << Adjust([](EncoderSettings &s) { s.bitrate = 96; }) << 96 << 30.0;
        QTest::newRow("88.2 to 44.1 kHz") << 88200 << 2 << Adjust() << 128 << 20.0;
        QTest::newRow("96 to 48 kHz, not whole frames") << 96000 << 2 << Adjust() << 128 << 20.00713;
        QTest::newRow("192 to 48 kHz, VBR 4") << 192000 << 2 << Adjust([](EncoderSettings &s) { s.useVbr = true; }) << 0 << 20.0;
    }

    void joinedStream()
    {
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(Adjust, adjust);
        QFETCH(int, bitrate);
        QFETCH(double, seconds);
        const QString input = m_dir.musicWave(rate, channels, seconds);
        const QString joined = m_dir.path(QStringLiteral("joined.mp3"));
        const QString single = m_dir.path(QStringLiteral("single.mp3"));
        RunReport report;
        const Outcome parallel = encode(settingsFor(input, joined, adjust), 2, &report);
        QVERIFY2(parallel.ok(), qPrintable(parallel.message));
        QVERIFY(encode(settingsFor(input, single, adjust), 1).ok());
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

    // The length common readers report for a constant-rate MP3 of a minute, and libmpg123's
    // gapless decode, on both paths: an info frame of another bit rate than the stream's would
    // make readers that divide the size by the first frame's rate report less.
    void readerLengths_data()
    {
        QTest::addColumn<int>("bitrate");
        QTest::addColumn<int>("rate"); // of the input
        QTest::addColumn<int>("workers");
        QTest::addColumn<int>("reader"); // in kLengthReaders; -1 for libmpg123's decode
        // One instance from CD audio, resampled at the lower rates; in parallel from the rate
        // lame picks.
        const std::pair<int, int> rates[] = {{8, 8000},   {16, 8000},  {24, 8000},  {32, 16000},  {40, 16000},
                                             {56, 22050}, {64, 22050}, {96, 32000}, {112, 44100}, {256, 44100}};
        for (const auto &[bitrate, kept] : rates) {
            for (const int workers : {1, 2}) {
                for (int reader = -1; reader < int(std::size(kLengthReaders)); ++reader) {
                    QTest::addRow("%d kbit/s, %s, %s", bitrate, workers == 1 ? "one instance" : "parallel",
                                  reader < 0 ? "libmpg123" : qPrintable(kLengthReaders[reader].program))
                        << bitrate << (workers == 1 ? 44100 : kept) << workers << reader;
                }
            }
        }
    }

    void readerLengths()
    {
        QFETCH(int, bitrate);
        QFETCH(int, rate);
        QFETCH(int, workers);
        QFETCH(int, reader);
        const int seconds = 60;
        const QString output = m_dir.path(QStringLiteral("length-%1-%2.mp3").arg(bitrate).arg(workers));
        if (!QFile::exists(output)) {
            RunReport report;
            const Outcome encoded = encode(
                settingsFor(m_dir.musicWave(rate, 2, seconds), output, [&](EncoderSettings &s) { s.bitrate = bitrate; }), workers,
                &report);
            QVERIFY2(encoded.ok(), qPrintable(encoded.message));
            QCOMPARE(report.instances > 1, workers > 1);
        }
        if (reader < 0) {
            const Mp3Info mp3 = decodeMp3(output);
            QVERIFY2(mp3.ok, qPrintable(mp3.error));
            // Exact, resampled or not.
            QCOMPARE(mp3.frames, qint64(seconds) * mp3.rate);
            return;
        }
        const LengthReader &length = kLengthReaders[reader];
        if (QStandardPaths::findExecutable(length.program).isEmpty())
            QSKIP(qPrintable(length.program + QStringLiteral(" is not installed")));
        QProcess process;
        process.start(length.program, length.arguments + QStringList {output});
        QVERIFY(process.waitForFinished(60000));
        const QString text = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
        const QRegularExpressionMatch match =
            QRegularExpression(length.pattern, QRegularExpression::MultilineOption).match(text);
        QVERIFY2(match.hasMatch(), qPrintable(text));
        double reported = 0;
        for (int i = 1; i + 1 <= match.lastCapturedIndex(); i += 2)
            reported += match.captured(i).toDouble() * 60 + match.captured(i + 1).toDouble();
        QVERIFY2(std::abs(reported - seconds) <= length.tolerance, qPrintable(QString::number(reported)));
    }

    // Headerless input, either byte order, is cut and joined exactly as the same samples in a WAVE.
    void rawInput_data()
    {
        QTest::addColumn<bool>("bigEndian");
        QTest::newRow("little-endian") << false;
        QTest::newRow("big-endian") << true;
    }

    void rawInput()
    {
        QFETCH(bool, bigEndian);
        const QString raw = m_dir.path(QStringLiteral("in.raw"));
        QVERIFY(writeRawPcm(raw, 44100 * 30, 2, bigEndian));
        const QString fromRaw = m_dir.path(QStringLiteral("raw.mp3"));
        const QString fromWave = m_dir.path(QStringLiteral("wave.mp3"));
        RunReport report;
        QVERIFY(encode(settingsFor(raw, fromRaw, [&](EncoderSettings &s) {
                           s.rawPcm = true;
                           s.forceByteSwap = bigEndian;
                       }), 2, &report).ok());
        QVERIFY(report.instances >= 4);
        QVERIFY(encode(settingsFor(m_dir.musicWave(44100, 2, 30), fromWave, {}), 2).ok());
        QCOMPARE(contentOf(fromRaw), contentOf(fromWave));
    }

    // Every worker opens and reads the input itself: each must end the padded last block of
    // a block codec where the 'fact' chunk says.
    void blockCodedInput()
    {
        const QString input = m_dir.path(QStringLiteral("in-adpcm.wav"));
        WaveOptions shape;
        shape.frames = 44100 * 30 + 777;
        shape.sample = SampleType::MsAdpcm;
        QVERIFY(writeWave(input, shape));
        const QString output = m_dir.path(QStringLiteral("adpcm.mp3"));
        RunReport report;
        QVERIFY(encode(settingsFor(input, output, {}), 2, &report).ok());
        QVERIFY(report.instances >= 4);
        QCOMPARE(decodeMp3(output).frames, shape.frames);
    }

    // A range of a 45-second input encodes, on both paths, to the very bytes a WAVE of only the
    // range's samples encodes to, ReplayGain included; a range the input does not hold is refused.
    void frameRange_data()
    {
        QTest::addColumn<int>("sample"); // SampleType
        QTest::addColumn<Adjust>("adjust");
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("count"); // -1: to the end
        const int pcm16 = int(SampleType::Pcm16);
        const qint64 s = 44100, from = 12 * s + 777, frames = 22 * s + 333; // over two chunks in parallel
        QTest::newRow("at the start") << pcm16 << Adjust() << qint64(0) << 20 * s;
        QTest::newRow("in the middle") << pcm16 << Adjust() << from << frames;
        QTest::newRow("to the end") << pcm16 << Adjust() << 23 * s + 5 << qint64(-1);
        QTest::newRow("resampled to 16 kHz") << pcm16 << Adjust([](EncoderSettings &e) { e.bitrate = 32; }) << from << frames;
        QTest::newRow("mono") << pcm16 << Adjust([](EncoderSettings &e) { e.mono = true; }) << from << frames;
        QTest::newRow("VBR 2") << pcm16 << Adjust([](EncoderSettings &e) { e.useVbr = true; e.vbrRate = 2; }) << from << frames;
        QTest::newRow("24-bit") << int(SampleType::Pcm24) << Adjust() << from << frames;
        QTest::newRow("float, VBR 4") << int(SampleType::Float32) << Adjust([](EncoderSettings &e) { e.useVbr = true; }) << from << frames;
        // Decoded from the start, not sought; its last block padded past the 'fact' count.
        QTest::newRow("GSM 6.10 mono to the end") << int(SampleType::Gsm610) << Adjust() << 5 * s + 7 << qint64(-1);
        QTest::newRow("past the end") << pcm16 << Adjust() << 40 * s << 6 * s;
    }

    void frameRange()
    {
        QFETCH(int, sample);
        QFETCH(Adjust, adjust);
        QFETCH(qint64, first);
        QFETCH(qint64, count);
        const auto type = SampleType(sample);
        const WaveOptions shape {
            .frames = 45 * 44100 + 555, .channels = type == SampleType::Gsm610 ? 1 : 2, .sample = type};
        const QString input = m_dir.path(QStringLiteral("range-%1.wav").arg(sample));
        QVERIFY(QFile::exists(input) || writeWave(input, shape));
        const qint64 frames = count < 0 ? shape.frames - first : count;
        const bool held = first + frames <= shape.frames;
        const QString cut = m_dir.path(QStringLiteral("range-cut.wav"));
        QVERIFY(!held || writeWaveCut(input, cut, first, frames));
        for (const int workers : {1, 2}) {
            const QString dir = m_dir.freshDir(QStringLiteral("range"));
            EncoderSettings settings = settingsFor(input, dir + QStringLiteral("/range.mp3"), adjust);
            settings.range = {.first = first, .count = count < 0 ? std::nullopt : std::optional(count)};
            RunReport report;
            const Outcome encoded = encode(settings, workers, &report);
            QVERIFY2(held ? encoded.ok() : encoded.message.contains(QStringLiteral("not all there")),
                     qPrintable(encoded.message));
            QCOMPARE(entriesOf(dir), held ? QStringList {QStringLiteral("range.mp3")} : QStringList());
            if (held) {
                QVERIFY(encode(settingsFor(cut, dir + QStringLiteral("/cut.mp3"), adjust), workers).ok());
                QVERIFY(report.trackGain && (workers == 1 || report.instances > 2));
                QCOMPARE(contentOf(settings.outputFile), contentOf(dir + QStringLiteral("/cut.mp3")));
            }
        }
    }

    // Through the component: workers set, a 45-second input, every progress event.
    void componentRun()
    {
        const QString output = m_dir.path(QStringLiteral("component.mp3"));
        LameEncoderX encoder;
        encoder.setWorkers(2);
        QCOMPARE(encoder.settings().workers, 2);
        QVERIFY(encoder.write(LameEncoderX::Member::InputFile, m_dir.musicWave(44100, 2, 45)).ok());
        QVERIFY(encoder.write(LameEncoderX::Member::OutputFile, output).ok());
        QSignalSpy progress(&encoder, &LameEncoderX::EncodeProgress);
        QSignalSpy finished(&encoder, &LameEncoderX::EncodeFinished);
        QVERIFY(encoder.call(LameEncoderX::Member::Encode).ok());
        QVERIFY(finished.wait(60000));
        QCOMPARE(progress.size(), 101);
        for (int i = 0; i < progress.size(); ++i)
            QCOMPARE(progress[i][0].toInt(), i);
        const Mp3Info mp3 = decodeMp3(output);
        QVERIFY(mp3.ok);
        QCOMPARE(mp3.frames, qint64(44100) * 45);
        encoder.setWorkers(-3);
        QCOMPARE(encoder.settings().workers, 0);
    }

    // A WAVE cut short of what its header announces: the workers give what one instance
    // gives (split or not, depending on what the input reader makes of it).
    void truncatedInput()
    {
        const QString input = m_dir.path(QStringLiteral("cut.wav"));
        QVERIFY(writeMusicWave(input, 30));
        QFile file(input);
        QVERIFY(file.resize(44 + 4 * 44100 * 20));
        const QString joined = m_dir.path(QStringLiteral("cut-joined.mp3"));
        const QString single = m_dir.path(QStringLiteral("cut-single.mp3"));
        RunReport report;
        const Outcome parallel = encode(settingsFor(input, joined, {}), 2, &report);
        const Outcome one = encode(settingsFor(input, single, {}), 1);
        QCOMPARE(parallel.ok(), one.ok());
        QCOMPARE(parallel.message, one.message);
        if (one.ok())
            QCOMPARE(decodeMp3(joined).frames, decodeMp3(single).frames);
    }

    void progressAndAbort_data()
    {
        QTest::addColumn<int>("abortAt"); // percent; -1 never
        QTest::addColumn<Adjust>("adjust");
        const Adjust resampled = [](EncoderSettings &s) { s.bitrate = 32; };
        QTest::newRow("complete") << -1 << Adjust();
        QTest::newRow("abort early") << 5 << Adjust();
        QTest::newRow("abort late") << 90 << Adjust();
        QTest::newRow("resampled, complete") << -1 << resampled;
        QTest::newRow("resampled, abort late") << 90 << resampled;
    }

    void progressAndAbort()
    {
        QFETCH(int, abortAt);
        QFETCH(Adjust, adjust);
        const QString input = m_dir.musicWave(44100, 2, 30);
        QDir out(m_dir.path(QStringLiteral("abort-%1-%2").arg(abortAt).arg(bool(adjust))));
        QVERIFY(out.mkpath(QStringLiteral(".")));
        const QString output = out.filePath(QStringLiteral("out.mp3"));
        QFile existing(output);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("before");
        existing.close();

        std::atomic_bool abort = false;
        QList<int> percents;
        qint64 lastFrames = 0;
        const Outcome end = encode(settingsFor(input, output, adjust), 2, nullptr, [&](int percent, qint64 frames) {
            percents.append(percent);
            lastFrames = frames;
            if (percent == abortAt)
                abort = true;
        }, &abort);
        if (abortAt < 0) {
            QVERIFY2(end.ok(), qPrintable(end.message));
            QCOMPARE(percents.size(), 101);
            for (int i = 0; i <= 100; ++i)
                QCOMPARE(percents[i], i);
            QCOMPARE(lastFrames, qint64(44100) * 30); // input frames, resampled or not
            QVERIFY(decodeMp3(output).ok);
        } else {
            QVERIFY(!end.ok());
            // The block that reached the percent may report one or two more.
            QVERIFY(percents.last() >= abortAt && percents.last() <= abortAt + 2);
            for (int i = 0; i < percents.size(); ++i)
                QCOMPARE(percents[i], i);
            QCOMPARE(contentOf(output), QByteArray("before"));
            QCOMPARE(out.entryList(QDir::Files | QDir::Hidden), QStringList {QStringLiteral("out.mp3")});
        }
    }

    // The chunk plan: chunks on the frame grid, none shorter than a warm-up and a seam search.
    void plan_data()
    {
        QTest::addColumn<qint64>("inputFrames");
        QTest::addColumn<qint64>("chunkFrames");
        QTest::addColumn<int>("chunks"); // -1: any number of at least two
        QTest::addColumn<qint64>("search");
        QTest::newRow("5 minutes: 6 chunks") << qint64(44100 * 300) << qint64(0) << 6 << qint64(kSearch);
        QTest::newRow("1 hour: chunks of at most a minute") << qint64(44100) * 3600 << qint64(0) << 60 << qint64(kSearch);
        QTest::newRow("30 s: a chunk a worker") << qint64(44100 * 30) << qint64(0) << 2 << qint64(kSearch);
        QTest::newRow("60 s: a chunk a worker") << qint64(44100 * 60) << qint64(0) << 2 << qint64(kSearch);
        QTest::newRow("100 s: two chunks a worker") << qint64(44100 * 100) << qint64(0) << 4 << qint64(kSearch);
        QTest::newRow("3 s: a chunk a worker") << qint64(44100 * 3) << qint64(0) << 2 << qint64(kSearch);
        QTest::newRow("2 s: too short to cut") << qint64(44100 * 2) << qint64(0) << 1 << qint64(kSearch);
        QTest::newRow("forced small chunks, long seam search") << qint64(44100 * 30) << qint64(100) << 6 << qint64(kLongSearch);
        QTest::newRow("forced small chunks") << qint64(44100 * 30) << qint64(200) << 5 << qint64(kSearch);
        QTest::newRow("too small chunks are raised") << qint64(44100 * 10) << qint64(1) << -1 << qint64(kSearch);
    }

    void plan()
    {
        QFETCH(qint64, inputFrames);
        QFETCH(qint64, chunkFrames);
        QFETCH(qint64, search);
        const ChunkLayout layout = planChunks(inputFrames, 44100, 1152, chunkFrames, search);
        QFETCH(int, chunks);
        if (chunks > 0)
            QCOMPARE(int(layout.starts.size()), chunks);
        else
            QVERIFY(layout.starts.size() > 1);
        QCOMPARE(layout.starts.front(), std::int64_t(0));
        for (std::size_t i = 1; i < layout.starts.size(); ++i) {
            QVERIFY(layout.starts[i] - layout.starts[i - 1] >= 40);
            QVERIFY(layout.starts[i] - layout.starts[i - 1] >= kWarmUp + search + kLookAhead);
        }
        QCOMPARE(layout.search, search);
        QVERIFY(inputFrames / 1152 - layout.starts.back() >= 40);
    }
};

QTEST_GUILESS_MAIN(TestParallel)
#include "tst_parallel.moc"
