#include "downmix.h"

#include <algorithm>
#include <numeric>
#include <tuple>
#include <utility>

namespace {

constexpr float kSide = 0.70710678f; // -3 dB

std::pair<float, float> gainsFor(int position)
{
    switch (position) {
    case SF_CHANNEL_MAP_MONO:
    case SF_CHANNEL_MAP_CENTER:
    case SF_CHANNEL_MAP_FRONT_CENTER:
    case SF_CHANNEL_MAP_REAR_CENTER:
    case SF_CHANNEL_MAP_TOP_CENTER:
    case SF_CHANNEL_MAP_TOP_FRONT_CENTER:
    case SF_CHANNEL_MAP_TOP_REAR_CENTER:
        return {kSide, kSide};
    case SF_CHANNEL_MAP_LEFT:
    case SF_CHANNEL_MAP_FRONT_LEFT:
        return {1.0f, 0.0f};
    case SF_CHANNEL_MAP_RIGHT:
    case SF_CHANNEL_MAP_FRONT_RIGHT:
        return {0.0f, 1.0f};
    case SF_CHANNEL_MAP_REAR_LEFT:
    case SF_CHANNEL_MAP_SIDE_LEFT:
    case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER:
    case SF_CHANNEL_MAP_TOP_FRONT_LEFT:
    case SF_CHANNEL_MAP_TOP_REAR_LEFT:
        return {kSide, 0.0f};
    case SF_CHANNEL_MAP_REAR_RIGHT:
    case SF_CHANNEL_MAP_SIDE_RIGHT:
    case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER:
    case SF_CHANNEL_MAP_TOP_FRONT_RIGHT:
    case SF_CHANNEL_MAP_TOP_REAR_RIGHT:
        return {0.0f, kSide};
    case SF_CHANNEL_MAP_LFE:
        return {0.0f, 0.0f};
    default: // unknown or ambisonic: keep it audible on both sides
        return {0.5f, 0.5f};
    }
}

// The order of WAVE_FORMAT_EXTENSIBLE's channel mask bits.
constexpr int kWaveOrder[] = {
    SF_CHANNEL_MAP_FRONT_LEFT,           SF_CHANNEL_MAP_FRONT_RIGHT,
    SF_CHANNEL_MAP_FRONT_CENTER,         SF_CHANNEL_MAP_LFE,
    SF_CHANNEL_MAP_REAR_LEFT,            SF_CHANNEL_MAP_REAR_RIGHT,
    SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER, SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER,
    SF_CHANNEL_MAP_REAR_CENTER,          SF_CHANNEL_MAP_SIDE_LEFT,
    SF_CHANNEL_MAP_SIDE_RIGHT,           SF_CHANNEL_MAP_TOP_CENTER,
    SF_CHANNEL_MAP_TOP_FRONT_LEFT,       SF_CHANNEL_MAP_TOP_FRONT_CENTER,
    SF_CHANNEL_MAP_TOP_FRONT_RIGHT,      SF_CHANNEL_MAP_TOP_REAR_LEFT,
    SF_CHANNEL_MAP_TOP_REAR_CENTER,      SF_CHANNEL_MAP_TOP_REAR_RIGHT,
};

} // namespace

Downmix::Downmix(SNDFILE *file, int channels)
    : m_channels(channels), m_left(channels), m_right(channels)
{
    std::vector<int> map(channels, SF_CHANNEL_MAP_INVALID);
    const bool mapped = sf_command(file, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                                   static_cast<int>(map.size() * sizeof(int)))
                        == SF_TRUE;
    for (int c = 0; c < channels; ++c) {
        int position = SF_CHANNEL_MAP_INVALID;
        if (mapped)
            position = map[c];
        else if (c < static_cast<int>(std::size(kWaveOrder)))
            position = kWaveOrder[c];
        std::tie(m_left[c], m_right[c]) = gainsFor(position);
    }
    const float loudest = std::max(std::accumulate(m_left.begin(), m_left.end(), 0.0f),
                                   std::accumulate(m_right.begin(), m_right.end(), 0.0f));
    if (loudest > 1.0f) {
        for (int c = 0; c < channels; ++c) {
            m_left[c] /= loudest;
            m_right[c] /= loudest;
        }
    }
}

void Downmix::apply(const float *in, float *out, long long frames) const
{
    for (long long f = 0; f < frames; ++f) {
        float left = 0;
        float right = 0;
        for (int c = 0; c < m_channels; ++c) {
            left += in[c] * m_left[c];
            right += in[c] * m_right[c];
        }
        out[0] = left;
        out[1] = right;
        in += m_channels;
        out += 2;
    }
}
