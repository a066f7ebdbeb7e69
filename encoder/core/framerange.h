#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

// How a file's audio is stored where it has no header: a CD's raw audio (a CUE sheet's BINARY
// or MOTOROLA file) is 16-bit stereo PCM at 44.1 kHz.
enum class RawCd { No, LittleEndian, BigEndian };

// Frames of another file that a range goes on with.
struct FramePiece
{
    QString file;
    qint64 first = 0;
    qint64 count = 0;
    RawCd raw = RawCd::No;
    bool operator==(const FramePiece &) const = default;
};

// The sample frames of an input a run encodes, [first, first + count): the MP3 is the one of
// a file that held only these frames. A CD image's track, for instance, which may go on into
// the sheet's next files (then).
struct FrameRange
{
    qint64 first = 0;
    std::optional<qint64> count {}; // none: to the input's end
    RawCd raw = RawCd::No;       // the input's own
    std::vector<FramePiece> then {};

    bool whole() const { return first == 0 && !count && then.empty(); }
    bool operator==(const FrameRange &) const = default;
};
