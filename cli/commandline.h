#pragma once

#include "command.h"

#include "encoder/core/outcome.h"

#include <QStringList>

// What the arguments ask before any conversion: --help (or -?) or --version, wherever they
// stand before "--", win over every other argument.
enum class Request { Convert, Help, Version };
Request requestOf(const QStringList &args);

// Fills command from the arguments, its form among them (commandoptions.h); a refusal is wrong
// usage, told before anything runs.
Outcome parse(const QStringList &args, Command &command);
