#pragma once

#include "encoder/core/outcome.h"
#include "encoder/input/audiosource.h"
#include "encoder/lame/lameinstance.h"
#include "encoder/parallel/encodingplan.h"

#include <QString>

// The failure of an input that holds no audio.
Outcome noAudio(const QString &path);

// The whole file by one instance, read from source: the file, or the file resampled as the
// plan says. Writes the MP3 to the target with its tags and info frame, and sends the last
// progress report. spare as for infoFrameTemplate().
Outcome encodeWholeFile(const EncodingPlan &plan, AudioSource &source, const OutputTarget &target,
                        const RunControls &controls, LamePtr spare);
