#pragma once

#include <QString>

// One conversion of a batch.
struct BatchFile
{
    QString input;
    QString output;
};
