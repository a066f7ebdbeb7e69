#pragma once

#include <cstddef>
#include <vector>

// A second-order Butterworth low-pass (bilinear transform) over interleaved float frames, each
// channel with its own state, in double arithmetic. It models the band an encoder keeps for a
// measurement; nothing it produces is encoded.
class Lowpass
{
public:
    // cutoffHz at -3 dB; it must lie below half of sampleRate.
    Lowpass(double cutoffHz, int sampleRate, std::size_t channels);

    // Filters frames interleaved frames in place, going on from the frames of the last call.
    void run(float *pcm, std::size_t frames);

private:
    struct State
    {
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    };

    double m_b0 = 1, m_b1 = 0, m_b2 = 0, m_a1 = 0, m_a2 = 0;
    std::vector<State> m_states;
};
