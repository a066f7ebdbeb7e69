// sonovert-encode on many files: a tree made here converted, skipped, renamed, interrupted and
// resumed; the outputs' names; a full disk.
#include "encoder/batch/outputclaims.h"
#include "batchtest.h"
#include "childencode.h"
#include "mp3check.h"
#include "wavegen.h"
#include "wavetags.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstring>

#include <poll.h>
#include <pty.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

class TstBatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void tree_data();
    void tree();
    void interrupted_data();
    void interrupted();
    void terminal();
    void usage_data();
    void usage();
    void claims_data();
    void claims();
    void gnuParallel();
    void diskFaults_data();
    void diskFaults();

private:
    // The command with a pseudo-terminal as its standard error (and input and output); err holds
    // all it wrote there.
    static Run encodeOnTerminal(const QStringList &args);
    // Frames of each WAVE the tree holds that converts, by its path below the tree.
    QMap<QString, qint64> m_frames;
    QTemporaryDir m_dir;
    QString m_tree;
};


Run TstBatch::encodeOnTerminal(const QStringList &args)
{
    std::vector<QByteArray> strings {QByteArrayLiteral(SONOVERT_ENCODE)};
    for (const QString &arg : args)
        strings.push_back(arg.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &string : strings)
        argv.push_back(string.data());
    argv.push_back(nullptr);
    int terminal = -1;
    const pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    Run run;
    if (child < 0)
        return run;
    QByteArray said;
    pollfd wait {terminal, POLLIN, 0};
    char buffer[4096];
    // Until the child's side closes (EIO), or two minutes.
    while (::poll(&wait, 1, 120000) > 0) {
        const ssize_t got = ::read(terminal, buffer, sizeof buffer);
        if (got <= 0)
            break;
        said.append(buffer, got);
    }
    ::kill(child, SIGKILL); // where it hangs; a child already ended is not signalled
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(terminal);
    if (WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    // The terminal turns each newline into CR LF.
    run.err = QString::fromUtf8(said).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return run;
}


void TstBatch::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_tree = m_dir.filePath(QStringLiteral("tree"));
    // Nested folders, a name with spaces and letters beyond ASCII, x.wav beside x.WAV, a file
    // only a few milliseconds long, one without audio and one that is no WAVE.
    const struct
    {
        const char *path;
        qint64 frames;
        int rate;
        int channels;
        Container container = Container::Wave;
    } waves[] = {
        {"Album One/01 Intro.wav", 44100, 44100, 2},
        {"Album One/02 Ça va, déjà vu.WAVE", 30000, 48000, 1},
        {"Album One/CD 2/01 Été.wav", 50000, 22050, 2},
        {"Album One/CD 2/02 x.wav", 40000, 44100, 2},
        {"Singles/short.wav", 100, 44100, 2},
        {"Singles/x.wav", 20000, 44100, 1},
        {"Singles/x.WAV", 21000, 44100, 1},
        {"Singles/Deep/Deeper/last one.wav", 60000, 32000, 2},
        {"Mixed/a.flac", 30000, 44100, 2, Container::Flac},
        {"Mixed/b.AIFF", 20000, 48000, 1, Container::Aiff},
    };
    for (const auto &wave : waves) {
        const QString path = QDir(m_tree).filePath(QString::fromUtf8(wave.path));
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        WaveOptions shape;
        shape.frames = wave.frames;
        shape.rate = wave.rate;
        shape.channels = wave.channels;
        shape.container = wave.container;
        QVERIFY(writeWave(path, shape));
        m_frames.insert(QString::fromUtf8(wave.path), wave.frames);
    }
    WaveOptions empty;
    empty.frames = 0;
    QVERIFY(writeWave(QDir(m_tree).filePath(QStringLiteral("Singles/empty.wav")), empty));
    QFile bad(QDir(m_tree).filePath(QStringLiteral("Singles/bad.wav")));
    QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write("RIFF....WAVEjunk") > 0);
    bad.close();
    QVERIFY(writeToneWave(m_dir.filePath(QStringLiteral("loud.wav")), 2, 44100, 2, 1.0));
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("odd"))));
    QVERIFY(writeToneWave(m_dir.filePath(QStringLiteral("odd/a\tb\nc.wav")), 1, 44100, 2, 0.5));
    // Named from their tags: alike but for the track's total, none, names that cannot be.
    const QList<QList<QPair<QByteArray, QByteArray>>> tags {
        {{"INAM", "Song"}, {"IART", "Band"}, {"IPRD", "A/B"}, {"ITRK", "3/12"}},
        {{"INAM", "Song"}, {"IART", "Band"}, {"IPRD", "A/B"}, {"ITRK", "3"}}, {}, {{"INAM", "a\tb"}, {"IART", ".."}}};
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("tagged"))));
    for (qsizetype i = 0; i < tags.size(); ++i) {
        const QString path = m_dir.filePath(QStringLiteral("tagged/%1.wav").arg(QLatin1Char(char('a' + i))));
        QVERIFY(writeToneWave(path, 1, 44100, 2, 0.5) && (tags[i].isEmpty() || appendChunks(path, {infoChunk(tags[i])})));
    }
    QFile notWave(QDir(m_tree).filePath(QStringLiteral("Singles/notes.txt")));
    QVERIFY(notWave.open(QIODevice::WriteOnly) && notWave.write("not audio") > 0);
    // Beside the FLAC and the AIFF, a lossy file to be skipped and an MP3 left out.
    for (const char *name : {"c.ogg", "d.mp3"})
        QVERIFY(notWave.copy(m_tree + QStringLiteral("/Mixed/") + QLatin1String(name)));
}

void TstBatch::tree_data()
{
    // OUT stands for a fresh output folder. mp3s: the MP3s under OUT after the run, each
    // "its MP3 <- its WAVE below the tree"; runs: how often the same command runs.
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("mp3s");
    QTest::addColumn<int>("runs");
    QTest::addColumn<QString>("lastSummary");

    const QStringList common{
        "Album One/01 Intro.mp3 <- Album One/01 Intro.wav",
        "Album One/02 Ça va, déjà vu.mp3 <- Album One/02 Ça va, déjà vu.WAVE",
        "Album One/CD 2/01 Été.mp3 <- Album One/CD 2/01 Été.wav",
        "Album One/CD 2/02 x.mp3 <- Album One/CD 2/02 x.wav",
        "Singles/Deep/Deeper/last one.mp3 <- Singles/Deep/Deeper/last one.wav",
        "Singles/short.mp3 <- Singles/short.wav",
        "Mixed/a.mp3 <- Mixed/a.flac",
        "Mixed/b.mp3 <- Mixed/b.AIFF",
    };
    // x.WAV sorts before x.wav, so it takes x.mp3.
    QTest::newRow("skip: the later of x.WAV and x.wav is refused")
        << QStringList{"TREE", "-o", "OUT"} << (QStringList(common) << "Singles/x.mp3 <- Singles/x.WAV") << 1
        << QStringLiteral("converted 9, skipped 2, failed 2");
    QTest::newRow("rename keeps both")
        << QStringList{"TREE", "--existing=rename", "-o", "OUT", "--jobs=3"}
        << (QStringList(common) << "Singles/x.mp3 <- Singles/x.WAV" << "Singles/x (2).mp3 <- Singles/x.wav") << 1
        << QStringLiteral("converted 10, skipped 1, failed 2");
    QTest::newRow("a second run skips all")
        << QStringList{"TREE", "-o", "OUT"} << (QStringList(common) << "Singles/x.mp3 <- Singles/x.WAV") << 2
        << QStringLiteral("converted 0, skipped 11, failed 2");
    QTest::newRow("a second run with overwrite converts all again")
        << QStringList{"TREE", "-o", "OUT", "--existing=overwrite", "--jobs=1"}
        << (QStringList(common) << "Singles/x.mp3 <- Singles/x.WAV") << 2
        << QStringLiteral("converted 9, skipped 2, failed 2");
    QTest::newRow("named from the tags, folders made")
        << QStringList{"TREE/Singles/Deep", "-o", "OUT", "--name={album}/{title}"}
        << QStringList{"Unknown Album/Unknown Title.mp3 <- Singles/Deep/Deeper/last one.wav"} << 1
        << QStringLiteral("converted 1, skipped 0, failed 0");
    QTest::newRow("files given by themselves, one twice")
        << QStringList{"TREE/Album One/01 Intro.wav", "TREE/Singles/Deep/Deeper/last one.wav",
                       "TREE/Album One/01 Intro.wav", "-o", "OUT"}
        << QStringList{"01 Intro.mp3 <- Album One/01 Intro.wav", "last one.mp3 <- Singles/Deep/Deeper/last one.wav"}
        << 1 << QStringLiteral("converted 2, skipped 1, failed 0");
}

void TstBatch::tree()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, mp3s);
    QFETCH(int, runs);
    QFETCH(QString, lastSummary);

    const QString out = m_dir.filePath(QStringLiteral("out-%1").arg(QTest::currentDataTag()).replace(' ', '_'));
    QDir(out).removeRecursively();
    args.replaceInStrings(QStringLiteral("TREE"), m_tree);
    args.replaceInStrings(QRegularExpression(QStringLiteral("^OUT$")), out);
    Run run;
    for (int i = 0; i < runs; ++i)
        run = encode(args);
    const bool failures = !lastSummary.endsWith(QLatin1String("failed 0"));
    QVERIFY2(run.exitCode == (failures ? 1 : 0), qPrintable(run.err));
    QVERIFY2(run.err.contains(lastSummary), qPrintable(run.err));
    QCOMPARE(run.out, QString());
    if (args.first() == m_tree)
        QVERIFY2(run.err.contains(QStringLiteral("skipped %1/Mixed/c.ogg: a lossy source").arg(m_tree)),
                 qPrintable(run.err));
    if (failures) {
        QVERIFY2(run.err.contains(QStringLiteral("failed: %1/Singles/bad.wav: ").arg(m_tree)), qPrintable(run.err));
        QVERIFY2(run.err.contains(QStringLiteral("failed: %1/Singles/empty.wav: ").arg(m_tree)), qPrintable(run.err));
    }

    QStringList expected;
    for (const QString &pair : std::as_const(mp3s))
        expected << pair.section(QStringLiteral(" <- "), 0, 0);
    expected.sort();
    QCOMPARE(filesBelow(out), expected); // no temporary file either
    for (const QString &pair : std::as_const(mp3s)) {
        const Mp3Info mp3 = decodeMp3(QDir(out).filePath(pair.section(QStringLiteral(" <- "), 0, 0)));
        QVERIFY2(mp3.ok, qPrintable(pair + mp3.error));
        QCOMPARE(mp3.frames, m_frames.value(pair.section(QStringLiteral(" <- "), 1, 1)));
    }
}

void TstBatch::interrupted_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("SIGINT") << int(SIGINT) << 130;
    QTest::newRow("SIGTERM") << int(SIGTERM) << 143;
}

void TstBatch::interrupted()
{
    QFETCH(int, signal);
    QFETCH(int, exitCode);
    // Files long enough to be stopped in the middle.
    const QString in = m_dir.filePath(QStringLiteral("long-%1").arg(signal));
    const QString out = in + QStringLiteral("-out");
    QVERIFY(QDir().mkpath(in));
    for (int i = 0; i < 4; ++i)
        QVERIFY(writeMusicWave(QStringLiteral("%1/%2.wav").arg(in).arg(i), 12));
    QElapsedTimer clock;
    clock.start();
    const Run stopped = encode({in, QStringLiteral("-o"), out, QStringLiteral("--jobs=1")}, 300, signal);
    QVERIFY2(stopped.exitCode == exitCode, qPrintable(stopped.err));
    QVERIFY(clock.elapsed() < 5000);
    const QStringList left = filesBelow(out);
    QVERIFY2(left.size() < 4, qPrintable(left.join(' ')));
    for (const QString &file : left) {
        QVERIFY(file.endsWith(QLatin1String(".mp3")));
        QCOMPARE(decodeMp3(QDir(out).filePath(file)).frames, 12 * 44100);
    }
    const Run resumed = encode({in, QStringLiteral("-o"), out});
    QVERIFY2(resumed.exitCode == 0, qPrintable(resumed.err));
    QVERIFY2(resumed.err.contains(QStringLiteral("converted %1, skipped %2, failed 0").arg(4 - left.size()).arg(left.size())),
             qPrintable(resumed.err));
    QCOMPARE(filesBelow(out), (QStringList{"0.mp3", "1.mp3", "2.mp3", "3.mp3"}));
}

// On a terminal the progress line is redrawn by a thread of its own while files end, warn and
// are skipped on others: it shows, and every line a user reads in the end is whole.
void TstBatch::terminal()
{
    const QString in = m_dir.filePath(QStringLiteral("terminal"));
    const QString out = in + QStringLiteral("-out");
    QVERIFY(QDir().mkpath(in));
    for (int i = 0; i < 3; ++i)
        QVERIFY(writeMusicWave(QStringLiteral("%1/%2.wav").arg(in).arg(i), 20));
    // Both x.WAV and x.wav want x.mp3: the later is skipped; loud.wav is warned of. One job at
    // the slower quality, so the line is drawn a few times even on a fast processor.
    const Run run = encodeOnTerminal({in, m_tree + QStringLiteral("/Singles/x.WAV"), m_tree + QStringLiteral("/Singles/x.wav"),
                                      m_dir.filePath(QStringLiteral("loud.wav")), QStringLiteral("-o"), out,
                                      QStringLiteral("--jobs=1"), QStringLiteral("--FixQuality=True")});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(QRegularExpression(QStringLiteral("\r\\d+/\\d+\\+? files  ")).match(run.err).hasMatch(), qPrintable(run.err));
    QStringList shown; // each line as it stays on the screen: what follows its last carriage return
    for (const QString &line : run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        shown << line.section(QLatin1Char('\r'), -1).remove(QStringLiteral("\033[K"));
    QVERIFY2(shown.size() == 4, qPrintable(shown.join('\n')));
    QVERIFY(shown[0].startsWith(QStringLiteral("sonovert-encode: ")));
    QVERIFY(shown[1].startsWith(QStringLiteral("sonovert-encode: ")));
    QVERIFY(shown.filter(QStringLiteral(": skipped %1/Singles/x.wav: ").arg(m_tree)).size() == 1);
    QVERIFY(shown.filter(QStringLiteral("loud.wav: the audio reaches full scale")).size() == 1);
    QCOMPARE(shown[2], QStringLiteral("converted 5, skipped 1, failed 0; 1 of those converted with warnings"));
    QVERIFY(shown[3].startsWith(QStringLiteral("audio ")));
    QCOMPARE(filesBelow(out), (QStringList{"0.mp3", "1.mp3", "2.mp3", "loud.mp3", "x.mp3"}));
}

void TstBatch::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // stdout holds this
    QTest::addColumn<QString>("err"); // stderr holds this

    QTest::newRow("no input") << QStringList{"--jobs=2"} << 2 << QString() << QStringLiteral("no input");
    QTest::newRow("unknown option") << QStringList{"TREE", "--loudest"} << 2 << QString() << QStringLiteral("Usage:");
    QTest::newRow("bad policy") << QStringList{"TREE", "--existing=ask"} << 2 << QString()
                                << QStringLiteral("skip, overwrite or rename");
    QTest::newRow("threads in a batch") << QStringList{"TREE", "--threads=2"} << 2 << QString()
                                        << QStringLiteral("--jobs");
    QTest::newRow("output folder under a file") << QStringList{"TREE", "-o", "TREE/Singles/bad.wav/out"} << 2
                                                << QString() << QStringLiteral("cannot make the output folder");
    QTest::newRow("list") << QStringList{"TREE/Singles", "--list", "-o", "ROOT/o", "--album=off"} << 0
                          << QStringLiteral("TREE/Singles/Deep/Deeper/last one.wav\tROOT/o/./Deep/Deeper/last one.mp3\n"
                                            "TREE/Singles/bad.wav\tROOT/o/./bad.mp3\n"
                                            "TREE/Singles/empty.wav\tROOT/o/./empty.mp3\n"
                                            "TREE/Singles/short.wav\tROOT/o/./short.mp3\n"
                                            "TREE/Singles/x.WAV\tROOT/o/./x.mp3\n")
                          << QString();
    QTest::newRow("list: albums a folder, each once") << QStringList{"TREE/Singles", "--list", "-o", "ROOT/o"} << 0
                          << QStringLiteral("TREE/Singles/Deep/Deeper\tROOT/o/./Deep/Deeper\nTREE/Singles\tROOT/o/.\n") << QString();
    QTest::newRow("list: albums by tags cannot be") << QStringList{"TREE", "--list", "--album=tags"} << 2 << QString()
                                                    << QStringLiteral("--album=tags cannot be listed");
    QTest::newRow("list: clean, absolute paths") << QStringList{"TREE/../odd/../tree/Singles/x.WAV", "--list", "--album=off"} << 0
                          << QStringLiteral("TREE/Singles/x.WAV\tTREE/Singles/x.mp3\n") << QString();
    QTest::newRow("list0: any name") << QStringList{"TREE/../odd", "--list0", "-o", "ROOT/o", "--album=off"} << 0
                                     << QStringLiteral("TREE/../odd/a\tb\nc.wav").replace("TREE/..", "ROOT")
                                            + QChar(0) + QStringLiteral("ROOT/o/./a\tb\nc.mp3") + QChar(0)
                                     << QString();
    QTest::newRow("list: a tab or a newline cannot be a line") << QStringList{"TREE/../odd", "--list", "--album=off"} << 1
                                                               << QString() << QStringLiteral("--list0 lists it");
    QTest::newRow("name: padded, replaced, unknown, renamed")
        << QStringList{"TREE/../tagged", "--list", "-o", "ROOT/o", "--existing=rename", "--album=off",
                       "--name={albumartist}/{album}/{track:02} {title}"}
        << 0
        << QStringLiteral("ROOT/tagged/a.wav\tROOT/o/./Band/A_B/03 Song.mp3\nROOT/tagged/b.wav\tROOT/o/./Band/A_B/03 Song (2).mp3\n"
                          "ROOT/tagged/c.wav\tROOT/o/./Unknown Artist/Unknown Album/Unknown Track Unknown Title.mp3\n"
                          "ROOT/tagged/d.wav\tROOT/o/./__/Unknown Album/Unknown Track a_b.mp3\n")
        << QString();
    QTest::newRow("name: by album, the folder to the output folder")
        << QStringList{"TREE/../tagged", "--list", "-o", "ROOT/o", "--name={album}"} << 0
        << QStringLiteral("ROOT/tagged\tROOT/o/.\n") << QString();
    QTest::newRow("name: the typed tags first, beside the WAVE")
        << QStringList{"TREE/../tagged/a.wav", "--list", "--album=off", "--TagArtist=Typed", "--name={artist} {disc:02}"} << 0
        << QStringLiteral("ROOT/tagged/a.wav\tROOT/tagged/Typed Unknown Disc.mp3\n") << QString();
    QTest::newRow("name: an unknown key") << QStringList{"TREE/Singles", "-o", "TREE/../made", "--name={albums}"} << 2
                                          << QString() << QStringLiteral("{albums} is no field");
    QTest::newRow("missing input: nothing made") << QStringList{"TREE/Singles", "TREE/nowhere.wav", "-o", "TREE/../made"}
                                                 << 2 << QString() << QStringLiteral("no input ");
    QTest::newRow("help") << QStringList{"--help"} << 0 << QStringLiteral("--existing=skip|overwrite|rename")
                          << QString();
    QTest::newRow("full scale: the file's MP3 will clip")
        << QStringList{"TREE/../loud.wav", "-o", "TREE/../loud"} << 0 << QString()
        << QStringLiteral("warning: TREE/../loud.wav: the audio reaches full scale, so the MP3 will clip");
    QTest::newRow("full scale: counted in the summary")
        << QStringList{"TREE/../loud.wav", "-o", "TREE/../loud", "--existing=overwrite"} << 0 << QString()
        << QStringLiteral("converted 1, skipped 0, failed 0; 1 of those converted with warnings\n");
}

void TstBatch::usage()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    args.replaceInStrings(QStringLiteral("TREE"), m_tree).replaceInStrings(QStringLiteral("ROOT"), m_dir.path());
    out.replace(QStringLiteral("ROOT"), m_dir.path()).replace(QStringLiteral("TREE"), m_tree);
    err.replace(QStringLiteral("TREE"), m_tree);
    const Run run = encode(args);
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.err));
    if (args.contains(QLatin1String("--list")) || args.contains(QLatin1String("--list0")))
        QCOMPARE(run.out, out);
    if (exitCode == 2 && args.contains(QLatin1String("-o")))
        QVERIFY(!QFileInfo::exists(args.at(args.indexOf(QLatin1String("-o")) + 1)));
    else
        QVERIFY2(run.out.contains(out), qPrintable(run.out));
    QVERIFY2(run.err.contains(err), qPrintable(run.err));
    if (args.contains(QLatin1String("--help"))) {
        for (const char *option : {"-o, --output-dir=DIR", "--jobs=N", "--list", "--threads=N", "Exit status", "130",
                                   "NAME (3).mp3 ... [skip]", "ReplayGain [on]", "tags not given [keep]"})
            QVERIFY2(run.out.contains(QLatin1String(option)), option);
    }
}


void TstBatch::claims_data()
{
    // Inputs claimed in turn, each "input>wanted"; files present: made before; expected: each
    // claim's result as "kind:path" (C convert, E exists, T taken, I its own input).
    QTest::addColumn<int>("policy");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QStringList>("expected");
    const auto skip = int(ExistingPolicy::Skip);
    const auto overwrite = int(ExistingPolicy::Overwrite);
    const auto rename = int(ExistingPolicy::Rename);
    QTest::newRow("skip") << skip << QStringList{"a.mp3"} << QStringList{"a.wav>a.mp3", "b.wav>b.mp3", "c.wav>b.mp3"}
                          << QStringList{"E:a.mp3", "C:b.mp3", "T:b.mp3"};
    QTest::newRow("overwrite replaces files, never an earlier input's")
        << overwrite << QStringList{"a.mp3"} << QStringList{"a.wav>a.mp3", "A.wav>a.mp3"}
        << QStringList{"C:a.mp3", "T:a.mp3"};
    QTest::newRow("rename") << rename << QStringList{"a.mp3", "a (2).mp3"}
                            << QStringList{"a.wav>a.mp3", "A.wav>a.mp3", "b.wav>b.mp3", "B.wav>b.mp3"}
                            << QStringList{"C:a (3).mp3", "C:a (4).mp3", "C:b.mp3", "C:b (2).mp3"};
    QTest::newRow("its own input") << overwrite << QStringList{"a.mp3"} << QStringList{"a.mp3>a.mp3"}
                                   << QStringList{"I:a.mp3"};
    QTest::newRow("its own input, renamed") << rename << QStringList{"a.mp3"} << QStringList{"a.mp3>a.mp3"}
                                            << QStringList{"C:a (2).mp3"};
    QTest::newRow("a dangling link is there") << skip << QStringList{"@a.mp3"} << QStringList{"a.wav>a.mp3"}
                                              << QStringList{"E:a.mp3"};
}

void TstBatch::claims()
{
    QFETCH(int, policy);
    QFETCH(QStringList, present);
    QFETCH(QStringList, inputs);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString &name : std::as_const(present)) {
        if (name.startsWith(QLatin1Char('@'))) {
            QVERIFY(QFile::link(dir.filePath(QStringLiteral("nowhere")), dir.filePath(name.mid(1))));
            continue;
        }
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    OutputClaims claims(static_cast<ExistingPolicy>(policy));
    QStringList got;
    for (const QString &pair : std::as_const(inputs)) {
        const OutputChoice choice =
            claims.claim(dir.filePath(pair.section('>', 0, 0)), dir.filePath(pair.section('>', 1, 1)));
        got << QString(QLatin1Char("CETI"[int(choice.kind)])) + QLatin1Char(':') + QFileInfo(choice.path).fileName();
    }
    QCOMPARE(got, expected);
}

void TstBatch::gnuParallel()
{
    // The many-machines recipe on this one: --list's pairs, each converted by its own command.
    const QString parallel = QStandardPaths::findExecutable(QStringLiteral("parallel"));
    if (parallel.isEmpty())
        QSKIP("GNU parallel is not installed (scripts/install-deps test)");
    const QString together = m_dir.filePath(QStringLiteral("together"));
    const QString apart = m_dir.filePath(QStringLiteral("apart"));
    const QString albums = m_tree + QStringLiteral("/Album One");
    QCOMPARE(encode({albums, QStringLiteral("-o"), together}).exitCode, 0);
    // Each album (folder) whole on one command, so its figures are measured where it is converted.
    const Run listed = encode({albums, QStringLiteral("--list"), QStringLiteral("-o"), apart});
    QCOMPARE(listed.out.count(QLatin1Char('\n')), 2);
    QProcess split;
    split.start(parallel, {QStringLiteral("--colsep"), QStringLiteral("\t"), QStringLiteral(SONOVERT_ENCODE),
                           QStringLiteral("--jobs=1"), QStringLiteral("--no-subfolders"), QStringLiteral("{1}"),
                           QStringLiteral("-o"), QStringLiteral("{2}")});
    QVERIFY(split.waitForStarted());
    split.write(listed.out.toUtf8());
    split.closeWriteChannel();
    QVERIFY(split.waitForFinished(60000));
    QVERIFY2(split.exitCode() == 0, split.readAllStandardError().constData());
    // The listing marks the folder its jobs write into; the MP3s are the same.
    QCOMPARE(filesBelow(apart).filter(QRegularExpression(QStringLiteral("\\.mp3$"))), filesBelow(together));
    for (const QString &file : filesBelow(together)) {
        QFile a(QDir(together).filePath(file));
        QFile b(QDir(apart).filePath(file));
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QVERIFY2(a.readAll() == b.readAll(), qPrintable(file));
    }
}

// Every write of an MP3 fails as on a full disk: the file fails with its reason, no new file
// is started, and nothing is left behind.
void TstBatch::diskFaults_data()
{
    // fault: the option of this program that runs the command with it; said: in the summary.
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("said");
    QTest::newRow("a full disk: no new file starts") << "--full-disk" << "stopped starting new files: ";
    QTest::newRow("no room for a folder: no new file starts") << "--full-disk-folders" << "stopped starting new files: ";
    QTest::newRow("the flush to disk fails: each file fails") << "--failing-flush" << "Input/output error";
}

void TstBatch::diskFaults()
{
    QFETCH(QString, fault);
    QFETCH(QString, said);
    const QString out = m_dir.filePath(QStringLiteral("fault") + QString::number(fault.size()));
    QProcess cli;
    cli.start(QCoreApplication::applicationFilePath(),
              {fault, QStringLiteral(SONOVERT_ENCODE), m_tree + QStringLiteral("/Album One"), "-o", out, "--jobs=1"});
    QVERIFY(cli.waitForFinished(60000));
    if (cli.exitCode() == 77)
        QSKIP("no system call filter for this processor");
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    QVERIFY2(cli.exitCode() == 1, qPrintable(err));
    QVERIFY2(err.contains(QLatin1String("converted 0, skipped 0, failed ")), qPrintable(err));
    QVERIFY2(err.contains(said), qPrintable(err));
    QCOMPARE(filesBelow(out), QStringList());
}

int main(int argc, char *argv[])
{
    // tst_batch --full-disk PROGRAM ARGS...: PROGRAM with every write at an offset failing as
    // on a full disk; --full-disk-folders, with every folder it makes failing so;
    // --failing-flush, with every flush to disk failing as on a failing drive (exit 77 where
    // that cannot be set up).
    const struct
    {
        const char *option;
        long call;
        int error;
    } faults[] {{"--full-disk", SYS_pwrite64, ENOSPC}, {"--full-disk-folders", SYS_mkdir, ENOSPC}, {"--failing-flush", SYS_fsync, EIO}};
    for (const auto &fault : faults) {
        if (argc < 3 || std::strcmp(argv[1], fault.option) != 0)
            continue;
        if (!failSystemCall(fault.call, fault.error))
            return 77;
        ::execv(argv[2], argv + 2);
        return 127;
    }
    QCoreApplication app(argc, argv);
    TstBatch test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_batch.moc"
