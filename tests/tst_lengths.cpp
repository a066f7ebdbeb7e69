// The length common MP3 readers report for constant-rate MP3s made on one encoder instance and
// on several.
#include "adjustedsettings.h"
#include "mp3check.h"
#include "paralleltest.h"
#include "tempfiles.h"
#include "wavegen.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

#include <cmath>
#include <functional>

namespace {

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

} // namespace

class TestLengths : public QObject
{
    Q_OBJECT

private:
    TestFolder m_dir;

private slots:
    // The length common readers report for a constant-rate MP3 of half a minute, and libmpg123's
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
        const int seconds = 30;
        const QString output = m_dir.path(QStringLiteral("length-%1-%2.mp3").arg(bitrate).arg(workers));
        if (!QFile::exists(output)) {
            RunReport report;
            const Outcome encoded = encodeOn(
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
};

QTEST_GUILESS_MAIN(TestLengths)
#include "tst_lengths.moc"
