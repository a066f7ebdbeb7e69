#pragma once

#include "command.h"
#include "optionrow.h"

#include "encoder/core/outcome.h"

#include <QString>
#include <QStringView>

#include <span>

// Every option: the files', the settings', a device's (deviceoptions.h), the mirror's...
std::span<const CommandOption> commandOptions();
// By its long name, or by its short one where shortName is not 0; nullptr for none.
const CommandOption *commandOption(QStringView name, char shortName = 0);

// The form the files and options given ask for, into command.form; a refusal, before anything
// runs, of an option the form does not take, of one without the option it needs, or of two that
// do not go together, naming both.
Outcome checkCommand(Command &command);
