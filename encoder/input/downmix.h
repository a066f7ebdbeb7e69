#pragma once

#include <sndfile.h>

#include <vector>

// Folds more than two channels into stereo. Gains come from the file's channel map where it
// has one, else from the WAVE default order (FL FR FC LFE BL BR ...). Each side's gains sum
// to at most one, so the mix never clips where the input did not.
class Downmix
{
public:
    Downmix() = default;
    Downmix(SNDFILE *file, int channels);

    // in: frames x channels interleaved; out: frames x 2 interleaved.
    void apply(const float *in, float *out, long long frames) const;

private:
    int m_channels = 0;
    std::vector<float> m_left;
    std::vector<float> m_right;
};
