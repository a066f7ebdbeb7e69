#include "lamesetup.h"

namespace {

constexpr int kDefaultQuality = 3; // libmp3lame's own
constexpr int kFixQuality = 2;     // the lame command line's -h
constexpr int kFastQuality = 7;    // and its -f
constexpr int kVoiceBitrate = 56;  // kbit/s on average, as lame's "voice" preset
constexpr int kVoiceLowpass = 7500; // Hz: narrow band, for which lame picks 22.05 kHz output

int qualityOf(const EncoderSettings &settings)
{
    if (settings.fixQuality)
        return kFixQuality;
    return settings.fastMode ? kFastQuality : kDefaultQuality;
}

} // namespace

Outcome configureLame(lame_t lame, const EncoderSettings &settings, const InputInfo &input)
{
    if (lame_set_num_channels(lame, input.channels) != 0
        || lame_set_in_samplerate(lame, input.sampleRate) != 0)
        return Outcome::failure(QStringLiteral("The MP3 encoder cannot take %1 channels at %2 Hz.")
                                    .arg(input.channels)
                                    .arg(input.sampleRate));
    // lame picks the output sample rate from the input's and the bit rate (or the low-pass), and
    // resamples; a CBR rate the output's MPEG version cannot carry becomes the nearest it can.
    if (settings.voiceMode) {
        lame_set_mode(lame, MONO);
        lame_set_VBR(lame, vbr_abr);
        lame_set_VBR_mean_bitrate_kbps(lame, kVoiceBitrate);
        lame_set_lowpassfreq(lame, kVoiceLowpass);
    } else if (settings.useVbr) {
        lame_set_VBR(lame, vbr_default);
        lame_set_VBR_q(lame, settings.vbrRate);
    } else {
        lame_set_VBR(lame, vbr_off);
        lame_set_brate(lame, settings.bitrate);
    }
    if (settings.mono)
        lame_set_mode(lame, MONO); // lame averages the two channels
    lame_set_quality(lame, qualityOf(settings));
    lame_set_copyright(lame, settings.copyrighted ? 1 : 0);
    lame_set_original(lame, settings.original ? 1 : 0); // lame_init's default is 1
    lame_set_bWriteVbrTag(lame, settings.writeInfoTag ? 1 : 0);
    // The run writes the tags itself, so it knows where the info frame goes.
    lame_set_write_id3tag_automatic(lame, 0);
    return Outcome::success();
}
