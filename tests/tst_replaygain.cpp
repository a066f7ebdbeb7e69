// ReplayGain: the figures of both runs against one libebur128 state over the whole input, and
// a track measured again as the run measured it.
#include "encoder/encoderun.h"
#include "encoder/input/loudnessmeter.h"
#include "adjustedsettings.h"
#include "chunkedencode.h"
#include "mp3check.h"
#include "tempfiles.h"
#include "wavegen.h"

#include <QtTest>

#include <ebur128.h>
#include <sndfile.h>

#include <cmath>
#include <functional>
#include <memory>
#include <optional>

namespace {


// One libebur128 state over the whole file as libsndfile reads it, two channels averaged into
// one where mono: what a scanner finds in what lame is given, where nothing is resampled.
std::optional<TrackGain> wholeFileFigures(const QString &path, bool mono)
{
    SF_INFO info {};
    const std::unique_ptr<SNDFILE, int (*)(SNDFILE *)> file(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info),
                                                            sf_close);
    if (!file)
        return std::nullopt;
    const bool mix = mono && info.channels == 2;
    const unsigned channels = mix ? 1u : static_cast<unsigned>(info.channels);
    const std::unique_ptr<ebur128_state, void (*)(ebur128_state *)> state(
        ebur128_init(channels, static_cast<unsigned long>(info.samplerate), EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK),
        [](ebur128_state *s) { ebur128_destroy(&s); });
    std::vector<float> block(static_cast<std::size_t>(4096 * info.channels));
    std::vector<float> one(4096);
    for (sf_count_t got; (got = sf_readf_float(file.get(), block.data(), 4096)) > 0;) {
        if (mix) {
            for (sf_count_t i = 0; i < got; ++i)
                one[static_cast<std::size_t>(i)] = (block[static_cast<std::size_t>(2 * i)] + block[static_cast<std::size_t>(2 * i + 1)]) / 2;
            ebur128_add_frames_float(state.get(), one.data(), static_cast<std::size_t>(got));
        } else {
            ebur128_add_frames_float(state.get(), block.data(), static_cast<std::size_t>(got));
        }
    }
    double lufs = 0;
    double peak = 0;
    ebur128_loudness_global(state.get(), &lufs);
    for (unsigned c = 0; c < channels; ++c) {
        double p = 0;
        ebur128_sample_peak(state.get(), c, &p);
        peak = std::max(peak, p);
    }
    if (!std::isfinite(lufs))
        return std::nullopt;
    return TrackGain {-18 - lufs, peak};
}

} // namespace

Q_DECLARE_METATYPE(WaveOptions)

class TstReplayGain : public QObject
{
    Q_OBJECT

private:
    TestFolder m_dir;

private slots:
    // Each chunk measures its own frames and the run merges them: the figure is one state's
    // over the whole input, on every path and for every worker count.
    void figures_data()
    {
        QTest::addColumn<WaveOptions>("shape");
        QTest::addColumn<double>("tone"); // > 0: a sine of this amplitude instead of music
        QTest::addColumn<Adjust>("adjust");
        QTest::addColumn<bool>("resampled"); // lame takes the input resampled
        QTest::addColumn<double>("expectedGain"); // a figure known beforehand; NaN: none

        const auto music = [](int rate, int channels, SampleType sample, double gain = 1) {
            WaveOptions shape;
            shape.frames = 12LL * rate;
            shape.rate = rate;
            shape.channels = channels;
            shape.sample = sample;
            shape.gain = gain;
            return shape;
        };
        const Adjust none;
        const Adjust mono = [](EncoderSettings &s) { s.mono = true; };
        const Adjust voice = [](EncoderSettings &s) { s.voiceMode = true; };
        const Adjust vbr = [](EncoderSettings &s) { s.useVbr = true; s.vbrRate = 2; };
        const Adjust vbr9 = [](EncoderSettings &s) { s.useVbr = true; s.vbrRate = 9; };
        const double nan = std::nan("");
        QTest::newRow("cbr 128, 16-bit stereo") << music(44100, 2, SampleType::Pcm16) << 0.0 << none << false << nan;
        QTest::newRow("vbr 2, 24-bit mono 48 kHz") << music(48000, 1, SampleType::Pcm24) << 0.0 << vbr << false << nan;
        QTest::newRow("mono of stereo") << music(44100, 2, SampleType::Pcm16) << 0.0 << mono << false << nan;
        QTest::newRow("float louder than full scale")
            << music(44100, 2, SampleType::Float32, 3.0) << 0.0 << none << false << nan;
        QTest::newRow("voice, resampled") << music(44100, 2, SampleType::Pcm16) << 0.0 << voice << true << nan;
        QTest::newRow("vbr 9, resampled") << music(32000, 2, SampleType::Pcm24) << 0.0 << vbr9 << true << nan;
        QTest::newRow("six channels, down-mixed") << music(48000, 6, SampleType::Pcm16) << 0.0 << none << false << nan;
        // A 997 Hz sine at -20 dBFS in both channels reads -20 LUFS, in one channel -23.01.
        QTest::newRow("tone, stereo") << music(44100, 2, SampleType::Pcm16) << 0.1 << none << false << 2.0;
        QTest::newRow("tone, mono of stereo") << music(44100, 2, SampleType::Pcm16) << 0.1 << mono << false << 5.01;
    }

    void figures()
    {
        QFETCH(WaveOptions, shape);
        QFETCH(double, tone);
        QFETCH(Adjust, adjust);
        QFETCH(bool, resampled);
        QFETCH(double, expectedGain);

        const QString input = m_dir.path(QStringLiteral("in.wav"));
        if (tone > 0)
            QVERIFY(writeToneWave(input, double(shape.frames) / shape.rate, shape.rate, shape.channels, tone));
        else
            QVERIFY(writeWave(input, shape));
        const QString output = m_dir.path(QStringLiteral("out.mp3"));
        const EncoderSettings settings = settingsFor(input, output, adjust);

        RunReport one;
        QVERIFY(encodeInChunks(settings, 1, &one));
        QCOMPARE(one.instances, 1);
        QVERIFY(one.trackGain);
        const TrackGain whole = *one.trackGain;
        // Written to 0.01 dB.
        QCOMPARE(std::round(whole.gainDb * 100) / 100, whole.gainDb);
        // Six channels are down-mixed before lame, so only the run itself knows the audio.
        if (!resampled && shape.channels <= 2 && shape.gain <= 1) {
            const std::optional<TrackGain> scanned = wholeFileFigures(input, settings.mono || settings.voiceMode);
            QVERIFY(scanned);
            QVERIFY2(std::abs(whole.gainDb - scanned->gainDb) <= 0.006,
                     qPrintable(QStringLiteral("%1 against %2").arg(whole.gainDb).arg(scanned->gainDb)));
            QVERIFY(std::abs(whole.peak - scanned->peak) < 1e-6);
        }
        if (!std::isnan(expectedGain))
            QVERIFY2(std::abs(whole.gainDb - expectedGain) <= 0.05, qPrintable(QString::number(whole.gainDb)));
        // Measured again for an album, a CD image's track (a range) reads as a file of its frames.
        if (tone == 0) {
            const QString cut = m_dir.path(QStringLiteral("cut.wav"));
            QVERIFY(writeWaveCut(input, cut, shape.rate, shape.rate * 2));
            EncoderSettings ranged = settings;
            ranged.range = {.first = shape.rate, .count = shape.rate * 2};
            EncoderSettings ofCut = settings;
            ofCut.inputFile = cut;
            const std::atomic_bool going = false;
            const auto range = measureLoudness(ranged, going);
            const auto file = measureLoudness(ofCut, going);
            QVERIFY(range.size() == 1 && file.size() == 1 && range[0]->figures() && file[0]->figures());
            QCOMPARE(range[0]->figures()->gainDb, file[0]->figures()->gainDb);
            QCOMPARE(range[0]->figures()->peak, file[0]->figures()->peak);
        }
        if (shape.sample == SampleType::Float32 && shape.gain > 1)
            QCOMPARE(whole.peak, 1.0); // float samples are clipped on reading

        for (const int workers : {2, 3, 5}) {
            RunReport report;
            QVERIFY(encodeInChunks(settings, workers, &report));
            QVERIFY(report.instances > 2);
            QVERIFY(report.trackGain);
            QVERIFY2(std::abs(report.trackGain->gainDb - whole.gainDb) <= 0.1,
                     qPrintable(QStringLiteral("%1 workers: %2 against %3")
                                    .arg(workers)
                                    .arg(report.trackGain->gainDb)
                                    .arg(whole.gainDb)));
            // The same samples, resampled by each chunk's own resampler but for float rounding.
            QVERIFY(std::abs(report.trackGain->peak - whole.peak) <= (resampled ? 1e-4 : 0.0));
            // Merged in chunk order, not in the order the workers finished.
            RunReport again;
            QVERIFY(encodeInChunks(settings, workers, &again));
            QCOMPARE(again.trackGain->gainDb, report.trackGain->gainDb);
            QCOMPARE(again.trackGain->peak, report.trackGain->peak);
        }
    }

    // A track measured again for its album's figures (its MP3 already there) is measured as the
    // run that made it measured it, chunk by chunk: the album's figures are then the same bytes.
    void remeasured_data()
    {
        QTest::addColumn<Adjust>("adjust");
        QTest::newRow("cbr 128") << Adjust();
        QTest::newRow("voice: resampled, mono") << Adjust([](EncoderSettings &s) { s.voiceMode = true; });
        QTest::newRow("vbr 4") << Adjust([](EncoderSettings &s) { s.useVbr = true; });
    }

    void remeasured()
    {
        QFETCH(Adjust, adjust);
        const QString input = m_dir.path(QStringLiteral("long.wav"));
        if (!QFileInfo::exists(input))
            QVERIFY(writeWave(input, {.frames = 50 * 44100}));
        const EncoderSettings settings = settingsFor(input, m_dir.path(QStringLiteral("long.mp3")), adjust);
        static const std::atomic_bool never = false;
        RunReport run;
        QVERIFY(runEncode(settings, ParallelPlan {}, never, [](int, qint64) {}, &run));
        const std::vector<std::unique_ptr<LoudnessMeter>> again = measureLoudness(settings, never);
        QVERIFY(run.meters.size() > 1);
        QCOMPARE(again.size(), run.meters.size());
        const auto figures = [](const std::vector<std::unique_ptr<LoudnessMeter>> &meters) {
            std::vector<const LoudnessMeter *> all;
            for (const auto &meter : meters)
                all.push_back(meter.get());
            return LoudnessMeter::figures(all);
        };
        QVERIFY(figures(run.meters));
        QCOMPARE(figures(again)->gainDb, figures(run.meters)->gainDb);
        QCOMPARE(figures(again)->peak, figures(run.meters)->peak);
    }

};

QTEST_GUILESS_MAIN(TstReplayGain)
#include "tst_replaygain.moc"
