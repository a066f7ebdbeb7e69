#include "commandline.h"

#include "choices.h"
#include "console.h"
#include "lamewords.h"
#include "nametemplate.h"

#include "encoder/input/sourceformat.h"
#include "encoder/tags/sourcetags.h"

#include <QFileInfo>
#include <QTextStream>

namespace {

using Member = LameEncoderX::Member;

constexpr Choice<ExistingPolicy> existingChoices[] = {
    {"skip", ExistingPolicy::Skip}, {"overwrite", ExistingPolicy::Overwrite}, {"rename", ExistingPolicy::Rename}};
constexpr Choice<bool> onOff[] = {{"on", true}, {"off", false}};
constexpr Choice<Pregap> pregapChoices[] = {
    {"previous", Pregap::Previous}, {"next", Pregap::Next}, {"drop", Pregap::Drop}};
constexpr Choice<BatchRequest::Album> albumChoices[] = {
    {"folder", BatchRequest::Album::Folder}, {"tags", BatchRequest::Album::Tags}, {"off", BatchRequest::Album::Off}};
constexpr Choice<BatchRequest::Gone> goneChoices[] = {{"trash", BatchRequest::Gone::Trash},
                                                      {"delete", BatchRequest::Gone::Delete}};
constexpr Choice<bool> keepIgnore[] = {{"keep", true}, {"ignore", false}};

QString usage()
{
    return QStringLiteral("Usage: sonovert-encode INPUT OUTPUT [--Member=value ...] [--threads=N]\n"
                          "  or:  sonovert-encode INPUT... [-o DIR] [--name=TEMPLATE] [--existing=%1] [--jobs=N] "
                          "[--list|--list0] [...]\n"
                          "Either form also takes [--replaygain=%2] [--source-tags=%3] [--cover=FILE|none]\n"
                          "and lame's words.")
        .arg(choiceNames(existingChoices), choiceNames(onOff), choiceNames(keepIgnore));
}

// What a run does where an option is not given, shown in the help.
const BatchRequest batchDefaults;
const EncoderSettings settingsDefaults;

std::optional<int> wholeNumber(const QString &text)
{
    bool number = false;
    const int value = text.toInt(&number);
    return number && value >= 0 ? std::optional<int>(value) : std::nullopt;
}

// value read by the choices of option into *into, or why not.
template <typename T, std::size_t N>
Outcome readChoice(const Choice<T> (&choices)[N], const char *option, const QString &value, T *into)
{
    const std::optional<T> chosen = choiceByName(choices, value);
    if (!chosen)
        return Outcome::failure(QStringLiteral("--%1 takes %2").arg(QLatin1String(option), choiceList(choices)));
    *into = *chosen;
    return Outcome::success();
}

// A choice that turns one of the encoder's settings on or off.
template <std::size_t N>
Outcome setEncoderSwitch(const Choice<bool> (&choices)[N], const char *option, const QString &value,
                         LameEncoderX &encoder, void (LameEncoderX::*set)(bool))
{
    bool on = false;
    if (Outcome read = readChoice(choices, option, value, &on); !read)
        return read;
    (encoder.*set)(on);
    return Outcome::success();
}

// One row an option: its name, what its value looks like (empty for a switch), its help text,
// its default (empty: none shown), and what it sets. The members of the encoder follow as
// --Member=value, from the member table.
struct CommandOption
{
    const char *name;
    char shortName; // 0: none
    QString value;
    const char *help;
    QString byDefault;
    Outcome (*set)(Command &command, const QString &value);
};

const CommandOption commandOptions[] = {
    {"output-dir", 'o', QStringLiteral("DIR"),
     "write the MP3s into DIR: a file given by itself as DIR/NAME.mp3, the files found in a\n"
     "folder at their path below it",
     QStringLiteral("beside each input"),
     [](Command &command, const QString &value) {
         command.batch.outputDir = value;
         command.batchOption = true;
         return value.isEmpty() ? Outcome::failure(QStringLiteral("--output-dir takes a folder")) : Outcome::success();
     }},
    {"name", 0, QStringLiteral("TEMPLATE"), "each MP3's path below DIR (or beside its input) from its tags, as above",
     QStringLiteral("the input's name"),
     [](Command &command, const QString &value) {
         command.batchOption = true;
         Result<NameTemplate> read = NameTemplate::read(value);
         if (!read)
             return read.failure();
         command.batch.name = std::move(*read);
         return Outcome::success();
     }},
    {"existing", 0, choiceNames(existingChoices),
     "an MP3 already there (or an earlier input's): keep it, replace it, or write\n"
     "NAME (2).mp3, NAME (3).mp3 ...",
     choiceName(existingChoices, batchDefaults.existing),
     [](Command &command, const QString &value) {
         command.batchOption = true;
         return readChoice(existingChoices, "existing", value, &command.batch.existing);
     }},
    {"jobs", 0, QStringLiteral("N"), "files converted at once, a last few shared out by their chunks; 0 for one per core",
     QString::number(batchDefaults.jobs),
     [](Command &command, const QString &value) {
         command.batchOption = true;
         const std::optional<int> jobs = wholeNumber(value);
         command.batch.jobs = jobs.value_or(0);
         return jobs ? Outcome::success() : Outcome::failure(QStringLiteral("--jobs takes a whole number, 0 for every core"));
     }},
    {"album", 0, choiceNames(albumChoices),
     "the files whose album loudness (REPLAYGAIN_ALBUM_GAIN, _PEAK) is measured together:\n"
     "each folder's, those with the same album artist, album and disc number, or none",
     choiceName(albumChoices, batchDefaults.album),
     [](Command &command, const QString &value) {
         command.batchOption = true;
         return readChoice(albumChoices, "album", value, &command.batch.album);
     }},
    {"pregap", 0, choiceNames(pregapChoices),
     "a CD image's gap before a track (INDEX 00 of its CUE sheet): the end of the track\n"
     "before it, the start of its own, or left out",
     choiceName(pregapChoices, batchDefaults.pregap),
     [](Command &command, const QString &value) {
         command.batchOption = true;
         return readChoice(pregapChoices, "pregap", value, &command.batch.pregap);
     }},
    {"no-subfolders", 0, QString(), "a folder given converts its own files, not its subfolders'", QString(),
     [](Command &command, const QString &) {
         command.batchOption = true;
         command.batch.subfolders = false;
         return Outcome::success();
     }},
    {"list", 0, QString(), "print INPUT<TAB>OUTPUT, absolute, for each file a run would convert, and convert none;\n"
     "with --album=folder each such folder and its output folder, to convert with\n"
     "--no-subfolders FOLDER -o OUTPUT; with --mirror each folder with work and where\n"
     "a --mirror job of it writes, whose MP3s the next --mirror run takes",
     QString(),
     [](Command &command, const QString &) {
         command.batchOption = true;
         command.batch.listing = BatchRequest::Listing::Lines;
         return Outcome::success();
     }},
    {"list0", 0, QString(), "the same, each path ended by a NUL byte: for any file name (parallel -0 -N2)", QString(),
     [](Command &command, const QString &) {
         command.batchOption = true;
         command.batch.listing = BatchRequest::Listing::Nul;
         return Outcome::success();
     }},
    {"mirror", 0, QString(),
     "keep DIR an MP3 copy of the folders given: convert what is new, encode\n"
     "again what changed, retag what only got new tags, move what moved, put\n"
     "the MP3s of what is gone in the trash (a record of them in DIR)",
     QString(),
     [](Command &command, const QString &) {
         command.batchOption = true;
         command.batch.mirror = true;
         return Outcome::success();
     }},
    {"dry-run", 0, QString(), "with --mirror: print what would be done, one line a file, and do none of it", QString(),
     [](Command &command, const QString &) {
         command.batchOption = true;
         command.batch.dryRun = true;
         return Outcome::success();
     }},
    {"trash-many", 0, QString(), "with --mirror: go on where more than half of DIR's MP3s would go to the trash",
     QString(),
     [](Command &command, const QString &) {
         command.batchOption = true;
         command.batch.trashMany = true;
         return Outcome::success();
     }},
    {"gone", 0, choiceNames(goneChoices),
     "with --mirror: the MP3s of what is gone go to the trash, or are deleted (which\n"
     "frees a stick's room: its trash is on the stick)",
     choiceName(goneChoices, batchDefaults.gone),
     [](Command &command, const QString &value) {
         command.batchOption = true;
         return readChoice(goneChoices, "gone", value, &command.batch.gone);
     }},
    {"threads", 0, QStringLiteral("N"), "INPUT OUTPUT only: encoder threads, 0 for one per core",
     QString::number(settingsDefaults.workers),
     [](Command &command, const QString &value) {
         command.threads = wholeNumber(value);
         return command.threads ? Outcome::success()
                                : Outcome::failure(QStringLiteral("--threads takes a whole number, 0 for every core"));
     }},
    {"replaygain", 0, choiceNames(onOff), "measure the loudness for ReplayGain",
     choiceName(onOff, settingsDefaults.replayGain),
     [](Command &command, const QString &value) {
         return setEncoderSwitch(onOff, "replaygain", value, command.encoder, &LameEncoderX::setReplayGain);
     }},
    {"source-tags", 0, choiceNames(keepIgnore), "the input's own tags fill the tags not given",
     choiceName(keepIgnore, settingsDefaults.sourceTags),
     [](Command &command, const QString &value) {
         return setEncoderSwitch(keepIgnore, "source-tags", value, command.encoder, &LameEncoderX::setSourceTags);
     }},
    {"cover", 0, QStringLiteral("FILE|none"),
     "a JPEG or PNG as the front cover; none: not the folder's, which an input without a\n"
     "picture of its own takes from cover.jpg, folder.jpg or front.jpg (or .png, any letter case)",
     QString(),
     [](Command &command, const QString &value) {
         if (value == QLatin1String("none")) {
             command.encoder.setCoverFile(QString());
             command.encoder.setFolderCover(false);
             return Outcome::success();
         }
         // Checked here so a wrong file is a usage error, before any encoding.
         QString why;
         if (value.isEmpty() || !readCover(value, &why))
             return Outcome::failure(value.isEmpty() ? QStringLiteral("--cover takes a JPEG or PNG file") : why);
         command.encoder.setCoverFile(value);
         return Outcome::success();
     }},
    {"help", 0, QString(), "this text", QString(), nullptr},
    {"version", 0, QString(), "the version", QString(), nullptr},
};

const CommandOption *commandOption(QStringView name, char shortName)
{
    for (const CommandOption &option : commandOptions)
        if (shortName ? option.shortName == shortName : name == QLatin1String(option.name))
            return &option;
    return nullptr;
}

} // namespace

QString optionColumn(QString shown)
{
    return QStringLiteral("  ")
           + (shown.size() > 28 ? shown + QLatin1Char('\n') + QString(30, QLatin1Char(' ')) : shown.leftJustified(28));
}

Request requestOf(const QStringList &args)
{
    const qsizetype files = args.indexOf(QLatin1String("--"));
    const QStringList options = files < 0 ? args : args.first(files);
    if (options.contains(QLatin1String("--help")) || options.contains(QLatin1String("-?")))
        return Request::Help;
    if (options.contains(QLatin1String("--version")))
        return Request::Version;
    return Request::Convert;
}

Outcome parse(const QStringList &args, Command &command)
{
    command.encoder.setFlacAndAiff(true);
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
        QString value;
        Outcome refused = Outcome::success();
        if (const LameWord *word = takeLameWord(args, i, &value, &refused)) {
            if (!refused)
                return refused;
            if (Outcome applied = word->apply(command, value); !applied)
                return applied;
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
        const bool takesValue = !option->value.isEmpty();
        if (equals >= 0) {
            value = arg.mid(equals + 1);
        } else if (!isLong && arg.size() > 2) {
            value = arg.mid(2);
        } else if (takesValue) {
            if (i + 1 >= args.size())
                return Outcome::failure(QStringLiteral("%1 takes %2").arg(arg, option->value));
            value = args[++i];
        }
        if (!takesValue && (equals >= 0 || (!isLong && arg.size() > 2)))
            return Outcome::failure(QStringLiteral("--%1 takes no value").arg(QLatin1String(option->name)));
        if (Outcome set = option->set(command, value); !set)
            return set;
    }
    return checkLameWords(command);
}

bool singleFileForm(const Command &command)
{
    if (command.files.size() != 2 || command.batchOption)
        return false;
    const QString &output = command.files[1];
    return !QFileInfo(command.files[0]).isDir() && !QFileInfo(output).isDir() && !isLosslessFileName(output);
}

// Every member that takes a value, from the component's member table.
// INPUT and OUTPUT are InputFile and OutputFile.
QString helpText()
{
    QString text;
    QTextStream out(&text);
    out << usage() << "\n\n"
        << "Converts the WAVE, FLAC or AIFF file INPUT into the MP3 file OUTPUT with the settings\n"
        << "Sonovert's window uses; members not given keep their defaults (in brackets).\n\n"
        << "Given several INPUTs, a folder, or -o, converts each file given and each .wav, .wave,\n"
        << ".flac, .aif, .aiff and .aifc file in the folders and their subfolders, several at once on\n"
        << "every core (Ogg, Opus and AAC files there are lossy, and skipped). An MP3 already there\n"
        << "is kept unless --existing says otherwise, so running the same command again after a stop\n"
        << "converts only what is missing. An MP3 is the same whatever the form of the command,\n"
        << "--threads or --jobs. The files of a folder are an album: their MP3s also get its\n"
        << "loudness (--album).\n\n"
        << "A file with a CUE sheet of its name beside it, or a .cue given, is a CD image: each track\n"
        << "becomes NN Title.mp3 in a folder named after the image, tagged from the sheet.\n\n"
        << "--name names each MP3 from its tags (the typed ones, else the input's own), .mp3 added:\n"
        << "'{albumartist}/{album}/{track:02} {title}' gives Band/Album/03 Song.mp3, its folders made\n"
        << "as needed. A key is any tag's:\n"
        << "  " << NameTemplate::keys() << "\n"
        << "{key:0N} pads a number to N figures (\"3/12\" gives 03); a tag that is empty is \"Unknown\n"
        << "Album\" and the like (for an album artist, the artist first); a slash or a control\n"
        << "character in a tag becomes \"_\".\n\n"
        << "Options:\n";
    for (const CommandOption &option : commandOptions) {
        QString shown = option.shortName ? QStringLiteral("-%1, ").arg(QLatin1Char(option.shortName)) : QString();
        shown += QStringLiteral("--") + QLatin1String(option.name);
        if (!option.value.isEmpty())
            shown += QLatin1Char('=') + option.value;
        QString help = QString::fromUtf8(option.help).replace(QLatin1Char('\n'), QStringLiteral("\n") + QString(31, QLatin1Char(' ')));
        if (!option.byDefault.isEmpty())
            help += QStringLiteral(" [%1]").arg(option.byDefault);
        out << optionColumn(shown) << " " << help << "\n";
    }
    out << lameWordsHelp();
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
        out << optionColumn(QStringLiteral("--%1=%2").arg(QLatin1String(field.name), kind)) << " [" << shown << "]\n";
    }
    out << "\nOn a terminal one line shows files done, the audio done, the time so far and the time\n"
        << "left; a batch ends with what was converted, skipped and failed, each failure's reason,\n"
        << "and the speed. SIGINT or SIGTERM stops it within a second: finished MP3s stay, no\n"
        << "partial file is left.\n\n"
        << "Exit status: " << int(ExitStatus::Success) << " every input converted (or skipped), "
        << int(ExitStatus::Failed) << " a conversion failed, " << int(ExitStatus::WrongUsage) << " wrong usage\n"
        << "(an unknown option, no input, an output folder that cannot be made), " << int(ExitStatus::StoppedByInt)
        << " and " << int(ExitStatus::StoppedByTerm) << "\n"
        << "stopped by SIGINT and SIGTERM.\n";
    return text;
}

ExitStatus complain(ExitStatus status, const QString &why)
{
    Console::err().line(QStringLiteral("sonovert-encode: ") + why);
    if (status == ExitStatus::WrongUsage)
        Console::err().line(usage());
    return status;
}
