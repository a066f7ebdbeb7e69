#pragma once

#include "encoder/core/framerange.h"

#include <QString>

// One conversion of a batch.
struct BatchFile
{
    QString input;
    QString output;
    // The album it belongs to (an index the batch was given the albums by), -1 for none, and
    // its place among the album's tracks.
    int album = -1;
    int albumTrack = 0;
    // A track of a CD image: its CUE sheet, number and frames of the input.
    QString sheet;
    int track = -1;
    FrameRange range;
};
