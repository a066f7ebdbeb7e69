#pragma once

#include "command.h"

#include "encoder/core/outcome.h"

#include <QString>

#include <span>

// The forms an option is taken in, together.
enum FormSet : unsigned { InOutForm = 1, BatchForm = 2, MirrorForm = 4, AnyForm = 7 };

// The headings of --help, in its order.
enum class OptionGroup { Files, Settings, Albums, Device, Mirror, Machines };

// One row an option: its names, what its value looks like (empty for a switch), where --help
// shows it and what it says, its default (empty: none shown), the forms it is taken in, the
// option it needs (a long name), what INPUT OUTPUT does instead or what a batch takes instead,
// and what it sets. The encoder's members follow as --Member=value, from the member table.
struct CommandOption
{
    const char *name;
    char shortName; // 0: none
    QString value;
    OptionGroup group;
    const char *help;
    QString byDefault;
    unsigned forms;
    const char *needs;
    const char *apart;
    Outcome (*set)(Command &command, const QString &value);
};
