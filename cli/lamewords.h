#pragma once

#include "command.h"

#include "encoder/core/outcome.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <span>

// lame's own words for what the encoder's members do (-b 320, -V 2, --preset standard, --tt
// Title, ...), each giving the MP3 of its member form.
struct LameWord
{
    const char *word;  // "-b", "--tt"
    const char *value; // what its value looks like; nullptr for a switch
    const char *help;
    Outcome (*apply)(Command &command, const QString &value);
};

// In the order the help shows them.
std::span<const LameWord> lameWords();

// Reads into command the word of lame's that args[i] is, or the short switches bundled in it as
// lame bundles them ("-fh", "-mm", "-hb 320"): a value from "=", the rest of the argument after a
// short word, or the next argument (which i then moves to). Nothing where args[i] begins with no
// word of lame's; a refusal names a switch that cannot be bundled.
std::optional<Outcome> readLameWords(const QStringList &args, qsizetype &i, Command &command);

// What lame's words cannot say together, once all are read.
Outcome checkLameWords(const Command &command);
