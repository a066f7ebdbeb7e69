#pragma once

#include "encoder/mp3/frames.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <vector>

// Cores lent to runs already going, by a batch that has no file left to start: workers after
// a run's first encode a chunk only while they hold one.
class CoreShare
{
public:
    void lend(int cores = 1) { m_free.fetch_add(cores); }
    bool borrow()
    {
        int free = m_free.load();
        while (free > 0)
            if (m_free.compare_exchange_weak(free, free - 1))
                return true;
        return false;
    }
    void giveBack() { m_free.fetch_add(1); }

private:
    std::atomic_int m_free = 0;
};

// How a run may spread one file over several encoder instances.
struct ParallelPlan
{
    int workers = 0;               // 0: settings.workers, and where that is 0, every core
    std::int64_t chunkFrames = 0;  // MP3 frames a chunk; 0: chosen from the input's length
    double minSeconds = 3;         // shorter inputs gain nothing and use one instance
    CoreShare *cores = nullptr; // where given, workers after the first borrow a core a chunk
    // The MP3 of a run that succeeds is left written but not in place, in RunReport::uncommitted
    // (a report must be given): the caller finishes the commit.
    bool leaveUncommitted = false;
    // Where the MP3 is written until it is put in place; empty: beside it (Mp3Output).
    QString temporaryFolder = {};
};

// Frames an instance encodes before its chunk, so the psychoacoustic model and the reservoir
// have history when the chunk begins.
constexpr std::int64_t kWarmUp = 16;
// Frames after a chunk's end where the seam to the next chunk may fall.
constexpr std::int64_t kSearch = 16;
// The same where no frame can grow by a padding byte and the reservoir is at most 255 bytes
// (constant bit rates at 16 and 24 kHz, for instance): two instances' reservoirs then stay
// tens of bytes apart for dozens of frames.
constexpr std::int64_t kLongSearch = 128;
// Frames read past the search so the frames around the seam come out whole; lame holds back
// about two frames of look-ahead.
constexpr std::int64_t kLookAhead = 6;

// The chunks of one input: chunk i covers frames [starts[i], starts[i+1]) of the whole-file
// frame grid, the last to the end.
struct ChunkLayout
{
    int frameSamples = kMpeg1FrameSamples;
    std::int64_t search = kSearch; // frames after each chunk's end where its seam may fall
    std::vector<std::int64_t> starts;
};

// The chunks are cut as for this many workers, however many encode them, one worker encoding
// its chunks one after another: an MP3 then depends on its input and settings alone.
constexpr int kLayoutWorkers = 2;

// Chunks of chunkFrames (0: chosen from the length: a whole number of chunks for each of
// kLayoutWorkers, 20 to 60 seconds long), at least two only when the input holds two whole
// chunks.
ChunkLayout planChunks(std::int64_t inputFrames, int sampleRate, int frameSamples, std::int64_t chunkFrames,
                       std::int64_t search = kSearch);
