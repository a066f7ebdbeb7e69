#include "commandoptions.h"

#include "choices.h"
#include "deviceoptions.h"
#include "lamewords.h"

#include "encoder/input/legacytext.h"
#include "encoder/input/sourceformat.h"
#include "encoder/tags/sourcetags.h"

#include <QFileInfo>

#include <optional>
#include <vector>

namespace {

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
constexpr Choice<bool> keepOff[] = {{"keep", true}, {"off", false}};
constexpr Choice<NamesMode> namesChoices[] = {
    {"portable", NamesMode::Portable}, {"ascii", NamesMode::Ascii}, {"native", NamesMode::Native}};

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

// A switch that sets one field of the batch's request.
template <auto field, auto to>
Outcome setRequest(Command &command, const QString &)
{
    command.batch.*field = to;
    return Outcome::success();
}

constexpr unsigned kFolders = BatchForm | MirrorForm;

const CommandOption kOptions[] = {
    {"output-dir", 'o', QStringLiteral("DIR"), OptionGroup::Files,
     "write the MP3s into DIR: a file given by itself as DIR/NAME.mp3, the files found in a folder at their path "
     "below it",
     QStringLiteral("beside each input"), kFolders, nullptr, nullptr,
     [](Command &command, const QString &value) {
         command.batch.outputDir = value;
         return value.isEmpty() ? Outcome::failure(QStringLiteral("--output-dir takes a folder")) : Outcome::success();
     }},
    {"name", 0, QStringLiteral("TEMPLATE"), OptionGroup::Files,
     "each MP3's path below DIR (or beside its input) from its tags, as above", QStringLiteral("the input's name"),
     kFolders, nullptr, "IN OUT names its MP3 OUT",
     [](Command &command, const QString &value) {
         Result<NameTemplate> read = NameTemplate::read(value);
         if (!read)
             return read.failure();
         command.batch.name = std::move(*read);
         return Outcome::success();
     }},
    {"existing", 0, choiceNames(existingChoices), OptionGroup::Files,
     "an MP3 already there (or an earlier input's): keep it, replace it, or write NAME\u00a0(2).mp3, "
     "NAME\u00a0(3).mp3\u00a0...",
     choiceName(existingChoices, batchDefaults.existing), kFolders, nullptr, "IN OUT writes OUT, there or not",
     [](Command &command, const QString &value) {
         return readChoice(existingChoices, "existing", value, &command.batch.existing);
     }},
    {"names", 0, choiceNames(namesChoices), OptionGroup::Files,
     "the MP3s' names: without \\ / : * ? \" < > |, a dot or space at the end or a device name (CON, NUL...), "
     "for FAT, exFAT and NTFS; also in ASCII letters (\u00e9 as e); or as the sources'; each cut to 255 bytes, "
     "names one on a disk that tells no letter case numbered (NAME\u00a0(2).mp3)",
     QStringLiteral("as the output folder's disk holds"), kFolders, nullptr, "IN OUT names its MP3 OUT",
     [](Command &command, const QString &value) {
         NamesMode mode = NamesMode::Native;
         if (Outcome read = readChoice(namesChoices, "names", value, &mode); !read)
             return read;
         command.batch.names = givenNames(mode);
         return Outcome::success();
     }},
    {"no-subfolders", 0, QString(), OptionGroup::Files, "a folder given converts its own files, not its subfolders'",
     QString(), kFolders, nullptr, "IN OUT converts one file",
     setRequest<&BatchRequest::subfolders, false>},
    {"pregap", 0, choiceNames(pregapChoices), OptionGroup::Files,
     "a CD image's gap before a track (INDEX 00 of its CUE sheet): the end of the track before it, the start of "
     "its own, or left out",
     choiceName(pregapChoices, batchDefaults.pregap), kFolders, nullptr, "IN OUT converts a CD image whole",
     [](Command &command, const QString &value) {
         return readChoice(pregapChoices, "pregap", value, &command.batch.pregap);
     }},
    {"cue-charset", 0, QStringLiteral("NAME"), OptionGroup::Files,
     "the CUE sheets' text encoding by iconv's name (windows-1251, shift_jis...); by default their byte-order "
     "mark, UTF-8, else the code page uchardet finds",
     QString(), kFolders, nullptr, "IN OUT converts a CD image whole",
     [](Command &command, const QString &value) {
         command.batch.cueCharset = value.toLatin1();
         return isKnownCharset(command.batch.cueCharset)
                    ? Outcome::success()
                    : Outcome::failure(QStringLiteral("--cue-charset: %1 is no text encoding iconv knows").arg(value));
     }},
    {"threads", 0, QStringLiteral("N"), OptionGroup::Settings, "INPUT OUTPUT only: encoder threads, 0 for one per core",
     QString::number(settingsDefaults.workers), InOutForm, nullptr, "a batch takes --jobs",
     [](Command &command, const QString &value) {
         command.threads = wholeNumber(value);
         return command.threads ? Outcome::success()
                                : Outcome::failure(QStringLiteral("--threads takes a whole number, 0 for every core"));
     }},
    {"jobs", 0, QStringLiteral("N"), OptionGroup::Settings,
     "files converted at once, a last few shared out by their chunks; 0 for one per core",
     QString::number(batchDefaults.jobs), kFolders, nullptr, "IN OUT takes --threads",
     [](Command &command, const QString &value) {
         const std::optional<int> jobs = wholeNumber(value);
         command.batch.jobs = jobs.value_or(0);
         return jobs ? Outcome::success() : Outcome::failure(QStringLiteral("--jobs takes a whole number, 0 for every core"));
     }},
    {"replaygain", 0, choiceNames(onOff), OptionGroup::Settings, "measure the loudness for ReplayGain",
     choiceName(onOff, settingsDefaults.replayGain), AnyForm, nullptr, nullptr,
     [](Command &command, const QString &value) {
         return setEncoderSwitch(onOff, "replaygain", value, command.encoder, &LameEncoderX::setReplayGain);
     }},
    {"album", 0, choiceNames(albumChoices), OptionGroup::Albums,
     "the files whose album loudness (REPLAYGAIN_ALBUM_GAIN, _PEAK) is measured together: each folder's, those "
     "with the same album artist, album and disc number, or none",
     choiceName(albumChoices, batchDefaults.album), kFolders, nullptr, "IN OUT writes no album figures",
     [](Command &command, const QString &value) {
         return readChoice(albumChoices, "album", value, &command.batch.album);
     }},
    {"source-tags", 0, choiceNames(keepIgnore), OptionGroup::Albums, "the input's tags fill the tags not given",
     choiceName(keepIgnore, settingsDefaults.sourceTags), AnyForm, nullptr, nullptr,
     [](Command &command, const QString &value) {
         return setEncoderSwitch(keepIgnore, "source-tags", value, command.encoder, &LameEncoderX::setSourceTags);
     }},
    {"cover", 0, QStringLiteral("FILE|none"), OptionGroup::Albums,
     "a JPEG or PNG as the front cover; none: not the folder's, which an input without a picture of its own takes "
     "from cover.jpg, folder.jpg or front.jpg (or .png, any letter case)",
     QString(), AnyForm, nullptr, nullptr,
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
    {"mirror", 0, QString(), OptionGroup::Mirror,
     "keep DIR an MP3 copy of the folders given: convert what is new, encode again what changed, retag what only "
     "got new tags, move what moved, put the MP3s of what is gone in the trash (a record of them in DIR)",
     QString(), MirrorForm, "output-dir", nullptr, setRequest<&BatchRequest::mirror, true>},
    {"dry-run", 0, QString(), OptionGroup::Mirror, "print what would be done, one line a file, and do none of it",
     QString(), MirrorForm, "mirror", nullptr, setRequest<&BatchRequest::dryRun, true>},
    {"trash-many", 0, QString(), OptionGroup::Mirror, "go on where more than half of DIR's MP3s would go to the trash",
     QString(), MirrorForm, "mirror", nullptr, setRequest<&BatchRequest::trashMany, true>},
    {"watch", 0, QString(), OptionGroup::Mirror,
     "after the run, watch the folders given and run again once what changed has settled; wait for DIR where it is "
     "not there (a stick out) and bring it up to date when it comes; SIGHUP asks for a run over everything",
     QString(), MirrorForm, "mirror", nullptr, setRequest<&BatchRequest::watch, true>},
    {"settle", 0, QStringLiteral("SECONDS"), OptionGroup::Mirror,
     "with --watch, how long a changed folder must go without another change before it is taken",
     QString::number(batchDefaults.settleSeconds), MirrorForm, "watch", nullptr,
     [](Command &command, const QString &value) {
         const std::optional<int> seconds = wholeNumber(value);
         if (!seconds || *seconds < 1 || *seconds > 86400)
             return Outcome::failure(QStringLiteral("--settle takes a number of seconds from 1 to 86400"));
         command.batch.settleSeconds = *seconds;
         return Outcome::success();
     }},
    {"gone", 0, choiceNames(goneChoices), OptionGroup::Mirror,
     "the MP3s of what is gone go to the trash, or are deleted (which frees a stick's room: its trash is on the "
     "stick)",
     choiceName(goneChoices, batchDefaults.gone), MirrorForm, "mirror", nullptr,
     [](Command &command, const QString &value) { return readChoice(goneChoices, "gone", value, &command.batch.gone); }},
    {"playlists", 0, choiceNames(keepOff), OptionGroup::Files,
     "the .m3u and .m3u8 playlists below the folders given are written into the output folder, each entry naming "
     "its MP3 (a CD image's: its tracks); off: none written, a mirror's left as they are",
     choiceName(keepOff, batchDefaults.playlists), kFolders, "output-dir", "IN OUT writes no playlist",
     [](Command &command, const QString &value) {
         return readChoice(keepOff, "playlists", value, &command.batch.playlists);
     }},
    {"list", 0, QString(), OptionGroup::Machines,
     "print INPUT<TAB>OUTPUT, absolute, for each file a run would convert, and convert none; with --album=folder "
     "each such folder and its output folder, to convert with --no-subfolders FOLDER -o OUTPUT; with --mirror each "
     "folder with work and where a --mirror job of it writes, whose MP3s the next --mirror run takes; DIR gets a "
     ".sonovert-root mark (with --mirror, a record), without which a job given DIR/./FOLDER (or a folder of "
     "DIR/.sonovert-incoming) makes nothing",
     QString(), kFolders, nullptr, "IN OUT converts its one file",
     setRequest<&BatchRequest::listing, BatchRequest::Listing::Lines>},
    {"list0", 0, QString(), OptionGroup::Machines,
     "the same, each path ended by a NUL byte: for any file name (parallel -0 -N2)", QString(), kFolders, nullptr,
     "IN OUT converts its one file", setRequest<&BatchRequest::listing, BatchRequest::Listing::Nul>},
    {"check", 0, QString(), OptionGroup::Machines,
     "convert nothing: list each MP3 missing or stale (with --mirror: not as its record says) and temporary files "
     "left behind; exit 0 only when all is there",
     QString(), kFolders, nullptr, "IN OUT converts its one file", setRequest<&BatchRequest::check, true>},
    {"help", 0, QString(), OptionGroup::Files, "this text (-? too)", QString(), AnyForm, nullptr, nullptr, nullptr},
    {"version", 0, QString(), OptionGroup::Files, "the version and the libraries it runs with", QString(), AnyForm,
     nullptr, nullptr, nullptr},
};

} // namespace

std::span<const CommandOption> commandOptions()
{
    static const std::vector<CommandOption> all = [] {
        std::vector<CommandOption> rows(std::begin(kOptions), std::end(kOptions));
        rows.insert(rows.end(), deviceOptions().begin(), deviceOptions().end());
        return rows;
    }();
    return all;
}

const CommandOption *commandOption(QStringView name, char shortName)
{
    for (const CommandOption &option : commandOptions())
        if (shortName ? option.shortName == shortName : name == QLatin1String(option.name))
            return &option;
    return nullptr;
}
