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
    qint64 at = 0; // sheet frames from the start of its file
    int line = 0;
    int file = 0; // the FILE it stands under, counted from 0
    bool operator==(const CueIndex &) const = default;
};

struct CueTrack
{
    int number = 0; // 1 to 99; 0 for the audio before track 1 (see cueCuts)
    int line = 0;   // its TRACK line
    QString type;   // AUDIO, or a data track's mode (MODE1/2352, ...)
    QString title;
    QString performer;
    QString songwriter;
    QString isrc;
    QString comment;                // REM COMMENT
    QString date;                   // its own REM DATE, which wins over the sheet's
    std::optional<CueIndex> pregap; // INDEX 00
    CueIndex start;                 // INDEX 01; its file is the track's
    bool audio() const { return type == u"AUDIO"; }
    bool operator==(const CueTrack &) const = default;
};

// A FILE line: the name as written (a Windows path keeps its backslashes) and its type word.
struct CueFile
{
    QString name;
    QString type; // WAVE, BINARY, MOTOROLA, ...; rippers write WAVE for any audio
    int line = 0;
    // A CD's raw audio: 16-bit stereo PCM at 44.1 kHz without a header, little-endian for
    // BINARY, big-endian for MOTOROLA.
    bool rawCd() const { return type == u"BINARY" || type == u"MOTOROLA"; }
    bool operator==(const CueFile &) const = default;
};

// What a CUE sheet says; its texts as written, unquoted.
struct CueSheet
{
    std::vector<CueFile> files; // at least one
    QString catalog;
    QString title;
    QString performer;
    QString songwriter;
    QString date;       // REM DATE
    QString genre;      // REM GENRE
    QString comment;    // REM COMMENT
    QString discNumber; // REM DISCNUMBER
    QString totalDiscs; // REM TOTALDISCS
    // At least one AUDIO track among them, the numbers increasing, each with an INDEX 01 after
    // the one before and an INDEX 00 (where it has one) after the previous track's INDEX 01, in
    // the order of the files and then of the times within one.
    std::vector<CueTrack> tracks;
    bool operator==(const CueSheet &) const = default;
};

// Reads a sheet in the text encoding named (an iconv name; empty: found as sheetText says). A
// text value is quoted, or the rest of its line; an unquoted FILE name is the rest of its line
// less the last word, the type. TITLE, PERFORMER, SONGWRITER, REM COMMENT and REM DATE belong
// to the track they follow, else to the sheet; the other REM lines count before the first
// TRACK. Other INDEX numbers, PREGAP, POSTGAP, FLAGS and unknown commands are passed over; an
// INDEX belongs to the FILE it stands under, so a track may start in one file and go on in the
// next. A damaged sheet is refused with a message that names its line ("line 7: ...").
Result<CueSheet> parseCueSheet(const QByteArray &bytes, const QByteArray &charset = {});
// The same from a file, in the encoding setCueCharset named.
Result<CueSheet> readCueSheet(const QString &path);

// The encoding every sheet read later is in (--cue-charset), or empty to find it out. Set once,
// before any sheet is read: worker threads only read it.
void setCueCharset(const QByteArray &charset);
const QByteArray &cueCharset();

// A sheet time as mm:ss:ff.
QString cueTimeText(qint64 sheetFrames);
