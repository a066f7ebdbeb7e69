#pragma once

#include "encoder/core/encodersettings.h"
#include "encoder/core/outcome.h"
#include "encoder/core/result.h"
#include "encoder/input/audiosource.h"

#include <lame/lame.h>

#include <memory>

// One libmp3lame instance set up for a run: every instance of the one-instance and the
// parallel run, and the info frame's template instance, is configured by the one function
// here, so none can drift from another.

struct LameCloser
{
    void operator()(lame_global_flags *lame) const { lame_close(lame); }
};
using LamePtr = std::unique_ptr<lame_global_flags, LameCloser>;

// For an instance fed audio already resampled to the output rate lame picked for the input:
// that rate, and the variable-bit-rate quality lame adjusted to it, which it adjusts only when
// it picks the rate itself; and the file's own rate, which the info frame records.
struct KeptRate
{
    float vbrQuality = 0;
    int sourceRate = 0;
};

// Another instance's choices held fixed at a constant bit rate of one's own: lame's info
// frame at that rate then describes the other instance's stream.
struct PinnedRate
{
    int bitrate = 0;
    int outRate = 0;
    int lowpass = 0;
    MPEG_mode mode = NOT_SET;
    int quality = 0;
};

// lame_init, every lame_set_* of the settings and lame_init_params; infoTag switches lame's
// own info frame; kept, where the input is resampled; pinned, for a template instance.
// Messages are dropped and errors kept per thread for lameFailure().
Result<LamePtr> openLame(const EncoderSettings &settings, const InputInfo &input, bool infoTag,
                         const KeptRate *kept = nullptr, const PinnedRate *pinned = nullptr);

// A failure with lame's last error message of this thread, if it gave one.
Outcome lameFailure(const QString &what);
Outcome encodeFailure(int code);

// The ID3v1 number of a genre lame knows by that name, in any letter case; 255 for none.
unsigned char id3v1GenreNumber(const QString &genre);
