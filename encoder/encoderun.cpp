#include "encoderun.h"

#include "encoder/appliedgain.h"
#include "encoder/core/result.h"
#include "encoder/input/audiosource.h"
#include "encoder/input/pcmreader.h"
#include "encoder/input/resampler.h"
#include "encoder/lame/lamefeed.h"
#include "encoder/lame/lameinstance.h"
#include "encoder/mp3/frames.h"
#include "encoder/output/mp3output.h"
#include "encoder/parallel/chunkworkers.h"
#include "encoder/parallel/parallelrun.h"
#include "encoder/tags/coversize.h"
#include "encoder/tags/id3render.h"
#include "encoder/tags/sourcetags.h"
#include "encoder/wholefile.h"

#include <lame/lame.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <thread>

namespace {

// m:ss.s
QString minutes(qint64 frames, int rate)
{
    const double seconds = double(frames) / std::max(1, rate);
    const auto tenths = static_cast<qint64>(seconds * 10 + 0.5);
    return QStringLiteral("%1:%2.%3").arg(tenths / 600).arg(tenths / 10 % 60, 2, 10, QLatin1Char('0')).arg(tenths % 10);
}

// A file cut short converts as far as it goes, and says so.
Outcome openInput(AudioSource &source, const EncoderSettings &settings, const WarningReport &warn)
{
    if (Outcome opened =
            source.open(settings.inputFile, settings.rawPcm, settings.rawPcm && settings.forceByteSwap, settings.range);
        !opened)
        return opened;
    const InputInfo &info = source.info();
    if (info.missingFrames > 0 && warn)
        warn(QStringLiteral("The input's header announces %1 of audio, but the file ends after %2: the last %3 "
                            "are missing, and the MP3 holds what is there.")
                 .arg(minutes(info.frames + info.missingFrames, info.sampleRate),
                      minutes(info.frames, info.sampleRate), minutes(info.missingFrames, info.sampleRate)));
    if (info.frames <= 0)
        return noAudio(settings.inputFile);
    return Outcome::success();
}

// What an instance set up for the settings decides before the first frame.
struct Probe
{
    EncodingPlan encoding;
    int frameSamples = 0;
    int constantRate = 0; // kbit/s
    // Where nothing is resampled, the probe set up as the info frame's template instance,
    // which serves as that: one set-up less before the first frame.
    LamePtr spare;
};

Result<Probe> probe(const EncoderSettings &settings, const InputInfo &input)
{
    Result<LamePtr> opened = openLame(settings, input, settings.writeInfoTag);
    if (!opened)
        return opened.failure();
    const lame_t lame = opened->get();
    // Where lame would resample, the input is resampled ahead of it, the same way on both
    // paths, and lame encodes at its output rate: chunks then sit on the output's frame grid.
    Probe made {
        .encoding = {.settings = settings,
                     .input = input,
                     .encoded = input,
                     .rates = {.inRate = input.sampleRate, .outRate = lame_get_out_samplerate(lame)},
                     .kept = std::nullopt,
                     .encoderDelay = lame_get_encoder_delay(lame),
                     .variableRate = lame_get_VBR(lame) != vbr_off},
        .frameSamples = lame_get_framesize(lame),
        .constantRate = lame_get_brate(lame),
        .spare = nullptr,
    };
    EncodingPlan &encoding = made.encoding;
    if (encoding.resampled()) {
        encoding.kept = KeptRate {.vbrQuality = lame_get_VBR_quality(lame), .sourceRate = input.sampleRate};
        encoding.encoded.sampleRate = encoding.rates.outRate;
        encoding.encoded.frames = encoding.rates.outputFrames(input.frames);
        encoding.encoded.fitsShort = false;
    } else if (settings.writeInfoTag) {
        made.spare = std::move(*opened);
    }
    return made;
}

// The run's MP3 file, opened again to start over; where the plan leaves it uncommitted, handed
// to the report when the run succeeds.
class RunOutput
{
public:
    RunOutput(const QString &path, const QString &temporaryFolder, RunReport *leaveUncommittedIn)
        : m_path(path), m_temporaryFolder(temporaryFolder), m_report(leaveUncommittedIn)
    {
    }

    // Drops what was written before, with its temporary file.
    Outcome open()
    {
        m_output.reset();
        m_output = std::make_unique<Mp3Output>(m_path, m_temporaryFolder);
        if (Outcome opened = m_output->open(); !opened)
            return opened;
        if (m_report)
            m_output->deferCommit();
        return Outcome::success();
    }
    OutputTarget target(const Mp3Tags &tags) { return {.output = *m_output, .tags = tags}; }
    Outcome handBack(Outcome outcome)
    {
        if (outcome && m_report)
            m_report->uncommitted = std::move(m_output);
        return outcome;
    }

private:
    const QString m_path;
    const QString m_temporaryFolder;
    RunReport *const m_report;
    std::unique_ptr<Mp3Output> m_output;
};

int workersFor(const EncoderSettings &settings, const ParallelPlan &plan)
{
    if (plan.workers > 0)
        return plan.workers;
    // More workers than cores only share the cores, each with its own warm-up and seams.
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return settings.workers > 0 ? std::min(settings.workers, cores) : cores;
}

// The chunks a run cuts the file into; nothing where it is too short for two, and one instance
// encodes it from the start.
std::optional<ChunkLayout> chunksOf(const Probe &probe, const ParallelPlan &plan)
{
    const EncodingPlan &encoding = probe.encoding;
    const InputInfo &encoded = encoding.encoded;
    const bool longEnough = static_cast<double>(encoding.input.frames) >= plan.minSeconds * encoding.input.sampleRate;
    if (!longEnough)
        return std::nullopt;
    // MPEG-2 and 2.5 frames whose size is whole bytes at a constant rate: no frame can take a
    // padding byte to close a seam, and the reservoir is small.
    const bool unpadded = !encoding.variableRate && probe.frameSamples == kGranuleSamples
                          && framesNeverPadded(mpegVersionFor(encoded.sampleRate), probe.constantRate,
                                               encoded.sampleRate);
    ChunkLayout layout = planChunks(encoded.frames, encoded.sampleRate, probe.frameSamples, plan.chunkFrames,
                                    unpadded ? kLongSearch : kSearch);
    if (layout.starts.size() < 2)
        return std::nullopt;
    return layout;
}

// The file on several cores where it is long enough to be cut into chunks; nothing where one
// instance encodes it from the start. Takes the probe's spare instance when it runs.
std::optional<Outcome> encodeInParallelIfWorth(Probe &probe, const ParallelPlan &plan, const OutputTarget &target,
                                               const RunControls &controls)
{
    const std::optional<ChunkLayout> layout = chunksOf(probe, plan);
    if (!layout)
        return std::nullopt;
    return encodeInParallel(probe.encoding, *layout, workersFor(probe.encoding.settings, plan), target, controls,
                            std::move(probe.spare));
}

// Parallel failures after which one instance can still encode the file.
bool oneInstanceCan(const Outcome &outcome)
{
    return outcome.kind == Outcome::Kind::InputMismatch || outcome.kind == Outcome::Kind::Unjoinable;
}

} // namespace

Result<Mp3Tags> runTags(const EncoderSettings &settings, const WarningReport &warn)
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
    std::optional<SourceTagRead> source = readSourceTags(settings);
    QStringList warnings;
    if (source) {
        // A picture of the input's own wins over its folder's, a cover file over both.
        if (!cover && settings.folderCover && !source->tags.hasPictures())
            cover = folderCover(settings.inputFile, source->warnings);
        warnings = source->warnings;
    }
    TagSet merged = mergeTags(settings, source ? &source->tags : nullptr, cover ? &*cover : nullptr);
    fitPictures(merged.pictures, settings.device.coverSize, warnings);
    if (warn) {
        for (const QString &warning : std::as_const(warnings))
            warn(warning);
    }
    std::optional<Mp3Tags> tags =
        Mp3Tags::render(std::move(merged), id3v1GenreNumber, settings.albumRoom && settings.replayGain,
                        Id3Form {.version = settings.device.id3Version, .v1 = settings.device.id3v1});
    if (!tags)
        return Outcome::failure(QStringLiteral("The tags are too long for an ID3 tag."));
    return std::move(*tags);
}

Outcome runEncode(const EncoderSettings &settings, const std::atomic_bool &abort, const ProgressReport &progress)
{
    return runEncode(settings, ParallelPlan {}, abort, progress);
}

Outcome runEncode(const EncoderSettings &asked, const ParallelPlan &plan, const std::atomic_bool &abort,
                  const ProgressReport &progress, RunReport *report, const WarningReport &warn)
{
    const EncoderSettings settings = withTrackGainApplied(asked, abort);
    AudioSource source;
    if (Outcome opened = openInput(source, settings, warn); !opened)
        return opened;
    Result<Probe> probed = probe(settings, source.info());
    if (!probed)
        return probed.failure();
    const EncodingPlan &encoding = probed->encoding;
    if (encoding.encoded.frames <= 0)
        return noAudio(settings.inputFile);
    const Result<Mp3Tags> tags = runTags(settings, warn);
    if (!tags)
        return tags.failure();
    RunOutput output(settings.outputFile, plan.temporaryFolder, plan.leaveUncommitted ? report : nullptr);
    if (plan.leaveUncommitted && report)
        report->tags = *tags;
    if (Outcome opened = output.open(); !opened)
        return opened;

    // Progress counts the audio lame takes; reports give it in input frames, as without resampling.
    const ProgressReport inputFrames = [&](int percent, qint64 frames) {
        progress(percent, encoding.resampled() ? encoding.rates.inputFrames(frames) : frames);
    };
    ProgressCounter counter(inputFrames, encoding.encoded.frames);
    counter.start();
    const RunControls controls {.abort = abort, .counter = counter, .report = report, .cores = plan.cores};

    if (std::optional<Outcome> parallel = encodeInParallelIfWorth(*probed, plan, output.target(*tags), controls)) {
        if (!oneInstanceCan(*parallel)) {
            if (*parallel)
                counter.finish(encoding.encoded.frames);
            return output.handBack(*parallel);
        }
        // Start over: the partial MP3 is dropped with its temporary file.
        if (Outcome reopened = output.open(); !reopened)
            return reopened;
    }
    return output.handBack(
        encodeWholeFile(encoding, source, output.target(*tags), controls, std::move(probed->spare)));
}

namespace {

template <typename Sample>
bool measureAll(PcmReader &reader, LoudnessMeter &meter, const std::atomic_bool &abort)
{
    std::vector<Sample> block(static_cast<std::size_t>(kBlockFrames * reader.info().channels));
    for (;;) {
        if (abort.load())
            return false;
        const qint64 read = reader.read(block.data(), kBlockFrames);
        if (read < 0)
            return false;
        if (read == 0)
            return true;
        meter.add(block.data(), read);
    }
}

} // namespace

std::vector<std::unique_ptr<LoudnessMeter>> measureLoudness(const EncoderSettings &settings,
                                                            const std::atomic_bool &abort)
{
    AudioSource source;
    if (!source.open(settings.inputFile, settings.rawPcm, settings.rawPcm && settings.forceByteSwap, settings.range)
        || source.info().frames <= 0)
        return {};
    const Result<Probe> probed = probe(settings, source.info());
    const Result<LamePtr> lame = openLame(settings, source.info(), false);
    if (!probed || !lame)
        return {};
    const EncodingPlan &encoding = probed->encoding;
    // As the run measures it: chunk by chunk, where it cuts the file into chunks.
    if (const std::optional<ChunkLayout> layout = chunksOf(*probed, ParallelPlan {}))
        return measureChunks(encoding, *layout, lame->get(), abort);
    // The audio lame would take: resampled ahead of it where its rate differs.
    std::optional<ResampledReader> resampled;
    std::optional<SourceReader> plain;
    PcmReader &reader = encoding.resampled()
                            ? static_cast<PcmReader &>(resampled.emplace(source, encoding.rates, RateChange::Start {}, 0))
                            : plain.emplace(source);
    std::unique_ptr<LoudnessMeter> meter = loudnessMeterFor(lame->get(), settings, reader.info());
    if (!meter)
        return {};
    const bool measured = reader.info().fitsShort ? measureAll<short>(reader, *meter, abort)
                                                  : measureAll<float>(reader, *meter, abort);
    if (!measured)
        return {};
    meter->finish();
    std::vector<std::unique_ptr<LoudnessMeter>> meters;
    meters.push_back(std::move(meter));
    return meters;
}
