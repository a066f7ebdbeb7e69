#pragma once

#include "exitstatus.h"

#include "encoder/batch/outputclaims.h"
#include "encoder/core/encodersettings.h"

#include <QStringList>

// sonovert-encode INPUT... [-o DIR]: what the command line asked for.
struct BatchRequest
{
    QStringList inputs;
    QString outputDir; // empty: each MP3 beside its WAVE
    ExistingPolicy existing = ExistingPolicy::Skip;
    int jobs = 0; // 0: one per core
    bool list = false;
    EncoderSettings settings;
};

// Converts (or with list, lists) the batch: Success when every input was converted or skipped,
// WrongUsage when the output folder cannot be made.
ExitStatus runBatchCommand(const BatchRequest &request);
