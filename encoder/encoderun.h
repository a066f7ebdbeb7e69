#pragma once

#include "encoder/core/encodersettings.h"
#include "encoder/core/outcome.h"
#include "encoder/core/progresscounter.h"
#include "encoder/core/result.h"
#include "encoder/parallel/chunkplan.h"
#include "encoder/parallel/runreport.h"
#include "encoder/tags/id3render.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>

// Told, on the run's thread, of each part of the input left out of the MP3 (a damaged tag chunk).
using WarningReport = std::function<void(const QString &warning)>;

// One whole conversion on the calling thread: reads settings.inputFile, writes
// settings.outputFile through a temporary file, and reports progress 0..100 (101 reports in a
// run that succeeds, the last once the MP3 is complete under its own name). Checks abort
// between blocks; an aborted or failed run leaves no file behind and an existing output as it
// was. Needs no Qt event loop. A long enough input is encoded by settings.workers threads
// together (see parallel/parallelrun.h).
Outcome runEncode(const EncoderSettings &settings, const std::atomic_bool &abort,
                  const ProgressReport &progress);
// The same with the way of splitting the work given; report, when given, tells what was done.
Outcome runEncode(const EncoderSettings &settings, const ParallelPlan &plan, const std::atomic_bool &abort,
                  const ProgressReport &progress, RunReport *report = nullptr, const WarningReport &warn = {});

// The loudness of the audio a run with these settings would encode, measured without encoding:
// for an album track whose MP3 is already there. Measured as the run measures it, a meter a chunk
// where it cuts the input into chunks, so the album's figures are those a run of every track
// gives. Nothing where the input cannot be read or settings.replayGain is off.
std::vector<std::unique_ptr<LoudnessMeter>> measureLoudness(const EncoderSettings &settings,
                                                            const std::atomic_bool &abort);

// The tags a run with these settings writes: the typed texts with the input's own and a cover
// (given, or its folder's); none with SkipTags.
Result<Mp3Tags> runTags(const EncoderSettings &settings, const WarningReport &warn = {});
