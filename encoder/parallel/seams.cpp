#include "seams.h"

#include <algorithm>

namespace {

// Buffer offsets of the last count main-data bytes before the slot of frame `before`, oldest
// first; fewer if the frames from `from` hold fewer.
std::vector<std::size_t> mainDataBefore(const EncodedChunk &chunk, std::int64_t from, std::int64_t before, int count)
{
    std::vector<std::size_t> offsets(static_cast<std::size_t>(count));
    int left = count;
    for (std::int64_t k = before - 1; k >= from && left > 0; --k) {
        const FrameEntry &frame = chunk.frame(k);
        const std::size_t slotStart = frame.offset + static_cast<std::size_t>(frame.header.sideInfoEnd);
        for (std::size_t at = frame.offset + static_cast<std::size_t>(frame.header.size); at > slotStart && left > 0;)
            offsets[static_cast<std::size_t>(--left)] = --at;
    }
    if (left > 0)
        offsets.erase(offsets.begin(), offsets.begin() + left);
    return offsets;
}

// Main-data coordinates count slot bytes only, from the chunk's first slot.
struct MainDataLayout
{
    explicit MainDataLayout(const EncodedChunk &chunk) : frames(chunk.frames), slotStart(chunk.frames.size() + 1, 0)
    {
        for (std::size_t k = 0; k < frames.size(); ++k)
            slotStart[k + 1] = slotStart[k] + frames[k].header.size - frames[k].header.sideInfoEnd;
        first = chunk.firstFrame;
    }

    long dataStart(std::size_t k) const { return slotStart[k] - frames[k].side.mainDataBegin; }
    long dataEnd(std::size_t k) const { return dataStart(k) + frames[k].side.mainDataBytes; }

    // Moving the data of frame j `shift` bytes later moves the frames after it as far as
    // needed: each frame's data stays contiguous with the last, the shift shrinks by any gap
    // of unused bytes after a frame and by one for each unpadded frame on the way, which takes
    // its padding byte. The move ends where the shift is used up, or at the chunk's end.
    struct Move
    {
        std::size_t end = 0;        // frames [j, end) move
        std::vector<int> shifts;    // how much later each moving frame's data starts
        std::vector<bool> padded;   // which moving frames take their padding byte
    };

    std::optional<Move> move(std::int64_t j, int shift) const
    {
        Move plan;
        long left = shift;
        std::size_t k = static_cast<std::size_t>(j - first);
        for (; k < frames.size() && left > 0; ++k) {
            const FrameEntry &frame = frames[k];
            const int extra = frame.header.padded ? 0 : 1;
            if (frame.side.mainDataBegin < left || dataEnd(k) + left > slotStart[k + 1] + extra)
                return std::nullopt;
            plan.shifts.push_back(static_cast<int>(left));
            plan.padded.push_back(extra == 1);
            const long gap = k + 1 < frames.size() ? dataStart(k + 1) - dataEnd(k) : 0;
            left = std::max(0L, left - gap - extra);
        }
        plan.end = k;
        return plan;
    }

    const std::vector<FrameEntry> &frames;
    std::vector<long> slotStart;
    std::int64_t first = 0;
};

} // namespace

std::optional<Seam> chooseSeam(const EncodedChunk &a, const EncodedChunk &b, std::int64_t from, std::int64_t to,
                               bool freeRate)
{
    std::optional<Seam> fits;
    std::optional<Seam> shifted;
    for (std::int64_t j = from; j <= to; ++j) {
        if (!a.has(j) || !a.has(j - 1) || !b.has(j) || !b.has(j - 1))
            continue;
        const int shortfall = b.frame(j).side.mainDataBegin - a.frame(j).side.mainDataBegin;
        const bool longBlocks =
            a.frame(j - 1).side.longBlocks && b.frame(j - 1).side.longBlocks && b.frame(j).side.longBlocks;
        const int grow = shortfall <= 0 ? 0 : growthFor(a, j - 1, shortfall, freeRate);
        if (shortfall <= 0 || grow > 0) {
            if (longBlocks)
                return Seam {j, grow, 0};
            if (!fits)
                fits = Seam {j, grow, 0};
        } else if ((!shifted || shortfall < shifted->shift) && MainDataLayout(b).move(j, shortfall)) {
            shifted = Seam {j, 0, shortfall};
        }
    }
    return fits ? fits : shifted;
}

int growthFor(const EncodedChunk &a, std::int64_t k, int bytes, bool freeRate)
{
    const FrameHeader &header = a.frame(k).header;
    if (!freeRate)
        return !header.padded && bytes == 1 ? 1 : 0;
    const std::optional<int> bitrate = smallestBitrateFor(header.version, header.sampleRate, header.size + bytes);
    if (!bitrate)
        return 0;
    return frameBytes(header.version, *bitrate, header.sampleRate, header.padded) - header.size;
}

bool growFrame(EncodedChunk &a, std::int64_t k, int bytes, bool freeRate)
{
    const int growth = growthFor(a, k, bytes, freeRate);
    if (growth <= 0)
        return false;
    const std::size_t index = static_cast<std::size_t>(k - a.firstFrame);
    a.frames.resize(index + 1);
    FrameEntry &frame = a.frames.back();
    unsigned char *header = a.bytes.data() + frame.offset;
    if (freeRate) {
        const int bitrate = *smallestBitrateFor(frame.header.version, frame.header.sampleRate, frame.header.size + bytes);
        header[2] = static_cast<unsigned char>((header[2] & 0x0f) | (bitrateIndex(frame.header.version, bitrate) << 4));
    } else {
        header[2] |= 0x02; // the padding bit
    }
    const std::optional<FrameHeader> grown = parseHeader(header, 4);
    if (!grown || grown->size != frame.header.size + growth)
        return false;
    a.bytes.resize(frame.offset + static_cast<std::size_t>(frame.header.size));
    a.bytes.resize(a.bytes.size() + static_cast<std::size_t>(growth), 0);
    frame.header = *grown;
    return true;
}

bool shiftMainData(EncodedChunk &b, std::int64_t j, int shift)
{
    const MainDataLayout layout(b);
    const std::optional<MainDataLayout::Move> move = layout.move(j, shift);
    if (!move)
        return false;
    const std::size_t from = static_cast<std::size_t>(j - b.firstFrame);
    const std::size_t count = b.frames.size();

    // The main data as one stream of slot bytes, before and after the move.
    std::vector<unsigned char> old;
    for (const FrameEntry &frame : b.frames)
        old.insert(old.end(), b.bytes.begin() + static_cast<std::ptrdiff_t>(frame.offset + frame.header.sideInfoEnd),
                   b.bytes.begin() + static_cast<std::ptrdiff_t>(frame.offset + frame.header.size));
    std::vector<long> newSlotStart(count + 1, 0);
    for (std::size_t k = 0; k < count; ++k) {
        const bool pads = k >= from && k < move->end && move->padded[k - from];
        newSlotStart[k + 1] = newSlotStart[k] + (layout.slotStart[k + 1] - layout.slotStart[k]) + (pads ? 1 : 0);
    }
    std::vector<unsigned char> moved(static_cast<std::size_t>(newSlotStart[count]), 0);
    // Before frame j's slot nothing moves; the moving frames' data goes to its new places;
    // from the first frame that keeps its place on, everything keeps its place in its slot.
    std::copy(old.begin(), old.begin() + layout.slotStart[from], moved.begin());
    for (std::size_t k = from; k < move->end; ++k) {
        const long start = layout.dataStart(k);
        const long to = newSlotStart[k] - b.frames[k].side.mainDataBegin + move->shifts[k - from];
        std::copy(old.begin() + start, old.begin() + start + b.frames[k].side.mainDataBytes, moved.begin() + to);
    }
    if (move->end < count) {
        const long start = layout.dataStart(move->end);
        const long delta = newSlotStart[move->end] - layout.slotStart[move->end];
        std::copy(old.begin() + start, old.end(), moved.begin() + start + delta);
    }

    std::vector<unsigned char> bytes;
    bytes.reserve(moved.size() + count * 40);
    for (std::size_t k = 0; k < count; ++k) {
        FrameEntry &frame = b.frames[k];
        const std::size_t headerAt = bytes.size();
        bytes.insert(bytes.end(), b.bytes.begin() + static_cast<std::ptrdiff_t>(frame.offset),
                     b.bytes.begin() + static_cast<std::ptrdiff_t>(frame.offset + frame.header.sideInfoEnd));
        bytes.insert(bytes.end(), moved.begin() + newSlotStart[k], moved.begin() + newSlotStart[k + 1]);
        frame.offset = headerAt;
        if (k < from || k >= move->end)
            continue;
        unsigned char *header = bytes.data() + headerAt;
        if (move->padded[k - from]) {
            header[2] |= 0x02;
            frame.header.padded = true;
            frame.header.size += 1;
        }
        frame.side.mainDataBegin -= move->shifts[k - from];
        // main_data_begin opens the side information: 9 bits in MPEG-1, 8 in MPEG-2 and 2.5.
        unsigned char *side = header + 4 + (frame.header.crc ? 2 : 0);
        const int value = frame.side.mainDataBegin;
        if (frame.header.version == 1) {
            side[0] = static_cast<unsigned char>(value >> 1);
            side[1] = static_cast<unsigned char>((side[1] & 0x7f) | ((value & 1) << 7));
        } else {
            side[0] = static_cast<unsigned char>(value);
        }
    }
    b.bytes = std::move(bytes);
    return true;
}

bool carryReservoir(EncodedChunk &a, std::int64_t keptFrom, const EncodedChunk &b, std::int64_t seam)
{
    const int borrowed = b.frame(seam).side.mainDataBegin;
    if (borrowed == 0)
        return true;
    const std::vector<std::size_t> from = mainDataBefore(b, b.firstFrame, seam, borrowed);
    const std::vector<std::size_t> to = mainDataBefore(a, keptFrom, seam, borrowed);
    if (static_cast<int>(from.size()) != borrowed || static_cast<int>(to.size()) != borrowed)
        return false;
    for (int i = 0; i < borrowed; ++i)
        a.bytes[to[static_cast<std::size_t>(i)]] = b.bytes[from[static_cast<std::size_t>(i)]];
    return true;
}
