// One file on several encoder instances: inputs of every kind cut and joined, ranges of an
// input, progress and abort, the component's run.
#include "encoder/lameencoderx.h"
#include "adjustedsettings.h"
#include "mp3check.h"
#include "paralleltest.h"
#include "tempfiles.h"
#include "wavegen.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <functional>

// Chunks of about 2.6 s, so an input of 15 s, or a range of 11 s, is cut at several seams.
constexpr int kShortChunk = 100;

class TestParallel : public QObject
{
    Q_OBJECT

private:
    TestFolder m_dir;

private slots:
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
        QVERIFY(writeRawPcm(raw, 44100 * 15, 2, bigEndian));
        const QString fromRaw = m_dir.path(QStringLiteral("raw.mp3"));
        const QString fromWave = m_dir.path(QStringLiteral("wave.mp3"));
        RunReport report;
        QVERIFY(encodeOn(settingsFor(raw, fromRaw, [&](EncoderSettings &s) {
                           s.rawPcm = true;
                           s.forceByteSwap = bigEndian;
                       }), 2, &report, kShortChunk).ok());
        QVERIFY(report.instances >= 4);
        QVERIFY(encodeOn(settingsFor(m_dir.musicWave(44100, 2, 15), fromWave, {}), 2, nullptr, kShortChunk).ok());
        QCOMPARE(contentOf(fromRaw), contentOf(fromWave));
    }

    // Every worker opens and reads the input itself: each must end the padded last block of
    // a block codec where the 'fact' chunk says.
    void blockCodedInput()
    {
        const QString input = m_dir.path(QStringLiteral("in-adpcm.wav"));
        WaveOptions shape;
        shape.frames = 44100 * 15 + 777;
        shape.sample = SampleType::MsAdpcm;
        QVERIFY(writeWave(input, shape));
        const QString output = m_dir.path(QStringLiteral("adpcm.mp3"));
        RunReport report;
        QVERIFY(encodeOn(settingsFor(input, output, {}), 2, &report, kShortChunk).ok());
        QVERIFY(report.instances >= 4);
        QCOMPARE(decodeMp3(output).frames, shape.frames);
    }

    // A range of a 23-second input encodes, on both paths, to the very bytes a WAVE of only the
    // range's samples encodes to, ReplayGain included; a range the input does not hold is refused.
    void frameRange_data()
    {
        QTest::addColumn<int>("sample"); // SampleType
        QTest::addColumn<Adjust>("adjust");
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("count"); // -1: to the end
        const int pcm16 = int(SampleType::Pcm16);
        const qint64 s = 44100, from = 6 * s + 777, frames = 11 * s + 333; // over two chunks in parallel
        QTest::newRow("at the start") << pcm16 << Adjust() << qint64(0) << 10 * s;
        QTest::newRow("in the middle") << pcm16 << Adjust() << from << frames;
        QTest::newRow("to the end") << pcm16 << Adjust() << 12 * s + 5 << qint64(-1);
        // At 16 kHz out the chunks are longer (a long seam search): a longer range spans three.
        QTest::newRow("resampled to 16 kHz") << pcm16 << Adjust([](EncoderSettings &e) { e.bitrate = 32; }) << 2 * s + 777
                                             << 19 * s + 333;
        QTest::newRow("mono") << pcm16 << Adjust([](EncoderSettings &e) { e.mono = true; }) << from << frames;
        QTest::newRow("VBR 2") << pcm16 << Adjust([](EncoderSettings &e) { e.useVbr = true; e.vbrRate = 2; }) << from << frames;
        QTest::newRow("24-bit") << int(SampleType::Pcm24) << Adjust() << from << frames;
        QTest::newRow("float, VBR 4") << int(SampleType::Float32) << Adjust([](EncoderSettings &e) { e.useVbr = true; }) << from << frames;
        // Decoded from the start, not sought; its last block padded past the 'fact' count.
        QTest::newRow("GSM 6.10 mono to the end") << int(SampleType::Gsm610) << Adjust() << 3 * s + 7 << qint64(-1);
        QTest::newRow("past the end") << pcm16 << Adjust() << 20 * s << 6 * s;
    }

    void frameRange()
    {
        QFETCH(int, sample);
        QFETCH(Adjust, adjust);
        QFETCH(qint64, first);
        QFETCH(qint64, count);
        const auto type = SampleType(sample);
        const WaveOptions shape {
            .frames = 23 * 44100 + 555, .channels = type == SampleType::Gsm610 ? 1 : 2, .sample = type};
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
            const Outcome encoded = encodeOn(settings, workers, &report, kShortChunk);
            QVERIFY2(held ? encoded.ok() : encoded.message.contains(QStringLiteral("not all there")),
                     qPrintable(encoded.message));
            QCOMPARE(entriesOf(dir), held ? QStringList {QStringLiteral("range.mp3")} : QStringList());
            if (held) {
                QVERIFY(encodeOn(settingsFor(cut, dir + QStringLiteral("/cut.mp3"), adjust), workers, nullptr, kShortChunk).ok());
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
        QVERIFY(writeMusicWave(input, 15));
        QFile file(input);
        QVERIFY(file.resize(44 + 4 * 44100 * 10));
        const QString joined = m_dir.path(QStringLiteral("cut-joined.mp3"));
        const QString single = m_dir.path(QStringLiteral("cut-single.mp3"));
        RunReport report;
        const Outcome parallel = encodeOn(settingsFor(input, joined, {}), 2, &report, kShortChunk);
        const Outcome one = encodeOn(settingsFor(input, single, {}), 1);
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
        const Outcome end = encodeOn(settingsFor(input, output, adjust), 2, nullptr, 200, [&](int percent, qint64 frames) {
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
};

QTEST_GUILESS_MAIN(TestParallel)
#include "tst_parallel.moc"
