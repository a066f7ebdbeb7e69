#pragma once

#include "lameinstance.h"

#include <optional>
#include <vector>

// libmp3lame's own info frame for a run's settings, the template the run fills in for a
// stream it put together itself (see mp3/infoframe.h): every field lame fixes from the
// settings (quality, version, low-pass, flags, stereo mode, preset) is then exactly lame's.

struct InfoFrameTemplate
{
    std::vector<unsigned char> frame;
    bool lameWritesIt = true; // false: lame's own frame would be too small and writes no tag
};

// lame's info frame for these settings, with its stream fields still to fill. Where lame's own
// constant-bit-rate frame is too small to hold the whole tag, the frame still has the stream's
// bit rate (readers take a constant-rate stream's length from the size of its first frame) and
// leaves out the seek table, and where needed the byte count and quality, never the frame
// count or the delay and padding. Nothing if lame cannot be set up or even that does not fit.
// kept as for openLame(); lame, if given, is an instance openLame(settings, input, true, kept)
// set up, which this uses up in place of one of its own.
std::optional<InfoFrameTemplate> infoFrameTemplate(const EncoderSettings &settings, const InputInfo &input,
                                                   const KeptRate *kept = nullptr, LamePtr lame = nullptr);

// lame's finished info frame of an instance that encoded a stream, with its encoder delay
// and padding; empty if lame makes none.
Outcome finishedInfoFrame(lame_t lame, std::vector<unsigned char> &frame);
