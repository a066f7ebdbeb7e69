// sonovert-encode INPUT OUTPUT [--Member=value ...] [--threads=N] [--replaygain=on|off]
//                 [--source-tags=keep|ignore] [--cover=FILE]
// Converts as the window does: every member written by name through LameEncoderX, then Encode,
// then the event loop until the run ends.
// sonovert-encode INPUT... [-o DIR] [options]: many files at once (batchcommand.h).
#include "batchcommand.h"
#include "encoder/batch/inputlist.h"
#include "encoder/filesizesignal.h"
#include "encoder/input/audiosource.h"
#include "encoder/input/wavefamily.h"
#include "encoder/lameencoderx.h"
#include "encoder/tags/sourcetags.h"
#include "version.h"

#include <QFileInfo>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QTextStream>
#include <QTimer>

#include <csignal>

#include <unistd.h>

namespace {

using Member = LameEncoderX::Member;

enum Status { Done = 0, Failed = 1, WrongUsage = 2 };

const char usage[] = "usage: sonovert-encode INPUT OUTPUT [--Member=value ...] [--threads=N]\n"
                     "       sonovert-encode INPUT... [-o DIR] [--existing=skip|overwrite|rename] [--jobs=N]\n"
                     "                       [--list] [--Member=value ...]\n"
                     "       either form also takes [--replaygain=on|off] [--source-tags=keep|ignore] [--cover=FILE]";

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

int fail(Status status, const QString &why)
{
    err() << "sonovert-encode: " << why << Qt::endl;
    if (status == WrongUsage)
        err() << usage << Qt::endl;
    return status;
}

// What the command line asks for.
struct Command
{
    QStringList files;
    BatchRequest batch;
    bool batchOption = false; // an option only a batch takes
    std::optional<int> threads;
    LameEncoderX encoder; // the members given as --Member=value
};

std::optional<int> wholeNumber(const QString &text)
{
    bool number = false;
    const int value = text.toInt(&number);
    return number && value >= 0 ? std::optional<int>(value) : std::nullopt;
}

// One row an option: its name, the value it takes (none for a switch), its help text, and what
// it sets. The members of the encoder follow as --Member=value, from the member table.
struct CommandOption
{
    const char *name;
    char shortName; // 0: none
    const char *value;
    const char *help;
    Outcome (*set)(Command &command, const QString &value);
};

const CommandOption commandOptions[] = {
    {"output-dir", 'o', "DIR",
     "write the MP3s into DIR: a file given by itself as DIR/NAME.mp3, the files found in a\n"
     "folder at their path below it [beside each WAVE]",
     [](Command &command, const QString &value) {
         command.batch.outputDir = value;
         command.batchOption = true;
         return value.isEmpty() ? Outcome::failure(QStringLiteral("--output-dir takes a folder")) : Outcome::success();
     }},
    {"existing", 0, "skip|overwrite|rename",
     "an MP3 already there (or an earlier input's): keep it, replace it, or write\n"
     "NAME (2).mp3, NAME (3).mp3 ... [skip]",
     [](Command &command, const QString &value) {
         command.batchOption = true;
         static const std::pair<const char *, ExistingPolicy> policies[] = {
             {"skip", ExistingPolicy::Skip}, {"overwrite", ExistingPolicy::Overwrite}, {"rename", ExistingPolicy::Rename}};
         for (const auto &[name, policy] : policies)
             if (value == QLatin1String(name)) {
                 command.batch.existing = policy;
                 return Outcome::success();
             }
         return Outcome::failure(QStringLiteral("--existing takes skip, overwrite or rename"));
     }},
    {"jobs", 0, "N", "files converted at once, a last few shared out by their chunks; 0 for one per core [0]",
     [](Command &command, const QString &value) {
         command.batchOption = true;
         const std::optional<int> jobs = wholeNumber(value);
         command.batch.jobs = jobs.value_or(0);
         return jobs ? Outcome::success() : Outcome::failure(QStringLiteral("--jobs takes a whole number, 0 for every core"));
     }},
    {"list", 0, nullptr, "print INPUT<TAB>OUTPUT for each file a run would convert, and convert none",
     [](Command &command, const QString &) {
         command.batchOption = true;
         command.batch.list = true;
         return Outcome::success();
     }},
    {"threads", 0, "N", "INPUT OUTPUT only: encoder threads, 0 for one per core [0]",
     [](Command &command, const QString &value) {
         command.threads = wholeNumber(value);
         return command.threads ? Outcome::success()
                                : Outcome::failure(QStringLiteral("--threads takes a whole number, 0 for every core"));
     }},
    {"replaygain", 0, "on|off", "measure the loudness for ReplayGain [on]",
     [](Command &command, const QString &value) {
         if (value != QLatin1String("on") && value != QLatin1String("off"))
             return Outcome::failure(QStringLiteral("--replaygain takes on or off"));
         command.encoder.setReplayGain(value == QLatin1String("on"));
         return Outcome::success();
     }},
    {"source-tags", 0, "keep|ignore", "the input's own tags fill the tags not given [keep]",
     [](Command &command, const QString &value) {
         if (value != QLatin1String("keep") && value != QLatin1String("ignore"))
             return Outcome::failure(QStringLiteral("--source-tags takes keep or ignore"));
         command.encoder.setSourceTags(value == QLatin1String("keep"));
         return Outcome::success();
     }},
    {"cover", 0, "FILE", "a JPEG or PNG as the front cover",
     [](Command &command, const QString &value) {
         // Checked here so a wrong file is a usage error, before any encoding.
         QString why;
         if (value.isEmpty() || !readCover(value, &why))
             return Outcome::failure(value.isEmpty() ? QStringLiteral("--cover takes a JPEG or PNG file") : why);
         command.encoder.setCoverFile(value);
         return Outcome::success();
     }},
    {"help", 0, nullptr, "this text", nullptr},
    {"version", 0, nullptr, "the version", nullptr},
};

const CommandOption *commandOption(QStringView name, char shortName)
{
    for (const CommandOption &option : commandOptions)
        if (shortName ? option.shortName == shortName : name == QLatin1String(option.name))
            return &option;
    return nullptr;
}

// Fills command from the arguments; a refusal is wrong usage.
Outcome parse(const QStringList &args, Command &command)
{
    bool onlyFiles = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (onlyFiles || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            command.files << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            onlyFiles = true;
            continue;
        }
        const bool isLong = arg.startsWith(QLatin1String("--"));
        const qsizetype equals = isLong ? arg.indexOf(QLatin1Char('=')) : -1;
        const QString name = isLong ? arg.mid(2, equals < 0 ? -1 : equals - 2) : arg.mid(1, 1);
        const CommandOption *option = commandOption(name, isLong ? 0 : name.at(0).toLatin1());
        if (!option && isLong && equals >= 0) {
            const std::optional<Member> member = LameEncoderX::memberByName(name);
            if (!member)
                return Outcome::failure(QStringLiteral("no option --%1 (see --help)").arg(name));
            if (Outcome written = command.encoder.write(*member, arg.mid(equals + 1)); !written)
                return written;
            continue;
        }
        if (!option || !option->set)
            return Outcome::failure(isLong && equals < 0 && LameEncoderX::memberByName(name)
                                        ? QStringLiteral("expected --Member=value, got %1").arg(arg)
                                        : QStringLiteral("no option %1 (see --help)").arg(arg));
        QString value;
        if (equals >= 0) {
            value = arg.mid(equals + 1);
        } else if (!isLong && arg.size() > 2) {
            value = arg.mid(2);
        } else if (option->value) {
            if (i + 1 >= args.size())
                return Outcome::failure(QStringLiteral("%1 takes %2").arg(arg, QLatin1String(option->value)));
            value = args[++i];
        }
        if (!option->value && (equals >= 0 || (!isLong && arg.size() > 2)))
            return Outcome::failure(QStringLiteral("--%1 takes no value").arg(QLatin1String(option->name)));
        if (Outcome set = option->set(command, value); !set)
            return set;
    }
    return Outcome::success();
}

// INPUT OUTPUT as before batches: two names, the second neither a folder nor a WAVE, and no
// option only a batch takes.
bool singleFileForm(const Command &command)
{
    if (command.files.size() != 2 || command.batchOption)
        return false;
    const QString &output = command.files[1];
    return !QFileInfo(command.files[0]).isDir() && !QFileInfo(output).isDir() && !InputList::isWaveName(output);
}

// Every member that takes a value, from the component's member table.
// INPUT and OUTPUT are InputFile and OutputFile.
QString helpText()
{
    QString text;
    QTextStream out(&text);
    out << usage << "\n\n"
        << "Converts the " << kWaveName << " file INPUT into the MP3 file OUTPUT with the settings Sonovert's\n"
        << "window uses; members not given keep their defaults (in brackets).\n\n"
        << "Given several INPUTs, a folder, or -o, converts each WAVE file given and each .wav and\n"
        << ".wave file in the folders and their subfolders, several at once on every core. An MP3\n"
        << "already there is kept unless --existing says otherwise, so running the same command\n"
        << "again after a stop converts only what is missing. The MP3s are the same whatever --jobs.\n\n"
        << "Options:\n";
    for (const CommandOption &option : commandOptions) {
        QString shown = option.shortName ? QStringLiteral("-%1, ").arg(QLatin1Char(option.shortName)) : QString();
        shown += QStringLiteral("--") + QLatin1String(option.name);
        if (option.value)
            shown += QLatin1Char('=') + QLatin1String(option.value);
        const QString help = QString::fromUtf8(option.help).replace(QLatin1Char('\n'), QStringLiteral("\n") + QString(31, QLatin1Char(' ')));
        out << "  " << (shown.size() > 28 ? shown + QLatin1Char('\n') + QString(30, QLatin1Char(' ')) : shown.leftJustified(28))
            << " " << help << "\n";
    }
    out << "\nEncoder settings, for every file:\n";
    for (const MemberField &field : LameEncoderX::members()) {
        if (field.kind == MemberKind::Method || field.member == Member::InputFile
            || field.member == Member::OutputFile)
            continue;
        const QVariant value = LameEncoderX::defaultValue(field.member);
        QString kind = QStringLiteral("TEXT");
        QString shown = value.toString();
        if (field.kind == MemberKind::Switch) {
            kind = QStringLiteral("True|False");
            shown = value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
        } else if (field.kind != MemberKind::Text) {
            kind = QStringLiteral("N");
        }
        const QString option = QStringLiteral("--%1=%2").arg(QLatin1String(field.name), kind);
        out << "  " << option.leftJustified(28) << " [" << shown << "]\n";
    }
    out << "\nOn a terminal one line shows files done, the audio done, the time so far and the time\n"
        << "left; a batch ends with what was converted, skipped and failed, each failure's reason,\n"
        << "and the speed. SIGINT or SIGTERM stops it within a second: finished MP3s stay, no\n"
        << "partial file is left.\n\n"
        << "Exit status: 0 every input converted (or skipped), 1 a conversion failed, 2 wrong usage\n"
        << "(an unknown option, no input, an output folder that cannot be made), 130 and 143\n"
        << "stopped by SIGINT and SIGTERM.\n";
    return text;
}

// One line on a terminal, redrawn in place: percent, seconds so far, speed against real time.
class ProgressLine
{
public:
    // Called once Encode has accepted the input, so it is a regular file that opens at once.
    void start(const LameEncoderX &encoder)
    {
        if (!::isatty(STDERR_FILENO))
            return;
        m_shown = true;
        // Only for the speed; the run opens the input again on its own.
        AudioSource source;
        if (source.open(encoder.read(Member::InputFile).toString(), encoder.read(Member::RawPCM).toBool(),
                        encoder.read(Member::ForceByteSwap).toBool()))
            m_sampleRate = source.info().sampleRate;
        m_clock.start();
    }

    void update(int percent, qint64 frames)
    {
        if (!m_shown)
            return;
        const double seconds = m_clock.nsecsElapsed() / 1e9;
        QString line = QStringLiteral("\r%1 %  %2 s").arg(percent, 4).arg(seconds, 0, 'f', 1);
        if (m_sampleRate > 0 && seconds > 0)
            line += QStringLiteral("  %1x").arg(frames / double(m_sampleRate) / seconds, 0, 'f', 1);
        // Clears what a longer earlier line left.
        err() << line << "\033[K" << Qt::flush;
    }

    void end()
    {
        if (m_shown)
            err() << Qt::endl;
        m_shown = false;
    }

private:
    bool m_shown = false;
    int m_sampleRate = 0;
    QElapsedTimer m_clock;
};

void warnOfClipping(const std::optional<TrackGain> &gain)
{
    if (const QString warning = clippingWarning(gain); !warning.isEmpty())
        err() << "sonovert-encode: warning: " << warning << Qt::endl;
}

} // namespace

int main(int argc, char *argv[])
{
    // Past a file-size limit a write then fails with "File too large" instead of the signal
    // ending the program.
    ignoreFileSizeSignal();
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.contains(QLatin1String("--help"))) {
        QTextStream(stdout) << helpText();
        return Done;
    }
    if (args.contains(QLatin1String("--version"))) {
        QTextStream(stdout) << SONOVERT_NAME << Qt::endl;
        return Done;
    }

    Command command;
    if (Outcome parsed = parse(args, command); !parsed)
        return fail(WrongUsage, parsed.message);
    if (!singleFileForm(command)) {
        if (command.threads)
            return fail(WrongUsage, QStringLiteral("--threads is for INPUT OUTPUT; a batch takes --jobs"));
        if (command.files.isEmpty())
            return fail(WrongUsage, QStringLiteral("no input"));
        command.batch.inputs = command.files;
        command.batch.settings = command.encoder.settings();
        return runBatchCommand(command.batch);
    }

    LameEncoderX &encoder = command.encoder;
    const QStringList &files = command.files;
    if (Outcome written = encoder.write(Member::InputFile, files[0]); !written)
        return fail(WrongUsage, written.message);
    if (Outcome written = encoder.write(Member::OutputFile, files[1]); !written)
        return fail(WrongUsage, written.message);
    if (command.threads)
        encoder.setWorkers(*command.threads);

    ProgressLine progress;
    int status = Failed;
    QObject::connect(&encoder, &LameEncoderX::EncodeProgress, [&](int percent, qint64 frames) {
        progress.update(percent, frames);
    });
    QObject::connect(&encoder, &LameEncoderX::EncodeWarning, [&](const QString &message) {
        progress.end();
        err() << "sonovert-encode: warning: " << message << Qt::endl;
    });
    QObject::connect(&encoder, &LameEncoderX::EncodeFinished, [&] {
        progress.end();
        warnOfClipping(encoder.trackGain());
        status = Done;
        app.quit();
    });
    QObject::connect(&encoder, &LameEncoderX::EncodeFailed, [&](const QString &message) {
        progress.end();
        fail(Failed, message);
        app.quit();
    });
    // A stop signal aborts the run, so no temporary file is left, and ends with 128 + its number.
    catchStopSignals();
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, [&] {
        if (const int number = stopSignalCaught()) {
            progress.end();
            (void)encoder.call(Member::Abort); // returns once the run has ended
            err() << "sonovert-encode: stopped by " << (number == SIGTERM ? "SIGTERM" : "SIGINT") << Qt::endl;
            status = 128 + number;
            app.quit();
        }
    });
    stopWatch.start(50);
    // Refused here: the input cannot be read, the output is the input, and the like.
    if (Outcome started = encoder.call(Member::Encode); !started)
        return fail(Failed, started.message);
    progress.start(encoder);
    app.exec();
    return status;
}
