#pragma once

#include "cuesheet.h"
#include "encoder/core/result.h"

#include <vector>

// Where the gap before a track's INDEX 01 (from its INDEX 00) goes.
enum class Pregap {
    Previous, // the end of the track before it, as rippers append gaps
    Next,     // the start of the track it precedes
    Drop,     // no track
};

// The audio of one of a sheet's files; none (0 frames) for a file of data tracks only, which
// is not read.
struct CueFileAudio
{
    qint64 frames = 0;
    int rate = 0;
};

// The frames [begin, end) of one of the sheet's files.
struct CuePiece
{
    int file = 0;
    qint64 begin = 0;
    qint64 end = 0;
    bool operator==(const CuePiece &) const = default;
};

// One track's sample frames: [begin, end) of the sheet's files laid end to end, in pieces of
// one file each, in order.
struct CueCut
{
    CueTrack track; // the sheet's; numbered 0, with no texts, for the audio before track 1
    qint64 begin = 0;
    qint64 end = 0;
    std::vector<CuePiece> pieces;
    int number() const { return track.number; }
    bool operator==(const CueCut &) const = default;
};

// The sample frame a sheet time falls on: exact where the rate is a multiple of 75 (44.1 and 48 kHz).
qint64 cueSampleFrame(qint64 sheetFrames, int rate);

// The AUDIO tracks' ranges of the sheet's files (one CueFileAudio a FILE), in order, none empty;
// a data track only ends the audio track before it. The audio before track 1's INDEX 01 (its
// hidden pregap) comes first as track 0 where there is some and track 1 is audio, whatever the
// choice: the caller keeps it where it is not silence. A track runs on to the next track's
// start (or gap) across the ends of files, the last to the end of the last file. An index of an
// AUDIO track at or past the end of its file is refused, naming its line.
Result<std::vector<CueCut>> cueCuts(const CueSheet &sheet, const std::vector<CueFileAudio> &files,
                                    Pregap pregap = Pregap::Previous);
// The same where every file holds `frames` at `rate` (one image).
Result<std::vector<CueCut>> cueCuts(const CueSheet &sheet, qint64 frames, int rate, Pregap pregap = Pregap::Previous);
