#pragma once

#include "audiosource.h"
#include "encodersettings.h"
#include "mp3output.h"
#include "outcome.h"
#include "progresscounter.h"

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <vector>

// How a run may spread one file over several encoder instances.
struct ParallelPlan
{
    int workers = 0;               // 0: settings.workers, and where that is 0, every core
    std::int64_t chunkFrames = 0;  // MP3 frames a chunk; 0: chosen from the input's length
    double minSeconds = 20;        // shorter inputs gain nothing and use one instance
};

// What a run did, for tests and the benchmark.
struct RunReport
{
    int instances = 0;               // encoder instances whose frames are in the MP3
    std::vector<std::int64_t> seams; // first frame taken from each later instance
};

// The chunks of one input: chunk i covers frames [starts[i], starts[i+1]) of the whole-file
// frame grid, the last to the end.
struct ChunkLayout
{
    int frameSamples = 1152;
    std::vector<std::int64_t> starts;
};

// Chunks of chunkFrames (0: chosen from the length and the workers), at least two only when
// the input holds two whole chunks.
ChunkLayout planChunks(std::int64_t inputFrames, int sampleRate, int frameSamples, int workers,
                       std::int64_t chunkFrames);

struct ParallelJob
{
    const EncoderSettings &settings;
    const InputInfo &input;
    const ChunkLayout &layout;
    int workers;
    int encoderDelay;
    bool variableRate; // frames may take any bit rate
    Mp3Output &output;
    const QByteArray &id3v2;
    const QByteArray &id3v1;
    const std::atomic_bool &abort;
    ProgressCounter &counter;
    RunReport *report;
};

struct ParallelEnd
{
    Outcome outcome;
    // The input did not match its header or the chunks could not be joined: nothing usable
    // was written, and one instance should encode the file instead.
    bool useOneInstance = false;
};

// Encodes the chunks on job.workers threads and writes the joined MP3 to job.output, with the
// tags and info frame; commits it, but leaves the last progress report to the caller.
ParallelEnd encodeInParallel(const ParallelJob &job);
