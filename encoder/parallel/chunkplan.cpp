#include "chunkplan.h"

#include <algorithm>

namespace {

constexpr std::int64_t kMinChunk = kWarmUp + kSearch + kLookAhead + 16;

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
