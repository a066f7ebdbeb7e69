#include "chunkworkers.h"

#include "encoder/core/scopeexit.h"
#include "encoder/lame/lamefeed.h"

#include <algorithm>
#include <system_error>
#include <thread>

Outcome ChunkWorkers::run()
{
    const int count = std::min(m_workers, chunks());
    WorkerClock clock(count);
    {
        std::vector<std::jthread> workers;
        try {
            for (int i = 0; i < count; ++i)
                workers.emplace_back([this, i, &clock] {
                    work(clock, i > 0 && m_controls.cores);
                    clock.left(i);
                });
        } catch (const std::system_error &error) {
            // The workers started stop at their next chunk.
            const std::lock_guard lock(m_mutex);
            fail(Outcome::failure(QStringLiteral("Cannot start a thread: %1").arg(QString::fromLocal8Bit(error.what()))));
        }
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

void ChunkWorkers::fail(Outcome outcome)
{
    if (!m_failure)
        m_failure = std::move(outcome);
    m_stop = true;
    m_changed.notify_all();
}

std::optional<int> ChunkWorkers::takeChunk()
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

std::optional<int> ChunkWorkers::takeChunkWithCore()
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

void ChunkWorkers::work(WorkerClock &clock, bool borrows)
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
        const ScopeExit loan([this, borrows] {
            if (borrows)
                m_controls.cores->giveBack();
        });
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

namespace {

std::pair<qint64, qint64> ownFramesOf(const ChunkLayout &layout, qint64 frames, int index)
{
    const auto &starts = layout.starts;
    const qint64 spf = layout.frameSamples;
    const qint64 low = index == 0 ? 0 : starts[static_cast<std::size_t>(index)] * spf;
    const qint64 high = std::size_t(index) + 1 < starts.size() ? starts[static_cast<std::size_t>(index) + 1] * spf : frames;
    return {low, high};
}

template <typename Sample>
bool measureSpan(PcmReader &reader, LoudnessMeter &meter, const ChunkSpan &span, const std::atomic_bool &abort)
{
    std::vector<Sample> block(static_cast<std::size_t>(kBlockFrames * reader.info().channels));
    for (qint64 at = span.begin; at < span.high;) {
        if (abort.load())
            return false;
        const qint64 read = reader.read(block.data(), std::min<qint64>(kBlockFrames, span.high - at));
        if (read <= 0)
            return false;
        const qint64 from = std::max(at, span.low);
        if (from < at + read)
            meter.add(block.data() + (from - at) * reader.info().channels, at + read - from);
        at += read;
    }
    meter.finish();
    return true;
}

} // namespace

ChunkSpan chunkSpan(const EncodingPlan &plan, const ChunkLayout &layout, int index)
{
    const auto &starts = layout.starts;
    const qint64 spf = layout.frameSamples;
    const bool last = std::size_t(index) + 1 == starts.size();
    ChunkSpan span;
    span.firstFrame = index == 0 ? 0 : starts[static_cast<std::size_t>(index)] - kWarmUp;
    span.begin = span.firstFrame * spf;
    span.end = last ? plan.encoded.frames
                    : std::min<qint64>(plan.encoded.frames,
                                       (starts[static_cast<std::size_t>(index) + 1] + layout.search + kLookAhead) * spf);
    std::tie(span.low, span.high) = ownFramesOf(layout, plan.encoded.frames, index);
    // Resampled, the chunk's samples come from a resampler of its own that starts a little
    // earlier, where input and output sample times meet.
    span.start = plan.resampled() ? plan.rates.startFor(span.begin) : RateChange::Start {span.begin, span.begin};
    return span;
}

std::vector<std::unique_ptr<LoudnessMeter>> measureChunks(const EncodingPlan &plan, const ChunkLayout &layout,
                                                          lame_t lame, const std::atomic_bool &abort)
{
    std::vector<std::unique_ptr<LoudnessMeter>> meters;
    ChunkInput input(plan.settings, plan.input);
    for (int index = 0; std::size_t(index) < layout.starts.size(); ++index) {
        const ChunkSpan span = chunkSpan(plan, layout, index);
        if (!input.seek(span.start.input, [&abort] { return abort.load(); }))
            return {};
        std::optional<ResampledReader> resampled;
        std::optional<SourceReader> plain;
        PcmReader &reader = plan.resampled()
                                ? static_cast<PcmReader &>(resampled.emplace(input.source(), plan.rates, span.start, span.begin))
                                : plain.emplace(input.source());
        std::unique_ptr<LoudnessMeter> meter = loudnessMeterFor(lame, plan.settings, reader.info());
        if (!meter
            || !(plan.encoded.fitsShort ? measureSpan<short>(reader, *meter, span, abort)
                                        : measureSpan<float>(reader, *meter, span, abort)))
            return {};
        input.setPosition(resampled ? span.start.input + resampled->inputRead() : span.high);
        meters.push_back(std::move(meter));
    }
    return meters;
}

std::pair<qint64, qint64> ChunkWorkers::ownFrames(int index) const
{
    return ownFramesOf(m_layout, m_plan.encoded.frames, index);
}

std::optional<TrackGain> ChunkWorkers::trackGain() const
{
    std::vector<const LoudnessMeter *> meters;
    for (const auto &meter : m_meters) {
        if (!meter)
            return std::nullopt;
        meters.push_back(meter.get());
    }
    return LoudnessMeter::figures(meters);
}

std::vector<std::unique_ptr<LoudnessMeter>> ChunkWorkers::takeMeters()
{
    if (std::ranges::any_of(m_meters, [](const auto &meter) { return !meter; }))
        return {};
    return std::move(m_meters);
}

void ChunkWorkers::credit(qint64 from, qint64 count, int index)
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
Outcome ChunkWorkers::encodeChunk(int index, ChunkInput &input, EncodedChunk &chunk)
{
    const bool last = index + 1 == chunks();
    const ChunkSpan span = chunkSpan(m_plan, m_layout, index);
    const std::int64_t firstFrame = span.firstFrame;
    const qint64 begin = span.begin;
    const qint64 end = span.end;
    const bool resample = m_plan.resampled();
    const RateChange::Start start = span.start;
    if (Outcome sought = input.seek(start.input, [this] { return stopping(); }); !sought)
        return sought;
    std::optional<ResampledReader> resampled;
    std::optional<SourceReader> plain;
    PcmReader &reader = resample ? static_cast<PcmReader &>(resampled.emplace(input.source(), m_plan.rates, start, begin))
                                 : plain.emplace(input.source());
    const Result<LamePtr> lame = openLame(m_plan.settings, m_plan.encoded, false, m_plan.keptRate());
    if (!lame)
        return lame.failure();
    // Each chunk measures its own frames, so together they measure the input once.
    std::unique_ptr<LoudnessMeter> &meter = m_meters[static_cast<std::size_t>(index)];
    meter = loudnessMeterFor(lame->get(), m_plan.settings, reader.info());
    const qint64 low = span.low;
    const qint64 high = span.high;

    chunk.firstFrame = firstFrame;
    const EncodeFeed feed {
        .lame = lame->get(),
        .source = reader,
        .stopping = [this] { return stopping(); },
        .sink =
            [&chunk](const unsigned char *data, std::size_t size) {
                chunk.bytes.insert(chunk.bytes.end(), data, data + size);
                return Outcome::success();
            },
        .progress =
            [&](qint64 at, qint64 frames) {
                input.setPosition(resampled ? start.input + resampled->inputRead() : begin + at + frames);
                credit(begin + at, frames, index);
            },
        .meter = meter.get(),
        .measureFrom = low - begin,
        .measureTo = high - begin,
    };
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
        m_padding = lame_get_encoder_padding(lame->get());
    }
    std::size_t scanned = 0;
    chunk.frames = scanFrames(chunk.bytes.data(), chunk.bytes.size(), &scanned);
    if (chunk.frames.empty() || (last && scanned != chunk.bytes.size()))
        return unjoinable();
    return Outcome::success();
}

void ChunkWorkers::deliver(int index, EncodedChunk chunk)
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
