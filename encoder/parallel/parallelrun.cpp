#include "parallelrun.h"

#include "chunkworkers.h"
#include "encoder/lame/infotemplate.h"
#include "encoder/mp3/infoframe.h"
#include "encoder/output/mp3file.h"

#include <optional>
#include <vector>

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
    ChunkWorkers run(plan, layout, workers, controls, target.output);
    std::optional<TrackGain> gain;
    const Mp3Layout mp3 {
        .tags = target.tags,
        .infoFrameBytes = info ? info->size() : 0,
        .sourceRate = plan.kept ? plan.kept->sourceRate : 0,
        .trackGain = plan.settings.replayGain ? TrackGainSource([&gain] { return gain; }) : TrackGainSource(),
    };
    const Outcome written = writeMp3File(
        target.output, mp3,
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
    if (written && controls.report) {
        controls.report->trackGain = gain;
        controls.report->meters = run.takeMeters();
    }
    return written;
}
