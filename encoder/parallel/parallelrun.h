#pragma once

#include "chunkplan.h"
#include "encoder/input/audiosource.h"
#include "encoder/lame/lameinstance.h"
#include "encoder/core/encodersettings.h"
#include "encoder/output/mp3output.h"
#include "encoder/core/outcome.h"
#include "encoder/core/progresscounter.h"
#include "encoder/input/resampler.h"

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <vector>

// What a run did, for tests and the benchmark.
struct RunReport
{
    int instances = 0;               // encoder instances whose frames are in the MP3
    std::vector<std::int64_t> seams; // first frame taken from each later instance
    // Of a parallel run, in seconds of wall time: workers started, the run's length, and summed
    // over the workers the time encoding chunks, waiting (for a chunk to be allowed, or after
    // the last one for the others), and joining and writing (waits for the lock included).
    int workers = 0;
    double parallelSeconds = 0;
    double encodeSeconds = 0;
    double waitSeconds = 0;
    double joinSeconds = 0;
};

struct ParallelJob
{
    const EncoderSettings &settings;
    const InputInfo &input;   // the file
    const InputInfo &encoded; // what lame takes: the file, or the file resampled to rates.outRate
    RateChange rates;
    const KeptRate *kept; // where resampled
    const ChunkLayout &layout; // on the encoded audio's frame grid
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

// Encodes the chunks on job.workers threads and writes the joined MP3 to job.output, with the
// tags and info frame; commits it, but leaves the last progress report to the caller. A
// failure of kind InputMismatch or Unjoinable wrote nothing usable: one instance should
// encode the file instead. spare as for infoFrameTemplate().
Outcome encodeInParallel(const ParallelJob &job, LamePtr spare = nullptr);
