#pragma once

#include <functional>
#include <optional>

// A track's ReplayGain 2.0 figures: the gain that brings its integrated loudness to -18 LUFS,
// and its sample peak, 1.0 being full scale.
struct TrackGain
{
    double gainDb = 0;
    double peak = 0;
};

// Asked once the audio is written: the track's figures, or nothing where they were not measured.
using TrackGainSource = std::function<std::optional<TrackGain>()>;
