// ReplayGain in the MP3: the LAME info tag's fields read back from its bytes on every kind of
// info frame, and nothing else changed by them; the ID3v2 frames; where the MP3 would clip.
#include "encoder/encoderun.h"
#include "encoder/input/loudnessmeter.h"
#include "adjustedsettings.h"
#include "chunkedencode.h"
#include "mp3check.h"
#include "tempfiles.h"
#include "wavegen.h"

#include <QtTest>

#include <cmath>
#include <functional>

namespace {

// The LAME tag's radio replay gain field for a gain, as lame encodes it.
quint16 radioGainField(double gainDb)
{
    const int steps = static_cast<int>(std::floor(gainDb * 10 + 0.5));
    return static_cast<quint16>(0x2c00 | (steps < 0 ? 0x200 | -steps : steps));
}

} // namespace

class TstGainTag : public QObject
{
    Q_OBJECT

private:
    TestFolder m_dir;

private slots:
    // The info tag's peak and radio gain, where lame's own tag holds them, on every kind of info
    // frame: lame's own, one made here at the lowest constant rates, and a joined stream's.
    // Turned off, the MP3 is the same but for those fields and the tag's CRC.
    void infoTag_data()
    {
        QTest::addColumn<Adjust>("adjust");
        QTest::addColumn<int>("workers");

        const QList<std::pair<const char *, Adjust>> settings {
            {"cbr 128", Adjust()},
            {"cbr 32, own frame", [](EncoderSettings &s) { s.bitrate = 32; }},
            {"vbr 4", [](EncoderSettings &s) { s.useVbr = true; }},
            {"voice", [](EncoderSettings &s) { s.voiceMode = true; }},
            {"mono, fast", [](EncoderSettings &s) { s.mono = true; s.fastMode = true; }},
            {"tagged", [](EncoderSettings &s) { s.tagTitle = QStringLiteral("Song"); }},
        };
        for (const auto &[name, adjust] : settings) {
            for (const int workers : {1, 3})
                QTest::addRow("%s, %s", name, workers == 1 ? "one instance" : "parallel") << adjust << workers;
        }
    }

    void infoTag()
    {
        QFETCH(Adjust, adjust);
        QFETCH(int, workers);

        const QString input = m_dir.path(QStringLiteral("in.wav"));
        QVERIFY(writeMusicWave(input, 16));
        const QString measured = m_dir.path(QStringLiteral("measured.mp3"));
        const QString plain = m_dir.path(QStringLiteral("plain.mp3"));
        RunReport report;
        QVERIFY(encodeInChunks(settingsFor(input, measured, adjust), workers, &report));
        QCOMPARE(report.instances > 1, workers > 1);
        QVERIFY(report.trackGain);
        EncoderSettings off = settingsFor(input, plain, adjust);
        off.replayGain = false;
        RunReport offReport;
        QVERIFY(encodeInChunks(off, workers, &offReport));
        QVERIFY(!offReport.trackGain);

        const Mp3Info with = decodeMp3(measured);
        const Mp3Info without = decodeMp3(plain);
        QVERIFY2(with.ok, qPrintable(with.error));
        QVERIFY(with.hasLameTag && without.hasLameTag);
        QVERIFY(with.lameTagCrcOk && without.lameTagCrcOk);
        QCOMPARE(with.lameTagPeak, static_cast<quint32>(std::lround(report.trackGain->peak * (1 << 23))));
        QCOMPARE(with.lameTagRadioGain, radioGainField(report.trackGain->gainDb));
        QCOMPARE(with.lameTagAudiophileGain, quint16(0));
        QCOMPARE(without.lameTagPeak, 0u);
        QCOMPARE(without.lameTagRadioGain, quint16(0));
        // A tag carries the figures too, one of their own without texts; turned off, it is the
        // tag alone, with no room held.
        const bool tagged = !off.tagTitle.isEmpty();
        QCOMPARE(with.id3v2Extra.value("REPLAYGAIN_TRACK_GAIN"), QString::asprintf("%+.2f dB", report.trackGain->gainDb));
        QCOMPARE(without.hasId3v2, tagged);
        QVERIFY(without.id3v2Extra.isEmpty());
        if (tagged)
            QCOMPARE(contentOf(plain).at(without.firstFrameAt - 1), 'g');

        // From the info frame on (the ID3v2 tag may carry the figures too): only the peak
        // (4 bytes), the radio gain (2) and the tag CRC (2) differ.
        const QByteArray a = contentOf(measured).mid(with.firstFrameAt);
        const QByteArray b = contentOf(plain).mid(without.firstFrameAt);
        QCOMPARE(a.size(), b.size());
        int differing = 0;
        for (qsizetype i = 0; i < a.size(); ++i)
            differing += a[i] != b[i] ? 1 : 0;
        QVERIFY2(differing > 0 && differing <= 8, qPrintable(QString::number(differing)));
    }

    // Without the info tag the figures are still measured (for the ID3v2 tag); a silent input
    // has none, and its info tag keeps the fields empty.
    void withoutFigures_data()
    {
        QTest::addColumn<double>("tone");
        QTest::addColumn<bool>("infoTag");
        QTest::addColumn<bool>("measured");
        QTest::addColumn<int>("workers");
        for (const int workers : {1, 3}) {
            const char *path = workers == 1 ? "one instance" : "parallel";
            QTest::addRow("no info tag, %s", path) << 0.25 << false << true << workers;
            QTest::addRow("silence, %s", path) << 0.0 << true << false << workers;
        }
    }

    void withoutFigures()
    {
        QFETCH(double, tone);
        QFETCH(bool, infoTag);
        QFETCH(bool, measured);
        QFETCH(int, workers);

        const QString input = m_dir.path(QStringLiteral("tone.wav"));
        QVERIFY(writeToneWave(input, 16, 44100, 2, tone));
        EncoderSettings settings = settingsFor(input, m_dir.path(QStringLiteral("out.mp3")), Adjust());
        settings.writeInfoTag = infoTag;
        RunReport report;
        QVERIFY(encodeInChunks(settings, workers, &report));
        QCOMPARE(report.trackGain.has_value(), measured);
        const Mp3Info info = decodeMp3(settings.outputFile);
        QVERIFY2(info.ok, qPrintable(info.error));
        QCOMPARE(info.hasInfoTag, infoTag);
        if (measured)
            QVERIFY(std::abs(report.trackGain->gainDb - (-18 - 20 * std::log10(tone))) < 0.05);
        if (infoTag) {
            QVERIFY(info.lameTagCrcOk);
            QCOMPARE(info.lameTagPeak, 0u);
            QCOMPARE(info.lameTagRadioGain, quint16(0));
        }
    }

    // The MP3 clips when decoded where the audio reaches full scale: 16-bit samples end one
    // step below 1, float samples are clipped to 1 on reading.
    void clipping_data()
    {
        QTest::addColumn<double>("peak");
        QTest::addColumn<bool>("clips");
        QTest::addRow("16-bit full scale") << 32767.0 / 32768 << true;
        QTest::addRow("-32768") << 1.0 << true;
        QTest::addRow("one step below") << 32766.0 / 32768 << false;
        QTest::addRow("half") << 0.5 << false;
    }

    void clipping()
    {
        QFETCH(double, peak);
        QFETCH(bool, clips);
        const std::optional<double> safe = clipSafeGainDb({-6.0, peak});
        QCOMPARE(safe.has_value(), clips);
        // Below the peak's own headroom, by what the coding may add.
        if (safe)
            QVERIFY(*safe < -20 * std::log10(peak) - 0.5 && *safe > -20 * std::log10(peak) - 3);
    }
};

QTEST_GUILESS_MAIN(TstGainTag)
#include "tst_gaintag.moc"
