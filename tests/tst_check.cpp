// sonovert-encode --check, and the listed run's jobs that refuse to write where the listing's
// output folder is not (its mark missing); an MP3's length read from its info frame in-process.
#include "mp3length.h"

#include "tempfiles.h"
#include "wavegen.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TstCheck : public QObject
{
    Q_OBJECT

private slots:
    void length_data();
    void length();
    void check_data();
    void check();
    void jobs_data();
    void jobs();

private:
    // Runs sonovert-encode: its exit status, and its standard output and error.
    int encode(const QStringList &args, QString *out = nullptr, QString *err = nullptr);
    // Two albums, first (A) and B, of two WAVEs each, in a fresh folder; and a fresh output folder.
    QString library(QString *out, const QString &first = u"A"_s);

    TestFolder m_dir;
};

int TstCheck::encode(const QStringList &args, QString *out, QString *err)
{
    QProcess cli;
    cli.start(QStringLiteral(SONOVERT_ENCODE), args);
    cli.waitForFinished(60000);
    if (out)
        *out = QString::fromUtf8(cli.readAllStandardOutput());
    if (err)
        *err = QString::fromUtf8(cli.readAllStandardError());
    return cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
}

QString TstCheck::library(QString *out, const QString &first)
{
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    const QString lib = m_dir.freshDir(tag + u" lib"_s);
    *out = m_dir.freshDir(tag + u" out"_s);
    for (const QString &album : {first, u"B"_s}) {
        QDir(lib).mkdir(album);
        for (int track = 1; track <= 2; ++track)
            writeWave(u"%1/%2/%3.wav"_s.arg(lib, album).arg(track), {.frames = 44100, .seed = quint32(track)});
    }
    return lib;
}

void TstCheck::length_data()
{
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<int>("rate");
    QTest::addColumn<QString>("damage");
    QTest::addColumn<qint64>("samples"); // -1: no length read
    QTest::addColumn<bool>("whole");
    QTest::newRow("constant rate") << QStringList() << 44100 << "" << qint64(66150) << true;
    QTest::newRow("variable rate") << QStringList {u"-V"_s, u"2"_s} << 44100 << "" << qint64(66150) << true;
    QTest::newRow("8 kbit/s: resampled to 8 kHz") << QStringList {u"--Bitrate=8"_s} << 44100 << "" << qint64(12000) << true;
    QTest::newRow("48 kHz, tagged") << QStringList {u"--tt"_s, u"Title"_s} << 48000 << "" << qint64(72000) << true;
    QTest::newRow("cut short by a byte") << QStringList() << 44100 << "cut" << qint64(66150) << false;
    QTest::newRow("a byte appended") << QStringList() << 44100 << "grown" << qint64(66150) << false;
    QTest::newRow("not an MP3") << QStringList() << 44100 << "wave" << qint64(-1) << false;
    QTest::newRow("no info frame") << QStringList {u"--WriteInfoTag=False"_s} << 44100 << "" << qint64(-1) << false;
}

void TstCheck::length()
{
    QFETCH(QStringList, settings);
    QFETCH(int, rate);
    QFETCH(QString, damage);
    QFETCH(qint64, samples);
    QFETCH(bool, whole);
    const QString dir = m_dir.freshDir(QString::fromLatin1(QTest::currentDataTag()));
    const QString wave = dir + u"/in.wav"_s;
    QVERIFY(writeWave(wave, {.frames = qint64(rate) * 3 / 2, .rate = rate}));
    const QString mp3 = dir + u"/out.mp3"_s;
    QCOMPARE(encode(QStringList {wave, mp3} + settings), 0);
    QFile file(mp3);
    if (damage == "cut"_L1)
        QVERIFY(file.resize(file.size() - 1));
    if (damage == "grown"_L1)
        QVERIFY(file.open(QIODevice::Append) && file.write("x", 1) == 1);
    file.close();

    const std::optional<Mp3Length> length = readMp3Length(damage == "wave"_L1 ? wave : mp3);
    QCOMPARE(length.has_value(), samples >= 0);
    if (!length)
        return;
    QCOMPARE(length->samples, samples);
    QCOMPARE(length->whole, whole);
    QCOMPARE(expectedSamples(wave, {}, length->sampleRate), std::optional<qint64>(samples));
}

void TstCheck::check_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("mirror");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("listed"); // the one line printed, up to the output folder
    QTest::newRow("all there") << "" << false << 0 << "";
    QTest::newRow("an MP3 deleted") << "delete" << false << 1 << "missing: ";
    QTest::newRow("an MP3 cut short") << "cut" << false << 1 << "stale: ";
    QTest::newRow("an input grown since") << "regrow" << false << 1 << "stale: ";
    QTest::newRow("a stopped job's file") << "part" << false << 0 << "left behind: ";
    QTest::newRow("mirror: all there") << "" << true << 0 << "";
    QTest::newRow("mirror: an MP3 deleted") << "delete" << true << 1 << "missing: ";
    QTest::newRow("mirror: an input grown since") << "regrow" << true << 1 << "stale: ";
    QTest::newRow("mirror: a new input") << "add" << true << 1 << "missing: ";
}

void TstCheck::check()
{
    QFETCH(QString, change);
    QFETCH(bool, mirror);
    QFETCH(int, status);
    QFETCH(QString, listed);
    QString out;
    const QString lib = library(&out);
    const QStringList form = QStringList {lib, u"-o"_s, out} + (mirror ? QStringList {u"--mirror"_s} : QStringList());
    QCOMPARE(encode(form), 0);
    if (change == "delete"_L1)
        QVERIFY(QFile::remove(out + u"/B/2.mp3"_s));
    if (change == "cut"_L1)
        QVERIFY(QFile(out + u"/B/2.mp3"_s).resize(5000));
    if (change == "regrow"_L1 || change == "add"_L1)
        QVERIFY(writeWave(lib + (change == "add"_L1 ? u"/B/3.wav"_s : u"/B/2.wav"_s), {.frames = 88200, .seed = 2}));
    if (change == "part"_L1)
        QVERIFY(QFile(out + u"/A/.sonovert-x1.part"_s).open(QIODevice::WriteOnly));

    QString printed;
    QCOMPARE(encode(form + QStringList {u"--check"_s}, &printed), status);
    const QStringList lines = printed.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), listed.isEmpty() ? 0 : 1);
    if (!listed.isEmpty())
        QVERIFY2(lines[0].startsWith(listed + out + u"/"_s), qPrintable(lines[0]));
}

void TstCheck::jobs_data()
{
    QTest::addColumn<bool>("mirror");
    QTest::addColumn<bool>("unmounted"); // the job sees the output folder without its mark
    QTest::addColumn<QString>("names");
    QTest::addColumn<QString>("album"); // the first album's folder
    QTest::addColumn<QString>("job"); // the folder its job writes into, below the output
    QTest::newRow("batch job") << false << false << "--names=native" << "A" << "/./A";
    QTest::newRow("batch job, share not mounted") << false << true << "--names=native" << "A" << "/./A";
    QTest::newRow("mirror job") << true << false << "--names=native" << "A" << "/.sonovert-incoming/0/A";
    QTest::newRow("mirror job, share not mounted") << true << true << "--names=native" << "A" << "/.sonovert-incoming/0/A";
    // As a FAT stick holds it; the run after it takes what the job made.
    QTest::newRow("mirror job, a colon in its folder") << true << false << "--names=portable" << "A: Live?" << "/.sonovert-incoming/0/A_ Live_";
}

void TstCheck::jobs()
{
    QFETCH(bool, mirror);
    QFETCH(bool, unmounted);
    QFETCH(QString, names);
    QFETCH(QString, album);
    QFETCH(QString, job);
    QString out;
    const QString lib = library(&out, album);
    const QStringList mode = mirror ? QStringList {u"--mirror"_s, names} : QStringList {names};
    QString printed;
    QCOMPARE(encode(mode + QStringList {lib, u"-o"_s, out, u"--list0"_s}, &printed), 0);
    const QStringList listed = printed.split(QChar(0), Qt::SkipEmptyParts);
    QCOMPARE(listed.size(), 4);
    QCOMPARE(listed[0], lib + u"/"_s + album);
    QCOMPARE(listed[1], out + job);
    QVERIFY(QFile::exists(out + (mirror ? u"/.sonovert-mirror.sqlite"_s : u"/.sonovert-root"_s)));

    // An empty folder in the output's place, as a mount point without its share.
    if (unmounted)
        QVERIFY(QDir(out).removeRecursively() && QDir().mkpath(out));
    // What a stopped job of the folder left.
    QVERIFY(QDir().mkpath(QDir::cleanPath(listed[1])));
    const QString left = QDir::cleanPath(listed[1]) + u"/.sonovert-y2.part"_s;
    QVERIFY(QFile(left).open(QIODevice::WriteOnly));
    QString err;
    QCOMPARE(encode(mode + QStringList {u"--jobs=1"_s, u"--no-subfolders"_s, listed[0], u"-o"_s, listed[1]}, nullptr, &err),
             unmounted ? 1 : 0);
    QCOMPARE(QFile::exists(left), unmounted);
    QCOMPARE(QFile::exists(QDir::cleanPath(out + job) + u"/1.mp3"_s), !unmounted);
    if (unmounted)
        QVERIFY2(err.contains(mirror ? "holds no mirror record"_L1 : "lacks .sonovert-root"_L1), qPrintable(err));
    if (unmounted || !mirror)
        return;
    // The run here takes the job's two MP3s rather than converting them again.
    QCOMPARE(encode(mode + QStringList {lib, u"-o"_s, out, u"--dry-run"_s}, &printed), 0);
    QVERIFY2(printed.count(u" (made by another machine)"_s) == 2, qPrintable(printed));
}

QTEST_GUILESS_MAIN(TstCheck)
#include "tst_check.moc"
