#include "lameinstance.h"
#include "lamesetup.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

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
Outcome configureLame(lame_t lame, const EncoderSettings &settings, const InputInfo &input, const KeptRate *kept)
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
    lame_set_quality(lame, qualityOf(settings));
    lame_set_copyright(lame, settings.copyrighted ? 1 : 0);
    lame_set_original(lame, settings.original ? 1 : 0); // lame_init's default is 1
    lame_set_bWriteVbrTag(lame, settings.writeInfoTag ? 1 : 0);
    // The run writes the tags itself, so it knows where the info frame goes.
    lame_set_write_id3tag_automatic(lame, 0);
    return Outcome::success();
}

} // namespace

std::variant<LamePtr, Outcome> openLame(const EncoderSettings &settings, const InputInfo &input, bool infoTag,
                                        const KeptRate *kept)
{
    t_lameError.clear();
    const std::lock_guard<std::mutex> setUp(lameSetupMutex());
    LamePtr lame(lame_init());
    if (!lame)
        return Outcome::failure(QStringLiteral("Cannot start the MP3 encoder."));
    lame_set_errorf(lame.get(), keepLameError);
    lame_set_msgf(lame.get(), dropLameMessage);
    lame_set_debugf(lame.get(), dropLameMessage);
    EncoderSettings own = settings;
    own.writeInfoTag = infoTag;
    if (Outcome configured = configureLame(lame.get(), own, input, kept); !configured)
        return configured;
    if (lame_init_params(lame.get()) < 0)
        return lameFailure(QStringLiteral("The MP3 encoder refused the settings"));
    return lame;
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

// lame's rule of thumb, 1.25 bytes a sample plus 7200, is too small when lame upsamples a low
// input rate (1 kHz comes out at 8 kHz): allow for up to 320 kbit/s a second of input as well.
std::size_t mp3BufferSize(qint64 frames, int inputRate)
{
    const double bytesPerFrame = std::max(1.25, 1.25 * 40000.0 / inputRate);
    return static_cast<std::size_t>(bytesPerFrame * static_cast<double>(frames)) + 7200;
}

int encodeBlock(lame_t lame, short *pcm, int frames, int channels, unsigned char *mp3, int size)
{
    // The interleaved call always reads two channels.
    if (channels == 2)
        return lame_encode_buffer_interleaved(lame, pcm, frames, mp3, size);
    return lame_encode_buffer(lame, pcm, pcm, frames, mp3, size);
}

int encodeBlock(lame_t lame, float *pcm, int frames, int channels, unsigned char *mp3, int size)
{
    if (channels == 2)
        return lame_encode_buffer_interleaved_ieee_float(lame, pcm, frames, mp3, size);
    return lame_encode_buffer_ieee_float(lame, pcm, pcm, frames, mp3, size);
}

template <typename Sample>
Outcome encodeFrames(const EncodeFeed &feed, qint64 count, qint64 *done)
{
    const InputInfo &info = feed.source.info();
    std::vector<Sample> pcm(static_cast<std::size_t>(kBlockFrames * info.channels));
    std::vector<unsigned char> mp3(mp3BufferSize(kBlockFrames, info.sampleRate));
    *done = 0;
    while (*done < count) {
        if (feed.stopping())
            return Outcome::stopped();
        const qint64 frames = feed.source.read(pcm.data(), std::min(kBlockFrames, count - *done));
        if (frames < 0)
            return Outcome::failure(feed.source.readError());
        if (frames == 0)
            break;
        const int bytes = encodeBlock(feed.lame, pcm.data(), static_cast<int>(frames), info.channels, mp3.data(),
                                      static_cast<int>(mp3.size()));
        if (bytes < 0)
            return encodeFailure(bytes);
        if (Outcome taken = feed.sink(mp3.data(), static_cast<std::size_t>(bytes)); !taken)
            return taken;
        feed.progress(*done, frames);
        *done += frames;
    }
    return Outcome::success();
}

template Outcome encodeFrames<short>(const EncodeFeed &, qint64, qint64 *);
template Outcome encodeFrames<float>(const EncodeFeed &, qint64, qint64 *);

Outcome flushLame(const EncodeFeed &feed)
{
    // lame_encode_flush needs at least 7200 bytes.
    std::vector<unsigned char> mp3(mp3BufferSize(kBlockFrames, feed.source.info().sampleRate));
    const int flushed = lame_encode_flush(feed.lame, mp3.data(), static_cast<int>(mp3.size()));
    if (flushed < 0)
        return encodeFailure(flushed);
    return feed.sink(mp3.data(), static_cast<std::size_t>(flushed));
}
