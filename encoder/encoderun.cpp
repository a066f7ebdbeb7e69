#include "encoderun.h"

#include "encoder/input/audiosource.h"
#include "encoder/lame/lameinstance.h"
#include "encoder/output/mp3file.h"
#include "encoder/output/mp3output.h"
#include "encoder/input/resampler.h"
#include "encoder/mp3/frames.h"
#include "encoder/mp3/id3tags.h"
#include "encoder/mp3/infoframe.h"

#include <lame/lame.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <thread>
#include <variant>
#include <vector>

namespace {

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

// The info frame this run writes itself, where lame would write none: at the lowest constant
// bit rates lame's frame cannot hold the whole tag. spare as for infoFrameTemplate().
std::optional<std::vector<unsigned char>> ownInfoFrame(const EncoderSettings &settings, const InputInfo &input,
                                                       const KeptRate *kept, lame_t lame, LamePtr spare)
{
    if (!settings.writeInfoTag || lame_get_VBR(lame) != vbr_off)
        return std::nullopt;
    std::optional<InfoFrameTemplate> made = infoFrameTemplate(settings, input, kept, std::move(spare));
    if (!made || made->lameWritesIt)
        return std::nullopt;
    return std::move(made->frame);
}

// The one instance of a run and the info frame it takes: lame's own (lame writes a
// placeholder frame first), one made here (own), or none.
struct OneInstance
{
    LamePtr lame;
    std::optional<std::vector<unsigned char>> own;
};

std::variant<OneInstance, Outcome> openOneInstance(const EncoderSettings &settings, const InputInfo &input,
                                                   const KeptRate *kept, LamePtr spare)
{
    auto opened = openLame(settings, input, settings.writeInfoTag, kept);
    if (Outcome *failed = std::get_if<Outcome>(&opened))
        return *failed;
    OneInstance instance {std::move(std::get<LamePtr>(opened)), std::nullopt};
    instance.own = ownInfoFrame(settings, input, kept, instance.lame.get(), std::move(spare));
    if (!instance.own)
        return instance;
    auto reopened = openLame(settings, input, false, kept);
    if (Outcome *failed = std::get_if<Outcome>(&reopened))
        return *failed;
    instance.lame = std::move(std::get<LamePtr>(reopened));
    return instance;
}

// lame's finished info frame, with the encoder delay and padding; empty if lame makes none.
Outcome lameInfoFrame(lame_t lame, std::vector<unsigned char> &frame)
{
    frame.resize(lame_get_lametag_frame(lame, nullptr, 0));
    if (!frame.empty() && lame_get_lametag_frame(lame, frame.data(), frame.size()) != frame.size())
        return lameFailure(QStringLiteral("The MP3 encoder gave no info frame"));
    return Outcome::success();
}

Outcome encodeOnce(const EncoderSettings &settings, PcmReader &source, const KeptRate *kept, Mp3Output &output,
                   const QByteArray &v2, const QByteArray &v1, const std::atomic_bool &abort, ProgressCounter &counter,
                   RunReport *report, LamePtr spare)
{
    auto opened = openOneInstance(settings, source.info(), kept, std::move(spare));
    if (Outcome *failed = std::get_if<Outcome>(&opened))
        return *failed;
    const OneInstance &instance = std::get<OneInstance>(opened);
    const lame_t lame = instance.lame.get();

    FrameTally tally;
    const EncodeFeed feed {
        lame, source, [&abort] { return abort.load(std::memory_order_relaxed); },
        [&](const unsigned char *data, std::size_t size) {
            if (instance.own)
                tally.add(data, size);
            return output.write(data, size);
        },
        [&counter](qint64 at, qint64 frames) { counter.advance(at + frames); }};
    qint64 frames = 0;
    const auto writeAudio = [&]() -> Outcome {
        const qint64 all = std::numeric_limits<qint64>::max();
        if (Outcome encoded = source.info().fitsShort ? encodeFrames<short>(feed, all, &frames)
                                                      : encodeFrames<float>(feed, all, &frames);
            !encoded)
            return encoded;
        if (frames == 0)
            return noAudio(settings.inputFile);
        return flushLame(feed);
    };
    const auto infoFrame = [&](std::vector<unsigned char> &frame) -> Outcome {
        if (!instance.own)
            return settings.writeInfoTag ? lameInfoFrame(lame, frame) : Outcome::success();
        if (!tally.complete())
            return Outcome::failure(QStringLiteral("The MP3 encoder wrote an incomplete frame."));
        frame = tally.builder().build(*instance.own, lame_get_encoder_delay(lame), lame_get_encoder_padding(lame));
        return Outcome::success();
    };
    const Mp3Layout layout {v2, v1, instance.own ? instance.own->size() : 0, kept ? kept->sourceRate : 0};
    if (Outcome written = writeMp3File(output, layout, writeAudio, infoFrame, abort); !written)
        return written;
    if (report)
        report->instances = 1;
    counter.finish(frames);
    return Outcome::success();
}

// Parallel failures after which one instance can still encode the file.
bool oneInstanceCan(const Outcome &outcome)
{
    return outcome.kind == Outcome::Kind::InputMismatch || outcome.kind == Outcome::Kind::Unjoinable;
}

int workersFor(const EncoderSettings &settings, const ParallelPlan &plan)
{
    if (plan.workers > 0)
        return plan.workers;
    // More workers than cores only share the cores, each with its own warm-up and seams.
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return settings.workers > 0 ? std::min(settings.workers, cores) : cores;
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

    auto probe = openLame(settings, input, settings.writeInfoTag);
    if (Outcome *failed = std::get_if<Outcome>(&probe))
        return *failed;
    const lame_t lame = std::get<LamePtr>(probe).get();
    // Where lame would resample, the input is resampled ahead of it, the same way on both
    // paths, and lame encodes at its output rate: chunks then sit on the output's frame grid.
    const RateChange rates {input.sampleRate, lame_get_out_samplerate(lame)};
    const bool resample = rates.outRate != rates.inRate;
    const KeptRate keptRate {lame_get_VBR_quality(lame), rates.inRate};
    const KeptRate *kept = resample ? &keptRate : nullptr;
    InputInfo encoded = input;
    if (resample) {
        encoded.sampleRate = rates.outRate;
        encoded.frames = rates.outputFrames(input.frames);
        encoded.fitsShort = false;
    }
    const int frameSamples = lame_get_framesize(lame);
    const int encoderDelay = lame_get_encoder_delay(lame);
    const bool variableRate = lame_get_VBR(lame) != vbr_off;
    const int constantRate = lame_get_brate(lame);
    const int workers = workersFor(settings, plan);
    // Where nothing is resampled the probe is set up as the info frame's template instance,
    // and serves as that: one set-up less before the first frame.
    LamePtr spare = std::move(std::get<LamePtr>(probe));
    if (resample || !settings.writeInfoTag)
        spare.reset();
    if (encoded.frames <= 0)
        return noAudio(settings.inputFile);

    const std::optional<QByteArray> v2 = settings.skipTags ? QByteArray() : id3v2Tag(settings);
    if (!v2)
        return Outcome::failure(QStringLiteral("The tag texts are too long for an ID3 tag."));
    const QByteArray v1 = settings.skipTags ? QByteArray() : id3v1Tag(settings);

    auto output = std::make_unique<Mp3Output>(settings.outputFile);
    if (Outcome opened = output->open(); !opened)
        return opened;
    // Progress counts the audio lame takes; reports give it in input frames, as without resampling.
    const ProgressReport inputFrames = [&](int percent, qint64 frames) {
        progress(percent, resample ? rates.inputFrames(frames) : frames);
    };
    ProgressCounter counter(inputFrames, encoded.frames);
    counter.start();

    const bool longEnough = static_cast<double>(input.frames) >= plan.minSeconds * input.sampleRate;
    if (workers > 1 && longEnough) {
        // At 8 to 24 kHz (MPEG-2 and 2.5) a frame is 72 bytes a kbit/s over the rate in kHz.
        const bool unpadded = !variableRate && frameSamples == 576
                              && (72000 * constantRate) % encoded.sampleRate == 0;
        const ChunkLayout layout = planChunks(encoded.frames, encoded.sampleRate, frameSamples, workers,
                                              plan.chunkFrames, unpadded ? kLongSearch : kSearch);
        if (layout.starts.size() >= 2) {
            const ParallelJob job {settings, input, encoded, rates, kept, layout, workers, encoderDelay, variableRate, *output, *v2, v1, abort, counter, report};
            const Outcome parallel = encodeInParallel(job, std::move(spare));
            if (!oneInstanceCan(parallel)) {
                if (parallel)
                    counter.finish(encoded.frames);
                return parallel;
            }
            // Start over: the partial MP3 is dropped with its temporary file.
            output = std::make_unique<Mp3Output>(settings.outputFile);
            if (Outcome opened = output->open(); !opened)
                return opened;
        }
    }
    if (resample) {
        ResampledReader reader(source, rates, {}, 0);
        return encodeOnce(settings, reader, kept, *output, *v2, v1, abort, counter, report, std::move(spare));
    }
    SourceReader reader(source);
    return encodeOnce(settings, reader, nullptr, *output, *v2, v1, abort, counter, report, std::move(spare));
}
