#include "encoderun.h"

#include "encoder/input/audiosource.h"
#include "encoder/input/loudnessmeter.h"
#include "encoder/input/resampler.h"
#include "encoder/lame/infotemplate.h"
#include "encoder/lame/lamefeed.h"
#include "encoder/lame/lameinstance.h"
#include "encoder/mp3/frames.h"
#include "encoder/mp3/infoframe.h"
#include "encoder/output/mp3file.h"
#include "encoder/output/mp3output.h"
#include "encoder/parallel/parallelrun.h"
#include "encoder/tags/id3render.h"
#include "encoder/tags/sourcetags.h"

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

// The whole file by one instance, read from source: the file, or the file resampled.
Outcome encodeOnce(const EncodingPlan &plan, PcmReader &source, const OutputTarget &target,
                   const RunControls &controls, LamePtr spare)
{
    const EncoderSettings &settings = plan.settings;
    const KeptRate *kept = plan.keptRate();
    Mp3Output &output = target.output;
    const std::atomic_bool &abort = controls.abort;
    auto opened = openOneInstance(settings, source.info(), kept, std::move(spare));
    if (Outcome *failed = std::get_if<Outcome>(&opened))
        return *failed;
    const OneInstance &instance = std::get<OneInstance>(opened);
    const lame_t lame = instance.lame.get();

    FrameTally tally;
    const std::unique_ptr<LoudnessMeter> meter = loudnessMeterFor(lame, settings, source.info());
    const EncodeFeed feed {
        lame, source, [&abort] { return abort.load(std::memory_order_relaxed); },
        [&](const unsigned char *data, std::size_t size) {
            if (instance.own)
                tally.add(data, size);
            return output.write(data, size);
        },
        [&controls](qint64 at, qint64 frames) { controls.counter.advance(at + frames); },
        meter.get(), 0, std::numeric_limits<qint64>::max()};
    qint64 frames = 0;
    std::optional<TrackGain> gain;
    const auto writeAudio = [&]() -> Outcome {
        const qint64 all = std::numeric_limits<qint64>::max();
        if (Outcome encoded = source.info().fitsShort ? encodeFrames<short>(feed, all, &frames)
                                                      : encodeFrames<float>(feed, all, &frames);
            !encoded)
            return encoded;
        if (frames == 0)
            return noAudio(settings.inputFile);
        if (meter)
            gain = meter->figures();
        return flushLame(feed);
    };
    const auto infoFrame = [&](std::vector<unsigned char> &frame) -> Outcome {
        if (!instance.own) {
            if (!settings.writeInfoTag)
                return Outcome::success();
            if (Outcome finished = finishedInfoFrame(lame, frame); !finished)
                return finished;
        } else {
            if (!tally.complete())
                return Outcome::failure(QStringLiteral("The MP3 encoder wrote an incomplete frame."));
            frame = tally.builder().build(*instance.own, lame_get_encoder_delay(lame), lame_get_encoder_padding(lame));
        }
        if (gain)
            recordTrackGain(frame, *gain);
        return Outcome::success();
    };
    const Mp3Layout layout {target.tags, instance.own ? instance.own->size() : 0,
                            kept ? kept->sourceRate : 0,
                            settings.replayGain ? TrackGainSource([&gain] { return gain; }) : TrackGainSource()};
    if (Outcome written = writeMp3File(output, layout, writeAudio, infoFrame, abort); !written)
        return written;
    if (controls.report) {
        controls.report->instances = 1;
        controls.report->trackGain = gain;
    }
    controls.counter.finish(frames);
    return Outcome::success();
}

// Parallel failures after which one instance can still encode the file.
bool oneInstanceCan(const Outcome &outcome)
{
    return outcome.kind == Outcome::Kind::InputMismatch || outcome.kind == Outcome::Kind::Unjoinable;
}

// The tags this run writes: the typed texts with the input's own and a cover; none with SkipTags.
std::variant<Mp3Tags, Outcome> runTags(const EncoderSettings &settings, const WarningReport &warn)
{
    if (settings.skipTags)
        return Mp3Tags();
    std::optional<Picture> cover;
    if (!settings.coverFile.isEmpty()) {
        QString why;
        cover = readCover(settings.coverFile, &why);
        if (!cover)
            return Outcome::failure(why);
    }
    std::optional<SourceTagRead> source;
    // Raw PCM has no chunks to hold tags.
    if (settings.sourceTags && !settings.rawPcm) {
        source = readSourceTags(settings.inputFile);
        if (warn) {
            for (const QString &warning : std::as_const(source->warnings))
                warn(warning);
        }
    }
    std::optional<Mp3Tags> tags = Mp3Tags::render(
        mergeTags(settings, source ? &source->tags : nullptr, cover ? &*cover : nullptr), id3v1GenreNumber);
    if (!tags)
        return Outcome::failure(QStringLiteral("The tags are too long for an ID3 tag."));
    return std::move(*tags);
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
                  const ProgressReport &progress, RunReport *report, const WarningReport &warn)
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
    EncodingPlan encoding {settings, input, input, {input.sampleRate, lame_get_out_samplerate(lame)}, std::nullopt,
                           lame_get_encoder_delay(lame), lame_get_VBR(lame) != vbr_off};
    const RateChange &rates = encoding.rates;
    const bool resample = encoding.resampled();
    InputInfo &encoded = encoding.encoded;
    if (resample) {
        encoding.kept = KeptRate {lame_get_VBR_quality(lame), rates.inRate};
        encoded.sampleRate = rates.outRate;
        encoded.frames = rates.outputFrames(input.frames);
        encoded.fitsShort = false;
    }
    const int frameSamples = lame_get_framesize(lame);
    const bool variableRate = encoding.variableRate;
    const int constantRate = lame_get_brate(lame);
    const int workers = workersFor(settings, plan);
    // Where nothing is resampled the probe is set up as the info frame's template instance,
    // and serves as that: one set-up less before the first frame.
    LamePtr spare = std::move(std::get<LamePtr>(probe));
    if (resample || !settings.writeInfoTag)
        spare.reset();
    if (encoded.frames <= 0)
        return noAudio(settings.inputFile);

    auto rendered = runTags(settings, warn);
    if (Outcome *failed = std::get_if<Outcome>(&rendered))
        return *failed;
    const Mp3Tags &tags = std::get<Mp3Tags>(rendered);

    const bool leaveUncommitted = plan.leaveUncommitted && report;
    const auto openOutput = [&]() -> std::variant<std::unique_ptr<Mp3Output>, Outcome> {
        auto output = std::make_unique<Mp3Output>(settings.outputFile);
        if (Outcome opened = output->open(); !opened)
            return opened;
        if (leaveUncommitted)
            output->deferCommit();
        return output;
    };
    auto opened = openOutput();
    if (Outcome *failed = std::get_if<Outcome>(&opened))
        return *failed;
    std::unique_ptr<Mp3Output> output = std::move(std::get<std::unique_ptr<Mp3Output>>(opened));
    const auto handBack = [&](Outcome outcome) {
        if (outcome && leaveUncommitted)
            report->uncommitted = std::move(output);
        return outcome;
    };
    // Progress counts the audio lame takes; reports give it in input frames, as without resampling.
    const ProgressReport inputFrames = [&](int percent, qint64 frames) {
        progress(percent, resample ? rates.inputFrames(frames) : frames);
    };
    ProgressCounter counter(inputFrames, encoded.frames);
    counter.start();
    const RunControls controls {abort, counter, report, plan.cores};

    const bool longEnough = static_cast<double>(input.frames) >= plan.minSeconds * input.sampleRate;
    if ((workers > 1 || plan.fixedLayout) && longEnough) {
        // At 8 to 24 kHz (MPEG-2 and 2.5) a frame is 72 bytes a kbit/s over the rate in kHz.
        const bool unpadded = !variableRate && frameSamples == 576
                              && (72000 * constantRate) % encoded.sampleRate == 0;
        const ChunkLayout layout = planChunks(encoded.frames, encoded.sampleRate, frameSamples,
                                              plan.fixedLayout ? 1 : workers,
                                              plan.chunkFrames, unpadded ? kLongSearch : kSearch);
        if (layout.starts.size() >= 2) {
            const Outcome parallel =
                encodeInParallel(encoding, layout, workers, {*output, tags}, controls, std::move(spare));
            if (!oneInstanceCan(parallel)) {
                if (parallel)
                    counter.finish(encoded.frames);
                return handBack(parallel);
            }
            // Start over: the partial MP3 is dropped with its temporary file.
            output.reset();
            auto reopened = openOutput();
            if (Outcome *failed = std::get_if<Outcome>(&reopened))
                return *failed;
            output = std::move(std::get<std::unique_ptr<Mp3Output>>(reopened));
        }
    }
    const OutputTarget target {*output, tags};
    if (resample) {
        ResampledReader reader(source, rates, {}, 0);
        return handBack(encodeOnce(encoding, reader, target, controls, std::move(spare)));
    }
    SourceReader reader(source);
    return handBack(encodeOnce(encoding, reader, target, controls, std::move(spare)));
}
