#pragma once

#include "audiosource.h"
#include "pcmreader.h"
#include "encodersettings.h"
#include "outcome.h"

#include <lame/lame.h>

#include <functional>
#include <memory>
#include <variant>

// One libmp3lame instance set up for a run, and the loop that feeds it; shared by the
// one-instance and the parallel run so every instance is configured and fed alike.

struct LameCloser
{
    void operator()(lame_global_flags *lame) const { lame_close(lame); }
};
using LamePtr = std::unique_ptr<lame_global_flags, LameCloser>;

// Input frames read and encoded at a time: short enough that an abort is seen within
// milliseconds.
constexpr qint64 kBlockFrames = 16384;

// For an instance fed audio already resampled to the output rate lame picked for the input:
// that rate, and the variable-bit-rate quality lame adjusted to it, which it adjusts only when
// it picks the rate itself; and the file's own rate, which the info frame records.
struct KeptRate
{
    float vbrQuality = 0;
    int sourceRate = 0;
};

// lame_init, every lame_set_* of the settings and lame_init_params; infoTag switches lame's
// own info frame; kept, where the input is resampled. Messages are dropped and errors kept per
// thread for lameFailure().
std::variant<LamePtr, Outcome> openLame(const EncoderSettings &settings, const InputInfo &input, bool infoTag,
                                        const KeptRate *kept = nullptr);

// A failure with lame's last error message of this thread, if it gave one.
Outcome lameFailure(const QString &what);
Outcome encodeFailure(int code);

// Room for what lame may return for frames input frames.
std::size_t mp3BufferSize(qint64 frames, int inputRate);

int encodeBlock(lame_t lame, short *pcm, int frames, int channels, unsigned char *mp3, int size);
int encodeBlock(lame_t lame, float *pcm, int frames, int channels, unsigned char *mp3, int size);

// Where encodeFrames() takes its input and puts what lame returns.
struct EncodeFeed
{
    lame_t lame;
    PcmReader &source;
    std::function<bool()> stopping;
    std::function<Outcome(const unsigned char *data, std::size_t size)> sink;
    // After each block: the input frames before it (counted from the call) and its length.
    std::function<void(qint64 at, qint64 frames)> progress;
};

// Reads up to count frames from the source block by block and encodes them; *done: the
// frames read, fewer than count only where the input ends. 16-bit samples are read as such
// (the fastest exact path); wider or float ones as float.
template <typename Sample>
Outcome encodeFrames(const EncodeFeed &feed, qint64 count, qint64 *done);
// lame's last frames, after the input.
Outcome flushLame(const EncodeFeed &feed);
