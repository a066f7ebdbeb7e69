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

// One track's sample frames of the image, [begin, end).
struct CueCut
{
    CueTrack track; // the sheet's; numbered 0, with no texts, for the audio before track 1
    qint64 begin = 0;
    qint64 end = 0;
    int number() const { return track.number; }
    bool operator==(const CueCut &) const = default;
};

// The sample frame a sheet time falls on: exact where the rate is a multiple of 75 (44.1 and 48 kHz).
qint64 cueSampleFrame(qint64 sheetFrames, int rate);

// The tracks' ranges of an image of `frames` sample frames at `rate` Hz, in order, none empty.
// The audio before track 1's INDEX 01 (its hidden pregap) comes first as track 0 where there is
// some, whatever the choice: the caller keeps it where it is not silence. The last track runs
// to the image's end. An index at or past the end is refused, naming its line.
Result<std::vector<CueCut>> cueCuts(const CueSheet &sheet, qint64 frames, int rate, Pregap pregap = Pregap::Previous);
