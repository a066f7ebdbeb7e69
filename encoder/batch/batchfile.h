#pragma once

#include <QString>

// One conversion of a batch.
struct BatchFile
{
    QString input;
    QString output;
    // Cut into chunks that idle cores share; otherwise one instance encodes it.
    bool split = true;
    // Where split, the audio a chunk should hold, in seconds; 0: the longest chunk.
    double chunkSeconds = 0;
};
