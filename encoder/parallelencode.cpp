// One file on several cores.
//
// Chunking: the input is cut on the MP3 frame grid (1152 or 576 samples a frame; only when
// lame does not resample, so input and output grids are the same) into chunks of tens of
// seconds, more chunks than workers. Each worker takes the next chunk, opens its own input and
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
// gaps of unused bytes in B and the padding bytes of B's unpadded frames use up. Where no seam
// works, or the input is shorter than its header says, the file is encoded again by one
// instance.
//
// Order and memory: finished chunks are joined and written in order as soon as their
// predecessor is in; a worker waits rather than run more than a few chunks ahead, so only a
// bounded number of encoded chunks is held. Every frame written is checked against the
// reservoir chain.
//
// Info frame: lame's per-instance tag cannot describe the joined stream, so a placeholder of
// the tag's size follows the ID3v2 tag and the tag is written over it at the end: lame's own
// tag for these settings with the frame and byte counts, seek table, delay and padding, music
// length and CRCs of the joined stream.
#include "parallelencode.h"

#include "parallelframes.h"
#include "parallelinfotag.h"
#include "paralleljoin.h"
#include "parallellame.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace {

constexpr std::int64_t kWarmUp = 16;
constexpr std::int64_t kSearch = 16;
constexpr std::int64_t kLookAhead = 6; // lame holds back about two frames of look-ahead
constexpr qint64 kBlockFrames = 16384;
constexpr std::int64_t kMinChunk = kWarmUp + kSearch + kLookAhead + 16;

class ParallelRun
{
public:
    explicit ParallelRun(const ParallelJob &job) : m_job(job), m_spf(job.layout.frameSamples) {}

    ParallelEnd run();
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
    void fail(Outcome outcome, bool useOneInstance);

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
    std::optional<ParallelEnd> m_failure;
    std::atomic_bool m_stop = false;

    std::mutex m_progressMutex;
    qint64 m_consumed = 0;
};

Outcome stopped()
{
    return Outcome::failure(QStringLiteral("The conversion was stopped."));
}

Outcome mismatch()
{
    return Outcome::failure(QStringLiteral("The input does not hold the audio its header announces."));
}

Outcome unjoinable()
{
    return Outcome::failure(QStringLiteral("The encoded chunks could not be joined."));
}

// Failures after which one instance can still encode the file.
bool oneInstanceCan(const Outcome &outcome)
{
    return outcome.message == mismatch().message || outcome.message == unjoinable().message;
}

ParallelEnd ParallelRun::run()
{
    {
        std::vector<std::jthread> workers;
        for (int i = 0; i < std::min(m_job.workers, chunks()); ++i)
            workers.emplace_back([this] { work(); });
    }
    if (m_failure)
        return *m_failure;
    if (m_job.abort.load())
        return {stopped()};
    // The joined stream must be the whole-file encoder's frame count, so the delay and padding
    // in the info frame give the input's exact length back.
    const qint64 total = m_info.frames() * m_spf;
    if (m_padding < 0 || total != m_job.encoderDelay + m_job.input.frames + m_padding)
        return {unjoinable(), true};
    if (m_job.report) {
        m_job.report->instances = chunks();
        m_job.report->seams = m_seams;
    }
    return {Outcome::success()};
}

void ParallelRun::fail(Outcome outcome, bool useOneInstance)
{
    if (!m_failure)
        m_failure = ParallelEnd {std::move(outcome), useOneInstance};
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
    while (const std::optional<int> index = takeChunk()) {
        EncodedChunk chunk;
        const Outcome encoded = m_job.input.fitsShort ? encodeChunk<short>(*index, input, chunk)
                                                      : encodeChunk<float>(*index, input, chunk);
        if (!encoded) {
            const std::lock_guard lock(m_mutex);
            fail(encoded, oneInstanceCan(encoded));
            return;
        }
        deliver(*index, std::move(chunk));
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
            return stopped();
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
                                              : m_job.input.frames;
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
    const qint64 end = last ? m_job.input.frames
                            : std::min<qint64>(m_job.input.frames,
                                               (starts[static_cast<std::size_t>(index) + 1] + kSearch + kLookAhead) * m_spf);
    if (Outcome sought = seek(input, begin); !sought)
        return sought;
    AudioSource &source = *input.source;
    const InputInfo &info = source.info();

    auto opened = openLame(m_job.settings, m_job.input, false);
    if (Outcome *failed = std::get_if<Outcome>(&opened))
        return *failed;
    const LamePtr lame = std::move(std::get<LamePtr>(opened));

    const int channels = info.channels;
    std::vector<Sample> pcm(static_cast<std::size_t>(kBlockFrames * channels));
    std::vector<unsigned char> mp3(mp3BufferSize(kBlockFrames, info.sampleRate));
    chunk.firstFrame = firstFrame;
    for (qint64 at = begin; at < end;) {
        if (stopping())
            return stopped();
        const qint64 frames = source.read(pcm.data(), std::min(kBlockFrames, end - at));
        if (frames < 0)
            return Outcome::failure(source.readError());
        if (frames == 0)
            return mismatch();
        const int bytes = encodeBlock(lame.get(), pcm.data(), static_cast<int>(frames), channels, mp3.data(),
                                      static_cast<int>(mp3.size()));
        if (bytes < 0)
            return encodeFailure(bytes);
        chunk.bytes.insert(chunk.bytes.end(), mp3.begin(), mp3.begin() + bytes);
        credit(at, frames, index);
        at += frames;
        input.position = at;
    }
    if (last) {
        if (source.read(pcm.data(), 1) != 0)
            return mismatch();
        input.source.reset();
        const int flushed = lame_encode_flush(lame.get(), mp3.data(), static_cast<int>(mp3.size()));
        if (flushed < 0)
            return encodeFailure(flushed);
        chunk.bytes.insert(chunk.bytes.end(), mp3.begin(), mp3.begin() + flushed);
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
            fail(joined, oneInstanceCan(joined));
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
            chooseSeam(*m_held, chunk, start, start + kSearch, m_job.variableRate);
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

ChunkLayout planChunks(std::int64_t inputFrames, int sampleRate, int frameSamples, int workers,
                       std::int64_t chunkFrames)
{
    ChunkLayout layout;
    layout.frameSamples = frameSamples;
    const std::int64_t frames = inputFrames / frameSamples;
    const std::int64_t perSecond = std::max(1, sampleRate / frameSamples);
    if (chunkFrames <= 0) {
        // Three chunks a worker even out the load; chunks of 20 to 60 seconds keep the
        // overlap small and the chunks held in memory few.
        chunkFrames = std::clamp<std::int64_t>(frames / (3 * std::max(1, workers)), 20 * perSecond, 60 * perSecond);
    }
    chunkFrames = std::max(chunkFrames, kMinChunk);
    const std::int64_t count = std::max<std::int64_t>(1, frames / chunkFrames);
    for (std::int64_t i = 0; i < count; ++i)
        layout.starts.push_back(i * frames / count);
    return layout;
}

ParallelEnd encodeInParallel(const ParallelJob &job)
{
    std::optional<std::vector<unsigned char>> info;
    if (job.settings.writeInfoTag)
        info = infoFrameTemplate(job.settings, job.input);
    if (Outcome written = job.output.write(job.id3v2); !written)
        return {written};
    if (info) {
        const std::vector<unsigned char> placeholder(info->size());
        if (Outcome written = job.output.write(placeholder.data(), placeholder.size()); !written)
            return {written};
    }

    ParallelRun run(job);
    ParallelEnd end = run.run();
    if (!end.outcome)
        return end;
    if (Outcome written = job.output.write(job.id3v1); !written)
        return {written};
    if (info) {
        const std::vector<unsigned char> frame = run.info().build(*info, job.encoderDelay, run.padding());
        if (frame.size() != info->size())
            return {Outcome::failure(QStringLiteral("The info frame could not be made."))};
        if (Outcome written = job.output.writeAt(job.id3v2.size(), frame.data(), frame.size()); !written)
            return {written};
    }
    if (job.abort.load())
        return {stopped()};
    return {job.output.commit()};
}
