#pragma once

#include "batchcommand.h"
#include "exitstatus.h"

#include "encoder/lameencoderx.h"

#include <QStringList>

#include <optional>

// What the command line asks for.
struct Command
{
    QStringList files;
    BatchRequest batch;
    bool batchOption = false; // an option only a batch takes
    std::optional<int> threads;
    LameEncoderX encoder; // the members given as --Member=value
    QString lameBitrate;  // the word of lame's that set a constant rate (-b, --preset), if any
    QString lameVbr;      // the one that set a VBR quality (-V, --preset), if any
};

// What the arguments ask before any conversion: --help (or -?) or --version, wherever they
// stand before "--", win over every other argument.
enum class Request { Convert, Help, Version };
Request requestOf(const QStringList &args);

// Fills command from the arguments; a refusal is wrong usage.
Outcome parse(const QStringList &args, Command &command);

// INPUT OUTPUT as before batches: two names, the second neither a folder nor named as an input
// (a WAVE, FLAC or AIFF), and no option only a batch takes.
bool singleFileForm(const Command &command);

QString helpText();
// "  -o, --output-dir=DIR" and the like, padded to the help's column (or alone on its line).
QString optionColumn(QString shown);

// Says why on standard error, with the usage when the status is WrongUsage; returns status.
ExitStatus complain(ExitStatus status, const QString &why);
