#include "helptext.h"

#include "commandoptions.h"
#include "exitstatus.h"
#include "lamewords.h"
#include "messages.h"
#include "nametemplate.h"

#include "encoder/lameencoderx.h"

#include <QTextStream>

namespace {

using Member = LameEncoderX::Member;

constexpr int kWidth = 79;
// Where an option's text starts: two spaces, the option in 28 columns, a space.
constexpr int kColumn = 31;
// Joins words that wrapped() keeps on one line ("NAME (2).mp3"); a space once written.
constexpr QChar kNoBreak(0xa0);

// The option as shown at the start of its line, its text beside it; where the option is wider
// than its column, the text starts on the line below (as the completion reads it).
QString optionLine(const QString &shown, const QString &text)
{
    QString line = QStringLiteral("  ") + shown;
    if (text.isEmpty())
        return line + QLatin1Char('\n');
    line = line.size() > kColumn - 2 ? line + QLatin1Char('\n') + QString(kColumn, QLatin1Char(' '))
                                     : line.leftJustified(kColumn);
    return line + wrapped(text, kColumn, kColumn) + QLatin1Char('\n');
}

QString paragraph(const QString &text)
{
    return wrapped(text, 0) + QStringLiteral("\n\n");
}

void writeOptions(QTextStream &out, OptionGroup group)
{
    for (const CommandOption &option : commandOptions()) {
        if (option.group != group)
            continue;
        QString shown = option.shortName ? QStringLiteral("-%1, ").arg(QLatin1Char(option.shortName)) : QString();
        shown += QStringLiteral("--") + QLatin1String(option.name);
        if (!option.value.isEmpty())
            shown += QLatin1Char('=') + option.value;
        QString text = QString::fromUtf8(option.help);
        if (!option.byDefault.isEmpty())
            text += QStringLiteral("\u00a0[%1]").arg(option.byDefault);
        out << optionLine(shown, text);
    }
}

// Every member that takes a value, from the component's member table; INPUT and OUTPUT are
// InputFile and OutputFile.
void writeMembers(QTextStream &out)
{
    for (const MemberField &field : LameEncoderX::members()) {
        if (field.kind == MemberKind::Method || field.member == Member::InputFile || field.member == Member::OutputFile)
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
        out << optionLine(QStringLiteral("--%1=%2").arg(QLatin1String(field.name), kind), QStringLiteral("[%1]").arg(shown));
    }
}

void writeLameWords(QTextStream &out)
{
    for (const LameWord &word : lameWords()) {
        QString shown = QLatin1String(word.word);
        if (word.value)
            shown += QLatin1Char(' ') + QLatin1String(word.value);
        out << optionLine(shown, QString::fromUtf8(word.help));
    }
    out << QStringLiteral("  ")
        << wrapped(QStringLiteral("Switches bundle as lame's do (-fh, -mm, -hb 320). -o is the output folder here, "
                                  "not lame's flag."),
                   2, 2)
        << "\n";
}

} // namespace

QString wrapped(const QString &text, int indent, int first)
{
    QString out = first < 0 ? QString(indent, QLatin1Char(' ')) : QString();
    int column = first < 0 ? indent : first;
    bool lineEmpty = true;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!lineEmpty && column + 1 + word.size() > kWidth) {
            out += QLatin1Char('\n') + QString(indent, QLatin1Char(' '));
            column = indent;
            lineEmpty = true;
        }
        if (!lineEmpty) {
            out += QLatin1Char(' ');
            ++column;
        }
        out += word;
        column += int(word.size());
        lineEmpty = false;
    }
    return out.replace(kNoBreak, QLatin1Char(' '));
}

QString helpText()
{
    QString text;
    QTextStream out(&text);
    out << shortUsage() << "\n\n"
        << paragraph(QStringLiteral(
               "Converts the WAVE, FLAC or AIFF file INPUT into the MP3 file OUTPUT with the settings Sonovert's "
               "window uses; settings not given keep their defaults (in brackets)."))
        << paragraph(QStringLiteral(
               "Given several INPUTs, a folder, or -o, converts each file given and each .wav, .wave, .flac, .aif, "
               ".aiff and .aifc file in the folders and their subfolders, several at once on every core (Ogg, Opus "
               "and AAC files there are lossy, and skipped). An MP3 already there is kept unless --existing says "
               "otherwise, so running the same command again after a stop converts only what is missing. An MP3 is "
               "the same whatever the form of the command, --threads or --jobs. The files of a folder are an "
               "album: their MP3s also get its loudness (--album)."))
        << paragraph(QStringLiteral(
               "A file with a CUE sheet of its name beside it, or a .cue given, is a CD image: each track becomes "
               "NN Title.mp3 in a folder named after the image, tagged from the sheet."))
        << paragraph(QStringLiteral(
               "With -o, each .m3u and .m3u8 playlist below the folders given is written at its place in the output "
               "folder, each entry that names a file with an MP3 naming that MP3 (relative, with forward slashes; a "
               "CD image as its tracks, each with its #EXTINF). Entries may be relative, absolute, file:// URLs or "
               "Windows paths of another disk (matched by their end); one naming nothing with an MP3 is left out, "
               "and counted. A job of --list writes none: the final --check (with --mirror, the next run) does."))
        << paragraph(QStringLiteral(
                         "--name names each MP3 from its tags (the typed ones, else the input's own), .mp3 added: "
                         "'{albumartist}/{album}/{track:02}\u00a0{title}' gives Band/Album/03\u00a0Song.mp3, its folders made "
                         "as needed. A key is any tag's: %1. {key:0N} pads a number to N figures (\"3/12\" gives "
                         "03); a tag that is empty is \"Unknown Album\" and the like (for an album artist, the "
                         "artist first); a slash or a control character in a tag becomes \"_\".")
                         .arg(NameTemplate::keys()));
    out << "Inputs and outputs:\n";
    writeOptions(out, OptionGroup::Files);
    out << "\nThe encoder's settings, for every file (a value after a space or =):\n";
    writeOptions(out, OptionGroup::Settings);
    writeMembers(out);
    out << "\nlame's words, each giving the MP3 of the setting in brackets:\n";
    writeLameWords(out);
    out << "\nAlbums and tags:\n";
    writeOptions(out, OptionGroup::Albums);
    out << "\nFor a device (a car, an old player, a phone):\n";
    writeOptions(out, OptionGroup::Device);
    out << "\nThe mirror (--mirror SRC... -o DIR):\n";
    writeOptions(out, OptionGroup::Mirror);
    out << "\nMany machines:\n";
    writeOptions(out, OptionGroup::Machines);
    out << "\n"
        << paragraph(QStringLiteral(
               "A mirror kept in step from login, as a user service: put SRC=FOLDER, DST=FOLDER and OPTIONS=... "
               "lines in ~/.config/sonovert/mirror-NAME.conf, then systemctl --user enable --now "
               "sonovert-mirror@NAME; its log is journalctl --user -u sonovert-mirror@NAME, and systemctl --user kill "
               "-s HUP sonovert-mirror@NAME asks for a run over everything."))
        << paragraph(QStringLiteral(
               "On a terminal one line shows files done, the audio done, the time so far and the time left; a batch "
               "ends with what was converted, skipped and failed, each failure's reason, and the speed. SIGINT or "
               "SIGTERM stops it within a second: finished MP3s stay, no partial file is left."))
        << wrapped(QStringLiteral("Exit status: %1 every input converted (or skipped), %2 a conversion failed, %3 "
                                  "wrong usage (an unknown option, no input, an output folder that cannot be made), "
                                  "%4 and %5 stopped by SIGINT and SIGTERM.")
                       .arg(int(ExitStatus::Success))
                       .arg(int(ExitStatus::Failed))
                       .arg(int(ExitStatus::WrongUsage))
                       .arg(int(ExitStatus::StoppedByInt))
                       .arg(int(ExitStatus::StoppedByTerm)),
                   0)
        << "\n";
    return text;
}
