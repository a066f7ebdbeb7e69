#pragma once

#include "encoder/core/result.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// A CUE sheet's times count sheet frames (a CD's sectors), 75 a second.
inline constexpr int kCueFramesPerSecond = 75;
// A sheet is a few kilobytes; a larger file is none.
inline constexpr qint64 kMaxCueSheetBytes = 1 << 20;

// An INDEX of a track, with its line, so an index past the audio's end can be named.
struct CueIndex
{
    qint64 at = 0; // sheet frames from the start of the file
    int line = 0;
    bool operator==(const CueIndex &) const = default;
};

struct CueTrack
{
    int number = 0; // 1 to 99; 0 for the audio before track 1 (see cueCuts)
    int line = 0;   // its TRACK line
    QString title;
    QString performer;
    QString songwriter;
    QString isrc;
    QString comment;                // REM COMMENT
    std::optional<CueIndex> pregap; // INDEX 00
    CueIndex start;                 // INDEX 01
    bool operator==(const CueTrack &) const = default;
};

// What a CUE sheet of one audio file says; its texts as written, unquoted.
struct CueSheet
{
    QString file;     // FILE's name
    QString fileType; // FILE's type word (WAVE, AIFF, ...); rippers write WAVE for any audio
    QString catalog;
    QString title;
    QString performer;
    QString songwriter;
    QString date;       // REM DATE
    QString genre;      // REM GENRE
    QString comment;    // REM COMMENT
    QString discNumber; // REM DISCNUMBER
    QString totalDiscs; // REM TOTALDISCS
    // At least one, AUDIO only, the numbers increasing, each with an INDEX 01 after the one
    // before and an INDEX 00 (where it has one) after the previous track's INDEX 01.
    std::vector<CueTrack> tracks;
    int fileLine = 0; // FILE's line
    bool operator==(const CueSheet &) const = default;
};

// Reads a sheet of one file: UTF-8 (with or without a byte-order mark), UTF-16 with one, else
// Windows-1252. A text value is quoted, or the rest of its line. TITLE, PERFORMER, SONGWRITER
// and REM COMMENT belong to the track they follow, else to the sheet; the other REM lines count
// before the first TRACK. Other INDEX numbers, PREGAP, POSTGAP, FLAGS and unknown commands are
// passed over. A damaged sheet, or one of several files or with a track that is not AUDIO, is
// refused with a message that names its line ("line 7: ...").
Result<CueSheet> parseCueSheet(const QByteArray &bytes);
// The same from a file.
Result<CueSheet> readCueSheet(const QString &path);

// A sheet time as mm:ss:ff.
QString cueTimeText(qint64 sheetFrames);
