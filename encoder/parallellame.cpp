#include "parallellame.h"

#include "lamesetup.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

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

} // namespace

std::variant<LamePtr, Outcome> openLame(const EncoderSettings &settings, const InputInfo &input, bool infoTag)
{
    t_lameError.clear();
    LamePtr lame(lame_init());
    if (!lame)
        return Outcome::failure(QStringLiteral("Cannot start the MP3 encoder."));
    lame_set_errorf(lame.get(), keepLameError);
    lame_set_msgf(lame.get(), dropLameMessage);
    lame_set_debugf(lame.get(), dropLameMessage);
    EncoderSettings own = settings;
    own.writeInfoTag = infoTag;
    if (Outcome configured = configureLame(lame.get(), own, input); !configured)
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
