#include "encoderun.h"

#include "audiosource.h"
#include "id3tags.h"
#include "lamesetup.h"
#include "mp3output.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr qint64 kBlockFrames = 16384; // short enough that an abort is seen within milliseconds

struct LameCloser
{
    void operator()(lame_global_flags *lame) const { lame_close(lame); }
};
using LamePtr = std::unique_ptr<lame_global_flags, LameCloser>;

// lame reports through callbacks without a context pointer; each run has a thread of its own.
thread_local QString t_lameError;

void keepLameError(const char *format, va_list args)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    t_lameError += QString::fromLocal8Bit(text);
}

void dropLameMessage(const char *, va_list) {}

Outcome lameFailure(const QString &what)
{
    const QString detail = t_lameError.simplified();
    return Outcome::failure(detail.isEmpty() ? what + QLatin1Char('.') : what + QStringLiteral(": ") + detail);
}

Outcome encodeFailure(int code)
{
    return lameFailure(QStringLiteral("The MP3 encoder failed (code %1)").arg(code));
}

Outcome stopped()
{
    return Outcome::failure(QStringLiteral("The conversion was stopped."));
}

Outcome noAudio(const QString &path)
{
    return Outcome::failure(QStringLiteral("The input %1 holds no audio.").arg(path));
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

struct Stream
{
    lame_t lame;
    AudioSource &source;
    Mp3Output &output;
    const std::atomic_bool &abort;
    ProgressCounter &counter;
    qint64 framesRead = 0;
};

// 16-bit samples are read as such (the fastest exact path); wider or float ones as float.
template <typename Sample>
Outcome encodeAll(Stream &stream)
{
    const int channels = stream.source.info().channels;
    std::vector<Sample> pcm(static_cast<std::size_t>(kBlockFrames * channels));
    std::vector<unsigned char> mp3(mp3BufferSize(kBlockFrames, stream.source.info().sampleRate));
    for (;;) {
        if (stream.abort.load(std::memory_order_relaxed))
            return stopped();
        const qint64 frames = stream.source.read(pcm.data(), kBlockFrames);
        if (frames < 0)
            return Outcome::failure(stream.source.readError());
        if (frames == 0)
            return Outcome::success();
        const int bytes = encodeBlock(stream.lame, pcm.data(), static_cast<int>(frames), channels,
                                      mp3.data(), static_cast<int>(mp3.size()));
        if (bytes < 0)
            return encodeFailure(bytes);
        if (Outcome written = stream.output.write(mp3.data(), static_cast<std::size_t>(bytes)); !written)
            return written;
        stream.framesRead += frames;
        stream.counter.advance(stream.framesRead);
    }
}

} // namespace

Outcome runEncode(const EncoderSettings &settings, const std::atomic_bool &abort,
                  const ProgressReport &progress)
{
    AudioSource source;
    if (Outcome opened = source.open(settings.inputFile, settings.rawPcm,
                                     settings.rawPcm && settings.forceByteSwap);
        !opened)
        return opened;
    const InputInfo &input = source.info();
    if (input.frames <= 0)
        return noAudio(settings.inputFile);

    t_lameError.clear();
    const LamePtr lame(lame_init());
    if (!lame)
        return Outcome::failure(QStringLiteral("Cannot start the MP3 encoder."));
    lame_set_errorf(lame.get(), keepLameError);
    lame_set_msgf(lame.get(), dropLameMessage);
    lame_set_debugf(lame.get(), dropLameMessage);
    if (Outcome configured = configureLame(lame.get(), settings, input); !configured)
        return configured;
    if (lame_init_params(lame.get()) < 0)
        return lameFailure(QStringLiteral("The MP3 encoder refused the settings"));

    const std::optional<QByteArray> v2 = settings.skipTags ? QByteArray() : id3v2Tag(settings);
    if (!v2)
        return Outcome::failure(QStringLiteral("The tag texts are too long for an ID3 tag."));
    const QByteArray v1 = settings.skipTags ? QByteArray() : id3v1Tag(settings);

    Mp3Output output(settings.outputFile);
    if (Outcome opened = output.open(); !opened)
        return opened;
    ProgressCounter counter(progress, input.frames);
    counter.start();

    if (Outcome written = output.write(*v2); !written)
        return written;

    Stream stream {lame.get(), source, output, abort, counter};
    const Outcome encoded = input.fitsShort ? encodeAll<short>(stream) : encodeAll<float>(stream);
    if (!encoded)
        return encoded;
    if (stream.framesRead == 0)
        return noAudio(settings.inputFile);

    std::vector<unsigned char> tail(7200);
    const int flushed = lame_encode_flush(lame.get(), tail.data(), static_cast<int>(tail.size()));
    if (flushed < 0)
        return encodeFailure(flushed);
    if (Outcome written = output.write(tail.data(), static_cast<std::size_t>(flushed)); !written)
        return written;

    if (Outcome written = output.write(v1); !written)
        return written;

    if (settings.writeInfoTag) {
        // lame left a placeholder frame where the audio starts; the finished info frame,
        // with the encoder delay and padding, goes over it.
        std::vector<unsigned char> frame(lame_get_lametag_frame(lame.get(), nullptr, 0));
        if (!frame.empty()) {
            if (lame_get_lametag_frame(lame.get(), frame.data(), frame.size()) != frame.size())
                return lameFailure(QStringLiteral("The MP3 encoder gave no info frame"));
            if (Outcome written = output.writeAt(v2->size(), frame.data(), frame.size()); !written)
                return written;
        }
    }

    if (abort.load())
        return stopped();
    if (Outcome committed = output.commit(); !committed)
        return committed;
    counter.finish(stream.framesRead);
    return Outcome::success();
}
