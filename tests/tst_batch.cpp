// sonovert-encode on many files: a tree made here converted, skipped, renamed, interrupted and
// resumed; the chunk layout that keeps the MP3s the same whatever the cores; the outputs'
// names.
#include "encoder/batch/outputclaims.h"
#include "encoder/encoderun.h"
#include "encoder/input/audiosource.h"
#include "encoder/input/loudnessmeter.h"
#include "childencode.h"
#include "cuesheets.h"
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
    void sameBytes_data();
    void sameBytes();
    void paths_data();
    void paths();
    void claims_data();
    void claims();
    void gnuParallel();
    void albums_data();
    void albums();
    void images_data();
    void images();
    void diskFaults_data();
    void diskFaults();

private:
    struct Run
    {
        int exitCode = -1;
        QString out;
        QString err;
    };
    Run encode(const QStringList &args, int stopAfterMs = 0, int signal = SIGINT);
    // The command with a pseudo-terminal as its standard error (and input and output); err holds
    // all it wrote there.
    static Run encodeOnTerminal(const QStringList &args);
    // Every file below dir, by its path below it.
    static QStringList filesBelow(const QString &dir);
    // Frames of each WAVE the tree holds that converts, by its path below the tree.
    QMap<QString, qint64> m_frames;
    QTemporaryDir m_dir;
    QString m_tree;
};

TstBatch::Run TstBatch::encode(const QStringList &args, int stopAfterMs, int signal)
{
    QProcess cli;
    cli.start(QStringLiteral(SONOVERT_ENCODE), args);
    Run run;
    if (!cli.waitForStarted())
        return run;
    if (stopAfterMs > 0 && !cli.waitForFinished(stopAfterMs))
        ::kill(static_cast<pid_t>(cli.processId()), signal);
    if (!cli.waitForFinished(60000) || cli.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = cli.exitCode();
    run.out = QString::fromUtf8(cli.readAllStandardOutput());
    run.err = QString::fromUtf8(cli.readAllStandardError());
    return run;
}

TstBatch::Run TstBatch::encodeOnTerminal(const QStringList &args)
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

QStringList TstBatch::filesBelow(const QString &dir)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(dir).relativeFilePath(it.next());
    files.sort();
    return files;
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
    QTest::newRow("list") << QStringList{"TREE/Singles", "--list", "-o", "/o", "--album=off"} << 0
                          << QStringLiteral("TREE/Singles/Deep/Deeper/last one.wav\t/o/Deep/Deeper/last one.mp3\n"
                                            "TREE/Singles/bad.wav\t/o/bad.mp3\n"
                                            "TREE/Singles/empty.wav\t/o/empty.mp3\n"
                                            "TREE/Singles/short.wav\t/o/short.mp3\n"
                                            "TREE/Singles/x.WAV\t/o/x.mp3\n")
                          << QString();
    QTest::newRow("list: albums a folder, each once") << QStringList{"TREE/Singles", "--list", "-o", "/o"} << 0
                          << QStringLiteral("TREE/Singles/Deep/Deeper\t/o/Deep/Deeper\nTREE/Singles\t/o\n") << QString();
    QTest::newRow("list: albums by tags cannot be") << QStringList{"TREE", "--list", "--album=tags"} << 2 << QString()
                                                    << QStringLiteral("--album=tags cannot be listed");
    QTest::newRow("list: clean, absolute paths") << QStringList{"TREE/../odd/../tree/Singles/x.WAV", "--list", "--album=off"} << 0
                          << QStringLiteral("TREE/Singles/x.WAV\tTREE/Singles/x.mp3\n") << QString();
    QTest::newRow("list0: any name") << QStringList{"TREE/../odd", "--list0", "-o", "/o", "--album=off"} << 0
                                     << QStringLiteral("TREE/../odd/a\tb\nc.wav").replace("TREE/..", "ROOT")
                                            + QChar(0) + QStringLiteral("/o/a\tb\nc.mp3") + QChar(0)
                                     << QString();
    QTest::newRow("list: a tab or a newline cannot be a line") << QStringList{"TREE/../odd", "--list", "--album=off"} << 1
                                                               << QString() << QStringLiteral("--list0 lists it");
    QTest::newRow("name: padded, replaced, unknown, renamed")
        << QStringList{"TREE/../tagged", "--list", "-o", "/o", "--existing=rename", "--album=off",
                       "--name={albumartist}/{album}/{track:02} {title}"}
        << 0
        << QStringLiteral("ROOT/tagged/a.wav\t/o/Band/A_B/03 Song.mp3\nROOT/tagged/b.wav\t/o/Band/A_B/03 Song (2).mp3\n"
                          "ROOT/tagged/c.wav\t/o/Unknown Artist/Unknown Album/Unknown Track Unknown Title.mp3\n"
                          "ROOT/tagged/d.wav\t/o/__/Unknown Album/Unknown Track a_b.mp3\n")
        << QString();
    QTest::newRow("name: by album, the folder to the output folder")
        << QStringList{"TREE/../tagged", "--list", "-o", "/o", "--name={album}"} << 0
        << QStringLiteral("ROOT/tagged\t/o\n") << QString();
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
    args.replaceInStrings(QStringLiteral("TREE"), m_tree);
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

void TstBatch::sameBytes_data()
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

void TstBatch::sameBytes()
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
void TstBatch::paths_data()
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

void TstBatch::paths()
{
    QFETCH(QStringList, args);
    QFETCH(QString, made);
    const QString input = m_dir.filePath(QStringLiteral("paths.wav"));
    const QString folder = m_dir.filePath(QStringLiteral("paths folder"));
    if (!QFile::exists(input)) {
        QVERIFY(writeMusicWave(input, 100));
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
    QCOMPARE(filesBelow(apart), filesBelow(together));
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
    // on a full disk; --failing-flush, with every flush to disk failing as on a failing drive
    // (exit 77 where that cannot be set up).
    const bool fullDisk = argc >= 3 && std::strcmp(argv[1], "--full-disk") == 0;
    if (fullDisk || (argc >= 3 && std::strcmp(argv[1], "--failing-flush") == 0)) {
        if (!(fullDisk ? failSystemCall(SYS_pwrite64, ENOSPC) : failSystemCall(SYS_fsync, EIO)))
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

void TstBatch::albums_data()
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

void TstBatch::albums()
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

void TstBatch::images_data()
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

void TstBatch::images()
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
            const qint64 at = cuts[2 * n];
            std::vector<float> around(joined.end() - 2048, joined.end());
            around.insert(around.end(), track.samples.begin(), track.samples.begin() + 2048);
            int best = 0;
            double bestSum = -1e30;
            for (int shift = -64; shift <= 64; shift += 2) {
                double sum = 0;
                for (std::size_t i = 128; i + 128 < around.size(); ++i)
                    sum += double(around[i]) * original[static_cast<std::size_t>(2 * at - 2048 + shift) + i];
                if (sum > bestSum)
                    std::tie(best, bestSum) = std::tuple(shift, sum);
            }
            QVERIFY2(best == 0, qPrintable(QStringLiteral("%1 frames off at track %2").arg(best / 2).arg(n)));
        }
        joined = track.samples;
    }
}
