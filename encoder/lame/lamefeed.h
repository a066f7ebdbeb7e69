#pragma once

#include "encoder/core/encodersettings.h"
#include "encoder/core/outcome.h"
#include "encoder/input/loudnessmeter.h"
#include "encoder/input/resampler.h"

#include <lame/lame.h>

#include <cstddef>
#include <functional>
#include <memory>

// The loop that feeds an instance, shared by the one-instance and the parallel run so every
// instance is fed alike.

// Input frames read and encoded at a time: short enough that an abort is seen within
// milliseconds.
constexpr qint64 kBlockFrames = 16384;

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
    // Where given, measures the frames [measureFrom, measureTo) of those read (counted from
    // the call), as lame takes them.
    LoudnessMeter *meter = nullptr;
    qint64 measureFrom = 0;
    qint64 measureTo = 0;
};

// Reads up to count frames from the source block by block and encodes them; *done: the
// frames read, fewer than count only where the input ends. 16-bit samples are read as such
// (the fastest exact path); wider or float ones as float.
template <typename Sample>
Outcome encodeFrames(const EncodeFeed &feed, qint64 count, qint64 *done);
// A meter of what lame takes from source, where the settings ask for ReplayGain: one channel
// where lame averages two into one. Nothing otherwise.
std::unique_ptr<LoudnessMeter> loudnessMeterFor(lame_t lame, const EncoderSettings &settings, const InputInfo &source);
// lame's last frames, after the input.
Outcome flushLame(const EncodeFeed &feed);
