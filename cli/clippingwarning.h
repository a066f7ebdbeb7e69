#pragma once

#include "encoder/core/trackgain.h"

#include <QString>

#include <optional>

// Where an MP3 with these loudness figures will clip when decoded, what to tell the user
// (with the gain that avoids it); empty otherwise.
QString clippingWarning(const std::optional<TrackGain> &gain);
