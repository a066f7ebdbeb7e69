#include "lamesetup.h"

#include "id3tags.h"

Outcome configureLame(lame_t lame, const EncoderSettings &settings, const InputInfo &input)
{
    if (lame_set_num_channels(lame, input.channels) != 0
        || lame_set_in_samplerate(lame, input.sampleRate) != 0)
        return Outcome::failure(QStringLiteral("The MP3 encoder cannot take %1 channels at %2 Hz.")
                                    .arg(input.channels)
                                    .arg(input.sampleRate));
    // lame picks the output sample rate and resamples when the input's is not an MP3 rate.
    lame_set_VBR(lame, vbr_off);
    lame_set_brate(lame, settings.bitrate);
    lame_set_bWriteVbrTag(lame, settings.writeInfoTag ? 1 : 0);
    // Tags are placed by the run itself, so it knows where the info frame goes.
    lame_set_write_id3tag_automatic(lame, 0);
    if (!settings.skipTags)
        setId3Tags(lame, settings);
    return Outcome::success();
}
