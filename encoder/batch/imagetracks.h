#pragma once

#include "batchinput.h"
#include "encoder/input/cuecuts.h"

#include <QString>

#include <vector>

// The CUE sheet beside an image: the same name with .cue (or .CUE); empty where there is none.
QString sheetBeside(const QString &image);

// The AUDIO tracks a sheet cuts of its files (cuesheetfiles.h finds them), as inputs of a batch:
// each a range of the frames of the file it starts in, going on into the next where it runs
// over the end, named "NN Title" in a folder named after the image or sheet (below). The audio
// before track 1 is a track 0 where it is not silence. The first track's note says how files
// were found and which data tracks were skipped. A sheet that cannot be used gives one input
// with the reason (naming its line), so the batch reports it and converts nothing of it. found:
// the image the sheet was found beside, taken where FILE names it under another extension (a
// sheet written for the WAVE a ripper made, kept beside the FLAC made of it since). known: whether
// the audio before track 1 is silence, where the caller knows without reading it.
std::vector<BatchInput> imageTracks(const QString &sheet, const QString &below, Pregap pregap,
                                    const QString &found = {}, const PregapSilence &known = {});
