#include "lowpass.h"

#include <cmath>
#include <numbers>

Lowpass::Lowpass(double cutoffHz, int sampleRate, std::size_t channels)
    : m_states(channels)
{
    // The bilinear transform with its frequency prewarped, so -3 dB falls at cutoffHz exactly.
    const double k = std::tan(std::numbers::pi * cutoffHz / sampleRate);
    const double q = std::numbers::sqrt2 / 2;
    const double norm = 1 / (1 + k / q + k * k);
    m_b0 = k * k * norm;
    m_b1 = 2 * m_b0;
    m_b2 = m_b0;
    m_a1 = 2 * (k * k - 1) * norm;
    m_a2 = (1 - k / q + k * k) * norm;
}

void Lowpass::run(float *pcm, std::size_t frames)
{
    const std::size_t channels = m_states.size();
    for (std::size_t c = 0; c < channels; ++c) {
        State s = m_states[c];
        for (std::size_t i = 0; i < frames; ++i) {
            float &sample = pcm[i * channels + c];
            const double x = sample;
            const double y = m_b0 * x + m_b1 * s.x1 + m_b2 * s.x2 - m_a1 * s.y1 - m_a2 * s.y2;
            s.x2 = s.x1;
            s.x1 = x;
            s.y2 = s.y1;
            s.y1 = y;
            sample = static_cast<float>(y);
        }
        m_states[c] = s;
    }
}
