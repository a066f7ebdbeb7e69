#pragma once

#include "encoder/core/encodersettings.h"

#include <atomic>
#include <vector>

// The gain a device's copy applies to the samples (DeviceSettings::applyGain) scales the first
// chunk as much as the last, so it is known before the encoding starts: one pass over the audio
// ahead of it, measured as the run measures (resampled where the run resamples), unscaled.

// The settings with device.appliedDb set, where a gain is asked for and none is set yet: the
// track's own.
EncoderSettings withTrackGainApplied(const EncoderSettings &settings, const std::atomic_bool &abort);

// The gain of audio measured together (an album's tracks, each with its inputFile and range):
// to -18 LUFS, held lower by the peak limit; 0 where nothing is loud enough to measure.
double appliedGainOf(const std::vector<EncoderSettings> &tracks, const std::atomic_bool &abort);
