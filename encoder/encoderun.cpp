#include "encoderun.h"

#include "audiosource.h"
#include "id3tags.h"
#include "mp3output.h"
#include "parallelframes.h"
#include "parallelinfotag.h"
#include "parallellame.h"

#include <lame/lame.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace {

constexpr qint64 kBlockFrames = 16384; // short enough that an abort is seen within milliseconds

Outcome stopped()
{
    return Outcome::failure(QStringLiteral("The conversion was stopped."));
}

Outcome noAudio(const QString &path)
{
    return Outcome::failure(QStringLiteral("The input %1 holds no audio.").arg(path));
}

// Follows the audio frames as they are written, for an info frame made here.
class FrameTally
{
public:
    void add(const unsigned char *data, std::size_t size)
    {
        m_pending.insert(m_pending.end(), data, data + size);
        std::size_t scanned = 0;
        for (const FrameEntry &frame : scanFrames(m_pending.data(), m_pending.size(), &scanned))
            m_builder.addFrame(m_pending.data() + frame.offset, static_cast<std::size_t>(frame.header.size));
        m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(scanned));
    }
    bool complete() const { return m_pending.empty(); }
    const InfoFrameBuilder &builder() const { return m_builder; }

private:
    std::vector<unsigned char> m_pending;
    InfoFrameBuilder m_builder;
};

struct Stream
{
    lame_t lame;
    AudioSource &source;
    Mp3Output &output;
    const std::atomic_bool &abort;
    ProgressCounter &counter;
    FrameTally *tally = nullptr;
    qint64 framesRead = 0;

    Outcome write(const unsigned char *data, std::size_t size)
    {
        if (tally)
            tally->add(data, size);
        return output.write(data, size);
    }
};

// 16-bit samples are read as such (the fastest exact path); wider or float ones as float.
template <typename Sample>
Outcome encodeAll(Stream &stream)
{
    const int channels = stream.source.info().channels;
    std::vector<Sample> pcm(static_cast<std::size_t>(kBlockFrames * channels));
    std::vector<unsigned char> mp3(mp3BufferSize(kBlockFrames, stream.source.info().sampleRate));
    for (;;) {
        if (stream.abort.load(std::memory_order_relaxed))
            return stopped();
        const qint64 frames = stream.source.read(pcm.data(), kBlockFrames);
        if (frames < 0)
            return Outcome::failure(stream.source.readError());
        if (frames == 0)
            return Outcome::success();
        const int bytes = encodeBlock(stream.lame, pcm.data(), static_cast<int>(frames), channels,
                                      mp3.data(), static_cast<int>(mp3.size()));
        if (bytes < 0)
            return encodeFailure(bytes);
        if (Outcome written = stream.write(mp3.data(), static_cast<std::size_t>(bytes)); !written)
            return written;
        stream.framesRead += frames;
        stream.counter.advance(stream.framesRead);
    }
}

// The info frame this run writes itself, where lame would write none: at the lowest constant
// bit rates lame's frame cannot hold the tag.
std::optional<std::vector<unsigned char>> ownInfoFrame(const EncoderSettings &settings, const InputInfo &input,
                                                       lame_t lame)
{
    if (!settings.writeInfoTag || lame_get_VBR(lame) != vbr_off)
        return std::nullopt;
    std::optional<std::vector<unsigned char>> frame = infoFrameTemplate(settings, input);
    if (!frame)
        return std::nullopt;
    const std::optional<FrameHeader> header = parseHeader(frame->data(), frame->size());
    if (!header || header->bitrate == lame_get_brate(lame))
        return std::nullopt; // lame's own frame holds the tag
    return frame;
}

// The existing one-instance run: lame's own info frame, or one made here where lame makes none.
Outcome encodeOnce(const EncoderSettings &settings, AudioSource &source, Mp3Output &output, const QByteArray &v2,
                   const QByteArray &v1, const std::atomic_bool &abort, ProgressCounter &counter, RunReport *report)
{
    const InputInfo &input = source.info();
    auto probe = openLame(settings, input, settings.writeInfoTag);
    if (Outcome *failed = std::get_if<Outcome>(&probe))
        return *failed;
    const std::optional<std::vector<unsigned char>> own =
        ownInfoFrame(settings, input, std::get<LamePtr>(probe).get());
    LamePtr lame = std::move(std::get<LamePtr>(probe));
    if (own) {
        auto reopened = openLame(settings, input, false);
        if (Outcome *failed = std::get_if<Outcome>(&reopened))
            return *failed;
        lame = std::move(std::get<LamePtr>(reopened));
    }

    if (Outcome written = output.write(v2); !written)
        return written;
    FrameTally tally;
    if (own) {
        const std::vector<unsigned char> placeholder(own->size());
        if (Outcome written = output.write(placeholder.data(), placeholder.size()); !written)
            return written;
    }

    Stream stream {lame.get(), source, output, abort, counter, own ? &tally : nullptr};
    const Outcome encoded = input.fitsShort ? encodeAll<short>(stream) : encodeAll<float>(stream);
    if (!encoded)
        return encoded;
    if (stream.framesRead == 0)
        return noAudio(settings.inputFile);

    std::vector<unsigned char> tail(7200);
    const int flushed = lame_encode_flush(lame.get(), tail.data(), static_cast<int>(tail.size()));
    if (flushed < 0)
        return encodeFailure(flushed);
    if (Outcome written = stream.write(tail.data(), static_cast<std::size_t>(flushed)); !written)
        return written;

    if (Outcome written = output.write(v1); !written)
        return written;

    if (own) {
        if (!tally.complete())
            return Outcome::failure(QStringLiteral("The MP3 encoder wrote an incomplete frame."));
        const std::vector<unsigned char> frame = tally.builder().build(
            *own, lame_get_encoder_delay(lame.get()), lame_get_encoder_padding(lame.get()));
        if (Outcome written = output.writeAt(v2.size(), frame.data(), frame.size()); !written)
            return written;
    } else if (settings.writeInfoTag) {
        // lame left a placeholder frame where the audio starts; the finished info frame,
        // with the encoder delay and padding, goes over it.
        std::vector<unsigned char> frame(lame_get_lametag_frame(lame.get(), nullptr, 0));
        if (!frame.empty()) {
            if (lame_get_lametag_frame(lame.get(), frame.data(), frame.size()) != frame.size())
                return lameFailure(QStringLiteral("The MP3 encoder gave no info frame"));
            if (Outcome written = output.writeAt(v2.size(), frame.data(), frame.size()); !written)
                return written;
        }
    }

    if (abort.load())
        return stopped();
    if (Outcome committed = output.commit(); !committed)
        return committed;
    if (report)
        report->instances = 1;
    counter.finish(stream.framesRead);
    return Outcome::success();
}

int workersFor(const EncoderSettings &settings, const ParallelPlan &plan)
{
    const int asked = plan.workers > 0 ? plan.workers : settings.workers;
    return asked > 0 ? asked : std::max(1u, std::thread::hardware_concurrency());
}

} // namespace

Outcome runEncode(const EncoderSettings &settings, const std::atomic_bool &abort, const ProgressReport &progress)
{
    return runEncode(settings, ParallelPlan {}, abort, progress);
}

Outcome runEncode(const EncoderSettings &settings, const ParallelPlan &plan, const std::atomic_bool &abort,
                  const ProgressReport &progress, RunReport *report)
{
    AudioSource source;
    if (Outcome opened = source.open(settings.inputFile, settings.rawPcm,
                                     settings.rawPcm && settings.forceByteSwap);
        !opened)
        return opened;
    const InputInfo &input = source.info();
    if (input.frames <= 0)
        return noAudio(settings.inputFile);

    auto probe = openLame(settings, input, false);
    if (Outcome *failed = std::get_if<Outcome>(&probe))
        return *failed;
    const lame_t lame = std::get<LamePtr>(probe).get();
    // Chunks must start where the input and the output frame grids meet; with resampling
    // one instance encodes the file.
    const bool sameRate = lame_get_out_samplerate(lame) == input.sampleRate;
    const int frameSamples = lame_get_framesize(lame);
    const int encoderDelay = lame_get_encoder_delay(lame);
    const bool variableRate = lame_get_VBR(lame) != vbr_off;
    const int workers = workersFor(settings, plan);
    std::get<LamePtr>(probe).reset();

    const std::optional<QByteArray> v2 = settings.skipTags ? QByteArray() : id3v2Tag(settings);
    if (!v2)
        return Outcome::failure(QStringLiteral("The tag texts are too long for an ID3 tag."));
    const QByteArray v1 = settings.skipTags ? QByteArray() : id3v1Tag(settings);

    auto output = std::make_unique<Mp3Output>(settings.outputFile);
    if (Outcome opened = output->open(); !opened)
        return opened;
    ProgressCounter counter(progress, input.frames);
    counter.start();

    const bool longEnough = static_cast<double>(input.frames) >= plan.minSeconds * input.sampleRate;
    if (workers > 1 && sameRate && longEnough) {
        const ChunkLayout layout = planChunks(input.frames, input.sampleRate, frameSamples, workers, plan.chunkFrames);
        if (layout.starts.size() >= 2) {
            const ParallelJob job {settings, input, layout, workers, encoderDelay, variableRate, *output, *v2, v1, abort, counter, report};
            const ParallelEnd end = encodeInParallel(job);
            if (!end.useOneInstance) {
                if (end.outcome)
                    counter.finish(input.frames);
                return end.outcome;
            }
            // Start over: the partial MP3 is dropped with its temporary file.
            output = std::make_unique<Mp3Output>(settings.outputFile);
            if (Outcome opened = output->open(); !opened)
                return opened;
        }
    }
    return encodeOnce(settings, source, *output, *v2, v1, abort, counter, report);
}
