#pragma once

#include <QtGlobal>

#include <optional>

// The sample frames of an input a run encodes, [first, first + count): the MP3 is the one of
// a file that held only these frames. A CD image's track, for instance.
struct FrameRange
{
    qint64 first = 0;
    std::optional<qint64> count; // none: to the input's end

    bool whole() const { return first == 0 && !count; }
};
