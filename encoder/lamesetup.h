#pragma once

#include "audiosource.h"
#include "encodersettings.h"
#include "outcome.h"

#include <lame/lame.h>

// Every lame_set_* of a run, between lame_init and lame_init_params: the one place that maps
// the component's members to lame's settings.
Outcome configureLame(lame_t lame, const EncoderSettings &settings, const InputInfo &input);
