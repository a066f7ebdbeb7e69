// Each option member read back from the MP3 it produced: channel mode, bit rates, header bits,
// quality, byte order, voice, and the ID3 tags.
#include "encoder/lameencoderx.h"
#include "audiocompare.h"
#include "mp3check.h"
#include "tempfiles.h"
#include "wavegen.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <set>

using Member = LameEncoderX::Member;
using Writes = QList<QPair<Member, QVariant>>;
Q_DECLARE_METATYPE(Writes)
Q_DECLARE_METATYPE(ChannelMode)

namespace {

// Share of the energy at and above fromHz, over Hann-windowed blocks of a mono signal.
double energyAbove(const std::vector<float> &samples, int rate, double fromHz)
{
    constexpr int n = 1024;
    std::vector<double> cosine(n);
    std::vector<double> sine(n);
    for (int i = 0; i < n; ++i) {
        cosine[i] = std::cos(2 * std::numbers::pi * i / n);
        sine[i] = std::sin(2 * std::numbers::pi * i / n);
    }
    const int firstHigh = static_cast<int>(std::ceil(fromHz * n / rate));
    double high = 0;
    double all = 0;
    std::vector<double> block(n);
    for (size_t start = 0; start + n <= samples.size(); start += n) {
        for (int i = 0; i < n; ++i)
            block[i] = samples[start + i] * (0.5 - 0.5 * cosine[i]);
        for (int k = 1; k < n / 2; ++k) {
            double re = 0;
            double im = 0;
            for (int i = 0; i < n; ++i) {
                const int phase = (k * i) % n;
                re += block[i] * cosine[phase];
                im -= block[i] * sine[phase];
            }
            const double power = re * re + im * im;
            all += power;
            if (k >= firstHigh)
                high += power;
        }
    }
    return all > 0 ? high / all : 0;
}

double averageBitrate(const Mp3Info &mp3)
{
    double sum = 0;
    for (const Mp3Frame &frame : mp3.audioFrames)
        sum += frame.bitrate;
    return mp3.audioFrames.empty() ? 0 : sum / double(mp3.audioFrames.size());
}

std::set<int> bitratesOf(const Mp3Info &mp3)
{
    std::set<int> rates;
    for (const Mp3Frame &frame : mp3.audioFrames)
        rates.insert(frame.bitrate);
    return rates;
}

const Writes kVbr {{Member::UseVBR, true}};
const Writes kVoice {{Member::VoiceMode, true}};

} // namespace

class TestEncoderOptions : public QObject
{
    Q_OBJECT

private:
    // Encodes input with the members written (after the defaults) and returns the MP3's bytes.
    QByteArray encode(const QString &input, const QString &output, const Writes &writes)
    {
        LameEncoderX encoder;
        const auto check = [](const Outcome &outcome) {
            if (!outcome)
                qWarning("%s", qPrintable(outcome.message));
            return outcome.ok();
        };
        if (!check(encoder.write(Member::InputFile, input)) || !check(encoder.write(Member::OutputFile, output)))
            return {};
        for (const auto &[member, value] : writes) {
            if (!check(encoder.write(member, value)))
                return {};
        }
        QSignalSpy finished(&encoder, &LameEncoderX::EncodeFinished);
        QSignalSpy failed(&encoder, &LameEncoderX::EncodeFailed);
        if (!check(encoder.call(Member::Encode)))
            return {};
        if (!QTest::qWaitFor([&] { return finished.size() + failed.size() > 0; }, 60000) || !failed.isEmpty()) {
            qWarning("the run failed: %s", failed.isEmpty() ? "no end" : qPrintable(failed.first().first().toString()));
            return {};
        }
        return contentOf(output);
    }

    Mp3Info encodeAndDecode(const QString &input, const Writes &writes, bool keepSamples = false)
    {
        const QString output = m_dir.path(QStringLiteral("out.mp3"));
        QFile::remove(output);
        if (encode(input, output, writes).isEmpty())
            return {};
        return decodeMp3(output, keepSamples);
    }

    TestFolder m_dir;

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void channelMode_data()
    {
        QTest::addColumn<int>("inputChannels");
        QTest::addColumn<Writes>("writes");
        QTest::addColumn<ChannelMode>("mode");
        QTest::newRow("stereo") << 2 << Writes() << ChannelMode::JointStereo;
        QTest::newRow("Mono down-mixes stereo") << 2 << Writes {{Member::Mono, true}} << ChannelMode::Mono;
        QTest::newRow("Mono with VBR") << 2 << (kVbr + Writes {{Member::Mono, "True"}}) << ChannelMode::Mono;
        QTest::newRow("mono input") << 1 << Writes() << ChannelMode::Mono;
        QTest::newRow("Mono off after on") << 2 << Writes {{Member::Mono, true}, {Member::Mono, false}}
                                           << ChannelMode::JointStereo;
    }

    void channelMode()
    {
        QFETCH(int, inputChannels);
        QFETCH(Writes, writes);
        QFETCH(ChannelMode, mode);
        const qint64 frames = 66150;
        const Mp3Info mp3 = encodeAndDecode(m_dir.musicWave(44100, inputChannels, 1.5), writes, true);
        QVERIFY2(mp3.ok, qPrintable(mp3.error));
        QCOMPARE(mp3.channels, mode == ChannelMode::Mono ? 1 : 2);
        QVERIFY(!mp3.audioFrames.empty());
        for (const Mp3Frame &frame : mp3.audioFrames)
            QCOMPARE(frame.mode, mode);
        QCOMPARE(mp3.frames, frames);
        if (inputChannels == 2 && mode == ChannelMode::Mono) {
            // The down-mix is the average of both channels, not one of them.
            const std::vector<float> input = musicSamples(frames, 2, 44100);
            std::vector<float> average;
            for (size_t i = 0; i < input.size(); i += 2)
                average.push_back(0.5f * (input[i] + input[i + 1]));
            const double toAverage = snrDb(mp3.samples, average);
            QVERIFY2(toAverage > 10, qPrintable(QString::number(toAverage)));
            QVERIFY(toAverage > snrDb(mp3.samples, channelOf(input, 2, 0)) + 6);
        }
    }

    void constantBitrate_data()
    {
        QTest::addColumn<int>("inputRate");
        QTest::addColumn<int>("inputChannels");
        QTest::addColumn<Writes>("writes");
        QTest::addColumn<int>("bitrate");
        QTest::addColumn<bool>("infoTag"); // below about 180 bytes a frame, one without the seek table
        QTest::newRow("default 128") << 44100 << 2 << Writes() << 128 << true;
        for (int rate : {32, 56, 64, 96, 112, 256}) {
            QTest::addRow("%d from the list", rate)
                << 44100 << 2 << Writes {{Member::Bitrate, QString::number(rate)}} << rate << true;
        }
        QTest::newRow("320 mono") << 44100 << 1 << Writes {{Member::Bitrate, 320}} << 320 << true;
        QTest::newRow("written 100 held as 96") << 44100 << 2 << Writes {{Member::Bitrate, "100"}} << 96 << true;
        // MPEG-2 carries at most 160, MPEG-2.5 (as lame writes it) 64.
        QTest::newRow("320 at 22.05 kHz") << 22050 << 2 << Writes {{Member::Bitrate, 320}} << 160 << true;
        QTest::newRow("128 at 8 kHz") << 8000 << 2 << Writes() << 64 << true;
        QTest::newRow("48 at 8 kHz") << 8000 << 1 << Writes {{Member::Bitrate, 48}} << 48 << true;
        QTest::newRow("Bitrate kept when VBR is off again")
            << 44100 << 2 << Writes {{Member::UseVBR, true}, {Member::Bitrate, 96}, {Member::UseVBR, false}} << 96 << true;
    }

    void constantBitrate()
    {
        QFETCH(int, inputRate);
        QFETCH(int, inputChannels);
        QFETCH(Writes, writes);
        QFETCH(int, bitrate);
        QFETCH(bool, infoTag);
        const Mp3Info mp3 = encodeAndDecode(m_dir.musicWave(inputRate, inputChannels, 1.5), writes);
        QVERIFY2(mp3.ok, qPrintable(mp3.error));
        QVERIFY(mp3.audioFrames.size() > 10);
        for (const Mp3Frame &frame : mp3.audioFrames)
            QCOMPARE(frame.bitrate, bitrate);
        QCOMPARE(mp3.bitrateMode, BitrateMode::Constant);
        QCOMPARE(mp3.infoTagId, infoTag ? QByteArray("Info") : QByteArray());
        if (infoTag && mp3.rate == inputRate)
            QCOMPARE(mp3.frames, std::llround(inputRate * 1.5));
    }

    void variableBitrate_data()
    {
        QTest::addColumn<Writes>("writes");
        QTest::newRow("default rate") << kVbr;
        QTest::newRow("rate 0") << kVbr + Writes {{Member::VBRRate, 0}};
        QTest::newRow("rate 2 with Mono") << kVbr + Writes {{Member::VBRRate, "2"}, {Member::Mono, true}};
    }

    void variableBitrate()
    {
        QFETCH(Writes, writes);
        const qint64 frames = 88200;
        const Mp3Info mp3 = encodeAndDecode(m_dir.musicWave(44100, 2, 2), writes);
        QVERIFY2(mp3.ok, qPrintable(mp3.error));
        QVERIFY2(bitratesOf(mp3).size() >= 3, qPrintable(QString::number(bitratesOf(mp3).size())));
        QCOMPARE(mp3.bitrateMode, BitrateMode::Variable);
        // The info frame carries the frame and byte counts and the seek table.
        QCOMPARE(mp3.infoTagId, QByteArray("Xing"));
        QCOMPARE(mp3.infoTagFlags & 7u, 7u);
        QCOMPARE(mp3.infoTagFrames, qint64(mp3.audioFrames.size()));
        QCOMPARE(mp3.rate, 44100);
        QCOMPARE(mp3.frames, frames);
    }

    void vbrIgnoresBitrate()
    {
        const QString input = m_dir.musicWave(44100, 2, 1.5);
        const QByteArray low = encode(input, m_dir.path(QStringLiteral("vbr-32.mp3")), kVbr + Writes {{Member::Bitrate, 32}});
        const QByteArray high = encode(input, m_dir.path(QStringLiteral("vbr-320.mp3")), kVbr + Writes {{Member::Bitrate, 320}});
        QVERIFY(!low.isEmpty());
        QCOMPARE(low, high);
    }

    void vbrRateSetsSize()
    {
        const QString input = m_dir.musicWave(44100, 2, 2);
        const QByteArray best = encode(input, m_dir.path(QStringLiteral("v0.mp3")), kVbr + Writes {{Member::VBRRate, 0}});
        const QByteArray middle = encode(input, m_dir.path(QStringLiteral("v4.mp3")), kVbr + Writes {{Member::VBRRate, 4}});
        const QByteArray smallest = encode(input, m_dir.path(QStringLiteral("v9.mp3")), kVbr + Writes {{Member::VBRRate, 9}});
        QVERIFY(!smallest.isEmpty());
        QVERIFY2(best.size() > middle.size() && middle.size() > smallest.size(),
                 qPrintable(QStringLiteral("%1 %2 %3").arg(best.size()).arg(middle.size()).arg(smallest.size())));
        QVERIFY(best.size() > 2 * smallest.size());
    }

    void headerBits_data()
    {
        QTest::addColumn<Writes>("mode");
        QTest::addColumn<bool>("copyrighted");
        QTest::addColumn<bool>("original");
        for (const auto &[name, mode] : {std::pair {"CBR", Writes()}, std::pair {"VBR", kVbr}}) {
            QTest::addRow("%s neither", name) << mode << false << false;
            QTest::addRow("%s copyrighted", name) << mode << true << false;
            QTest::addRow("%s original", name) << mode << false << true;
            QTest::addRow("%s both", name) << mode << true << true;
        }
    }

    void headerBits()
    {
        QFETCH(Writes, mode);
        QFETCH(bool, copyrighted);
        QFETCH(bool, original);
        const Writes writes = mode + Writes {{Member::Copyrighted, copyrighted}, {Member::Original, original}};
        const Mp3Info mp3 = encodeAndDecode(m_dir.musicWave(44100, 2, 1), writes);
        QVERIFY2(mp3.ok, qPrintable(mp3.error));
        QVERIFY(!mp3.audioFrames.empty());
        for (const Mp3Frame &frame : mp3.audioFrames) {
            QCOMPARE(frame.copyright, copyrighted);
            QCOMPARE(frame.original, original);
        }
        // The info frame too.
        QVERIFY(mp3.hasInfoTag);
        QCOMPARE(headerCopyright(mp3.firstFrameHeader), copyrighted);
        QCOMPARE(headerOriginal(mp3.firstFrameHeader), original);
    }

    void qualityModes_data()
    {
        QTest::addColumn<Writes>("mode");
        QTest::addColumn<bool>("fixQualityDiffers"); // lame's VBR has no level between
        QTest::newRow("CBR") << Writes() << true;
        QTest::newRow("VBR") << kVbr << false;
    }

    void qualityModes()
    {
        QFETCH(Writes, mode);
        QFETCH(bool, fixQualityDiffers);
        const QString input = m_dir.musicWave(44100, 2, 1.5);
        const auto run = [&](const char *name, bool fast, bool fix) {
            return encode(input, m_dir.path(QString::fromLatin1(name) + QStringLiteral(".mp3")),
                          mode + Writes {{Member::FastMode, fast}, {Member::FixQuality, fix}});
        };
        const QByteArray normal = run("normal", false, false);
        const QByteArray fast = run("fast", true, false);
        const QByteArray fix = run("fix", false, true);
        const QByteArray both = run("both", true, true);
        QVERIFY(!normal.isEmpty() && !fast.isEmpty() && !fix.isEmpty());
        QVERIFY(fast != normal);
        QVERIFY(fast != fix);
        QCOMPARE(fix != normal, fixQualityDiffers);
        QCOMPARE(both, fix); // FixQuality wins
        for (const char *name : {"normal", "fast", "fix"}) {
            const Mp3Info mp3 = decodeMp3(m_dir.path(QString::fromLatin1(name) + QStringLiteral(".mp3")));
            QVERIFY2(mp3.ok, name);
            QCOMPARE(mp3.frames, qint64(66150));
        }
    }

    void byteSwap_data()
    {
        QTest::addColumn<bool>("raw");
        QTest::addColumn<bool>("bigEndian");
        QTest::addColumn<bool>("forceByteSwap");
        QTest::addColumn<bool>("sameAsWave");
        QTest::newRow("WAVE ignores ForceByteSwap") << false << false << true << true;
        QTest::newRow("raw little-endian") << true << false << false << true;
        QTest::newRow("raw big-endian swapped") << true << true << true << true;
        QTest::newRow("raw little-endian swapped") << true << false << true << false;
        QTest::newRow("raw big-endian not swapped") << true << true << false << false;
    }

    void byteSwap()
    {
        QFETCH(bool, raw);
        QFETCH(bool, bigEndian);
        QFETCH(bool, forceByteSwap);
        QFETCH(bool, sameAsWave);
        const qint64 frames = 44100;
        const QString reference = m_dir.musicWave(44100, 2, 1);
        const QByteArray expected = encode(reference, m_dir.path(QStringLiteral("wave.mp3")), {});
        QString input = reference;
        if (raw) {
            input = m_dir.path(QStringLiteral("in.pcm"));
            QVERIFY(writeRawPcm(input, frames, 2, bigEndian));
        }
        const QByteArray mp3 = encode(input, m_dir.path(QStringLiteral("swap.mp3")),
                                      {{Member::RawPCM, raw}, {Member::ForceByteSwap, forceByteSwap}});
        QVERIFY(!expected.isEmpty() && !mp3.isEmpty());
        QCOMPARE(mp3 == expected, sameAsWave);
        QCOMPARE(decodeMp3(m_dir.path(QStringLiteral("swap.mp3"))).frames, frames);
    }

    void voiceMode()
    {
        const QString input = m_dir.musicWave(44100, 2, 3);
        const QString output = m_dir.path(QStringLiteral("voice.mp3"));
        const QByteArray voice = encode(input, output, kVoice);
        // Bit rate, VBR and its rate give way to the voice settings.
        const QByteArray overridden = encode(input, m_dir.path(QStringLiteral("voice-over.mp3")),
                                             kVoice + kVbr + Writes {{Member::Bitrate, 320}, {Member::VBRRate, 0}});
        QVERIFY(!voice.isEmpty());
        QCOMPARE(overridden, voice);

        const Mp3Info mp3 = decodeMp3(output, true);
        QVERIFY2(mp3.ok, qPrintable(mp3.error));
        QCOMPARE(mp3.channels, 1);
        QCOMPARE(mp3.rate, 22050);
        QCOMPARE(mp3.bitrateMode, BitrateMode::Average);
        QVERIFY(mp3.hasInfoTag);
        const double average = averageBitrate(mp3);
        QVERIFY2(average > 46 && average < 66, qPrintable(QString::number(average)));
        QVERIFY(std::abs(mp3.frames - 3 * 22050) <= 2);

        // Narrow band: the test signal's noise reaches far above 8 kHz, the voice output not.
        const double inputHigh = energyAbove(channelOf(musicSamples(3 * 44100, 2, 44100), 2, 0), 44100, 8000);
        const double voiceHigh = energyAbove(mp3.samples, 22050, 8000);
        QVERIFY2(inputHigh > 0.004, qPrintable(QString::number(inputHigh)));
        QVERIFY2(voiceHigh < inputHigh / 100, qPrintable(QStringLiteral("%1 vs %2").arg(voiceHigh).arg(inputHigh)));
    }

    void tags_data()
    {
        QTest::addColumn<Writes>("mode");
        QTest::addColumn<QStringList>("texts"); // title, artist, album, year, genre
        QTest::addColumn<QStringList>("v1");    // title, artist, album, year; empty: no ID3v1
        QTest::addColumn<int>("v1Genre");
        const QStringList latin {"Café del Mar", "Björk", "Ænima", "1999", "Rock"};
        QTest::newRow("Latin-1 CBR") << Writes() << latin << latin.mid(0, 4) << 17;
        QTest::newRow("Latin-1 VBR") << kVbr << latin << latin.mid(0, 4) << 17;
        QTest::newRow("Cyrillic VBR") << kVbr << QStringList {"Группа крови", "Кино", "Звезда по имени Солнце", "1988", "Рок"}
                                      << QStringList {"", "", "", "1988"} << 255;
        QTest::newRow("Japanese voice") << kVoice << QStringList {"夜に駆ける", "YOASOBI", "THE BOOK", "2021年", "J-Pop"}
                                        << QStringList {"", "YOASOBI", "THE BOOK", "2021"} << 255;
        QTest::newRow("emoji, empty texts") << Writes() << QStringList {"Party 🎉🎶", "DJ 😀", "", "", ""} << QStringList() << 255;
        QTest::newRow("free genre and year") << Writes() << QStringList {"", "", "", "Spring 1999", "Hip Hop"}
                                             << QStringList() << 255;
        QTest::newRow("numbers as text") << Writes() << QStringList {"", "", "", "1999-05-01", "200"}
                                         << QStringList {"", "", "", "1999"} << 255;
        const QString longTitle = QStringLiteral("A Title Far Longer Than Thirty Letters");
        QTest::newRow("long title cut in ID3v1") << Writes() << QStringList {longTitle, "", "", "", "jazz"}
                                                 << QStringList {longTitle.left(30), "", "", ""} << 8;
        QTest::newRow("no text") << Writes() << QStringList {"", "", "", "", ""} << QStringList() << 255;
    }

    void tags()
    {
        QFETCH(Writes, mode);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, v1);
        QFETCH(int, v1Genre);
        const Member members[] = {Member::TagTitle, Member::TagArtist, Member::TagAlbum, Member::TagYear, Member::TagGenre};
        const char *const frameIds[] = {"TIT2", "TPE1", "TALB", "TYER", "TCON"};
        Writes writes = mode;
        QMap<QString, QString> expected;
        for (int i = 0; i < 5; ++i) {
            writes.append({members[i], texts[i]});
            if (!texts[i].isEmpty())
                expected.insert(QString::fromLatin1(frameIds[i]), texts[i]);
        }
        const bool voice = mode == kVoice;
        const Mp3Info mp3 = encodeAndDecode(m_dir.musicWave(44100, 2, 1), writes);
        QVERIFY2(mp3.ok, qPrintable(mp3.error));
        QCOMPARE(mp3.id3v2Text, expected);
        QVERIFY(mp3.hasId3v2); // the loudness figures, with or without texts
        QCOMPARE(mp3.hasId3v1, !v1.isEmpty());
        if (!v1.isEmpty()) {
            QCOMPARE(mp3.id3v1.title, v1[0]);
            QCOMPARE(mp3.id3v1.artist, v1[1]);
            QCOMPARE(mp3.id3v1.album, v1[2]);
            QCOMPARE(mp3.id3v1.year, v1[3]);
            QCOMPARE(mp3.id3v1.comment, QString());
            QCOMPARE(mp3.id3v1.genre, v1Genre);
        }
        // The info frame right after the ID3v2 tag, and the audio still gapless.
        QCOMPARE(mp3.firstFrameAt, mp3.id3v2Bytes);
        QVERIFY(mp3.hasInfoTag);
        if (voice)
            QVERIFY(std::abs(mp3.frames - 22050) <= 2);
        else
            QCOMPARE(mp3.frames, qint64(44100));
    }

    void skipTags_data()
    {
        QTest::addColumn<Writes>("mode");
        QTest::newRow("CBR") << Writes();
        QTest::newRow("VBR") << kVbr;
    }

    void skipTags()
    {
        QFETCH(Writes, mode);
        const Writes writes = mode + Writes {{Member::TagTitle, "Название"}, {Member::TagArtist, "Artist"},
                                             {Member::TagGenre, "Rock"}, {Member::SkipTags, true}};
        const Mp3Info mp3 = encodeAndDecode(m_dir.musicWave(44100, 2, 1), writes);
        QVERIFY2(mp3.ok, qPrintable(mp3.error));
        QVERIFY(!mp3.hasId3v2);
        QVERIFY(!mp3.hasId3v1);
        QCOMPARE(mp3.firstFrameAt, qint64(0));
        QVERIFY(mp3.hasInfoTag);
        QCOMPARE(mp3.frames, qint64(44100));
    }
};

QTEST_GUILESS_MAIN(TestEncoderOptions)

#include "tst_encoderoptions.moc"
