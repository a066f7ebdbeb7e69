// Damaged and hostile input, and faults during a run: each ends in a refusal, a failure with a
// reason and nothing left on disk, or a conversion of the audio that is there.
#include "encoder/encoderun.h"
#include "encoder/input/audiosource.h"
#include "encoder/lameencoderx.h"
#include "childencode.h"
#include "mp3check.h"
#include "tempfiles.h"
#include "wavegen.h"
#include "wavetags.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <bit>
#include <cmath>
#include <csignal>
#include <limits>
#include <string>
#include <thread>
#include <unistd.h>

using Member = LameEncoderX::Member;

namespace {

// The test signal as 16-bit little-endian PCM.
QByteArray pcm16(qint64 frames, int channels, int rate = 44100)
{
    const std::vector<float> samples = musicSamples(frames, channels, rate);
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(samples.size() * 2));
    for (float s : samples)
        bytes += le16(static_cast<quint16>(static_cast<qint16>(std::lround(s * 32767))));
    return bytes;
}

QByteArray wave16(qint64 frames, int channels, quint64 rate)
{
    return riff(chunk("fmt ", fmtBody(1, channels, rate, 16)) + chunk("data", pcm16(frames, channels, int(rate))));
}

// IEEE float samples, the music with values no player can play spread through it.
QByteArray wildFloatWave(qint64 frames)
{
    const std::vector<float> samples = musicSamples(frames, 2, 44100);
    const float wild[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                          -std::numeric_limits<float>::infinity(), 3.0e38f, -1.0e30f, 1.0e-40f};
    QByteArray data;
    for (size_t i = 0; i < samples.size(); ++i) {
        const float s = i % 97 < std::size(wild) ? wild[i % 97] : samples[i];
        data += le32(std::bit_cast<quint32>(s));
    }
    return riff(chunk("fmt ", fmtBody(3, 2, 44100, 32, le16(0))) + chunk("data", data));
}

// WAVE_FORMAT_EXTENSIBLE whose SubFormat GUID carries tag.
QByteArray extensibleBody(quint16 tag, quint16 channels, quint64 rate, quint16 bits)
{
    const QByteArray guid = le32(tag) + le16(0) + le16(0x10) + QByteArray("\x80\x00\x00\xAA\x00\x38\x9B\x71", 8);
    return fmtBody(0xFFFE, channels, rate, bits, le16(22) + le16(bits) + le32(3) + guid);
}

// The bytes libsndfile writes for the music in a block codec, and the count of its 'fact' chunk.
QByteArray codedWave(const QString &path, SampleType codec, qint64 frames, int channels, int rate, qint64 *fact)
{
    WaveOptions shape;
    shape.frames = frames;
    shape.channels = channels;
    shape.rate = rate;
    shape.sample = codec;
    if (!writeWave(path, shape))
        return {};
    const QByteArray bytes = contentOf(path);
    const qsizetype at = bytes.indexOf("fact");
    *fact = at < 0 ? -1 : qFromLittleEndian<quint32>(bytes.constData() + at + 8);
    return bytes;
}

// The bytes libsndfile writes for 16-bit music in another container of the WAVE family.
QByteArray containerWave(const QString &path, Container container, qint64 frames)
{
    WaveOptions shape;
    shape.frames = frames;
    shape.container = container;
    return writeWave(path, shape) ? contentOf(path) : QByteArray();
}

// RIFX: a RIFF WAVE with every number big-endian, 16-bit stereo at 44.1 kHz.
QByteArray rifxWave(qint64 frames)
{
    const QByteArray fmt = be16(1) + be16(2) + be32(44100) + be32(44100 * 4) + be16(4) + be16(16);
    QByteArray samples = pcm16(frames, 2);
    for (qsizetype i = 0; i + 1 < samples.size(); i += 2)
        std::swap(samples[i], samples[i + 1]);
    const QByteArray chunks = "fmt " + be32(16) + fmt + "data" + be32(samples.size()) + samples;
    return "RIFX" + be32(chunks.size() + 4) + "WAVE" + chunks;
}

QByteArray withFact(QByteArray wave, quint32 count)
{
    const qsizetype at = wave.indexOf("fact");
    if (at >= 0)
        qToLittleEndian<quint32>(count, wave.data() + at + 8);
    return wave;
}

const QByteArray kOldOutput = "the earlier output, to be left as it was";

// One run through the component: refused, failed or finished, with what it raised.
struct RunEnd
{
    bool refused = false;
    bool finished = false;
    QString message;
    qint64 lastFrames = -1; // of the last EncodeProgress
};

RunEnd runOnce(LameEncoderX &encoder, const std::function<void(int percent)> &onProgress = {})
{
    RunEnd end;
    QSignalSpy finished(&encoder, &LameEncoderX::EncodeFinished);
    QSignalSpy failed(&encoder, &LameEncoderX::EncodeFailed);
    const QMetaObject::Connection progress = QObject::connect(
        &encoder, &LameEncoderX::EncodeProgress, &encoder, [&](int percent, qint64 frames) {
            end.lastFrames = frames;
            if (onProgress)
                onProgress(percent);
        });
    const Outcome started = encoder.call(Member::Encode);
    if (!started) {
        end.refused = true;
        end.message = started.message;
    } else {
        QDeadlineTimer deadline(120000);
        while (finished.isEmpty() && failed.isEmpty() && !deadline.hasExpired())
            QTest::qWait(5);
        end.finished = finished.size() == 1 && failed.isEmpty();
        if (!failed.isEmpty())
            end.message = failed.first().first().toString();
    }
    QObject::disconnect(progress);
    return end;
}

} // namespace

class TestBadInput : public QObject
{
    Q_OBJECT

private:
    // An input for reasonsAtOnce: refused with a reason of libsndfile's, or converted at a bit
    // rate (8 kbit/s too small for lame's own info frame, so a second instance sets it up).
    struct AtOnce
    {
        const char *name;
        QByteArray input;
        const char *reason = nullptr;
        int bitrate = 128;
    };

    static const std::vector<AtOnce> &atOnceCases()
    {
        static const std::vector<AtOnce> cases = [] {
            const QByteArray data = chunk("data", pcm16(4410, 2));
            const QByteArray good = wave16(8820, 2, 44100);
            return std::vector<AtOnce> {
                {"no channels", riff(chunk("fmt ", fmtBody(1, 0, 44100, 16)) + data), "Channel count is zero"},
                {"too many channels", riff(chunk("fmt ", fmtBody(1, 2000, 44100, 16)) + data), "Too many channels"},
                {"short format chunk", riff(chunk("fmt ", fmtBody(1, 2, 44100, 16).left(8)) + data), "Short 'fmt ' chunk"},
                {"no format chunk", riff(data), "No 'data' chunk marker"},
                {"no bits", riff(chunk("fmt ", fmtBody(1, 2, 44100, 0)) + data), "unimplemented format"},
                {"Wave64 signature alone", QByteArray("riff\x2E\x91\xCF\x11", 8) + QByteArray(100, '\0'), "W64"},
                {"good at 128 kbit/s", good},
                {"good at 8 kbit/s", good, nullptr, 8},
            };
        }();
        return cases;
    }

    TestFolder m_dir;

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // Every row either must not convert (outChannels 0) or must decode to outFrames frames,
    // give or take tolerance, at outRate.
    void corpus_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<bool>("raw");
        QTest::addColumn<int>("outChannels");
        QTest::addColumn<int>("outRate");
        QTest::addColumn<qint64>("outFrames");
        QTest::addColumn<qint64>("tolerance");
        QTest::addColumn<QString>("said"); // in the message of a refusal, when given
        QTest::addColumn<qint64>("missing"); // frames the header announces past the file's end

        const auto refuse = [](const char *name, const QByteArray &input, bool raw = false) {
            QTest::newRow(name) << input << raw << 0 << 0 << qint64(0) << qint64(0) << QString() << qint64(0);
        };
        const auto refuseSaying = [](const char *name, const QByteArray &input, const QString &said) {
            QTest::newRow(name) << input << false << 0 << 0 << qint64(0) << qint64(0) << said << qint64(0);
        };
        const auto convert = [](const char *name, const QByteArray &input, int channels, int rate, qint64 frames,
                                qint64 tolerance = 0, bool raw = false, qint64 missing = 0) {
            QTest::newRow(name) << input << raw << channels << rate << frames << tolerance << QString() << missing;
        };

        QByteArray text;
        while (text.size() < 1000000)
            text += "Not a sound, only words in a file named like a WAVE file.\n";
        refuse("1 MB of text", text);
        QByteArray noise(1 << 20, 0);
        for (qsizetype i = 0; i < noise.size(); ++i)
            noise[i] = static_cast<char>((i * 2654435761u) >> 13);
        refuse("1 MB of noise", noise);
        refuse("1 MB of noise after a RIFF WAVE", riff(noise));
        refuse("empty file", QByteArray());
        refuse("AIFF, not a WAVE", "FORM" + QByteArray(4, '\0') + "AIFF" + chunk("COMM", QByteArray(18, '\1')));
        // The family's containers: each signature with its own form type, no other.
        const QByteArray riffBody = chunk("fmt ", fmtBody(1, 2, 44100, 16)) + chunk("data", pcm16(4410, 2));
        refuse("RIFF of AVI, not a WAVE", "RIFF" + le32(riffBody.size() + 4) + "AVI " + riffBody);
        refuse("RIFF of wave in lower case", "RIFF" + le32(riffBody.size() + 4) + "wave" + riffBody);
        refuse("RIFX of AVI, not a WAVE", rifxWave(4410).replace(8, 4, "AVI "));
        const QByteArray rf64 = containerWave(m_dir.path(QStringLiteral("rf64.wav")), Container::Rf64, 22050);
        refuse("RF64 of AVI, not a WAVE", QByteArray(rf64).replace(8, 4, "AVI "));
        refuse("BW64 of AVI, not a WAVE", QByteArray(rf64).replace(0, 4, "BW64").replace(8, 4, "AVI "));
        refuse("RF64 signature in lower case", QByteArray(rf64).replace(0, 4, "rf64"));
        const QByteArray w64 = containerWave(m_dir.path(QStringLiteral("w64.wav")), Container::W64, 22050);
        refuse("Wave64 signature, a byte changed", QByteArray(w64).replace(7, 1, "\x12"));
        refuseSaying("Wave64 signature alone", w64.left(8) + QByteArray(100, '\0'), "W64");
        convert("RIFX, big-endian", rifxWave(22050), 2, 44100, 22050);
        convert("RF64", rf64, 2, 44100, 22050);
        convert("Wave64", w64, 2, 44100, 22050);

        const QByteArray good = wave16(4410, 2, 44100);
        for (int cut : {4, 8, 11, 20, 35, 36, 40, 44}) {
            const QByteArray name = "header cut at " + QByteArray::number(cut);
            refuse(name.constData(), good.left(cut));
        }
        refuse("no format chunk", riff(chunk("data", pcm16(4410, 2))));
        refuse("format chunk after the data", riff(chunk("data", pcm16(4410, 2)) + chunk("fmt ", fmtBody(1, 2, 44100, 16))));
        refuse("format chunk of 8 bytes", riff(chunk("fmt ", fmtBody(1, 2, 44100, 16).left(8)) + chunk("data", pcm16(4410, 2))));
        refuse("0 channels", riff(chunk("fmt ", fmtBody(1, 0, 44100, 16)) + chunk("data", pcm16(4410, 2))));
        refuse("0 Hz", wave16(4410, 2, 0));
        refuse("4 GHz", wave16(4410, 2, 4000000000u));
        refuse("2 GHz", wave16(4410, 2, 2147483648u));
        refuse("20 MHz", wave16(4410, 2, 20000000));
        // At a rate like this lame's final flush alone runs for seconds.
        refuse("1.4 GHz, 6 channels", riff(chunk("fmt ", fmtBody(1, 6, 1375737472, 16)) + chunk("data", pcm16(4410, 6))));
        refuse("1 Hz", wave16(4410, 2, 1));
        refuse("999 Hz", wave16(4410, 2, 999));
        refuse("0 bits a sample", riff(chunk("fmt ", fmtBody(1, 2, 44100, 0)) + chunk("data", pcm16(4410, 2))));
        refuseSaying("AC-3 inside", riff(chunk("fmt ", fmtBody(0x2000, 2, 48000, 16, le16(0))) + chunk("data", pcm16(4410, 2))),
                     "WAVE format 0x2000 (AC-3) is not supported");
        refuseSaying("WMA inside", riff(chunk("fmt ", fmtBody(0x0161, 2, 44100, 16, le16(0))) + chunk("data", pcm16(4410, 2))),
                     "WAVE format 0x0161 (Windows Media Audio) is not supported");
        refuseSaying("TrueSpeech inside", riff(chunk("fmt ", fmtBody(0x0022, 1, 8000, 1, le16(32) + QByteArray(32, 0))) + chunk("data", pcm16(4410, 2))),
                     "WAVE format 0x0022 (TrueSpeech) is not supported");
        refuseSaying("TrueSpeech inside the extensible format", riff(chunk("fmt ", extensibleBody(0x0022, 2, 8000, 16)) + chunk("data", pcm16(4410, 2))),
                     "WAVE format 0x0022 (TrueSpeech) is not supported");
        refuseSaying("an unregistered codec", riff(chunk("fmt ", fmtBody(0xABCD, 2, 44100, 16, le16(0))) + chunk("data", pcm16(4410, 2))),
                     "WAVE format 0xABCD is not supported");
        refuseSaying("64-bit PCM", riff(chunk("fmt ", fmtBody(1, 2, 44100, 64)) + chunk("data", pcm16(4410, 8))),
                     "WAVE format 0x0001 (PCM) with 64-bit samples is not supported");
        refuseSaying("64-bit PCM in the extensible format", riff(chunk("fmt ", extensibleBody(1, 2, 44100, 64)) + chunk("data", pcm16(4410, 8))),
                     "WAVE format 0x0001 (PCM) with 64-bit samples is not supported");
        refuse("empty data chunk", riff(chunk("fmt ", fmtBody(1, 2, 44100, 16)) + chunk("data", {})));
        // Truly empty, unlike a header never finished: nothing after it, or chunks the RIFF size counts.
        refuse("empty data chunk, RIFF size 0", riff(chunk("fmt ", fmtBody(1, 2, 44100, 16)) + chunk("data", {}), 0));
        refuse("empty data chunk before a LIST chunk",
               riff(chunk("fmt ", fmtBody(1, 2, 44100, 16)) + chunk("data", {}) + chunk("LIST", QByteArray(5000, 'x'))));
        refuse("empty data chunk before a LIST chunk, RIFF size 0",
               riff(chunk("fmt ", fmtBody(1, 2, 44100, 16)) + chunk("data", {}) + chunk("LIST", QByteArray(5000, 'x')), 0));
        refuse("data chunk of half a frame", riff(chunk("fmt ", fmtBody(1, 2, 44100, 16)) + chunk("data", "\1\2")));
        refuse("raw PCM of one byte", "\x7f", true);

        // Damage players play through.
        const QByteArray fmt16 = chunk("fmt ", fmtBody(1, 2, 44100, 16));
        convert("data claims more than the file holds", riff(fmt16 + chunk("data", pcm16(22050, 2), 100000000)), 2, 44100,
                22050, 0, false, 24977950);
        convert("data claims 4 GiB", riff(fmt16 + chunk("data", pcm16(22050, 2), 0xffffffffu), 0xffffffffu), 2, 44100, 22050);
        convert("data claims more, cut inside a frame",
                riff(fmt16 + chunk("data", pcm16(22050, 2) + "\1\2", 100000000)), 2, 44100, 22050, 0, false, 24977949);
        convert("RIFF size 0", riff(fmt16 + chunk("data", pcm16(22050, 2)), 0), 2, 44100, 22050);
        // What a recorder that died leaves: the sizes as they were when it started.
        convert("header never finished", riff(fmt16 + chunk("data", pcm16(22050, 2), 0), 0), 2, 44100, 22050);
        convert("header left as for an empty file", riff(fmt16 + chunk("data", pcm16(22050, 2), 0), 36), 2, 44100, 22050);
        convert("header never finished, cut inside a frame", riff(fmt16 + chunk("data", pcm16(22050, 2) + "\1\2", 0), 0), 2,
                44100, 22050);
        // Block codecs pad the last block: the 'fact' chunk says where the audio ends.
        const QString coded = m_dir.path(QStringLiteral("coded.wav"));
        qint64 fact = -1;
        const QByteArray ms = codedWave(coded, SampleType::MsAdpcm, 22050, 2, 44100, &fact);
        QCOMPARE(fact, qint64(22050));
        convert("MS ADPCM", ms, 2, 44100, 22050);
        convert("MS ADPCM, fact counting less", withFact(ms, 21000), 2, 44100, 21000);
        // All of the 11 blocks of 2036 frames.
        convert("MS ADPCM, fact counting more than there is", withFact(ms, 30000), 2, 44100, 22396);
        const QByteArray gsm = codedWave(coded, SampleType::Gsm610, 12345, 1, 8000, &fact);
        QCOMPARE(fact, qint64(12345));
        convert("GSM 6.10", gsm, 1, 8000, 12345);
        QByteArray gsmPadded = gsm; // as sox writes it: the pad byte of 39 blocks of 65 bytes counted
        qToLittleEndian<quint32>(39 * 65 + 1, gsmPadded.data() + gsmPadded.indexOf("data") + 4);
        convert("GSM 6.10, data size with its pad byte", gsmPadded, 1, 8000, 12345);
        const QByteArray ima = codedWave(coded, SampleType::ImaAdpcm, 22050, 2, 44100, &fact);
        convert("IMA ADPCM", withFact(ima, 22050), 2, 44100, 22050);
        // As libsndfile counts stereo: half of the 11 blocks of 2041 frames, not in the last block.
        convert("IMA ADPCM, fact short of the last block", withFact(ima, 11225), 2, 44100, 22451);
        convert("unknown chunks around the format",
                riff(chunk("junk", QByteArray(37, 'j')) + fmt16 + chunk("LIST", QByteArray(10, 'x')) + chunk("data", pcm16(22050, 2))),
                2, 44100, 22050);
        convert("6 channels, plain format", riff(chunk("fmt ", fmtBody(1, 6, 48000, 16)) + chunk("data", pcm16(24000, 6, 48000))),
                2, 48000, 24000);
        convert("8 channels", wave16(24000, 8, 48000), 2, 48000, 24000);
        convert("7 kHz", wave16(14000, 1, 7000), 1, 8000, 16000, 200);
        convert("192 kHz", wave16(192000, 2, 192000), 2, 48000, 48000, 500);
        convert("1 kHz", wave16(2000, 1, 1000), 1, 8000, 16000, 200);
        convert("raw PCM of odd length", pcm16(22050, 2) + "\x7f", 2, 44100, 22050, 0, true);
        // Unclipped, they make libmp3lame fail an assertion and end the program.
        convert("float NaN, infinities and huge values", wildFloatWave(22050), 2, 44100, 22050);
    }

    void corpus()
    {
        QFETCH(QByteArray, input);
        QFETCH(bool, raw);
        QFETCH(int, outChannels);
        QFETCH(int, outRate);
        QFETCH(qint64, outFrames);
        QFETCH(qint64, tolerance);
        QFETCH(QString, said);
        const QString dir = m_dir.freshDir(QStringLiteral("corpus"));
        const QString in = dir + QStringLiteral("/in.wav");
        const QString out = dir + QStringLiteral("/out.mp3");
        QVERIFY(writeBytes(in, input));
        QVERIFY(writeBytes(out, kOldOutput));

        LameEncoderX encoder;
        QVERIFY(encoder.write(Member::RawPCM, raw));
        QVERIFY(encoder.write(Member::InputFile, in));
        QVERIFY(encoder.write(Member::OutputFile, out));
        const RunEnd end = runOnce(encoder);
        QCOMPARE(contentOf(in), input);
        QCOMPARE(entriesOf(dir), QStringList({"in.wav", "out.mp3"}));
        if (outChannels == 0) {
            QVERIFY(!end.finished);
            QVERIFY(!end.message.trimmed().isEmpty());
            QVERIFY2(end.message.contains(said), qPrintable(end.message));
            QCOMPARE(contentOf(out), kOldOutput);
            return;
        }
        QVERIFY2(end.finished, qPrintable(end.message));
        // A file cut short is said to be; a size not yet written, or all ones, is not.
        QFETCH(qint64, missing);
        AudioSource source;
        QVERIFY(source.open(in, raw, false));
        QCOMPARE(source.info().missingFrames, missing);
        const Mp3Info mp3 = decodeMp3(out);
        QVERIFY2(mp3.ok, qPrintable(mp3.error));
        QCOMPARE(mp3.channels, outChannels);
        QCOMPARE(mp3.rate, outRate);
        QVERIFY2(std::abs(mp3.frames - outFrames) <= tolerance,
                 qPrintable(QStringLiteral("%1 frames decoded, %2 expected").arg(mp3.frames).arg(outFrames)));
    }

    // Outputs that cannot be written: nothing is created, the input stays as it was.
    // Conversions on several threads at once, refusals and lame set-ups side by side: each
    // refusal gives its own file's reason, never the one another thread's open left in
    // libsndfile. Each row's input is converted over and over on one thread while three
    // others convert every row's input; make check-sanitize runs it under ThreadSanitizer.
    void reasonsAtOnce_data()
    {
        QTest::addColumn<int>("row");
        for (int row = 0; row < int(atOnceCases().size()); ++row)
            QTest::newRow(atOnceCases()[row].name) << row;
    }

    void reasonsAtOnce()
    {
        QFETCH(int, row);
        const std::vector<AtOnce> &cases = atOnceCases();
        const QString dir = m_dir.freshDir(QStringLiteral("at-once"));
        const auto inputOf = [&dir](std::size_t at) { return dir + QStringLiteral("/in-%1.wav").arg(at); };
        for (std::size_t at = 0; at < cases.size(); ++at)
            QVERIFY(writeBytes(inputOf(at), cases[at].input));

        constexpr int kThreads = 4;
        constexpr int kRounds = 12;
        std::vector<QStringList> wrong(kThreads);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                const std::atomic_bool never = false;
                for (int round = 0; round < kRounds; ++round) {
                    const std::size_t at = t == 0 ? std::size_t(row) : (round + t) % cases.size();
                    const AtOnce &c = cases[at];
                    EncoderSettings settings;
                    settings.inputFile = inputOf(at);
                    settings.outputFile = dir + QStringLiteral("/out-%1.mp3").arg(t);
                    settings.bitrate = c.bitrate;
                    settings.workers = 1;
                    const Outcome end = runEncode(settings, never, [](int, qint64) {});
                    const bool right = c.reason ? !end && end.message.contains(QLatin1String(c.reason)) : bool(end);
                    if (!right)
                        wrong[t] << QStringLiteral("%1: %2").arg(QLatin1String(c.name), end.message);
                }
            });
        }
        for (std::thread &thread : threads)
            thread.join();
        for (const QStringList &messages : wrong)
            QVERIFY2(messages.isEmpty(), qPrintable(messages.join(QLatin1Char('\n'))));
    }

    void unwritableOutput_data()
    {
        QTest::addColumn<QString>("output");
        QTest::newRow("folder missing") << "gone/out.mp3";
        QTest::newRow("a folder in the path is a file") << "in.wav/out.mp3";
        QTest::newRow("output is a folder") << "sub";
        QTest::newRow("through a symbolic link to the input") << "link.mp3";
        QTest::newRow("through a hard link to the input") << "hard.mp3";
    }

    void unwritableOutput()
    {
        QFETCH(QString, output);
        const QString dir = m_dir.freshDir(QStringLiteral("unwritable"));
        const QString in = dir + QStringLiteral("/in.wav");
        QVERIFY(writeMusicWave(in, 0.5));
        QVERIFY(QDir(dir).mkdir(QStringLiteral("sub")));
        QVERIFY(QFile::link(in, dir + QStringLiteral("/link.mp3")));
        QCOMPARE(::link(QFile::encodeName(in).constData(), QFile::encodeName(dir + "/hard.mp3").constData()), 0);
        const QByteArray before = contentOf(in);
        const QStringList entries = entriesOf(dir);

        LameEncoderX encoder;
        QVERIFY(encoder.write(Member::InputFile, in));
        QVERIFY(encoder.write(Member::OutputFile, dir + '/' + output));
        const RunEnd end = runOnce(encoder);
        QVERIFY(!end.finished);
        QVERIFY(!end.message.trimmed().isEmpty());
        QCOMPARE(entriesOf(dir), entries);
        QVERIFY(entriesOf(dir + QStringLiteral("/sub")).isEmpty());
        QCOMPARE(contentOf(in), before);
    }

    // A full disk, as a file-size limit in a child process, met at the first write, in the
    // stream, at the very last byte, and not at all. The command-line program sets no handler
    // of its own: the limit must not kill it.
    void diskFull_data()
    {
        QTest::addColumn<qint64>("room"); // bytes, or below 0: the complete MP3's size plus this
        QTest::addColumn<bool>("fits");
        QTest::addColumn<bool>("command"); // sonovert-encode under ulimit -f, room in 512-byte blocks
        QTest::newRow("no room") << qint64(1) << false << false;
        QTest::newRow("room for 16 KiB") << qint64(16384) << false << false;
        QTest::newRow("one byte short") << qint64(-1) << false << false;
        QTest::newRow("just enough") << qint64(-0x10000) << true << false;
        QTest::newRow("command line, no room") << qint64(0) << false << true;
        QTest::newRow("command line, room for 16 KiB") << qint64(16384) << false << true;
    }

    void diskFull()
    {
        QFETCH(qint64, room);
        QFETCH(bool, fits);
        QFETCH(bool, command);
        const QString dir = m_dir.freshDir(QStringLiteral("full"));
        const QString in = dir + QStringLiteral("/in.wav");
        const QString out = dir + QStringLiteral("/out.mp3");
        QVERIFY(writeMusicWave(in, 3));
        LameEncoderX encoder;
        QVERIFY(encoder.write(Member::InputFile, in));
        QVERIFY(encoder.write(Member::OutputFile, out));
        QVERIFY(runOnce(encoder).finished);
        const QByteArray complete = contentOf(out);
        if (room == -1)
            room = complete.size() - 1;
        else if (room < 0)
            room = complete.size();
        QVERIFY(writeBytes(out, kOldOutput));
        const QStringList entries = entriesOf(dir);

        if (command) {
#ifdef __SANITIZE_THREAD__
            // ThreadSanitizer writes a file of its own before main() can ignore the signal.
            if (room < 512)
                QSKIP("ThreadSanitizer's start-up writes a file");
#endif
            // The child starts with the signal's default action: it must ignore it itself.
            std::signal(SIGXFSZ, SIG_DFL);
            QProcess run;
            run.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("ulimit -f %1; exec \"$0\" \"$1\" \"$2\"").arg(room / 512),
                                                 QStringLiteral(SONOVERT_ENCODE), in, out});
            QVERIFY(run.waitForFinished(60000));
            const QString said = QString::fromLocal8Bit(run.readAllStandardError());
            QCOMPARE(run.exitStatus(), QProcess::NormalExit);
            QCOMPARE(run.exitCode(), 1);
            QVERIFY2(said.contains(QStringLiteral("File too large")), qPrintable(said));
            QCOMPARE(entriesOf(dir), entries);
            QCOMPARE(contentOf(out), kOldOutput);
            return;
        }
        ChildConditions limited;
        limited.fileSizeLimit = room;
        const ChildEnd child = encodeInChildProcess(in, out, limited);
        const QString &said = child.said;
        QVERIFY(child.exited);
        QCOMPARE(entriesOf(dir), entries);
        if (fits) {
            QCOMPARE(said, QStringLiteral("finished"));
            QCOMPARE(contentOf(out), complete);
        } else {
            QVERIFY2(said.startsWith(QStringLiteral("failed: Cannot write ")), qPrintable(said));
            QCOMPARE(contentOf(out), kOldOutput);
        }
    }

    // The input cut short while it is being read: the run ends, with the audio read or failed.
    void inputTruncatedDuringRun_data()
    {
        QTest::addColumn<double>("keep"); // share of the audio left
        QTest::newRow("to half") << 0.5;
        QTest::newRow("to the header") << 0.0;
    }

    void inputTruncatedDuringRun()
    {
        QFETCH(double, keep);
        const QString dir = m_dir.freshDir(QStringLiteral("truncated"));
        const QString in = dir + QStringLiteral("/in.wav");
        const QString out = dir + QStringLiteral("/out.mp3");
        const qint64 frames = 44100 * 120;
        WaveOptions shape;
        shape.frames = frames;
        QVERIFY(writeWave(in, shape));
        const qint64 header = QFileInfo(in).size() - frames * 4;
        const qint64 kept = std::llround(frames * keep);
        LameEncoderX encoder;
        QVERIFY(encoder.write(Member::InputFile, in));
        QVERIFY(encoder.write(Member::OutputFile, out));
        bool cut = false;
        const RunEnd end = runOnce(encoder, [&](int percent) {
            if (percent >= 1 && !cut)
                cut = ::truncate(QFile::encodeName(in).constData(), header + kept * 4) == 0;
        });
        QVERIFY(cut);
        if (!end.finished) {
            QVERIFY(!end.message.trimmed().isEmpty());
            QCOMPARE(entriesOf(dir), QStringList({"in.wav"}));
            return;
        }
        // What had been read before the cut, and no more than the file held.
        const Mp3Info mp3 = decodeMp3(out);
        QVERIFY2(mp3.ok, qPrintable(mp3.error));
        QCOMPARE(mp3.frames, end.lastFrames);
        QVERIFY(end.lastFrames > 0);
        QVERIFY(end.lastFrames < frames);
        if (keep > 0)
            QVERIFY(end.lastFrames >= kept);
        QCOMPARE(entriesOf(dir), QStringList({"in.wav", "out.mp3"}));
    }

    // Names the file system takes must work as input and as output, also when the output
    // is replaced by a second run.
    void names_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("stem");
        QTest::newRow("spaces") << QStringLiteral(" a folder  with spaces ") << QStringLiteral(" a  name with spaces ");
        QTest::newRow("non-Latin") << QStringLiteral("Ünïcødé 音楽") << QStringLiteral("тест 題名 ☃");
        QTest::newRow("250 characters") << QStringLiteral("long") << QString(246, QLatin1Char('n'));
        QTest::newRow("250 characters with spaces") << QStringLiteral("long spaced")
                                                    << QString(123, QLatin1Char('s')) + ' ' + QString(122, QLatin1Char('t'));
    }

    void names()
    {
        QFETCH(QString, folder);
        QFETCH(QString, stem);
        const QString dir = m_dir.freshDir(folder);
        const QString in = dir + '/' + stem + QStringLiteral(".wav");
        const QString out = dir + '/' + stem + QStringLiteral(".mp3");
        QVERIFY(writeMusicWave(in, 0.5));
        LameEncoderX encoder;
        QVERIFY(encoder.write(Member::InputFile, in));
        QVERIFY(encoder.write(Member::OutputFile, out));
        for (int run = 0; run < 2; ++run) {
            const RunEnd end = runOnce(encoder);
            QVERIFY2(end.finished, qPrintable(end.message));
            QCOMPARE(decodeMp3(out).frames, qint64(22050));
        }
        QCOMPARE(entriesOf(dir), QStringList({stem + ".mp3", stem + ".wav"}));
    }
};

int main(int argc, char *argv[])
{
    if (int exitCode = 0; runEncodeChild(argc, argv, &exitCode))
        return exitCode;
    QCoreApplication app(argc, argv);
    TestBadInput test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_badinput.moc"
