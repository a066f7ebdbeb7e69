#pragma once

#include "audiosource.h"
#include "encodersettings.h"
#include "outcome.h"

#include <lame/lame.h>

#include <memory>
#include <variant>

// One libmp3lame instance set up for a run; shared by the one-instance and the parallel run so
// every instance is configured alike.

struct LameCloser
{
    void operator()(lame_global_flags *lame) const { lame_close(lame); }
};
using LamePtr = std::unique_ptr<lame_global_flags, LameCloser>;

// lame_init, configureLame and lame_init_params; infoTag switches lame's own info frame.
// Messages are dropped and errors kept per thread for lameFailure().
std::variant<LamePtr, Outcome> openLame(const EncoderSettings &settings, const InputInfo &input, bool infoTag);

// A failure with lame's last error message of this thread, if it gave one.
Outcome lameFailure(const QString &what);
Outcome encodeFailure(int code);

// Room for what lame may return for frames input frames.
std::size_t mp3BufferSize(qint64 frames, int inputRate);

int encodeBlock(lame_t lame, short *pcm, int frames, int channels, unsigned char *mp3, int size);
int encodeBlock(lame_t lame, float *pcm, int frames, int channels, unsigned char *mp3, int size);
