#pragma once

#include <vector>

// Measures of decoded audio against the samples it was made from.

// Signal-to-error ratio in dB of decoded against reference, over the samples both have.
double snrDb(const std::vector<float> &decoded, const std::vector<float> &reference);

// One channel of interleaved samples.
std::vector<float> channelOf(const std::vector<float> &interleaved, int channels, int channel);

// The factor that scales reference closest to decoded (least squares), over the samples both
// have: the gain a channel went through, unaffected by noise that does not follow the signal.
double gainOf(const std::vector<float> &decoded, const std::vector<float> &reference);

// Where a track decoded after the ones before it (joined, stereo) lines up with the stereo
// samples it was cut from, around their seam at frame at: the shift in samples, -64 to 64, at
// which the cross-correlation peaks; 0 for a seam exact to the frame.
int seamShift(const std::vector<float> &joined, const std::vector<float> &track, const std::vector<float> &original,
              long long at);
