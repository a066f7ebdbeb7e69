#include "wholefile.h"

#include "encoder/input/loudnessmeter.h"
#include "encoder/input/resampler.h"
#include "encoder/lame/infotemplate.h"
#include "encoder/lame/lamefeed.h"
#include "encoder/mp3/frames.h"
#include "encoder/mp3/infoframe.h"
#include "encoder/output/mp3file.h"
#include "encoder/parallel/runreport.h"

#include <lame/lame.h>

#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace {

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

Result<OneInstance> openOneInstance(const EncoderSettings &settings, const InputInfo &input, const KeptRate *kept,
                                    LamePtr spare)
{
    Result<LamePtr> opened = openLame(settings, input, settings.writeInfoTag, kept);
    if (!opened)
        return opened.failure();
    OneInstance instance {.lame = std::move(*opened), .own = std::nullopt};
    instance.own = ownInfoFrame(settings, input, kept, instance.lame.get(), std::move(spare));
    if (!instance.own)
        return instance;
    Result<LamePtr> reopened = openLame(settings, input, false, kept);
    if (!reopened)
        return reopened.failure();
    instance.lame = std::move(*reopened);
    return instance;
}

Outcome encodeOnce(const EncodingPlan &plan, PcmReader &source, const OutputTarget &target,
                   const RunControls &controls, LamePtr spare)
{
    const EncoderSettings &settings = plan.settings;
    const KeptRate *kept = plan.keptRate();
    Mp3Output &output = target.output;
    const std::atomic_bool &abort = controls.abort;
    const Result<OneInstance> instance = openOneInstance(settings, source.info(), kept, std::move(spare));
    if (!instance)
        return instance.failure();
    const lame_t lame = instance->lame.get();

    FrameTally tally;
    std::unique_ptr<LoudnessMeter> meter = loudnessMeterFor(lame, settings, source.info());
    const EncodeFeed feed {
        .lame = lame,
        .source = source,
        .stopping = [&abort] { return abort.load(std::memory_order_relaxed); },
        .sink =
            [&](const unsigned char *data, std::size_t size) {
                if (instance->own)
                    tally.add(data, size);
                return output.write(data, size);
            },
        .progress = [&controls](qint64 at, qint64 frames) { controls.counter.advance(at + frames); },
        .meter = meter.get(),
        .measureFrom = 0,
        .measureTo = std::numeric_limits<qint64>::max(),
    };
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
        if (!instance->own) {
            if (!settings.writeInfoTag)
                return Outcome::success();
            if (Outcome finished = finishedInfoFrame(lame, frame); !finished)
                return finished;
        } else {
            if (!tally.complete())
                return Outcome::failure(QStringLiteral("The MP3 encoder wrote an incomplete frame."));
            frame = tally.builder().build(*instance->own, lame_get_encoder_delay(lame), lame_get_encoder_padding(lame));
        }
        if (gain)
            recordTrackGain(frame, *gain);
        return Outcome::success();
    };
    const Mp3Layout layout {
        .tags = target.tags,
        .infoFrameBytes = instance->own ? instance->own->size() : 0,
        .sourceRate = kept ? kept->sourceRate : 0,
        .trackGain = settings.replayGain ? TrackGainSource([&gain] { return gain; }) : TrackGainSource(),
    };
    if (Outcome written = writeMp3File(output, layout, writeAudio, infoFrame, abort); !written)
        return written;
    if (controls.report) {
        controls.report->instances = 1;
        controls.report->trackGain = gain;
        if (meter) {
            meter->finish();
            controls.report->meters.push_back(std::move(meter));
        }
    }
    controls.counter.finish(frames);
    return Outcome::success();
}

} // namespace

Outcome noAudio(const QString &path)
{
    return Outcome::failure(QStringLiteral("The input %1 holds no audio.").arg(path));
}

Outcome encodeWholeFile(const EncodingPlan &plan, AudioSource &source, const OutputTarget &target,
                        const RunControls &controls, LamePtr spare)
{
    if (plan.resampled()) {
        ResampledReader reader(source, plan.rates, {}, 0);
        return encodeOnce(plan, reader, target, controls, std::move(spare));
    }
    SourceReader reader(source);
    return encodeOnce(plan, reader, target, controls, std::move(spare));
}
