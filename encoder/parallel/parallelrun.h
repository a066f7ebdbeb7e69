#pragma once

#include "chunkplan.h"
#include "encodingplan.h"
#include "runreport.h"
#include "encoder/lame/lameinstance.h"

// One file on several cores (the design and its measurements: docs/parallel-encoding.md).
// Encodes the chunks of layout on up to workers threads and writes the joined MP3 to the
// target, with the tags and info frame; commits it, but leaves the last progress report to
// the caller. A failure of kind InputMismatch or Unjoinable wrote nothing usable: one instance
// should encode the file instead. spare as for infoFrameTemplate().
Outcome encodeInParallel(const EncodingPlan &plan, const ChunkLayout &layout, int workers, const OutputTarget &target,
                         const RunControls &controls, LamePtr spare = nullptr);
