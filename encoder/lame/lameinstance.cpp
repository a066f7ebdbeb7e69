#include "lameinstance.h"
#include "vectorstate.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

// lame reports through callbacks without a context pointer; each instance runs on one thread.
thread_local QString t_lameError;

void keepLameError(const char *format, va_list args)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    t_lameError += QString::fromLocal8Bit(text);
}

void dropLameMessage(const char *, va_list) {}

// lame_init and lame_init_params fill tables that every instance in the process shares: one
// instance is set up at a time.
std::mutex g_setUp;

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

// Every lame_set_* of a run: the one place that maps the component's members to lame's
// settings.
Outcome configureLame(lame_t lame, const EncoderSettings &settings, const InputInfo &input, const KeptRate *kept,
                      const PinnedRate *pinned)
{
    if (lame_set_num_channels(lame, input.channels) != 0
        || lame_set_in_samplerate(lame, input.sampleRate) != 0
        || (kept && lame_set_out_samplerate(lame, input.sampleRate) != 0))
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
        if (kept)
            lame_set_VBR_quality(lame, kept->vbrQuality);
        else
            lame_set_VBR_q(lame, settings.vbrRate);
    } else {
        lame_set_VBR(lame, vbr_off);
        lame_set_brate(lame, settings.bitrate);
    }
    if (settings.mono)
        lame_set_mode(lame, MONO); // lame averages the two channels
    // The gain applied for players that read no ReplayGain: lame scales the samples it takes.
    if (const std::optional<double> applied = settings.device.appliedDb; applied && *applied != 0)
        lame_set_scale(lame, static_cast<float>(std::pow(10.0, *applied / 20)));
    lame_set_quality(lame, qualityOf(settings));
    lame_set_copyright(lame, settings.copyrighted ? 1 : 0);
    lame_set_original(lame, settings.original ? 1 : 0); // lame_init's default is 1
    lame_set_bWriteVbrTag(lame, settings.writeInfoTag ? 1 : 0);
    // The run writes the tags itself, so it knows where the info frame goes.
    lame_set_write_id3tag_automatic(lame, 0);
    if (pinned) {
        lame_set_VBR(lame, vbr_off);
        lame_set_brate(lame, pinned->bitrate);
        lame_set_out_samplerate(lame, pinned->outRate);
        lame_set_lowpassfreq(lame, pinned->lowpass);
        lame_set_mode(lame, pinned->mode);
        lame_set_quality(lame, pinned->quality);
    }
    return Outcome::success();
}

// The highest rate an MP3 holds that is not above limit; 0 where none is.
int mpegRateWithin(int limit)
{
    constexpr int kRates[] = {48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};
    for (const int rate : kRates)
        if (rate <= limit)
            return rate;
    return 0;
}

Result<LamePtr> setUpLame(const EncoderSettings &settings, const InputInfo &input, const KeptRate *kept,
                          const PinnedRate *pinned, int outRate)
{
    t_lameError.clear();
    const std::lock_guard<std::mutex> setUp(g_setUp);
    LamePtr lame(lame_init());
    if (!lame)
        return Outcome::failure(QStringLiteral("Cannot start the MP3 encoder."));
    lame_set_errorf(lame.get(), keepLameError);
    lame_set_msgf(lame.get(), dropLameMessage);
    lame_set_debugf(lame.get(), dropLameMessage);
    if (Outcome configured = configureLame(lame.get(), settings, input, kept, pinned); !configured)
        return configured;
    if (outRate > 0)
        lame_set_out_samplerate(lame.get(), outRate);
    // Its tables take thousands of libm calls.
    clearUpperVectorState();
    if (lame_init_params(lame.get()) < 0)
        return lameFailure(QStringLiteral("The MP3 encoder refused the settings"));
    return lame;
}

} // namespace

Result<LamePtr> openLame(const EncoderSettings &settings, const InputInfo &input, bool infoTag,
                         const KeptRate *kept, const PinnedRate *pinned)
{
    EncoderSettings own = settings;
    own.writeInfoTag = infoTag;
    Result<LamePtr> lame = setUpLame(own, input, kept, pinned, 0);
    // Above the top rate asked for, lame is set up again with the highest MPEG rate within it, so
    // it picks the rate for everything else as before; the input then comes resampled to it.
    const int limit = settings.device.maxRate;
    if (!lame || kept || pinned || limit <= 0 || lame_get_out_samplerate(lame->get()) <= limit)
        return lame;
    const int within = mpegRateWithin(limit);
    if (within == 0)
        return Outcome::failure(QStringLiteral("No MP3 sample rate is at or below %1 Hz.").arg(limit));
    return setUpLame(own, input, kept, pinned, within);
}

Outcome lameFailure(const QString &what)
{
    const QString detail = t_lameError.simplified();
    return Outcome::failure(detail.isEmpty() ? what + QLatin1Char('.') : what + QStringLiteral(": ") + detail);
}

Outcome encodeFailure(int code)
{
    return lameFailure(QStringLiteral("The MP3 encoder failed (code %1)").arg(code));
}

unsigned char id3v1GenreNumber(const QString &genre)
{
    struct Lookup
    {
        QByteArray name;
        int number;
    } lookup {genre.toLatin1(), 255};
    id3tag_genre_list(
        [](int number, const char *name, void *cookie) {
            auto *wanted = static_cast<Lookup *>(cookie);
            if (qstricmp(name, wanted->name.constData()) == 0)
                wanted->number = number;
        },
        &lookup);
    return static_cast<unsigned char>(lookup.number);
}
