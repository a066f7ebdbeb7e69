#include "chunkplan.h"

#include <algorithm>

ChunkLayout planChunks(std::int64_t inputFrames, int sampleRate, int frameSamples, std::int64_t chunkFrames,
                       std::int64_t search)
{
    const int workers = kLayoutWorkers;
    const std::int64_t kMinChunk = kWarmUp + search + kLookAhead + 16;
    ChunkLayout layout;
    layout.frameSamples = frameSamples;
    layout.search = search;
    const std::int64_t frames = inputFrames / frameSamples;
    const std::int64_t perSecond = std::max(1, sampleRate / frameSamples);
    std::int64_t count = 0;
    if (chunkFrames <= 0) {
        // Three chunks a worker even out the load; chunks of 20 to 60 seconds keep the
        // overlap small and the chunks held in memory few.
        chunkFrames = std::clamp<std::int64_t>(frames / (3 * workers), 20 * perSecond, 60 * perSecond);
        count = frames / chunkFrames;
        // Fewer than that: a whole number of chunks a worker, at least one each, so no worker
        // is left alone with a last chunk.
        if (count < 3 * workers)
            count = std::max<std::int64_t>(workers, count / workers * workers);
        count = std::min(count, frames / kMinChunk);
    } else {
        count = frames / std::max(chunkFrames, kMinChunk);
    }
    count = std::max<std::int64_t>(1, count);
    for (std::int64_t i = 0; i < count; ++i)
        layout.starts.push_back(i * frames / count);
    return layout;
}
