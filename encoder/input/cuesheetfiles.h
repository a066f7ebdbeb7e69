#pragma once

#include "cuesheet.h"

#include <QString>
#include <QStringList>

#include <vector>

// Where one of a sheet's files is.
struct CueFileFound
{
    QString path;  // empty for a file of data tracks only, which is not looked for, or on error
    QString note;  // how it was found, where not by its name as written
    QString error; // "line N: ..." where it cannot be used
    bool rawCd = false; // read as a CD's raw audio (BINARY, MOTOROLA)
};

// Finds each of the sheet's files as people keep them, beside the sheet (sheetPath's folder):
// by its name; a Windows path (backslashes) by its last parts below that folder; by its base
// name with another extension this program reads (the WAVE a ripper wrote, compressed to FLAC
// since), where a format it cannot read is named as such; and where the sheet names one file
// that is none of these, the one lossless file of the sheet's own base name beside it (or
// `beside`, the image the sheet was found with).
std::vector<CueFileFound> findCueFiles(const QString &sheetPath, const CueSheet &sheet, const QString &beside = {});

// The files a sheet at path uses, as findCueFiles finds them; empty where it cannot be read.
QStringList cueSheetFiles(const QString &sheetPath);
