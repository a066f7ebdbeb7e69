// sonovert-encode --check, and the listed run's jobs that refuse to write where the listing's
// output folder is not (its mark missing); an MP3's length read from its info frame in-process.
#include "mp3length.h"

#include "tempfiles.h"
#include "wavegen.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

class TstCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void length_data();
    void length();
    void check_data();
    void check();
    void jobs_data();
    void jobs();

private:
    // Runs sonovert-encode; its standard output.
    QString encode(const QStringList &args, int *status, QString *err = nullptr);
    // A library of two albums of two WAVEs each (44,100 frames a track but the last, 66,150).
    QString library(const QString &name);

    TestFolder m_dir;
};

void TstCheck::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

QString TstCheck::encode(const QStringList &args, int *status, QString *err)
{
    QProcess cli;
    cli.start(QStringLiteral(SONOVERT_ENCODE), args);
    cli.waitForFinished(60000);
    *status = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    if (err)
        *err = QString::fromUtf8(cli.readAllStandardError());
    return QString::fromUtf8(cli.readAllStandardOutput());
}

QString TstCheck::library(const QString &name)
{
    const QString lib = m_dir.freshDir(name);
    for (const QString &album : {QStringLiteral("A"), QStringLiteral("B")}) {
        QDir(lib).mkdir(album);
        for (int track = 1; track <= 2; ++track)
            writeWave(QStringLiteral("%1/%2/%3.wav").arg(lib, album).arg(track),
                      {.frames = album == QLatin1String("B") && track == 2 ? 66150 : 44100, .seed = quint32(track)});
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
    QTest::newRow("variable rate") << QStringList {QStringLiteral("-V"), QStringLiteral("2")} << 44100 << ""
                                   << qint64(66150) << true;
    QTest::newRow("8 kbit/s: resampled to 8 kHz") << QStringList {QStringLiteral("--Bitrate=8")} << 44100 << ""
                                                  << qint64(12000) << true;
    QTest::newRow("48 kHz, tagged") << QStringList {QStringLiteral("--tt"), QStringLiteral("Title")} << 48000 << ""
                                    << qint64(72000) << true;
    QTest::newRow("cut short by a byte") << QStringList() << 44100 << "cut" << qint64(66150) << false;
    QTest::newRow("a byte appended") << QStringList() << 44100 << "grown" << qint64(66150) << false;
    QTest::newRow("not an MP3") << QStringList() << 44100 << "wave" << qint64(-1) << false;
    QTest::newRow("no info frame") << QStringList {QStringLiteral("--WriteInfoTag=False")} << 44100 << ""
                                   << qint64(-1) << false;
}

void TstCheck::length()
{
    QFETCH(QStringList, settings);
    QFETCH(int, rate);
    QFETCH(QString, damage);
    QFETCH(qint64, samples);
    QFETCH(bool, whole);
    const QString dir = m_dir.freshDir(QString::fromLatin1(QTest::currentDataTag()));
    const QString wave = dir + QStringLiteral("/in.wav");
    QVERIFY(writeWave(wave, {.frames = qint64(rate) * 3 / 2, .rate = rate}));
    QString mp3 = dir + QStringLiteral("/out.mp3");
    int status = 0;
    encode(QStringList {wave, mp3} + settings, &status);
    QCOMPARE(status, 0);
    QFile file(mp3);
    if (damage == QLatin1String("cut"))
        QVERIFY(file.resize(file.size() - 1));
    if (damage == QLatin1String("grown"))
        QVERIFY(file.open(QIODevice::Append) && file.write("x", 1) == 1);
    file.close();
    if (damage == QLatin1String("wave"))
        mp3 = wave;

    const std::optional<Mp3Length> length = readMp3Length(mp3);
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
    QTest::addColumn<QString>("listed"); // the first line printed, up to its path
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
    const QString lib = library(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(" lib"));
    const QString out = m_dir.freshDir(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(" out"));
    const QStringList form = mirror ? QStringList {QStringLiteral("--mirror"), lib, QStringLiteral("-o"), out}
                                    : QStringList {lib, QStringLiteral("-o"), out};
    int ran = 0;
    encode(form, &ran);
    QCOMPARE(ran, 0);
    if (change == QLatin1String("delete"))
        QVERIFY(QFile::remove(out + QStringLiteral("/B/2.mp3")));
    if (change == QLatin1String("cut"))
        QVERIFY(QFile(out + QStringLiteral("/B/2.mp3")).resize(5000));
    if (change == QLatin1String("regrow"))
        QVERIFY(writeWave(lib + QStringLiteral("/B/2.wav"), {.frames = 88200, .seed = 2}));
    if (change == QLatin1String("add"))
        QVERIFY(writeWave(lib + QStringLiteral("/B/3.wav"), {.frames = 44100}));
    if (change == QLatin1String("part"))
        QVERIFY(QFile(out + QStringLiteral("/A/.sonovert-x1.part")).open(QIODevice::WriteOnly));

    int checked = 0;
    const QStringList lines = encode(form + QStringList {QStringLiteral("--check")}, &checked).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(checked, status);
    QCOMPARE(lines.size(), listed.isEmpty() ? 0 : 1);
    if (!listed.isEmpty())
        QVERIFY2(lines[0].startsWith(listed + out + QStringLiteral("/")), qPrintable(lines[0]));
}

void TstCheck::jobs_data()
{
    QTest::addColumn<bool>("mirror");
    QTest::addColumn<bool>("unmounted"); // the job sees the output folder without its mark
    QTest::newRow("batch job") << false << false;
    QTest::newRow("batch job, share not mounted") << false << true;
    QTest::newRow("mirror job") << true << false;
    QTest::newRow("mirror job, share not mounted") << true << true;
}

void TstCheck::jobs()
{
    QFETCH(bool, mirror);
    QFETCH(bool, unmounted);
    const QString lib = library(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(" lib"));
    const QString out = m_dir.freshDir(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(" out"));
    const QStringList mode = mirror ? QStringList {QStringLiteral("--mirror")} : QStringList();
    int status = 0;
    const QStringList listed = encode(mode + QStringList {lib, QStringLiteral("-o"), out, QStringLiteral("--list0")}, &status)
                                   .split(QChar(0), Qt::SkipEmptyParts);
    QCOMPARE(status, 0);
    QCOMPARE(listed.size(), 4);
    QCOMPARE(listed[0], lib + QStringLiteral("/A"));
    QCOMPARE(listed[1], mirror ? out + QStringLiteral("/.sonovert-incoming/0/A") : out + QStringLiteral("/./A"));
    QVERIFY(QFile::exists(out + (mirror ? QStringLiteral("/.sonovert-mirror.sqlite") : QStringLiteral("/.sonovert-root"))));

    // An empty folder in the output's place, as a mount point without its share.
    if (unmounted)
        QVERIFY(QDir(out).removeRecursively() && QDir().mkpath(out));
    // What a stopped job of the folder left.
    QVERIFY(QDir().mkpath(QDir::cleanPath(listed[1])));
    const QString left = QDir::cleanPath(listed[1]) + QStringLiteral("/.sonovert-y2.part");
    QVERIFY(QFile(left).open(QIODevice::WriteOnly));
    QString err;
    encode(mode + QStringList {QStringLiteral("--jobs=1"), QStringLiteral("--no-subfolders"), listed[0],
                               QStringLiteral("-o"), listed[1]},
           &status, &err);
    QCOMPARE(status, unmounted ? 1 : 0);
    QCOMPARE(QFile::exists(left), unmounted);
    const QString made = mirror ? out + QStringLiteral("/.sonovert-incoming/0/A/1.mp3") : out + QStringLiteral("/A/1.mp3");
    QCOMPARE(QFile::exists(made), !unmounted);
    if (unmounted)
        QVERIFY2(err.contains(mirror ? QStringLiteral("holds no mirror record") : QStringLiteral("lacks .sonovert-root")),
                 qPrintable(err));
}

QTEST_GUILESS_MAIN(TstCheck)
#include "tst_check.moc"
