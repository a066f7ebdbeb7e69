#pragma once

#include "encoder/core/encodersettings.h"

#include <QMetaType>

#include <functional>

// A change to the default settings, for a column of a test table.
using Adjust = std::function<void(EncoderSettings &)>;
Q_DECLARE_METATYPE(Adjust)

inline EncoderSettings settingsFor(const QString &input, const QString &output, const Adjust &adjust)
{
    EncoderSettings settings;
    settings.inputFile = input;
    settings.outputFile = output;
    if (adjust)
        adjust(settings);
    return settings;
}
