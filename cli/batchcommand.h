#pragma once

#include "encoder/batch/outputclaims.h"
#include "encoder/core/encodersettings.h"
#include "encoder/core/trackgain.h"

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

// Converts (or with list, lists) the batch; returns the exit status: 0 every input converted or
// skipped, 1 one failed, 2 the output folder cannot be made, 128 + the signal that stopped it.
int runBatchCommand(const BatchRequest &request);

// SIGINT and SIGTERM end a conversion cleanly instead of the process: from then on
// stopSignalCaught() gives the signal's number once one came, 0 before.
void catchStopSignals();
int stopSignalCaught();

// Where an MP3 with these loudness figures will clip when decoded, what to tell the user
// (with the gain that avoids it); empty otherwise.
QString clippingWarning(const std::optional<TrackGain> &gain);
