// One input, one MP3: the chunk layout that keeps a batch's MP3s the same whatever the workers
// and cores, and every form of sonovert-encode giving the bytes of INPUT OUTPUT.
#include "encoder/encoderun.h"
#include "encoder/parallel/chunkplan.h"
#include "batchtest.h"
#include "mp3check.h"
#include "wavegen.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TstSameBytes : public QObject
{
    Q_OBJECT

private slots:
    void sameBytes_data();
    void sameBytes();
    void paths_data();
    void paths();

private:
    QTemporaryDir m_dir;
};

void TstSameBytes::sameBytes_data()
{
    // The chunk layout of a batch's files, on any number of workers and cores lent.
    QTest::addColumn<int>("workers");
    QTest::addColumn<int>("lent");
    QTest::addColumn<bool>("variableRate");
    QTest::newRow("one worker") << 1 << 0 << false;
    QTest::newRow("two workers") << 2 << 0 << false;
    QTest::newRow("three workers, none lent: the first alone") << 3 << 0 << false;
    QTest::newRow("three workers, two lent") << 3 << 2 << false;
    QTest::newRow("vbr, four workers") << 4 << 0 << true;
    QTest::newRow("vbr, four workers, one lent") << 4 << 1 << true;
}

void TstSameBytes::sameBytes()
{
    QFETCH(int, workers);
    QFETCH(int, lent);
    QFETCH(bool, variableRate);
    const QString input = m_dir.filePath(QStringLiteral("layout.wav"));
    if (!QFile::exists(input))
        QVERIFY(writeMusicWave(input, 10));
    const auto encodeWith = [&](int n, CoreShare *cores, const QString &output) {
        EncoderSettings settings;
        settings.inputFile = input;
        settings.outputFile = output;
        settings.useVbr = variableRate;
        ParallelPlan plan;
        plan.workers = n;
        plan.chunkFrames = 64;
        plan.cores = cores;
        const std::atomic_bool abort = false;
        RunReport report;
        const Outcome done = runEncode(settings, plan, abort, [](int, qint64) {}, &report);
        return done && report.instances > 3;
    };
    const QString reference = m_dir.filePath(QStringLiteral("layout-%1.mp3").arg(variableRate));
    if (!QFile::exists(reference))
        QVERIFY(encodeWith(1, nullptr, reference));
    CoreShare cores;
    cores.lend(lent);
    const QString output = m_dir.filePath(QStringLiteral("layout-out.mp3"));
    QVERIFY(encodeWith(workers, lent > 0 || workers == 3 ? &cores : nullptr, output));
    QFile ours(output);
    QFile theirs(reference);
    QVERIFY(ours.open(QIODevice::ReadOnly) && theirs.open(QIODevice::ReadOnly));
    QVERIFY(ours.readAll() == theirs.readAll());
    QCOMPARE(decodeMp3(output).frames, 10 * 44100);
    QVERIFY(!cores.borrow() == (lent == 0)); // every core lent came back
}

// One input, one MP3: every form of the command gives the bytes of INPUT OUTPUT, on an input of
// four chunks.
void TstSameBytes::paths_data()
{
    // IN stands for the input, FOLDER for a folder that holds it last, OUT for an output folder.
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("made"); // below OUT
    for (const char *setting : {"--Bitrate=128", "--UseVBR=True"}) {
        const auto row = [&](const char *path, QStringList args, const char *made) {
            QTest::addRow("%s, %s", setting, path) << (args << setting) << QString::fromLatin1(made);
        };
        row("--threads=1", {"IN", "OUT/one.mp3", "--threads=1"}, "one.mp3");
        row("--threads=4", {"IN", "OUT/four.mp3", "--threads=4"}, "four.mp3");
        row("-o alone", {"IN", "-o", "OUT", "--album=off"}, "paths.mp3");
        row("--jobs=1", {"IN", "-o", "OUT", "--jobs=1", "--album=off"}, "paths.mp3");
        row("last of a folder", {"FOLDER", "-o", "OUT", "--album=off"}, "zz paths.mp3");
        // An album's figures are the only difference: everything after the ID3v2 tag is the same.
        row("last of a folder, an album", {"FOLDER", "-o", "OUT"}, "zz paths.mp3");
    }
}

void TstSameBytes::paths()
{
    QFETCH(QStringList, args);
    QFETCH(QString, made);
    const QString input = m_dir.filePath(QStringLiteral("paths.wav"));
    const QString folder = m_dir.filePath(QStringLiteral("paths folder"));
    if (!QFile::exists(input)) {
        // Cut in four chunks, so each worker encodes two in turn; mono at 22.05 kHz, a quarter of
        // the work of CD audio.
        QVERIFY(writeMusicWave(input, 82, 22050, 1));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeMusicWave(folder + QStringLiteral("/a filler.wav"), 3));
        QVERIFY(QFile::copy(input, folder + QStringLiteral("/zz paths.wav")));
    }
    const QString setting = args.constLast();
    const QString reference = m_dir.filePath(QStringLiteral("paths %1.mp3").arg(setting));
    if (!QFile::exists(reference))
        QCOMPARE(encode({input, reference, setting}).exitCode, 0);
    const QString out = m_dir.filePath(QStringLiteral("paths out"));
    QVERIFY(QDir(out).removeRecursively());
    QVERIFY(QDir().mkpath(out));
    for (QString &arg : args) {
        if (arg == QLatin1String("IN"))
            arg = input;
        else if (arg == QLatin1String("FOLDER"))
            arg = folder;
        else if (arg.startsWith(QLatin1String("OUT")))
            arg.replace(0, 3, out);
    }
    const Run run = encode(args);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QString ours = QDir(out).filePath(made);
    if (args.contains(QLatin1String("--album=off")) || !args.contains(QLatin1String("-o"))) {
        QVERIFY(contentOf(ours) == contentOf(reference));
    } else {
        QVERIFY(decodeMp3(ours).id3v2Extra.contains(QStringLiteral("REPLAYGAIN_ALBUM_GAIN")));
        QVERIFY(contentOf(ours).mid(decodeMp3(ours).id3v2Bytes)
                == contentOf(reference).mid(decodeMp3(reference).id3v2Bytes));
    }
}

QTEST_GUILESS_MAIN(TstSameBytes)
#include "tst_samebytes.moc"
