#pragma once

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
};
