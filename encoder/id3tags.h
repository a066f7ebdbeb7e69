#pragma once

#include "encodersettings.h"

#include <lame/lame.h>

// Hands the tag texts held in settings to lame, which builds the ID3v1 and ID3v2 tags. Sets
// nothing when every text is empty.
void setId3Tags(lame_t lame, const EncoderSettings &settings);

bool hasTagText(const EncoderSettings &settings);
