#pragma once

#include "encoder/core/encodersettings.h"
#include "encoder/core/progresscounter.h"
#include "encoder/input/audiosource.h"
#include "encoder/input/resampler.h"
#include "encoder/lame/lameinstance.h"
#include "encoder/output/mp3output.h"
#include "encoder/tags/id3render.h"

#include <QByteArray>

#include <atomic>
#include <optional>

class CoreShare;
struct RunReport;

// What a run encodes and how lame takes it, decided before the first frame.
struct EncodingPlan
{
    const EncoderSettings &settings;
    InputInfo input;   // the file
    InputInfo encoded; // what lame takes: the file, or the file resampled to rates.outRate
    RateChange rates;
    std::optional<KeptRate> kept; // where resampled
    int encoderDelay = 0;
    bool variableRate = false; // frames may take any bit rate

    const KeptRate *keptRate() const { return kept ? &*kept : nullptr; }
    bool resampled() const { return rates.inRate != rates.outRate; }
};

// Where the MP3 goes: the file and the tags around the audio.
struct OutputTarget
{
    Mp3Output &output;
    const Mp3Tags &tags;
};

// How a run is stopped and followed.
struct RunControls
{
    const std::atomic_bool &abort;
    ProgressCounter &counter;
    RunReport *report = nullptr; // when given, told what was done
    CoreShare *cores = nullptr;  // when given, workers after the first borrow a core a chunk
};
