#pragma once

#include "encoder/core/outcome.h"

#include <QString>
#include <QStringList>

struct Command;

// lame's own words for what the encoder's members do (-b 320, -V 2, --preset standard, --tt
// Title, ...), each giving the MP3 of its member form.
struct LameWord
{
    const char *word;  // "-b", "--tt"
    const char *value; // what its value looks like; nullptr for a switch
    const char *help;
    Outcome (*apply)(Command &command, const QString &value);
};

// The word args[i] begins with, and its value (from "=", joined to a short word, or the next
// argument, which i then moves to); nullptr where args[i] is no word of lame's.
const LameWord *takeLameWord(const QStringList &args, qsizetype &i, QString *value, Outcome *refused);

// What lame's words cannot say together, once all are read.
Outcome checkLameWords(const Command &command);

// The help's section on lame's words.
QString lameWordsHelp();
