// The MP3s' names on the disks they go to: names fitted to what a disk holds, twins numbered,
// the disk asked what it holds; and an awkward library run for real, its listing, its run and
// its mirror's dry run naming the same MP3s.
#include "batchtest.h"
#include "wavegen.h"
#include "wavetags.h"

#include "cli/diskprobe.h"
#include "cli/outputnaming.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {

// Relative paths, one a line: for QCOMPARE's messages.
QString lines(QStringList paths)
{
    paths.sort();
    return paths.join(QLatin1Char('\n'));
}

} // namespace

class TstNames : public QObject
{
    Q_OBJECT

private slots:
    void fitName_data();
    void fitName();
    void twins_data();
    void twins();
    void probe_data();
    void probe();
    void awkwardLibrary_data();
    void awkwardLibrary();
    void longTitle();
    void listedJob();

private:
    QTemporaryDir m_dir;
};

void TstNames::fitName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("file");
    QTest::addColumn<QString>("expected");
    const int native = int(NamesMode::Native), portable = int(NamesMode::Portable), ascii = int(NamesMode::Ascii);
    QTest::newRow("native keeps a colon") << "a:b?.mp3" << native << true << "a:b?.mp3";
    QTest::newRow("native keeps a control") << "a\tb.mp3" << native << true << "a\tb.mp3";
    QTest::newRow("portable, a control") << "a\tb\x7f.mp3" << portable << true << "a_b_.mp3";
    QTest::newRow("portable, each reserved") << "1\\2:3*4?5\"6<7>8|9.mp3" << portable << true << "1_2_3_4_5_6_7_8_9.mp3";
    QTest::newRow("portable, end dot") << "Reissue?." << portable << false << "Reissue_";
    QTest::newRow("portable, end dots and spaces") << "Live . . " << portable << false << "Live";
    QTest::newRow("portable, only dots") << "..." << portable << false << "_";
    QTest::newRow("portable, CON") << "CON.mp3" << portable << true << "CON_.mp3";
    QTest::newRow("portable, CONSOLE is none") << "CONSOLE.mp3" << portable << true << "CONSOLE.mp3";
    QTest::newRow("portable, nul folder") << "nul" << portable << false << "nul_";
    QTest::newRow("portable, COM1") << "com1.live.mp3" << portable << true << "com1_.live.mp3";
    QTest::newRow("ascii, accents") << "Beyonc\u00e9 Stra\u00dfe.mp3" << ascii << true << "Beyonce Strasse.mp3";
    QTest::newRow("ascii, Greek and Cyrillic") << "\u03a9 \u041c\u043e\u0441\u043a\u0432\u0430" << ascii << false
                                                << "O Moskva";
    QTest::newRow("ascii, no letter left") << "\u2665\U0001F3B5.mp3" << ascii << true << "__.mp3";
    QTest::newRow("300 bytes, extension kept") << QString(300, u'a') + ".mp3" << native << true
                                               << QString(246, u'a') + ".mp3";
    QTest::newRow("a character of four bytes kept whole")
        << QString(2, u'a') + QString("\U0001F3B5").repeated(100) + ".mp3" << portable << true
        << QString(2, u'a') + QString("\U0001F3B5").repeated(61) + ".mp3";
    QTest::newRow("a folder leaves room for (NN)") << QString(300, u'x') << native << false << QString(250, u'x');
    QTest::newRow("cut, then the end space left out") << QString(249, u'a') + " bcd" << portable << false
                                                     << QString(249, u'a');
}

void TstNames::fitName()
{
    QFETCH(QString, name);
    QFETCH(int, mode);
    QFETCH(bool, file);
    QFETCH(QString, expected);
    const QString fitted = ::fitName(name, NamesMode(mode), file);
    QCOMPARE(fitted, expected);
    QVERIFY(fitted.toUtf8().size() <= 250);
}

// Outputs asked for one after another below one folder (">" in a row: an exact repeat taken).
void TstNames::twins_data()
{
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("caseless");
    QTest::addColumn<QStringList>("expected");
    const int native = int(NamesMode::Native), portable = int(NamesMode::Portable);
    QTest::newRow("case twins, caseless") << QStringList {"Band/Live.mp3", "Band/live.mp3", "BAND/c.mp3", "band/d.mp3"}
                                          << portable << true
                                          << QStringList {"Band/Live.mp3", "Band/live (2).mp3", "BAND (2)/c.mp3", "band (3)/d.mp3"};
    QTest::newRow("case twins, case told") << QStringList {"Band/Live.mp3", "Band/live.mp3", "BAND/c.mp3"} << native
                                           << false << QStringList {"Band/Live.mp3", "Band/live.mp3", "BAND/c.mp3"};
    QTest::newRow("same once fitted") << QStringList {"a:b.mp3", "a_b.mp3", "a?b.mp3"} << portable << false
                                      << QStringList {"a_b.mp3", "a_b (2).mp3", "a_b (3).mp3"};
    QTest::newRow("the same asked twice") << QStringList {"a.mp3", "a.mp3"} << portable << true
                                          << QStringList {"a.mp3", ">a.mp3"};
    QTest::newRow("folders the same once fitted")
        << QStringList {"Reissue?./x.mp3", "Reissue_/y.mp3", "Reissue?./z.mp3"} << portable << true
        << QStringList {"Reissue_/x.mp3", "Reissue_ (2)/y.mp3", "Reissue_/z.mp3"};
    QTest::newRow("twins deeper") << QStringList {"A/B/x.mp3", "a/b/y.mp3", "A/b/z.mp3", "A/B/w.mp3"} << native << true
                                  << QStringList {"A/B/x.mp3", "a (2)/b/y.mp3", "A/b (2)/z.mp3", "A/B/w.mp3"};
    QTest::newRow("a number already a name") << QStringList {"x.mp3", "x (2).mp3", "X.mp3"} << native << true
                                             << QStringList {"x.mp3", "x (2).mp3", "X (3).mp3"};
}

void TstNames::twins()
{
    QFETCH(QStringList, asked);
    QFETCH(int, mode);
    QFETCH(bool, caseless);
    QFETCH(QStringList, expected);
    const QString base = m_dir.filePath(QStringLiteral("twins"));
    OutputClaims claims(ExistingPolicy::Skip);
    FolderSpellings folders;
    QStringList made;
    for (const QString &below : asked) {
        const QString fitted = fittedOutput({base, below}, {NamesMode(mode), caseless}, folders);
        const OutputChoice choice = claims.claim(base + QStringLiteral("/in.wav"), fitted, base + '/' + below, caseless);
        const QString path = QDir(base).relativeFilePath(choice.path);
        made << (choice.kind == OutputChoice::Kind::Taken ? '>' + path : path);
    }
    QCOMPARE(made, expected);
}

void TstNames::probe_data()
{
    QTest::addColumn<bool>("readOnly"); // on a disk of its own (tmpfs) mounted read-only
    QTest::addColumn<QString>("below"); // the output folder, below the disk's top
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("caseless");
    const int native = int(NamesMode::Native), portable = int(NamesMode::Portable);
    // The test's folder is on a Linux file system: any name, letter case told.
    QTest::newRow("writable, not there yet") << false << "not/yet" << native << false;
    // Nothing can be made: the case by a name looked up, portable names assumed.
    QTest::newRow("read-only, below its top") << true << "Music/new" << portable << false;
    QTest::newRow("read-only, its top") << true << "new" << portable << false;
    QTest::newRow("read-only, a name without letters") << true << "2024/new" << portable << true;
}

void TstNames::probe()
{
    QFETCH(bool, readOnly);
    QFETCH(QString, below);
    QFETCH(int, mode);
    QFETCH(bool, caseless);
    const QString disk = m_dir.filePath(QStringLiteral("probe-") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(disk));
    const auto mount = [](const QStringList &args) { return QProcess::execute(QStringLiteral("mount"), args) == 0; };
    const auto unmount = qScopeGuard([&] {
        if (readOnly)
            QProcess::execute(QStringLiteral("umount"), {disk});
    });
    if (readOnly) {
        if (::geteuid() != 0)
            QSKIP("mounting a read-only disk needs root");
        if (!mount({"-t", "tmpfs", "-o", "size=1m", "tmpfs", disk}))
            QSKIP("no tmpfs can be mounted here");
        QVERIFY(QDir(disk).mkpath(QStringLiteral("Music")) && QDir(disk).mkpath(QStringLiteral("2024")));
        QVERIFY(mount({"-o", "remount,ro", disk}));
    }
    const DiskNames found = probeNames(disk + QLatin1Char('/') + below);
    QCOMPARE(int(found.mode), mode);
    QCOMPARE(found.caseless, caseless);
    // Nothing made, nothing left.
    QVERIFY(!QFileInfo::exists(disk + QLatin1Char('/') + below.section(QLatin1Char('/'), 0, 0)) || readOnly);
    QCOMPARE(QDir(disk).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).filter("sonovert"), QStringList());
}

void TstNames::awkwardLibrary_data()
{
    QTest::addColumn<QString>("names");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("asked of the disk") << QString() << QStringList {
        "BAND/c.mp3", "Band/Live.mp3", "Band/Reissue?./a:b.mp3", "Band/live.mp3", "Beyonc\u00e9/\u03a9.mp3", "CON.mp3",
        "Dots. /t.mp3", "Q?/disc/01 Who?.mp3", "Q?/disc/02 Why_ Not?.mp3"};
    QTest::newRow("portable") << "--names=portable" << QStringList {
        "BAND/c.mp3", "Band (2)/Live.mp3", "Band (2)/Reissue_/a_b.mp3", "Band (2)/live (2).mp3",
        "Beyonc\u00e9/\u03a9.mp3", "CON_.mp3", "Dots/t.mp3", "Q_/disc/01 Who_.mp3", "Q_/disc/02 Why_ Not_.mp3"};
    QTest::newRow("ascii") << "--names=ascii" << QStringList {
        "BAND/c.mp3", "Band (2)/Live.mp3", "Band (2)/Reissue_/a_b.mp3", "Band (2)/live (2).mp3", "Beyonce/O.mp3",
        "CON_.mp3", "Dots/t.mp3", "Q_/disc/01 Who_.mp3", "Q_/disc/02 Why_ Not_.mp3"};
}

// Every source one MP3, named alike by --list, the run, the mirror's dry run and the mirror; a
// repeat run writes nothing.
void TstNames::awkwardLibrary()
{
    QFETCH(QString, names);
    QFETCH(QStringList, expected);
    const QString src = m_dir.filePath(QStringLiteral("awkward"));
    if (!QFileInfo::exists(src)) {
        for (const char *name : {"Band/Reissue?./a:b.wav", "BAND/c.wav", "Band/Live.wav", "Band/live.wav",
                                 "Beyonc\u00e9/\u03a9.wav", "CON.wav", "Dots. /t.wav", "Q?/disc.wav"}) {
            const QString path = src + '/' + QString::fromUtf8(name);
            QVERIFY(QDir().mkpath(QFileInfo(path).path()) && writeWave(path, {.frames = 44100}));
        }
        QVERIFY(writeBytes(src + QStringLiteral("/Q?/disc.cue"),
                           "TITLE \"Really?\"\nFILE \"disc.wav\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"Who?\"\n"
                           "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    TITLE \"Why/ Not?\"\n    INDEX 01 00:00:40\n"));
    }
    const QString out = m_dir.filePath(QStringLiteral("out") + names);
    QStringList options {src, QStringLiteral("-o"), out, QStringLiteral("--replaygain=off")};
    if (!names.isEmpty())
        options << names;

    const Run listed = encode(options + QStringList {"--list0"});
    QCOMPARE(listed.exitCode, 0);
    // The CD image listed once, with the folder its tracks go into.
    QStringList fromList = listed.out.split(QChar(0)), expectedListed = expected;
    fromList = fromList.filter(out).replaceInStrings(out + "/./", QString());
    expectedListed.replaceInStrings(QRegularExpression("/disc/.*"), "/disc").removeDuplicates();
    QCOMPARE(lines(fromList), lines(expectedListed));

    const Run run = encode(options);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QStringList made = filesBelow(out);
    made.removeAll(QStringLiteral(".sonovert-root"));
    QCOMPARE(lines(made), lines(expected));
    const Run again = encode(options);
    QVERIFY2(again.exitCode == 0 && again.err.contains(QLatin1String("converted 0, skipped 9, failed 0")),
             qPrintable(again.err));

    const QString mirror = m_dir.filePath(QStringLiteral("mirror") + names);
    const QStringList mirrorOptions = QStringList {QStringLiteral("--mirror")} + options.replaceInStrings(out, mirror);
    const Run dry = encode(mirrorOptions + QStringList {QStringLiteral("--dry-run")});
    QCOMPARE(dry.exitCode, 0);
    QStringList promised = dry.out.split(QLatin1Char('\n')).filter(QRegularExpression(QStringLiteral("^convert ")));
    promised.replaceInStrings(QRegularExpression(QStringLiteral("^convert ")), QString());
    QCOMPARE(lines(promised), lines(expected));
    QCOMPARE(encode(mirrorOptions).exitCode, 0);
    QStringList mirrored = filesBelow(mirror).filter(QRegularExpression(QStringLiteral("\\.mp3$")));
    QCOMPARE(lines(mirrored), lines(expected));
    QVERIFY(encode(mirrorOptions + QStringList {QStringLiteral("--dry-run")})
                .out.startsWith(QLatin1String("0 to convert, 0 to encode again, 0 to retag, 0 to move, 0 to trash")));
    // The mirror of the row before, its names asked of the disk, moved to these names; its case
    // twins, there on this disk, keep theirs.
    const QString earlier = m_dir.filePath(QStringLiteral("mirror"));
    if (names == QLatin1String("--names=portable") && QFileInfo::exists(earlier)) {
        QVERIFY(encode({"--mirror", src, "-o", earlier, names, "--replaygain=off"}).err.contains("moved 5"));
        QCOMPARE(lines(filesBelow(earlier).filter(QRegularExpression(QStringLiteral("\\.mp3$")))),
                 lines({"BAND/c.mp3", "Band/Live.mp3", "Band/Reissue_/a_b.mp3", "Band/live.mp3", "Beyonc\u00e9/\u03a9.mp3",
                        "CON_.mp3", "Dots/t.mp3", "Q_/disc/01 Who_.mp3", "Q_/disc/02 Why_ Not_.mp3"}));
    }
}

// A 300-character title given to --name: cut to 250 bytes with its extension, on a disk that
// holds 255; the repeat run finds it. A folder that cannot be made says why.
void TstNames::longTitle()
{
    const QString src = m_dir.filePath(QStringLiteral("long"));
    const QString wave = src + QStringLiteral("/a.wav");
    QVERIFY(QDir().mkpath(src) && writeWave(wave, {.frames = 44100}));
    QVERIFY(appendChunks(wave, {infoChunk({{"INAM", QByteArray(300, 't')}})}));
    const QString out = m_dir.filePath(QStringLiteral("long-out"));
    const QStringList options {src, QStringLiteral("-o"), out, QStringLiteral("--name={artist}/{title}")};
    const Run run = encode(options);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(filesBelow(out), QStringList {QStringLiteral("Unknown Artist/") + QString(246, u't') + ".mp3"});
    QVERIFY(encode(options).err.contains(QLatin1String("converted 0, skipped 1")));
    // Folders past the longest path the system takes: its reason, not the folder's name alone.
    const Run deep = encode({src, "-o", out, "--name=" + QStringList(20, "{title}").join('/')});
    QVERIFY2(deep.exitCode == 1 && deep.err.contains(QRegularExpression("Cannot make the folder /.*: File name too long\\.")),
             qPrintable(deep.err));
}

// A job of a listing names its MP3s as the listing did, by the names the listing left it,
// without --names and without asking the disk.
void TstNames::listedJob()
{
    const QString src = m_dir.filePath(QStringLiteral("job-src"));
    for (const char *name : {"Beyonc\u00e9/\u03a9.wav", "Beyonc\u00e9/Why?.wav"}) {
        const QString path = src + '/' + QString::fromUtf8(name);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()) && writeWave(path, {.frames = 44100}));
    }
    const QString out = m_dir.filePath(QStringLiteral("job-out"));
    const Run listed = encode({src, QStringLiteral("-o"), out, QStringLiteral("--names=ascii"), QStringLiteral("--list")});
    QCOMPARE(listed.exitCode, 0);
    const QStringList job = listed.out.trimmed().split(QLatin1Char('\t'));
    QCOMPARE(job, (QStringList {src + QStringLiteral("/Beyonc\u00e9"), out + QStringLiteral("/./Beyonce")}));
    const Run ran = encode({QStringLiteral("--no-subfolders"), job[0], QStringLiteral("-o"), job[1]});
    QVERIFY2(ran.exitCode == 0, qPrintable(ran.err));
    QCOMPARE(filesBelow(out), (QStringList {".sonovert-root", "Beyonce/O.mp3", "Beyonce/Why_.mp3"}));
    // A mirror's job too, beside what it makes.
    const QString mirror = m_dir.filePath(QStringLiteral("job-mirror"));
    const QStringList mirrorJob =
        encode({"--mirror", src, "-o", mirror, "--names=ascii", "--list"}).out.trimmed().split(QLatin1Char('\t'));
    QCOMPARE(mirrorJob.size(), 2);
    QCOMPARE(encode({"--mirror", mirrorJob[0], "-o", mirrorJob[1]}).exitCode, 0);
    QVERIFY(filesBelow(mirrorJob[1]).contains(QStringLiteral("O.mp3")));
}

QTEST_GUILESS_MAIN(TstNames)
#include "tst_names.moc"
