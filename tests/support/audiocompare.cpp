#include "audiocompare.h"

#include <algorithm>
#include <cmath>

double snrDb(const std::vector<float> &decoded, const std::vector<float> &reference)
{
    double signal = 0;
    double error = 0;
    for (std::size_t i = 0; i < std::min(decoded.size(), reference.size()); ++i) {
        signal += double(reference[i]) * reference[i];
        error += double(decoded[i] - reference[i]) * (decoded[i] - reference[i]);
    }
    return 10 * std::log10(signal / std::max(error, 1e-12));
}

std::vector<float> channelOf(const std::vector<float> &interleaved, int channels, int channel)
{
    std::vector<float> one;
    one.reserve(interleaved.size() / static_cast<std::size_t>(channels));
    for (std::size_t i = static_cast<std::size_t>(channel); i < interleaved.size(); i += channels)
        one.push_back(interleaved[i]);
    return one;
}

double gainOf(const std::vector<float> &decoded, const std::vector<float> &reference)
{
    double cross = 0;
    double power = 0;
    for (std::size_t i = 0; i < std::min(decoded.size(), reference.size()); ++i) {
        cross += double(decoded[i]) * reference[i];
        power += double(reference[i]) * reference[i];
    }
    return power > 0 ? cross / power : 0;
}

int seamShift(const std::vector<float> &joined, const std::vector<float> &track, const std::vector<float> &original,
              long long at)
{
    std::vector<float> around(joined.end() - 2048, joined.end());
    around.insert(around.end(), track.begin(), track.begin() + 2048);
    int best = 0;
    double bestSum = -1e30;
    for (int shift = -64; shift <= 64; shift += 2) {
        double sum = 0;
        for (std::size_t i = 128; i + 128 < around.size(); ++i)
            sum += double(around[i]) * original[static_cast<std::size_t>(2 * at - 2048 + shift) + i];
        if (sum > bestSum) {
            best = shift;
            bestSum = sum;
        }
    }
    return best;
}
