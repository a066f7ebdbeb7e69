#pragma once

#include "exitstatus.h"

#include <QString>

// The command's one voice for what goes wrong: every error and warning, from any part and any
// thread, is a line on standard error through say(), which names the program first.
void say(const QString &text);
// "warning: " and the text, through say().
void warn(const QString &text);
// Says why; where the status is WrongUsage, the short usage follows. Returns status.
ExitStatus complain(ExitStatus status, const QString &why);

// The command's forms, one a line, as wrong usage and --help begin.
QString shortUsage();
