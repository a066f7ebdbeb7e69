#include "parallelrun.h"

#include "chunkinput.h"
#include "streamjoiner.h"
#include "encoder/lame/infotemplate.h"
#include "encoder/lame/lamefeed.h"
#include "encoder/mp3/infoframe.h"
#include "encoder/output/mp3file.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace {

// Workers take chunks in order and hand them, encoded, to the joiner. Each instance starts
// kWarmUp frames early and reads past its chunk's end, so the frames around every seam come
// out as a whole-file encoder would make them.
class ParallelRun
{
public:
    ParallelRun(const EncodingPlan &plan, const ChunkLayout &layout, int workers, const RunControls &controls,
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

Outcome ParallelRun::run()
{
    const int count = std::min(m_workers, chunks());
    WorkerClock clock(count);
    {
        std::vector<std::jthread> workers;
        for (int i = 0; i < count; ++i)
            workers.emplace_back([this, i, &clock] {
                work(clock, i > 0 && m_controls.cores);
                clock.left(i);
            });
    }
    if (m_controls.report)
        clock.report(*m_controls.report);
    if (m_failure)
        return *m_failure;
    if (m_controls.abort.load())
        return Outcome::stopped();
    // The joined stream must be the whole-file encoder's frame count, so the delay and padding
    // in the info frame give the input's exact length back.
    const qint64 total = m_joiner.info().frames() * m_spf;
    if (m_padding < 0 || total != m_plan.encoderDelay + m_plan.encoded.frames + m_padding)
        return unjoinable();
    if (m_controls.report) {
        m_controls.report->instances = chunks();
        m_controls.report->seams = m_joiner.seams();
    }
    return Outcome::success();
}

void ParallelRun::fail(Outcome outcome)
{
    if (!m_failure)
        m_failure = std::move(outcome);
    m_stop = true;
    m_changed.notify_all();
}

std::optional<int> ParallelRun::takeChunk()
{
    std::unique_lock lock(m_mutex);
    // Running far ahead of the chunk being joined would hold many encoded chunks.
    const int ahead = m_workers + 1;
    while (!stopping() && m_nextTaken < chunks() && m_nextTaken >= m_joiner.joined() + ahead)
        m_changed.wait_for(lock, std::chrono::milliseconds(20)); // Abort sets a plain flag
    if (stopping() || m_nextTaken >= chunks())
        return std::nullopt;
    return m_nextTaken++;
}

std::optional<int> ParallelRun::takeChunkWithCore()
{
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            if (stopping() || m_nextTaken >= chunks())
                return std::nullopt;
        }
        if (m_controls.cores->borrow()) {
            if (std::optional<int> index = takeChunk())
                return index;
            m_controls.cores->giveBack();
            return std::nullopt;
        }
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::milliseconds(20)); // a core is lent without a signal
    }
}

void ParallelRun::work(WorkerClock &clock, bool borrows)
{
    ChunkInput input(m_plan.settings, m_plan.input);
    for (;;) {
        std::optional<int> index;
        {
            const auto lap = clock.lap(WorkerClock::Waiting);
            index = borrows ? takeChunkWithCore() : takeChunk();
        }
        if (!index)
            break;
        // The borrowed core goes back after the chunk, whatever becomes of it.
        const std::unique_ptr<CoreShare, void (*)(CoreShare *)> loan(borrows ? m_controls.cores : nullptr,
                                                                      [](CoreShare *cores) { cores->giveBack(); });
        EncodedChunk chunk;
        Outcome encoded;
        {
            const auto lap = clock.lap(WorkerClock::Encoding);
            encoded = m_plan.encoded.fitsShort ? encodeChunk<short>(*index, input, chunk)
                                               : encodeChunk<float>(*index, input, chunk);
        }
        if (!encoded) {
            const std::lock_guard lock(m_mutex);
            fail(encoded);
            return;
        }
        const auto lap = clock.lap(WorkerClock::Joining);
        deliver(*index, std::move(chunk));
    }
}

std::pair<qint64, qint64> ParallelRun::ownFrames(int index) const
{
    const auto &starts = m_layout.starts;
    const qint64 low = index == 0 ? 0 : starts[static_cast<std::size_t>(index)] * m_spf;
    const qint64 high = index + 1 < chunks() ? starts[static_cast<std::size_t>(index) + 1] * m_spf
                                              : m_plan.encoded.frames;
    return {low, high};
}

std::optional<TrackGain> ParallelRun::trackGain() const
{
    std::vector<const LoudnessMeter *> meters;
    for (const auto &meter : m_meters) {
        if (!meter)
            return std::nullopt;
        meters.push_back(meter.get());
    }
    return LoudnessMeter::figures(meters);
}

void ParallelRun::credit(qint64 from, qint64 count, int index)
{
    // Each input frame counts once, for the chunk whose own frames hold it.
    const auto [low, high] = ownFrames(index);
    const qint64 counted = std::max<qint64>(0, std::min(from + count, high) - std::max(from, low));
    if (counted == 0)
        return;
    const std::lock_guard lock(m_progressMutex);
    m_consumed += counted;
    if (!stopping())
        m_controls.counter.advance(m_consumed);
}

template <typename Sample>
Outcome ParallelRun::encodeChunk(int index, ChunkInput &input, EncodedChunk &chunk)
{
    const auto &starts = m_layout.starts;
    const bool last = index + 1 == chunks();
    const std::int64_t firstFrame = index == 0 ? 0 : starts[static_cast<std::size_t>(index)] - kWarmUp;
    const qint64 begin = firstFrame * m_spf;
    const qint64 end = last ? m_plan.encoded.frames
                            : std::min<qint64>(m_plan.encoded.frames,
                                               (starts[static_cast<std::size_t>(index) + 1] + m_layout.search + kLookAhead) * m_spf);
    // Resampled, the chunk's samples come from a resampler of its own that starts a little
    // earlier, where input and output sample times meet.
    const bool resample = m_plan.resampled();
    const RateChange::Start start = resample ? m_plan.rates.startFor(begin) : RateChange::Start {begin, begin};
    if (Outcome sought = input.seek(start.input, [this] { return stopping(); }); !sought)
        return sought;
    std::optional<ResampledReader> resampled;
    std::optional<SourceReader> plain;
    PcmReader &reader = resample ? static_cast<PcmReader &>(resampled.emplace(input.source(), m_plan.rates, start, begin))
                                 : plain.emplace(input.source());
    auto opened = openLame(m_plan.settings, m_plan.encoded, false, m_plan.keptRate());
    if (Outcome *failed = std::get_if<Outcome>(&opened))
        return *failed;
    const LamePtr lame = std::move(std::get<LamePtr>(opened));
    // Each chunk measures its own frames, so together they measure the input once.
    std::unique_ptr<LoudnessMeter> &meter = m_meters[static_cast<std::size_t>(index)];
    meter = loudnessMeterFor(lame.get(), m_plan.settings, reader.info());
    const auto [low, high] = ownFrames(index);

    chunk.firstFrame = firstFrame;
    const EncodeFeed feed {
        lame.get(), reader, [this] { return stopping(); },
        [&chunk](const unsigned char *data, std::size_t size) {
            chunk.bytes.insert(chunk.bytes.end(), data, data + size);
            return Outcome::success();
        },
        [&](qint64 at, qint64 frames) {
            input.setPosition(resampled ? start.input + resampled->inputRead() : begin + at + frames);
            credit(begin + at, frames, index);
        },
        meter.get(), low - begin, high - begin};
    qint64 read = 0;
    if (Outcome encoded = encodeFrames<Sample>(feed, end - begin, &read); !encoded)
        return encoded;
    if (read != end - begin)
        return inputMismatch();
    // Held until the run ends, so it keeps only what the figures need.
    if (meter)
        meter->finish();
    if (last) {
        Sample beyond[2]; // one frame: the input must end where its header says
        if (reader.read(beyond, 1) != 0
            || (resampled && (!resampled->inputEnded() || start.input + resampled->inputRead() != m_plan.input.frames)))
            return inputMismatch();
        if (Outcome flushed = flushLame(feed); !flushed)
            return flushed;
        resampled.reset();
        input.close();
        const std::lock_guard lock(m_mutex);
        m_padding = lame_get_encoder_padding(lame.get());
    }
    std::size_t scanned = 0;
    chunk.frames = scanFrames(chunk.bytes.data(), chunk.bytes.size(), &scanned);
    if (chunk.frames.empty() || (last && scanned != chunk.bytes.size()))
        return unjoinable();
    return Outcome::success();
}

void ParallelRun::deliver(int index, EncodedChunk chunk)
{
    const std::lock_guard lock(m_mutex);
    if (m_failure)
        return;
    const int joined = m_joiner.joined();
    if (Outcome delivered = m_joiner.deliver(index, std::move(chunk)); !delivered) {
        fail(delivered);
        return;
    }
    if (m_joiner.joined() != joined)
        m_changed.notify_all();
}

} // namespace

Outcome encodeInParallel(const EncodingPlan &plan, const ChunkLayout &layout, int workers, const OutputTarget &target,
                         const RunControls &controls, LamePtr spare)
{
    // lame's per-instance tag cannot describe the joined stream: the tag for these settings is
    // filled in with the joined stream's counts, over a placeholder after the ID3v2 tag.
    std::optional<std::vector<unsigned char>> info;
    if (plan.settings.writeInfoTag) {
        if (std::optional<InfoFrameTemplate> made =
                infoFrameTemplate(plan.settings, plan.encoded, plan.keptRate(), std::move(spare)))
            info = std::move(made->frame);
    }
    ParallelRun run(plan, layout, workers, controls, target.output);
    std::optional<TrackGain> gain;
    const Outcome written = writeMp3File(
        target.output, {target.tags, info ? info->size() : 0, plan.kept ? plan.kept->sourceRate : 0,
                        plan.settings.replayGain ? TrackGainSource([&gain] { return gain; }) : TrackGainSource()},
        [&] {
            Outcome encoded = run.run();
            if (encoded)
                gain = run.trackGain();
            return encoded;
        },
        [&](std::vector<unsigned char> &frame) {
            if (info)
                frame = run.info().build(*info, plan.encoderDelay, run.padding());
            if (!frame.empty() && gain)
                recordTrackGain(frame, *gain);
            return Outcome::success();
        },
        controls.abort);
    if (written && controls.report)
        controls.report->trackGain = gain;
    return written;
}
