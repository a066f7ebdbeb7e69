#pragma once

#include "encoder/mp3/frames.h"

#include <cstdint>
#include <optional>
#include <vector>

// The frames one encoder instance produced for its chunk, numbered on the whole input's frame
// grid: frames[k] is frame firstFrame + k of the joined stream.
struct EncodedChunk
{
    std::vector<unsigned char> bytes;
    std::vector<FrameEntry> frames;
    std::int64_t firstFrame = 0;

    std::int64_t endFrame() const { return firstFrame + static_cast<std::int64_t>(frames.size()); }
    bool has(std::int64_t frame) const { return frame >= firstFrame && frame < endFrame(); }
    const FrameEntry &frame(std::int64_t index) const { return frames[static_cast<std::size_t>(index - firstFrame)]; }
};

// Where the stream passes from a to b: at frame j, a's frames before j and b's from j on.
struct Seam
{
    std::int64_t frame = 0;
    int grow = 0;  // bytes a's frame j-1 must grow by (see growFrame)
    int shift = 0; // bytes b's main data from j on must move later (see shiftMainData)
};

// The seam in [from, to]: a has frames j-1 and j (j's side information tells how much free
// reservoir a had before slot j), b has j-1 and j. Best is the first j where a's free
// reservoir is at least what b's frame j borrows; a seam where the frames on both sides use
// normal long blocks is preferred, so the window shapes agree. A shortfall can be made up by
// a larger frame j-1 in a: any larger bit rate when freeRate (variable bit rate), else the
// padding byte. Failing all that, the j whose shortfall b's main data can absorb by moving
// later, the smallest first.
std::optional<Seam> chooseSeam(const EncodedChunk &a, const EncodedChunk &b, std::int64_t from, std::int64_t to,
                               bool freeRate);

// Bytes frame k of a can grow by, at least `bytes`: the next larger bit rate (freeRate) or the
// padding byte; 0 if it cannot.
int growthFor(const EncodedChunk &a, std::int64_t k, int bytes, bool freeRate);
// Grows frame k of a by growthFor() bytes of free slot at its end, dropping a's later frames.
bool growFrame(EncodedChunk &a, std::int64_t k, int bytes, bool freeRate);

// Moves b's main data from frame j on `shift` bytes later, so frame j borrows that much less
// reservoir; later frames follow until gaps of unused bytes, or padding bytes that unpadded
// frames take, have used up the shift, or to b's end. Each main_data_begin and padding bit is
// rewritten and b's bytes after its last complete frame are dropped. False, changing
// nothing, where a frame's data would start after its slot or end past the next one.
bool shiftMainData(EncodedChunk &b, std::int64_t j, int shift);

// Makes a's frames before the seam j carry the main data b's frame j borrowed: the last
// main_data_begin bytes of main data before b's slot j are copied over as many bytes before
// a's slot j, which are free in a. False if a's frames from keptFrom hold too few main-data
// bytes before j.
bool carryReservoir(EncodedChunk &a, std::int64_t keptFrom, const EncodedChunk &b, std::int64_t seam);
