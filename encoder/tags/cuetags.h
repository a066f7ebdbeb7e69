#pragma once

#include "tagset.h"
#include "encoder/input/cuesheet.h"

// The tags a CUE sheet gives one of its tracks (a CueCut's, the audio before track 1 among
// them): the sheet's texts where the track has none of its own, the track as "n/total" and
// the disc as "n/total" or "n". The typed tags go over them and the image's own under them.
TagSet cueTrackTags(const CueSheet &sheet, const CueTrack &track);
