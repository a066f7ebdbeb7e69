// sonovert-encode, run as a user would: exit codes, texts, and an MP3 byte for byte the one the
// component writes in-process for the same settings.
#include "adjustedsettings.h"
#include "cli/commandline.h"
#include "cli/helptext.h"
#include "encoder/encoderun.h"
#include "encoder/lameencoderx.h"
#include "mp3check.h"
#include "wavegen.h"
#include "wavetags.h"

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using Member = LameEncoderX::Member;
Q_DECLARE_METATYPE(Container)
Q_DECLARE_METATYPE(SampleType)
Q_DECLARE_METATYPE(Form)

class TstCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void run_data();
    void run();
    void decide_data();
    void decide();
    void spellings_data();
    void spellings();
    void oneVoice();
    void wrap_data();
    void wrap();
    void stopSignal_data();
    void stopSignal();
    void asLame_data();
    void asLame();
    void otherFormats_data();
    void otherFormats();

private:
    QTemporaryDir m_dir;
    QString m_input;
    QString m_fullScale; // a tone at full scale
    QString m_cut;       // m_input cut short: its header announces more than it holds
};

void TstCli::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_input = m_dir.filePath(QStringLiteral("in.wav"));
    // Long enough that the encoder splits it between threads.
    QVERIFY(writeMusicWave(m_input, 8));
    m_fullScale = m_dir.filePath(QStringLiteral("loud.wav"));
    QVERIFY(writeToneWave(m_fullScale, 5, 44100, 2, 1.0));
    m_cut = m_dir.filePath(QStringLiteral("cut.wav"));
    QFile whole(m_input);
    QFile cut(m_cut);
    QVERIFY(whole.open(QIODevice::ReadOnly) && cut.open(QIODevice::WriteOnly));
    QVERIFY(cut.write(whole.read(1000000)) == 1000000);
    // Every input here takes it, unless told not to.
    QFile cover(m_dir.filePath(QStringLiteral("Cover.jpg")));
    QVERIFY(cover.open(QIODevice::WriteOnly) && cover.write(jpegBytes(900)) == 900);
}

void TstCli::run_data()
{
    // "IN" and "OUT" stand for the input and output paths. settings: "Member=value" as the
    // CLI takes them after "--", written in-process for the reference MP3 (none: no MP3); with
    // "~" first, for the reference only, as the row's args say it in other words.
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // stdout holds this
    QTest::addColumn<QString>("err"); // stderr holds this; empty: stderr is empty

    const QStringList cbr{QStringLiteral("Bitrate=192"), QStringLiteral("Mono=True"),
                          QStringLiteral("TagTitle=Título"), QStringLiteral("Copyrighted=True")};
    const QStringList vbr{QStringLiteral("UseVBR=True"), QStringLiteral("VBRRate=2"),
                          QStringLiteral("FastMode=True")};
    QTest::newRow("cbr, no progress when stderr is not a terminal")
        << QStringList{"IN", "OUT"} << cbr << 0 << QString() << QString();
    QTest::newRow("vbr") << QStringList{"IN", "OUT"} << vbr << 0 << QString() << QString();
    QTest::newRow("missing input") << QStringList{"nowhere.wav", "OUT"} << QStringList() << 1
                                   << QString() << QStringLiteral("sonovert-encode: ");
    QTest::newRow("no file") << QStringList{"--Bitrate=128"} << QStringList() << 2 << QString()
                             << QStringLiteral("Usage: sonovert-encode INPUT OUTPUT");
    QTest::newRow("unknown option") << QStringList{"IN", "OUT", "--Loudness=3"} << QStringList() << 2
                                    << QString() << QStringLiteral("Usage:");
    QTest::newRow("bad value") << QStringList{"IN", "OUT", "--Bitrate=fast"} << QStringList() << 2
                               << QString() << QStringLiteral("Usage:");
    QTest::newRow("method") << QStringList{"IN", "OUT", "--Encode=1"} << QStringList() << 2
                            << QString() << QStringLiteral("Usage:");
    QTest::newRow("bad threads") << QStringList{"IN", "OUT", "--threads=-1"} << QStringList() << 2
                                 << QString() << QStringLiteral("Usage:");
    QTest::newRow("replaygain off") << QStringList{"IN", "OUT", "--replaygain=off"} << vbr << 0 << QString()
                                    << QString();
    QTest::newRow("replaygain on") << QStringList{"IN", "OUT", "--replaygain=on"} << cbr << 0 << QString()
                                   << QString();
    QTest::newRow("bad replaygain") << QStringList{"IN", "OUT", "--replaygain=yes"} << QStringList() << 2
                                    << QString() << QStringLiteral("Usage:");
    QTest::newRow("full scale: the MP3 will clip")
        << QStringList{"LOUD", "OUT"} << QStringList{QStringLiteral("Bitrate=128")} << 0 << QString()
        << QStringLiteral("warning: the audio reaches full scale, so the MP3 will clip when decoded; "
                          "a gain of -1.00 dB or lower avoids it");
    QTest::newRow("full scale, replaygain off: not measured")
        << QStringList{"LOUD", "OUT", "--replaygain=off"} << QStringList{QStringLiteral("Bitrate=128")} << 0
        << QString() << QString();
    QTest::newRow("one thread: the MP3 of every core")
        << QStringList{"IN", "OUT", "--threads=1"} << cbr << 0 << QString() << QString();
    QTest::newRow("cut short: what is there, with a warning")
        << QStringList{"CUT", "OUT"} << QStringList{QStringLiteral("Bitrate=128")} << 0 << QString()
        << QStringLiteral("warning: The input's header announces 0:08.0 of audio, but the file ends after 0:05.7: "
                          "the last 0:02.3 are missing");
    // lame's words, and members with their values after a space, give their member forms' MP3s.
    const auto word = [](const char *name, const QStringList &words, QStringList members) {
        QTest::newRow(name) << (QStringList{"IN", "OUT"} + words) << members.replaceInStrings(QRegularExpression("^"), "~")
                            << 0 << QString() << QString();
    };
    word("-b 320", {"-b", "320"}, {"Bitrate=320"});
    word("-V2", {"-V2"}, {"UseVBR=True", "VBRRate=2"});
    word("--preset=standard", {"--preset=standard"}, {"UseVBR=True", "VBRRate=2"});
    word("--preset medium", {"--preset", "medium"}, {"UseVBR=True", "VBRRate=4"});
    word("--preset extreme", {"--preset", "extreme"}, {"UseVBR=True", "VBRRate=0"});
    word("--preset insane", {"--preset", "insane"}, {"Bitrate=320"});
    word("-f -m m -c", {"-f", "-m", "m", "-c"}, {"FastMode=True", "Mono=True", "Copyrighted=True"});
    word("-h -t", {"-h", "-t"}, {"FixQuality=True", "WriteInfoTag=False"});
    word("--Bitrate 192", {"--Bitrate", "192"}, {"Bitrate=192"});
    word("-fh: bundled as lame bundles", {"-fh"}, {"FastMode=True", "FixQuality=True"});
    word("tags, --noreplaygain", {"--tt", "Título", "--ta=Ärtist", "--tl", "A", "--ty", "1999", "--tg", "Jazz", "--noreplaygain"},
         {"TagTitle=Título", "TagArtist=Ärtist", "TagAlbum=A", "TagYear=1999", "TagGenre=Jazz"});
    const auto refused = [](const char *name, const QStringList &words, const char *said) {
        QTest::newRow(name) << (QStringList{"IN", "OUT"} + words) << QStringList() << 2 << QString()
                            << QString::fromUtf8(said);
    };
    refused("-b with -V: lame's VBR minimum", {"-b", "128", "-V", "2"}, "-b with -V is lame's lowest VBR bit rate");
    refused("--preset insane with -V", {"-V", "2", "--preset", "insane"}, "--preset with -V");
    refused("-V 10", {"-V", "10"}, "-V takes a VBR quality from 0 (best) to 9, not 10");
    refused("-V without a value", {"-V"}, "-V takes N");
    refused("a numbered preset", {"--preset", "128"}, "--preset takes medium, standard, extreme or insane");
    refused("-m j", {"-m", "j"}, "-m takes m (mono) only");
    refused("-f with a value", {"-f=1"}, "-f takes no value");
    refused("-fz: no switch z", {"-fz"}, "-z cannot be bundled in -fz");
    refused("a batch's option in the two-argument form", {"--album=off"},
            "--album applies to folders and lists; IN OUT writes no album figures\nUsage: sonovert-encode INPUT OUTPUT");
    QTest::newRow("--mirror without -o: the usage, naming the mirror")
        << QStringList{"--mirror", "IN"} << QStringList() << 2 << QString()
        << QStringLiteral("sonovert-encode: --mirror needs -o DIR\nUsage: sonovert-encode INPUT OUTPUT [options]\n"
                          "  or:  sonovert-encode INPUT... [-o DIR] [options]\n"
                          "  or:  sonovert-encode --mirror SRC... -o DIR [options]\n");
    QTest::newRow("-? shows the help") << QStringList{"-?"} << QStringList() << 0 << QStringLiteral("--preset medium|standard|extreme|insane")
                                       << QString();
    QTest::newRow("bad source-tags") << QStringList{"IN", "OUT", "--source-tags=maybe"} << QStringList() << 2
                                     << QString() << QStringLiteral("Usage:");
    QTest::newRow("cover missing") << QStringList{"IN", "OUT", "--cover=nowhere.jpg"} << QStringList() << 2
                                         << QString() << QStringLiteral("cover nowhere.jpg cannot be read");
    QTest::newRow("cover none: not the folder's") << QStringList{"IN", "OUT", "--cover=none"} << cbr << 0 << QString()
                                                 << QString();
    QTest::newRow("source tags ignored: not the folder's cover")
        << QStringList{"IN", "OUT", "--source-tags=ignore"} << vbr << 0 << QString() << QString();
    QTest::newRow("help lists the tag options") << QStringList{"--help"} << QStringList() << 0
                                                << QStringLiteral("--source-tags=keep|ignore") << QString();
    QTest::newRow("version") << QStringList{"--version"} << QStringList() << 0
                             << QStringLiteral("Sonovert 1.1\nlibmp3lame 3.") << QString();
    QTest::newRow("version names its libraries") << QStringList{"--version"} << QStringList() << 0
                                                 << QStringLiteral("\nQt 6.") << QString();
    QTest::newRow("after --, --help is a file") << QStringList{"--", "--help"} << QStringList() << 2 << QString()
                                                << QStringLiteral("no input --help");
    QTest::newRow("help") << QStringList{"--help"} << QStringList() << 0
                          << QStringLiteral("--threads=N") << QString();
    QTest::newRow("help, replaygain") << QStringList{"--help"} << QStringList() << 0
                                      << QStringLiteral("--replaygain=on|off") << QString();
}

void TstCli::run()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, settings);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);

    const QString output = m_dir.filePath(QStringLiteral("out.mp3"));
    QFile::remove(output);
    const QString input = args.contains(QStringLiteral("LOUD")) ? m_fullScale
                          : args.contains(QStringLiteral("CUT")) ? m_cut
                                                                 : m_input;
    args.replaceInStrings(QRegularExpression(QStringLiteral("^(IN|LOUD|CUT)$")), input);
    args.replaceInStrings(QRegularExpression(QStringLiteral("^OUT$")), output);
    for (QString &setting : settings) {
        if (!setting.startsWith(QLatin1Char('~')))
            args << QStringLiteral("--") + setting;
        setting.remove(QRegularExpression(QStringLiteral("^~")));
    }

    QProcess cli;
    cli.start(QStringLiteral(SONOVERT_ENCODE), args);
    QVERIFY(cli.waitForFinished(60000));
    const QString stdOut = QString::fromUtf8(cli.readAllStandardOutput());
    const QString stdErr = QString::fromUtf8(cli.readAllStandardError());
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QVERIFY2(cli.exitCode() == exitCode, qPrintable(stdErr));
    QVERIFY2(stdOut.contains(out), qPrintable(stdOut));
    if (err.isEmpty())
        QCOMPARE(stdErr, QString());
    else
        QVERIFY2(stdErr.contains(err), qPrintable(stdErr));
    // Only a run that went well leaves an MP3.
    QCOMPARE(QFile::exists(output), exitCode == 0 && !settings.isEmpty());

    if (args == QStringList{QStringLiteral("--help")}) {
        for (const QString &line : stdOut.split(QLatin1Char('\n')))
            QVERIFY2(line.size() <= 79, qPrintable(line));
        const LameEncoderX probe;
        for (int number = 0; number < 64; ++number) {
            const auto member = static_cast<Member>(number);
            if (probe.read(member).isValid() && member != Member::InputFile && member != Member::OutputFile)
                QVERIFY2(stdOut.contains(QStringLiteral("--%1=").arg(LameEncoderX::memberName(member))),
                         qPrintable(LameEncoderX::memberName(member)));
        }
    }

    if (exitCode != 0 || settings.isEmpty())
        return;
    // The same settings in-process, written one by one as the window writes them.
    const QString reference = m_dir.filePath(QStringLiteral("reference.mp3"));
    LameEncoderX encoder;
    QVERIFY(encoder.write(Member::InputFile, input));
    encoder.setReplayGain(!args.contains(QStringLiteral("--replaygain=off")) && !args.contains(QStringLiteral("--noreplaygain")));
    encoder.setFolderCover(!args.contains(QStringLiteral("--cover=none")));
    encoder.setSourceTags(!args.contains(QStringLiteral("--source-tags=ignore")));
    QVERIFY(encoder.write(Member::OutputFile, reference));
    for (const QString &setting : settings) {
        const QStringList pair = setting.split(QLatin1Char('='));
        QVERIFY(encoder.write(*LameEncoderX::memberByName(pair[0]), pair[1]));
    }
    QSignalSpy finished(&encoder, &LameEncoderX::EncodeFinished);
    QVERIFY(encoder.call(Member::Encode));
    QVERIFY(finished.wait(60000));
    QFile ours(output);
    QFile theirs(reference);
    QVERIFY(ours.open(QIODevice::ReadOnly) && theirs.open(QIODevice::ReadOnly));
    QVERIFY(ours.size() > 10000);
    QVERIFY(ours.readAll() == theirs.readAll());
    const EncoderSettings &used = encoder.settings(); // the folder's cover, unless turned off
    QCOMPARE(decodeMp3(output).pictures.size(), std::size_t(used.folderCover && used.sourceTags ? 1 : 0));
}

// lame's words mean here what they mean to lame: the info tag's quality and the LAME tag's VBR
// method and bit-rate byte are those of lame's own MP3 for the same words.
void TstCli::asLame_data()
{
    QTest::addColumn<QStringList>("words");
    for (const char *words : {"-b 320", "-b 96", "-V 2", "-V 9", "--preset standard", "--preset extreme",
                              "--preset insane", "-V 4 -h", "-b 128 -f", "-V 0 -m m"})
        QTest::newRow(words) << QString::fromLatin1(words).split(QLatin1Char(' '));
}

void TstCli::asLame()
{
    QFETCH(QStringList, words);
    const QString lame = QStandardPaths::findExecutable(QStringLiteral("lame"));
    if (lame.isEmpty())
        QSKIP("lame is not installed (scripts/install-deps test)");
    const QString ours = m_dir.filePath(QStringLiteral("ours.mp3"));
    const QString theirs = m_dir.filePath(QStringLiteral("lame.mp3"));
    QCOMPARE(QProcess::execute(QStringLiteral(SONOVERT_ENCODE), QStringList{m_input, ours} + words), 0);
    QCOMPARE(QProcess::execute(lame, QStringList{QStringLiteral("--quiet")} + words + QStringList{m_input, theirs}), 0);
    const Mp3Info a = decodeMp3(ours);
    const Mp3Info b = decodeMp3(theirs);
    QVERIFY(a.hasLameTag && b.hasLameTag && a.infoTagQuality >= 0);
    QCOMPARE(a.infoTagId, b.infoTagId);
    QCOMPARE(a.infoTagQuality, b.infoTagQuality);
    QCOMPARE(a.lameTagMethod, b.lameTagMethod);
    QCOMPARE(a.lameTagBitrate, b.lameTagBitrate);
}

// A FLAC or an AIFF gives the MP3 of the WAVE that holds the same samples (here the tags are
// alike too) and decodes to its exact length; its chunks' workers seek in it, back and forth.
void TstCli::otherFormats_data()
{
    QTest::addColumn<Container>("container");
    QTest::addColumn<SampleType>("sample");
    QTest::addColumn<int>("workers");
    QTest::newRow("FLAC, 16-bit") << Container::Flac << SampleType::Pcm16 << 2;
    QTest::newRow("FLAC, 24-bit") << Container::Flac << SampleType::Pcm24 << 3;
    QTest::newRow("FLAC, 24-bit, one thread") << Container::Flac << SampleType::Pcm24 << 1;
    QTest::newRow("AIFF, 24-bit") << Container::Aiff << SampleType::Pcm24 << 2;
}

void TstCli::otherFormats()
{
    QFETCH(Container, container);
    QFETCH(SampleType, sample);
    QFETCH(int, workers);
    WaveOptions shape {.frames = 8 * 44100 + 1234, .sample = sample};
    const QString wave = m_dir.filePath(QStringLiteral("same.wav"));
    const QString other = m_dir.filePath(container == Container::Flac ? QStringLiteral("same.flac")
                                                                      : QStringLiteral("same.AIF"));
    QVERIFY(writeWave(wave, shape));
    shape.container = container;
    QVERIFY(writeWave(other, shape));
    const QStringList mp3s {m_dir.filePath(QStringLiteral("wave.mp3")), m_dir.filePath(QStringLiteral("other.mp3")),
                            m_dir.filePath(QStringLiteral("cut.mp3"))};
    QCOMPARE(QProcess::execute(QStringLiteral(SONOVERT_ENCODE), {wave, mp3s[0]}), 0);
    QCOMPARE(QProcess::execute(QStringLiteral(SONOVERT_ENCODE), {other, mp3s[1]}), 0);
    // A worker that read the wrong frames would have the run start over as one instance.
    RunReport report;
    const std::atomic_bool never = false;
    QVERIFY(runEncode(settingsFor(other, mp3s[2], {}), {.workers = workers}, never, [](int, qint64) {}, &report));
    QVERIFY(report.instances > 1);
    QCOMPARE(decodeMp3(mp3s[1]).frames, shape.frames);
    QVERIFY(contentOf(mp3s[1]) == contentOf(mp3s[0]) && contentOf(mp3s[2]) == contentOf(mp3s[0]));
}

// The form the command line asks for, or the refusal before anything runs, in-process. "IN" is
// a WAVE, "OUT" an MP3's name, "DIR" a folder.
void TstCli::decide_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<Form>("form");
    QTest::addColumn<QString>("refused"); // the message begins so; empty: taken

    const auto taken = [](const char *name, const QStringList &args, Form form) {
        QTest::newRow(name) << args << form << QString();
    };
    const auto refused = [](const char *name, const QStringList &args, const char *why) {
        QTest::newRow(name) << args << Form::InOut << QString::fromUtf8(why);
    };
    taken("IN OUT", {"IN", "OUT"}, Form::InOut);
    taken("IN OUT, a member's value after a space", {"IN", "OUT", "--Bitrate", "192", "--UseVBR", "True"}, Form::InOut);
    taken("IN OUT, lame's switches bundled", {"IN", "OUT", "-fh", "-mm"}, Form::InOut);
    taken("a second input", {"IN", "IN"}, Form::Batch);
    taken("a FLAC's name second", {"IN", "other.flac"}, Form::Batch);
    taken("a lossy file's name second", {"IN", "other.ogg"}, Form::Batch);
    taken("a CUE sheet's name second", {"IN", "Disc.CUE"}, Form::Batch);
    taken("a folder", {"IN", "DIR"}, Form::Batch);
    taken("-o", {"IN", "OUT", "-o", "DIR"}, Form::Batch);
    taken("the mirror", {"--mirror", "DIR", "-o", "DIR", "--dry-run"}, Form::Mirror);
    taken("the mirror, no loudness: no albums", {"--mirror", "DIR", "-o", "DIR", "--album=tags", "--replaygain=off"},
          Form::Mirror);
    refused("a batch's option in IN OUT", {"IN", "OUT", "--album=off"},
            "--album applies to folders and lists; IN OUT writes no album figures");
    refused("--jobs in IN OUT", {"IN", "OUT", "--jobs", "2"}, "--jobs applies to folders and lists; IN OUT takes --threads");
    refused("--threads in a batch", {"DIR", "-o", "DIR", "--threads=2"},
            "--threads applies to IN OUT alone; a batch takes --jobs");
    refused("--threads in the mirror", {"--mirror", "DIR", "-o", "DIR", "--threads=2"},
            "--threads applies to IN OUT alone; a batch takes --jobs");
    refused("--mirror without -o", {"--mirror", "DIR"}, "--mirror needs -o DIR");
    refused("--dry-run without --mirror", {"IN", "OUT", "--dry-run"}, "--dry-run needs --mirror");
    refused("--trash-many in a batch", {"DIR", "--trash-many"}, "--trash-many needs --mirror");
    taken("the mirror watched", {"--mirror", "DIR", "-o", "DIR", "--watch", "--settle=30"}, Form::Mirror);
    refused("--watch in a batch", {"DIR", "-o", "DIR", "--watch"}, "--watch needs --mirror");
    refused("--settle without --watch", {"--mirror", "DIR", "-o", "DIR", "--settle=5"}, "--settle needs --watch");
    refused("--settle of no time", {"--mirror", "DIR", "-o", "DIR", "--watch", "--settle=0"},
            "--settle takes a number of seconds from 1 to 86400");
    refused("a dry run watched", {"--mirror", "DIR", "-o", "DIR", "--watch", "--dry-run"},
            "--watch keeps the mirror in step: it goes without --dry-run");
    refused("the mirror's albums by tags", {"--mirror", "DIR", "-o", "DIR", "--album", "tags"},
            "--mirror takes --album=folder or off, not --album=tags");
    refused("albums by tags listed", {"DIR", "--list0", "--album=tags"}, "--album=tags cannot be listed (--list0)");
    refused("two listings", {"DIR", "--list", "--list0"}, "--list and --list0 are two ways of listing");
    refused("no input", {"--Bitrate=128"}, "no input");
    refused("a member without its value", {"IN", "OUT", "--UseVBR"}, "--UseVBR takes True or False");
    refused("a method", {"IN", "OUT", "--Encode", "1"}, "no option --Encode");
    refused("-o bundled", {"IN", "OUT", "-fo", "DIR"}, "-o cannot be bundled in -fo");
    refused("-b with -V", {"IN", "OUT", "-hb", "128", "-V2"}, "-b with -V is lame's lowest VBR bit rate");
}

void TstCli::decide()
{
    QFETCH(QStringList, args);
    QFETCH(Form, form);
    QFETCH(QString, refused);
    args.replaceInStrings(QRegularExpression(QStringLiteral("^IN$")), m_input);
    args.replaceInStrings(QRegularExpression(QStringLiteral("^OUT$")), m_dir.filePath(QStringLiteral("out.mp3")));
    args.replaceInStrings(QRegularExpression(QStringLiteral("^DIR$")), m_dir.path());
    Command command;
    const Outcome parsed = parse(args, command);
    if (!refused.isEmpty()) {
        QVERIFY(!parsed);
        QVERIFY2(parsed.message.startsWith(refused), qPrintable(parsed.message));
        return;
    }
    QVERIFY2(parsed, qPrintable(parsed.message));
    QCOMPARE(command.form, form);
}

// Two ways of saying the same settings give the same members.
void TstCli::spellings_data()
{
    QTest::addColumn<QStringList>("said");
    QTest::addColumn<QStringList>("members");
    QTest::newRow("values after a space") << QStringList{"--Bitrate", "192", "--UseVBR", "True", "--TagTitle", "A B"}
                                          << QStringList{"--Bitrate=192", "--UseVBR=True", "--TagTitle=A B"};
    QTest::newRow("-fh") << QStringList{"-fh"} << QStringList{"--FastMode=True", "--FixQuality=True"};
    QTest::newRow("-mm") << QStringList{"-mm"} << QStringList{"--Mono=True"};
    QTest::newRow("-fV2: a value joined") << QStringList{"-fV2"}
                                          << QStringList{"--FastMode=True", "--UseVBR=True", "--VBRRate=2"};
    QTest::newRow("-hb 320: a value next") << QStringList{"-hb", "320"}
                                           << QStringList{"--FixQuality=True", "--Bitrate=320"};
    QTest::newRow("-xrct") << QStringList{"-xrct"}
                           << QStringList{"--ForceByteSwap=True", "--RawPCM=True", "--Copyrighted=True",
                                          "--WriteInfoTag=False"};
    QTest::newRow("--tt after a space") << QStringList{"--tt", "Title", "--ta=Band"}
                                        << QStringList{"--TagTitle=Title", "--TagArtist=Band"};
}

void TstCli::spellings()
{
    QFETCH(QStringList, said);
    QFETCH(QStringList, members);
    Command one;
    Command other;
    const QStringList files{m_input, m_dir.filePath(QStringLiteral("out.mp3"))};
    QVERIFY(parse(files + said, one));
    QVERIFY(parse(files + members, other));
    QCOMPARE(one.form, Form::InOut);
    for (const MemberField &field : LameEncoderX::members()) {
        if (field.kind != MemberKind::Method)
            QVERIFY2(one.encoder.read(field.member) == other.encoder.read(field.member), field.name);
    }
}

// Every error and warning names the program through one function: no other source writes the
// name as a prefix of its own.
void TstCli::oneVoice()
{
    const QString top = QStringLiteral(SONOVERT_SOURCE_DIR);
    QStringList prefixed;
    for (const QString &folder : {QStringLiteral("cli"), QStringLiteral("encoder")}) {
        QDirIterator files(top + QLatin1Char('/') + folder, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            if (file.readAll().contains("\"sonovert-encode: "))
                prefixed << path.mid(top.size() + 1);
        }
    }
    QCOMPARE(prefixed, QStringList{QStringLiteral("cli/messages.cpp")});
}

// The help's one wrapping: at spaces, within 79 columns, a no-break space kept as a space.
void TstCli::wrap_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("indent");
    QTest::addColumn<int>("first");
    QTest::addColumn<QString>("wrapped");
    const QString nine = QStringLiteral("abcdefghi");
    const QString seven = QStringList(7, nine).join(QLatin1Char(' '));
    QTest::newRow("short, indented") << QStringLiteral("one  two") << 4 << -1 << QStringLiteral("    one two");
    QTest::newRow("eight words of ten columns after two: seven fit")
        << QStringList(10, nine).join(QLatin1Char(' ')) << 2 << 2
        << seven + QStringLiteral("\n  abcdefghi abcdefghi abcdefghi");
    QTest::newRow("a word wider than the line stays whole")
        << QString(90, QLatin1Char('x')) + QStringLiteral(" y") << 0 << -1
        << QString(90, QLatin1Char('x')) + QStringLiteral("\ny");
    QTest::newRow("no-break spaces hold words together")
        << QString(70, QLatin1Char('y')) + QStringLiteral(" NAME\u00a0(2).mp3") << 3 << 0
        << QString(70, QLatin1Char('y')) + QStringLiteral("\n   NAME (2).mp3");
}

void TstCli::wrap()
{
    QFETCH(QString, text);
    QFETCH(int, indent);
    QFETCH(int, first);
    QFETCH(QString, wrapped);
    QCOMPARE(::wrapped(text, indent, first), wrapped);
}

QTEST_GUILESS_MAIN(TstCli)

// A stop signal during INPUT OUTPUT ends the run: no MP3 and no temporary file remain, and the
// exit status tells which signal it was.
void TstCli::stopSignal_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
}

void TstCli::stopSignal()
{
    QFETCH(int, signal);
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("long.wav"));
    QVERIFY(writeMusicWave(input, 100));
    const QString output = dir.filePath(QStringLiteral("long.mp3"));
    QProcess cli;
    cli.start(QStringLiteral(SONOVERT_ENCODE), {input, output, QStringLiteral("--threads=1")});
    QVERIFY(cli.waitForStarted());
    QTest::qWait(300);
    QCOMPARE(cli.state(), QProcess::Running); // 100 s of audio on one thread take longer than that
    ::kill(static_cast<pid_t>(cli.processId()), signal);
    QVERIFY(cli.waitForFinished(5000));
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QCOMPARE(cli.exitCode(), 128 + signal);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList {QStringLiteral("long.wav")});
}

#include "tst_cli.moc"
