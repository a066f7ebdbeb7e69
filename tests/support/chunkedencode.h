#pragma once

#include "encoder/encoderun.h"

#include <atomic>

// workers 1: one instance, as for an input shorter than a chunk; more: chunks of about 2.6 s,
// so a short input has several seams.
inline Outcome encodeInChunks(const EncoderSettings &settings, int workers, RunReport *report)
{
    static const std::atomic_bool never = false;
    ParallelPlan plan;
    plan.workers = workers;
    plan.chunkFrames = workers > 1 ? 100 : 0;
    plan.minSeconds = workers > 1 ? 0 : 1e9;
    return runEncode(settings, plan, never, [](int, qint64) {}, report);
}
