#include "commandoptions.h"
#include "deviceoptions.h"
#include "lamewords.h"

#include "encoder/input/sourceformat.h"

#include <QFileInfo>

namespace {

// Values of options that do not go with another option: the value (nullptr: any), the other,
// and why, with %1 the option and its value and %2 the other. measured: only where the loudness
// is measured, as without it there are no albums.
struct Conflict
{
    const char *option;
    const char *value;
    const char *other;
    bool measured;
    const char *why;
};

const Conflict kConflicts[] = {
    {"album", "tags", "mirror", true,
     "%2 takes --album=folder or off, not %1: a mirror tells an album's change by its folder"},
    {"album", "tags", "list", true,
     "%1 cannot be listed (%2): an album's files may lie in several folders, and it is measured where it is "
     "converted (--album=folder or off lists)"},
    {"album", "tags", "list0", true,
     "%1 cannot be listed (%2): an album's files may lie in several folders, and it is measured where it is "
     "converted (--album=folder or off lists)"},
    {"list", nullptr, "list0", false, "%1 and %2 are two ways of listing: give one"},
    {"check", nullptr, "list", false, "%1 converts nothing and lists nothing: it goes without %2"},
    {"check", nullptr, "list0", false, "%1 converts nothing and lists nothing: it goes without %2"},
    {"check", nullptr, "dry-run", false, "%1 only looks at what is there: it goes without %2"},
    {"watch", nullptr, "dry-run", false, "%1 keeps the mirror in step: it goes without %2"},
    {"watch", nullptr, "check", false, "%1 keeps the mirror in step: it goes without %2"},
    {"watch", nullptr, "list", false, "%1 keeps the mirror in step: it goes without %2"},
    {"watch", nullptr, "list0", false, "%1 keeps the mirror in step: it goes without %2"},
};

// As the help and the messages show it: "-o DIR", "--mirror".
QString shown(const CommandOption &option)
{
    if (option.shortName)
        return QStringLiteral("-") + QLatin1Char(option.shortName)
               + (option.value.isEmpty() ? QString() : QLatin1Char(' ') + option.value);
    return QStringLiteral("--") + QLatin1String(option.name);
}

// INPUT OUTPUT: two names, neither a folder, the second not named as an input (a WAVE, FLAC,
// AIFF, a lossy file or a CUE sheet, which an MP3 written there would replace).
bool inOut(const QStringList &files)
{
    return files.size() == 2 && !QFileInfo(files[0]).isDir() && !QFileInfo(files[1]).isDir()
           && !isLosslessFileName(files[1]) && !isLossyFileName(files[1])
           && !files[1].endsWith(QLatin1String(".cue"), Qt::CaseInsensitive);
}

unsigned formBit(Form form)
{
    switch (form) {
    case Form::InOut:
        return InOutForm;
    case Form::Batch:
        return BatchForm;
    case Form::Mirror:
        return MirrorForm;
    }
    return 0;
}

} // namespace

Outcome checkCommand(Command &command)
{
    const auto given = [&command](const char *name) -> const QString * {
        for (const auto &[option, value] : command.given)
            if (option == QLatin1String(name))
                return &value;
        return nullptr;
    };
    command.form = given("mirror")       ? Form::Mirror
                   : given("output-dir") ? Form::Batch
                   : inOut(command.files) ? Form::InOut
                                          : Form::Batch;
    for (const auto &[name, value] : command.given) {
        const CommandOption &option = *commandOption(name);
        if (option.needs && !given(option.needs))
            return Outcome::failure(
                QStringLiteral("--%1 needs %2").arg(QLatin1String(option.name), shown(*commandOption(QString::fromLatin1(option.needs)))));
        if (option.forms & formBit(command.form))
            continue;
        const QString where = command.form == Form::InOut ? QStringLiteral("folders and lists") : QStringLiteral("IN OUT alone");
        return Outcome::failure(QStringLiteral("--%1 applies to %2; %3").arg(QLatin1String(option.name), where,
                                                                           QLatin1String(option.apart)));
    }
    const bool measured = command.encoder.settings().replayGain;
    for (const Conflict &conflict : kConflicts) {
        const QString *value = given(conflict.option);
        if (!value || !given(conflict.other) || (conflict.measured && !measured)
            || (conflict.value && *value != QLatin1String(conflict.value)))
            continue;
        const QString first = QStringLiteral("--") + QLatin1String(conflict.option)
                              + (conflict.value ? QLatin1Char('=') + *value : QString());
        return Outcome::failure(QString::fromUtf8(conflict.why).arg(first, QStringLiteral("--") + QLatin1String(conflict.other)));
    }
    if (command.form != Form::InOut && command.files.isEmpty())
        return Outcome::failure(QStringLiteral("no input"));
    if (Outcome device = checkDeviceOptions(command); !device)
        return device;
    if (Outcome lame = checkLameWords(command); !lame)
        return lame;
    setDeviceNames(command);
    return Outcome::success();
}
