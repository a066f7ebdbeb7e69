#pragma once

#include "chunkinput.h"
#include "chunkplan.h"
#include "encodingplan.h"
#include "runreport.h"
#include "streamjoiner.h"
#include "encoder/input/loudnessmeter.h"

#include <lame/lame.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

// The audio chunk index of a run reads: the encoded frames [begin, end), from its warm-up to past
// its seam; its own [low, high), measured and credited; and where the input is sought to.
struct ChunkSpan
{
    qint64 firstFrame = 0; // on the MP3 frame grid
    qint64 begin = 0;
    qint64 end = 0;
    qint64 low = 0;
    qint64 high = 0;
    RateChange::Start start;
};
ChunkSpan chunkSpan(const EncodingPlan &plan, const ChunkLayout &layout, int index);

// The loudness of the input as a run on these chunks measures it: a meter a chunk, each over the
// samples its chunk's encoder is given, so an album's figures from a track measured again are
// those the run that made its MP3 gave. Empty where the input cannot be read or abort is set.
std::vector<std::unique_ptr<LoudnessMeter>> measureChunks(const EncodingPlan &plan, const ChunkLayout &layout,
                                                          lame_t lame, const std::atomic_bool &abort);

// Workers take chunks in order and hand them, encoded, to the joiner. Each instance starts
// kWarmUp frames early and reads past its chunk's end, so the frames around every seam come
// out as a whole-file encoder would make them.
class ChunkWorkers
{
public:
    ChunkWorkers(const EncodingPlan &plan, const ChunkLayout &layout, int workers, const RunControls &controls,
                 Mp3Output &output)
        : m_plan(plan), m_layout(layout), m_workers(workers), m_controls(controls), m_spf(layout.frameSamples),
          m_joiner(layout, plan.variableRate, output), m_meters(layout.starts.size())
    {
    }

    Outcome run();
    const InfoFrameBuilder &info() const { return m_joiner.info(); }
    int padding() const { return m_padding; }
    // The chunks' figures merged in chunk order, so they do not depend on which worker
    // finished first. After run().
    std::optional<TrackGain> trackGain() const;
    // The chunks' meters in chunk order, for an album's figures; empty where any is missing.
    std::vector<std::unique_ptr<LoudnessMeter>> takeMeters();

private:
    int chunks() const { return static_cast<int>(m_layout.starts.size()); }
    bool stopping() const
    {
        return m_controls.abort.load(std::memory_order_relaxed) || m_stop.load(std::memory_order_relaxed);
    }
    void work(WorkerClock &clock, bool borrows);
    std::optional<int> takeChunk();
    std::optional<int> takeChunkWithCore();
    template <typename Sample>
    Outcome encodeChunk(int index, ChunkInput &input, EncodedChunk &chunk);
    // The input frames chunk index is credited with: its own, without the overlap.
    std::pair<qint64, qint64> ownFrames(int index) const;
    void credit(qint64 from, qint64 count, int index);
    void deliver(int index, EncodedChunk chunk);
    void fail(Outcome outcome);

    const EncodingPlan &m_plan;
    const ChunkLayout &m_layout; // on the encoded audio's frame grid
    const int m_workers;
    const RunControls &m_controls;
    const int m_spf;

    std::mutex m_mutex; // guards everything below but the atomics
    std::condition_variable m_changed;
    int m_nextTaken = 0;
    StreamJoiner m_joiner;
    int m_padding = -1;
    std::optional<Outcome> m_failure;
    std::atomic_bool m_stop = false;
    // One a chunk, each set and fed only by the worker that encodes it.
    std::vector<std::unique_ptr<LoudnessMeter>> m_meters;

    std::mutex m_progressMutex;
    qint64 m_consumed = 0;
};
