#pragma once

#include "batchinput.h"
#include "encoder/input/cuecuts.h"

#include <QString>

#include <vector>

// The CUE sheet beside an image: the same name with .cue (or .CUE); empty where there is none.
QString sheetBeside(const QString &image);

// The tracks of the image a sheet cuts, as inputs of a batch: each a range of the image's
// frames named "NN Title" in a folder named after the image (below). The audio before track 1
// is a track 0 where it is not silence. A sheet that cannot be used gives one input with the
// reason (naming its line), so the batch reports it and converts nothing of the image. found:
// the image the sheet was found beside, taken where FILE names it under another extension (a
// sheet written for the WAVE a ripper made, kept beside the FLAC made of it since). known: whether
// the audio before track 1 is silence, where the caller knows without reading it.
std::vector<BatchInput> imageTracks(const QString &sheet, const QString &below, Pregap pregap,
                                    const QString &found = {}, const PregapSilence &known = {});
