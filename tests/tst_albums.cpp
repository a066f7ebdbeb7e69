// Albums and CD images in a batch: each album's figures from its tracks joined, whole or not
// at all after a stop; an image's tracks cut at their indexes, tagged from the sheet.
#include "encoder/input/audiosource.h"
#include "encoder/input/loudnessmeter.h"
#include "cuesheets.h"
#include "batchtest.h"
#include "audiocompare.h"
#include "mp3check.h"
#include "wavegen.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <QRegularExpression>

#include <cmath>
#include <tuple>

class TstAlbums : public QObject
{
    Q_OBJECT

private slots:
    void albums_data();
    void albums();
    void images_data();
    void images();

private:
    QTemporaryDir m_dir;
};

void TstAlbums::albums_data()
{
    // A holds three tracks at different levels, B two; "Same" is the album all share by tags.
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("then"); // what happens before a second run of the same command
    QTest::addColumn<QStringList>("albums"); // the folders whose tracks form each album, | apart
    QTest::newRow("a folder an album") << QStringList{} << QString() << QStringList{"A", "B"};
    QTest::newRow("by tags, across folders") << QStringList{"--album=tags", "--TagAlbum=Same"} << QString()
                                             << QStringList{"A|B"};
    QTest::newRow("off: none") << QStringList{"--album=off"} << QString() << QStringList{};
    QTest::newRow("no analysis: none") << QStringList{"--replaygain=off"} << QString() << QStringList{};
    QTest::newRow("an MP3 deleted: the album measured again") << QStringList{} << QStringLiteral("delete")
                                                              << QStringList{"A", "B"};
    QTest::newRow("interrupted: an album there whole or not at all")
        << QStringList{"--jobs=1"} << QStringLiteral("interrupt") << QStringList{"A", "B"};
}

void TstAlbums::albums()
{
    QFETCH(QStringList, args);
    QFETCH(QString, then);
    QFETCH(QStringList, albums);
    const QString in = m_dir.filePath(QStringLiteral("albums"));
    const auto track = [&](const QString &folder, int n) { return QStringLiteral("%1/%2/%3.wav").arg(in, folder).arg(n); };
    if (!QFileInfo::exists(in)) {
        QVERIFY(QDir().mkpath(in + QStringLiteral("/A")));
        for (int n = 0; n < 3; ++n)
            QVERIFY(writeToneWave(track(QStringLiteral("A"), n), 4 + 3 * n, 44100, 2, 0.05 * (n + 1)));
        QVERIFY(QDir().mkpath(in + QStringLiteral("/B")));
        QVERIFY(writeMusicWave(track(QStringLiteral("B"), 0), 6));
        QVERIFY(writeToneWave(track(QStringLiteral("B"), 1), 5, 44100, 2, 0.5));
    }
    const QStringList mp3s {"A/0.mp3", "A/1.mp3", "A/2.mp3", "B/0.mp3", "B/1.mp3"};
    const QString out = m_dir.filePath(QStringLiteral("albums-out"));
    QVERIFY(QDir(out).removeRecursively());
    args = QStringList {in, QStringLiteral("-o"), out} + args;
    Run run = encode(args, then == QLatin1String("interrupt") ? 150 : 0);
    QMap<QString, QByteArray> first;
    for (const QString &mp3 : mp3s)
        first.insert(mp3, contentOf(QDir(out).filePath(mp3)));
    if (then == QLatin1String("interrupt")) {
        QVERIFY2(run.exitCode == 130 || run.exitCode == 0, qPrintable(run.err));
        for (const QString &folder : {QStringLiteral("A"), QStringLiteral("B")}) {
            const QStringList made = filesBelow(out).filter(folder + QLatin1Char('/'));
            QVERIFY2(made.isEmpty() || made.size() == (folder == QLatin1String("A") ? 3 : 2), qPrintable(made.join(' ')));
        }
    } else {
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    }
    if (then == QLatin1String("delete")) {
        QVERIFY(QFile::remove(QDir(out).filePath(QStringLiteral("A/1.mp3"))));
        first.remove(QStringLiteral("A/1.mp3"));
    }
    if (!then.isEmpty()) {
        run = encode(args);
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    }
    // Each album's figures are those of its tracks joined, measured here with one meter; the
    // tracks' own meters miss the blocks that straddle their ends, hence the tenth of a dB.
    QSet<QString> inAlbum;
    QMap<QString, qint64> waveFrames;
    for (const QString &album : std::as_const(albums)) {
        LoudnessMeter joined(2, 44100, false);
        QStringList members;
        for (const QString &mp3 : mp3s) {
            if (!album.split(QLatin1Char('|')).contains(mp3.section(QLatin1Char('/'), 0, 0)))
                continue;
            members << mp3;
            AudioSource source;
            QVERIFY(source.open(QString(in + QLatin1Char('/') + mp3).replace(QStringLiteral(".mp3"), QStringLiteral(".wav")),
                                false, false));
            waveFrames.insert(mp3, source.info().frames);
            std::vector<float> block(2 * 4096);
            for (qint64 got; (got = source.read(block.data(), 4096)) > 0;)
                joined.add(block.data(), got);
        }
        const std::optional<TrackGain> expected = joined.figures();
        QVERIFY(expected);
        for (const QString &mp3 : std::as_const(members)) {
            const Mp3Info info = decodeMp3(QDir(out).filePath(mp3));
            QVERIFY2(std::abs(info.id3v2Extra.value(QStringLiteral("REPLAYGAIN_ALBUM_GAIN")).section(' ', 0, 0).toDouble()
                              - expected->gainDb)
                         < 0.1,
                     qPrintable(mp3 + QLatin1Char(' ') + info.id3v2Extra.value(QStringLiteral("REPLAYGAIN_ALBUM_GAIN"))));
            QVERIFY(std::abs(info.id3v2Extra.value(QStringLiteral("REPLAYGAIN_ALBUM_PEAK")).toDouble() - expected->peak) < 1e-6);
            QCOMPARE(info.frames, waveFrames.value(mp3));
            inAlbum.insert(mp3);
        }
    }
    for (const QString &mp3 : mp3s) {
        const Mp3Info info = decodeMp3(QDir(out).filePath(mp3));
        QVERIFY2(info.ok, qPrintable(mp3));
        QCOMPARE(info.id3v2Extra.contains(QStringLiteral("REPLAYGAIN_ALBUM_GAIN")), inAlbum.contains(mp3));
        // A second run after a stop gives the bytes of one run without it; one measured again
        // agrees to the hundredth of a dB.
        if (!then.isEmpty() && !first.value(mp3).isEmpty())
            QVERIFY(contentOf(QDir(out).filePath(mp3)) == first.value(mp3));
    }
}

void TstAlbums::images_data()
{
    // The sample sheet over a 10 s image: track 1 at 0:00.44 (the audio before it is track 0),
    // track 2's gap from 0:03.00 to 0:03.67, track 3's from 0:06.13 to 0:06.93 (588 frames a
    // sheet frame at 44.1 kHz).
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QString>("pregap");
    QTest::addColumn<QList<qint64>>("cuts"); // each track's first frame and end
    QTest::addColumn<QString>("refusal");    // stderr holds this, and nothing is made
    const QList<qint64> appended {0, 19404, 19404, 161700, 161700, 305760, 305760, 441000};
    QTest::newRow("UTF-8, gaps appended") << int(CueEncoding::Utf8) << "previous" << appended << QString();
    QTest::newRow("UTF-16, gaps appended") << int(CueEncoding::Utf16LeBom) << "previous" << appended << QString();
    QTest::newRow("a FLAC image") << int(CueEncoding::Utf8) << "previous" << appended << QString();
    QTest::newRow("a FLAC image, its sheet naming the WAVE it was ripped to")
        << int(CueEncoding::Utf8) << "previous" << appended << QString();
    QTest::newRow("Windows-1252, gaps at the next track's start")
        << int(CueEncoding::Windows1252) << "next" << QList<qint64> {0, 19404, 19404, 132300, 132300, 270480, 270480, 441000}
        << QString();
    QTest::newRow("gaps dropped") << int(CueEncoding::Utf8) << "drop"
                                  << QList<qint64> {0, 19404, 19404, 132300, 161700, 270480, 305760, 441000} << QString();
    QTest::newRow("FILE names a missing WAVE: the image of the sheet's name taken")
        << int(CueEncoding::Utf8) << "previous" << appended << QString();
    QTest::newRow("an index past the image's end") << int(CueEncoding::Utf8) << "previous" << QList<qint64> {}
                                                   << QStringLiteral(": line 2");
}

void TstAlbums::images()
{
    QFETCH(int, encoding);
    QFETCH(QString, pregap);
    QFETCH(QList<qint64>, cuts);
    QFETCH(QString, refusal);
    const QString in = m_dir.filePath(QStringLiteral("image"));
    const QString out = in + QStringLiteral("-out");
    QVERIFY(QDir(in).removeRecursively() && QDir(out).removeRecursively() && QDir().mkpath(in));
    const QString row = QString::fromLatin1(QTest::currentDataTag());
    const bool flac = row.contains(QLatin1String("FLAC"));
    const QString name = flac ? QStringLiteral("image.flac") : QStringLiteral("image.wav");
    const QString image = in + QLatin1Char('/') + name;
    QVERIFY(writeWave(image, {.frames = (row.contains(QLatin1String("past")) ? 5 : 10) * 44100,
                              .container = flac ? Container::Flac : Container::Wave}));
    QVERIFY(writeCueSheet(in + QStringLiteral("/image.cue"),
                          row.contains(QLatin1String("missing")) ? QStringLiteral("gone.wav")
                          : row.contains(QLatin1String("ripped")) ? QStringLiteral("image.wav")
                                                                  : name,
                          CueEncoding(encoding)));
    const Run run = encode({in, QStringLiteral("-o"), out, QStringLiteral("--pregap=") + pregap});
    if (!refusal.isEmpty()) {
        QVERIFY2(run.exitCode == 1 && run.err.contains(refusal), qPrintable(run.err));
        QVERIFY(!QFileInfo::exists(out));
        return;
    }
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QStringList names {"00", "01 Première", "02 Über alles", "03 L’été"};
    QCOMPARE(filesBelow(out), QStringList(names).replaceInStrings(QRegularExpression("^(.*)$"), "image/\\1.mp3"));
    std::vector<float> joined;
    AudioSource source;
    QVERIFY(source.open(image, false, false));
    std::vector<float> original(static_cast<std::size_t>(2 * source.info().frames));
    QCOMPARE(source.read(original.data(), source.info().frames), source.info().frames);
    for (int n = 0; n < names.size(); ++n) {
        const Mp3Info track = decodeMp3(QStringLiteral("%1/image/%2.mp3").arg(out, names[n]), true);
        QVERIFY2(track.ok, qPrintable(track.error));
        // Each track decodes to exactly its cut.
        QCOMPARE(track.frames, cuts[2 * n + 1] - cuts[2 * n]);
        QCOMPARE(track.id3v2Text.value("TRCK"), n == 0 ? QString() : QStringLiteral("%1/3").arg(n));
        QCOMPARE(track.id3v2Text.value("TALB"), QStringLiteral("Café ’Nuit’"));
        QCOMPARE(track.id3v2Text.value("TPE2"), QStringLiteral("Les Étoiles"));
        QCOMPARE(track.id3v2Text.value("TPOS"), QStringLiteral("1/2"));
        QCOMPARE(track.id3v2Text.value("TYER"), QStringLiteral("2003"));
        QCOMPARE(track.id3v2Text.value("TCON"), QStringLiteral("Musique concrète"));
        QCOMPARE(track.id3v2Extra.value("BARCODE"), QStringLiteral("0724384260927"));
        QVERIFY(track.id3v2Extra.contains("REPLAYGAIN_ALBUM_GAIN"));
        if (n == 2) {
            QCOMPARE(track.id3v2Text.value("TIT2"), QStringLiteral("Über alles"));
            QCOMPARE(track.id3v2Text.value("TPE1"), QStringLiteral("Guest Star"));
            QCOMPARE(track.id3v2Text.value("TCOM"), QStringLiteral("Anon"));
            QCOMPARE(track.id3v2Text.value("TSRC"), QStringLiteral("FRZ039800002"));
            QCOMPARE(track.id3v2Comment, QStringLiteral("Live take"));
        }
        // Decoded one after another the tracks line up with the image: around each boundary the
        // cross-correlation with the image peaks at no shift.
        if (n > 0 && cuts[2 * n] == cuts[2 * n - 1]) {
            const int best = seamShift(joined, track.samples, original, cuts[2 * n]);
            QVERIFY2(best == 0, qPrintable(QStringLiteral("%1 frames off at track %2").arg(best / 2).arg(n)));
        }
        joined = track.samples;
    }
}

QTEST_GUILESS_MAIN(TstAlbums)
#include "tst_albums.moc"
