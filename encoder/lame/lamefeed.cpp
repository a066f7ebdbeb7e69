#include "lamefeed.h"

#include "lameinstance.h"
#include "vectorstate.h"

#include <algorithm>
#include <cmath>
#include <vector>

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
        if (feed.meter) {
            const qint64 from = std::max(*done, feed.measureFrom);
            const qint64 to = std::min(*done + frames, feed.measureTo);
            if (from < to)
                feed.meter->add(pcm.data() + (from - *done) * info.channels, to - from);
        }
        // Our reading and the sink's copies run between blocks.
        clearUpperVectorState();
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

namespace {

// Where the gain is applied to the samples, its figure comes from the audio as lame keeps it:
// scaled by the factor lame uses, which holds the gain asked for times the one its constant and
// average bit rates take off against clipping (0.95 at 160 kbit/s and below), and at a constant
// bit rate without the band above its low-pass, which K-weighting counts. At a variable one its
// coding puts about as much back below the low-pass as it takes off above.
void measureAsKept(lame_t lame, LoudnessMeter &meter)
{
    meter.setScale(lame_get_scale(lame));
    if (lame_get_VBR(lame) == vbr_off)
        meter.setLowpass(lame_get_lowpassfreq(lame));
}

} // namespace

std::unique_ptr<LoudnessMeter> loudnessMeterFor(lame_t lame, const EncoderSettings &settings, const InputInfo &source)
{
    if (!settings.replayGain)
        return nullptr;
    auto meter = std::make_unique<LoudnessMeter>(source.channels, source.sampleRate, lame_get_mode(lame) == MONO);
    if (settings.device.applyGain != DeviceSettings::Gain::Off)
        measureAsKept(lame, *meter);
    else if (const std::optional<double> applied = settings.device.appliedDb; applied && *applied != 0)
        meter->setScale(std::pow(10.0, *applied / 20));
    return meter;
}

Outcome flushLame(const EncodeFeed &feed)
{
    // lame_encode_flush needs at least 7200 bytes.
    std::vector<unsigned char> mp3(mp3BufferSize(kBlockFrames, feed.source.info().sampleRate));
    clearUpperVectorState();
    const int flushed = lame_encode_flush(feed.lame, mp3.data(), static_cast<int>(mp3.size()));
    if (flushed < 0)
        return encodeFailure(flushed);
    return feed.sink(mp3.data(), static_cast<std::size_t>(flushed));
}
