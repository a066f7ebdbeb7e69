// One file on several cores.
//
// Chunking: the audio lame encodes is cut on the MP3 frame grid (1152 or 576 samples a frame)
// into chunks of tens of seconds, more chunks than workers. Where lame would resample, the
// input is resampled ahead of lame (see resampler.h), so that audio is at the output rate and
// the grid is the output's; each worker resamples its own range, starting early enough for the
// filter to settle. Each worker takes the next chunk, opens its own input and
// its own lame instance configured exactly as a one-instance run (no info frame), and starts
// kWarmUp frames before its chunk, so the psychoacoustic model and the reservoir have history
// when its chunk begins; it reads kSearch + kLookAhead frames past its chunk's end so the
// frames around the next seam come out as a whole-file encoder would make them. An instance
// that starts at sample s makes the whole file's frame s / frameSamples + k as its frame k.
//
// Seams: between chunk A and the next, B, the seam is the first frame j from B's chunk start
// where A's main_data_begin is at least B's (A had at least as much free reservoir as B's frame
// j borrows), preferring normal long blocks on both sides. The stream keeps A's frames before
// j and B's from j on. B's frame j borrowed bytes from B's dropped frames: those bytes are
// copied over the same number of bytes at the end of A's main data before slot j, which A
// left free, so no frame ever points into another instance's data. Two instances' reservoirs
// can stay a few bytes apart for long stretches (variable bit rate mostly): then A's frame
// j-1 grows to a larger bit rate (variable rate) or by its padding byte, giving A the free
// bytes it lacks; failing that, B's main data from j on moves later by the shortfall, which
// gaps of unused bytes in B and the padding bytes of B's unpadded frames use up. Constant-rate
// frames at 8 to 24 kHz that are never padded have neither way out, so there the seam is
// searched over kLongSearch frames (the reservoirs meet within that). Where no seam works, or
// the input is shorter than its header says, the file is encoded again by one instance.
//
// Order and memory: finished chunks are joined and written in order as soon as their
// predecessor is in; a worker waits rather than run more than a few chunks ahead, so only a
// bounded number of encoded chunks is held. Every frame written is checked against the
// reservoir chain.
//
// More cores, projected from measured figures (5-minute CBR 128 input, 2 cores; bench/run-bench
// prints them): one instance takes W = 3.45 s; each chunk costs 38 frames (about 1 s of audio,
// 0.3 % of W) of extra work and about 1 ms of set-up, and 2.5 ms of serial joining and
// writing; start-up before the first chunk is about 10 ms. Workers execute 1.00 to 1.02 times
// one instance's instructions (callgrind), but take 1.02 to 1.19 times its CPU time here: a
// core runs slower while the other is busy too. They wait 1 to 10 % of their time, mostly at
// the end for the last chunk.
// Time = start-up + rounds x chunk time + the last join. Chunks are at least 20 s, so a
// 5-minute input has at most 15 chunks of 0.24 s: 8 cores take 2 rounds, about 0.5 s (6.9
// times faster), 16 and 64 cores one round, about 0.27 s (12.8 times). An hour (W = 41 s, 60 to
// 180 chunks): 8 cores about 5.6 s, 16 about 2.8 s, 64 about 0.8 s of encoding, with 0.45 s
// of joining that overlaps it. Two things would stop 64 cores first: a worker reaches a later
// chunk by reading and dropping the input before it (64 workers would read the hour 64 times
// over; a seek in the input is needed), and each worker holds its own lame instance and
// buffers (a few MiB each).
//
// Info frame: lame's per-instance tag cannot describe the joined stream, so a placeholder of
// the tag's size follows the ID3v2 tag and the tag is written over it at the end: lame's own
// tag for these settings with the frame and byte counts, seek table, delay and padding, music
// length and CRCs of the joined stream.
#include "parallelrun.h"

#include "seams.h"
#include "encoder/lame/lameinstance.h"
#include "encoder/mp3/frames.h"
#include "encoder/mp3/infoframe.h"
#include "encoder/output/mp3file.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace {

class ParallelRun
{
public:
    explicit ParallelRun(const ParallelJob &job) : m_job(job), m_spf(job.layout.frameSamples) {}

    Outcome run();
    const InfoFrameBuilder &info() const { return m_info; }
    int padding() const { return m_padding; }

private:
    int chunks() const { return static_cast<int>(m_job.layout.starts.size()); }
    bool stopping() const { return m_job.abort.load(std::memory_order_relaxed) || m_stop.load(std::memory_order_relaxed); }
    void work();
    std::optional<int> takeChunk();
    // A worker's input, kept open from chunk to chunk: a worker takes later and later chunks,
    // and AudioSource reads forward only.
    struct Input
    {
        std::unique_ptr<AudioSource> source;
        qint64 position = 0;
    };
    template <typename Sample>
    Outcome encodeChunk(int index, Input &input, EncodedChunk &chunk);
    Outcome seek(Input &input, qint64 frame);
    void credit(qint64 from, qint64 count, int index);
    void deliver(int index, EncodedChunk chunk);
    Outcome join(int index, EncodedChunk chunk);
    Outcome write(const EncodedChunk &chunk, std::int64_t from, std::int64_t to);
    void fail(Outcome outcome);

    const ParallelJob &m_job;
    const int m_spf;

    std::mutex m_mutex; // guards everything below but the atomics
    std::condition_variable m_changed;
    int m_nextTaken = 0;
    int m_nextJoined = 0;
    std::map<int, EncodedChunk> m_finished;
    std::optional<EncodedChunk> m_held;
    std::int64_t m_heldFrom = 0;
    InfoFrameBuilder m_info;
    MainDataChain m_chain;
    std::vector<std::int64_t> m_seams;
    int m_padding = -1;
    std::optional<Outcome> m_failure;
    std::atomic_bool m_stop = false;

    std::mutex m_progressMutex;
    qint64 m_consumed = 0;

    // Where the workers' time goes, in nanoseconds of wall time summed over workers.
    using Clock = std::chrono::steady_clock;
    std::atomic<std::int64_t> m_encodeNs = 0;
    std::atomic<std::int64_t> m_waitNs = 0;
    std::atomic<std::int64_t> m_joinNs = 0;
    std::vector<Clock::time_point> m_done; // when each worker left
};

std::int64_t nanosSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count();
}

Outcome mismatch()
{
    return Outcome::failure(QStringLiteral("The input does not hold the audio its header announces."),
                            Outcome::Kind::InputMismatch);
}

Outcome unjoinable()
{
    return Outcome::failure(QStringLiteral("The encoded chunks could not be joined."), Outcome::Kind::Unjoinable);
}

Outcome ParallelRun::run()
{
    const Clock::time_point start = Clock::now();
    const int count = std::min(m_job.workers, chunks());
    m_done.assign(static_cast<std::size_t>(count), start);
    {
        std::vector<std::jthread> workers;
        for (int i = 0; i < count; ++i)
            workers.emplace_back([this, i] {
                work();
                m_done[static_cast<std::size_t>(i)] = Clock::now();
            });
    }
    const Clock::time_point end = Clock::now();
    if (m_job.report) {
        // A worker that left early waited for the others to finish.
        for (const Clock::time_point done : m_done)
            m_waitNs += std::chrono::duration_cast<std::chrono::nanoseconds>(end - done).count();
        m_job.report->workers = count;
        m_job.report->encodeSeconds = double(m_encodeNs) * 1e-9;
        m_job.report->waitSeconds = double(m_waitNs) * 1e-9;
        m_job.report->joinSeconds = double(m_joinNs) * 1e-9;
        m_job.report->parallelSeconds = double(nanosSince(start)) * 1e-9;
    }
    if (m_failure)
        return *m_failure;
    if (m_job.abort.load())
        return Outcome::stopped();
    // The joined stream must be the whole-file encoder's frame count, so the delay and padding
    // in the info frame give the input's exact length back.
    const qint64 total = m_info.frames() * m_spf;
    if (m_padding < 0 || total != m_job.encoderDelay + m_job.encoded.frames + m_padding)
        return unjoinable();
    if (m_job.report) {
        m_job.report->instances = chunks();
        m_job.report->seams = m_seams;
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
    const int ahead = m_job.workers + 1;
    while (!stopping() && m_nextTaken < chunks() && m_nextTaken >= m_nextJoined + ahead)
        m_changed.wait_for(lock, std::chrono::milliseconds(20)); // Abort sets a plain flag
    if (stopping() || m_nextTaken >= chunks())
        return std::nullopt;
    return m_nextTaken++;
}

void ParallelRun::work()
{
    Input input;
    for (;;) {
        Clock::time_point at = Clock::now();
        const std::optional<int> index = takeChunk();
        m_waitNs += nanosSince(at);
        if (!index)
            break;
        at = Clock::now();
        EncodedChunk chunk;
        const Outcome encoded = m_job.encoded.fitsShort ? encodeChunk<short>(*index, input, chunk)
                                                      : encodeChunk<float>(*index, input, chunk);
        m_encodeNs += nanosSince(at);
        if (!encoded) {
            const std::lock_guard lock(m_mutex);
            fail(encoded);
            return;
        }
        at = Clock::now();
        deliver(*index, std::move(chunk));
        m_joinNs += nanosSince(at);
    }
}

Outcome ParallelRun::seek(Input &input, qint64 frame)
{
    if (!input.source || frame < input.position) {
        input.source = std::make_unique<AudioSource>();
        input.position = 0;
        const bool raw = m_job.settings.rawPcm;
        if (Outcome opened = input.source->open(m_job.settings.inputFile, raw, raw && m_job.settings.forceByteSwap);
            !opened)
            return opened;
        const InputInfo &info = input.source->info();
        if (info.channels != m_job.input.channels || info.sampleRate != m_job.input.sampleRate
            || info.frames != m_job.input.frames)
            return mismatch();
    }
    // The audio up to the chunk is read and dropped.
    std::vector<float> block(m_job.input.fitsShort ? 0 : static_cast<std::size_t>(kBlockFrames * m_job.input.channels));
    std::vector<short> shorts(m_job.input.fitsShort ? static_cast<std::size_t>(kBlockFrames * m_job.input.channels) : 0);
    while (input.position < frame) {
        if (stopping())
            return Outcome::stopped();
        const qint64 want = std::min(kBlockFrames, frame - input.position);
        const qint64 got = m_job.input.fitsShort ? input.source->read(shorts.data(), want)
                                                 : input.source->read(block.data(), want);
        if (got < 0)
            return Outcome::failure(input.source->readError());
        if (got != want)
            return mismatch();
        input.position += got;
    }
    return Outcome::success();
}

void ParallelRun::credit(qint64 from, qint64 count, int index)
{
    // Each input frame counts once, for the chunk whose own frames hold it.
    const auto &starts = m_job.layout.starts;
    const qint64 low = index == 0 ? 0 : starts[static_cast<std::size_t>(index)] * m_spf;
    const qint64 high = index + 1 < chunks() ? starts[static_cast<std::size_t>(index) + 1] * m_spf
                                              : m_job.encoded.frames;
    const qint64 counted = std::max<qint64>(0, std::min(from + count, high) - std::max(from, low));
    if (counted == 0)
        return;
    const std::lock_guard lock(m_progressMutex);
    m_consumed += counted;
    if (!stopping())
        m_job.counter.advance(m_consumed);
}

template <typename Sample>
Outcome ParallelRun::encodeChunk(int index, Input &input, EncodedChunk &chunk)
{
    const auto &starts = m_job.layout.starts;
    const bool last = index + 1 == chunks();
    const std::int64_t firstFrame = index == 0 ? 0 : starts[static_cast<std::size_t>(index)] - kWarmUp;
    const qint64 begin = firstFrame * m_spf;
    const qint64 end = last ? m_job.encoded.frames
                            : std::min<qint64>(m_job.encoded.frames,
                                               (starts[static_cast<std::size_t>(index) + 1] + m_job.layout.search + kLookAhead) * m_spf);
    // Resampled, the chunk's samples come from a resampler of its own that starts a little
    // earlier, where input and output sample times meet.
    const bool resample = m_job.rates.inRate != m_job.rates.outRate;
    const RateChange::Start start = resample ? m_job.rates.startFor(begin) : RateChange::Start {begin, begin};
    if (Outcome sought = seek(input, start.input); !sought)
        return sought;
    std::optional<ResampledReader> resampled;
    std::optional<SourceReader> plain;
    PcmReader &reader = resample ? static_cast<PcmReader &>(resampled.emplace(*input.source, m_job.rates, start, begin))
                                 : plain.emplace(*input.source);
    auto opened = openLame(m_job.settings, m_job.encoded, false, m_job.kept);
    if (Outcome *failed = std::get_if<Outcome>(&opened))
        return *failed;
    const LamePtr lame = std::move(std::get<LamePtr>(opened));

    chunk.firstFrame = firstFrame;
    const EncodeFeed feed {
        lame.get(), reader, [this] { return stopping(); },
        [&chunk](const unsigned char *data, std::size_t size) {
            chunk.bytes.insert(chunk.bytes.end(), data, data + size);
            return Outcome::success();
        },
        [&](qint64 at, qint64 frames) {
            input.position = resampled ? start.input + resampled->inputRead() : begin + at + frames;
            credit(begin + at, frames, index);
        }};
    qint64 read = 0;
    if (Outcome encoded = encodeFrames<Sample>(feed, end - begin, &read); !encoded)
        return encoded;
    if (read != end - begin)
        return mismatch();
    if (last) {
        Sample beyond[2]; // one frame: the input must end where its header says
        if (reader.read(beyond, 1) != 0
            || (resampled && (!resampled->inputEnded() || start.input + resampled->inputRead() != m_job.input.frames)))
            return mismatch();
        if (Outcome flushed = flushLame(feed); !flushed)
            return flushed;
        resampled.reset();
        input.source.reset();
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
    m_finished.emplace(index, std::move(chunk));
    for (auto next = m_finished.find(m_nextJoined); next != m_finished.end(); next = m_finished.find(m_nextJoined)) {
        EncodedChunk ready = std::move(next->second);
        m_finished.erase(next);
        if (Outcome joined = join(m_nextJoined, std::move(ready)); !joined) {
            fail(joined);
            return;
        }
        ++m_nextJoined;
        m_changed.notify_all();
    }
}

Outcome ParallelRun::join(int index, EncodedChunk chunk)
{
    if (index == 0) {
        m_held = std::move(chunk);
        m_heldFrom = 0;
    } else {
        const std::int64_t start = m_job.layout.starts[static_cast<std::size_t>(index)];
        const std::optional<Seam> seam =
            chooseSeam(*m_held, chunk, start, start + m_job.layout.search, m_job.variableRate);
        if (!seam || (seam->grow > 0 && !growFrame(*m_held, seam->frame - 1, seam->grow, m_job.variableRate))
            || (seam->shift > 0 && !shiftMainData(chunk, seam->frame, seam->shift))
            || !carryReservoir(*m_held, m_heldFrom, chunk, seam->frame))
            return unjoinable();
        if (Outcome written = write(*m_held, m_heldFrom, seam->frame); !written)
            return written;
        m_seams.push_back(seam->frame);
        m_held = std::move(chunk);
        m_heldFrom = seam->frame;
    }
    if (index + 1 == chunks()) {
        const Outcome written = write(*m_held, m_heldFrom, m_held->endFrame());
        m_held.reset();
        return written;
    }
    return Outcome::success();
}

Outcome ParallelRun::write(const EncodedChunk &chunk, std::int64_t from, std::int64_t to)
{
    if (from >= to || !chunk.has(from) || !chunk.has(to - 1))
        return unjoinable();
    for (std::int64_t k = from; k < to; ++k) {
        const FrameEntry &frame = chunk.frame(k);
        if (!m_chain.add(frame))
            return unjoinable();
        m_info.addFrame(chunk.bytes.data() + frame.offset, static_cast<std::size_t>(frame.header.size));
    }
    const FrameEntry &first = chunk.frame(from);
    const FrameEntry &last = chunk.frame(to - 1);
    return m_job.output.write(chunk.bytes.data() + first.offset,
                              last.offset + static_cast<std::size_t>(last.header.size) - first.offset);
}

} // namespace

Outcome encodeInParallel(const ParallelJob &job, LamePtr spare)
{
    std::optional<std::vector<unsigned char>> info;
    if (job.settings.writeInfoTag) {
        if (std::optional<InfoFrameTemplate> made =
                infoFrameTemplate(job.settings, job.encoded, job.kept, std::move(spare)))
            info = std::move(made->frame);
    }
    ParallelRun run(job);
    return writeMp3File(
        job.output, {job.id3v2, job.id3v1, info ? info->size() : 0, job.kept ? job.kept->sourceRate : 0},
        [&run] { return run.run(); },
        [&](std::vector<unsigned char> &frame) {
            if (info)
                frame = run.info().build(*info, job.encoderDelay, run.padding());
            return Outcome::success();
        },
        job.abort);
}
