#pragma once

#include <QString>

// One conversion of a batch.
struct BatchFile
{
    QString input;
    QString output;
    // Cut into chunks that idle cores share; otherwise one instance encodes it.
    bool split = true;
};
