// The MPEG frame parser, the main-data moves and the info frame a joined stream rests on, on
// lame's own one-instance streams; the chunk plan.
#include "encoder/mp3/infoframe.h"
#include "encoder/lame/infotemplate.h"
#include "encoder/parallel/seams.h"
#include "adjustedsettings.h"
#include "mp3check.h"
#include "paralleltest.h"
#include "tempfiles.h"
#include "wavegen.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

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

class TestFrames : public QObject
{
    Q_OBJECT

private:
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
        const Outcome encoded = encodeOn(settings, 1);
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
        QVERIFY(encodeOn(settingsFor(m_dir.musicWave(44100, 2, 6), output, {}), 1).ok());
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
        QVERIFY(encodeOn(settings, 1).ok());
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
        QVERIFY(encodeOn(settings, 1).ok());
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
        QVERIFY(encodeOn(settings, 1).ok());
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

QTEST_GUILESS_MAIN(TestFrames)
#include "tst_frames.moc"
