#include "loudnessmeter.h"

#include <algorithm>
#include <cmath>

namespace {

// ReplayGain 2.0's reference loudness.
constexpr double kReferenceLufs = -18.0;
// libebur128 scales 16-bit samples by this; the mono mix does the same.
constexpr float kShortScale = 32768.0f;
// The highest 16-bit sample: at or above it the audio is at full scale.
constexpr double kFullScale = 32767.0 / 32768.0;
// What the MP3 coding adds to the input's peaks, about, as the usual -1 dB ceiling for lossy
// coding allows for.
constexpr double kOvershootDb = 1.0;
// The decoded MP3's highest peak where the gain is applied to the samples.
constexpr double kAppliedCeilingDb = -1.0;
// libebur128's lowest sample rate.
constexpr unsigned long kLowestRate = 16;

} // namespace

LoudnessMeter::LoudnessMeter(int channels, int sampleRate, bool mixToMono)
    : m_mix(mixToMono && channels == 2), m_channels(static_cast<std::size_t>(std::max(channels, 0))),
      m_rate(sampleRate)
{
    // The sample peak is taken here: libebur128's pass for it costs a sixth of the analysis.
    m_state.reset(ebur128_init(m_mix ? 1u : static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate),
                               EBUR128_MODE_I));
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::setScale(double factor)
{
    m_scale = static_cast<float>(factor);
}

void LoudnessMeter::setLowpass(double cutoffHz)
{
    // Near half the rate the band lost is too thin to count, and the filter's edge too steep.
    constexpr double kHighestCutoff = 0.45;
    if (cutoffHz > 0 && cutoffHz < kHighestCutoff * m_rate)
        m_lowpass.emplace(cutoffHz, m_rate, m_mix ? 1 : m_channels);
    else
        m_lowpass.reset();
}

void LoudnessMeter::add(const short *pcm, qint64 frames)
{
    if (!m_state || frames <= 0)
        return;
    if (m_scale != 1.0f || m_lowpass) {
        m_scaled.resize(static_cast<std::size_t>(frames) * m_channels);
        for (std::size_t i = 0; i < m_scaled.size(); ++i)
            m_scaled[i] = float(pcm[i]) * m_scale / kShortScale;
        addFloats(m_scaled.data(), frames);
        return;
    }
    if (!m_mix) {
        const std::size_t samples = static_cast<std::size_t>(frames) * m_channels;
        int highest = 0;
        for (std::size_t i = 0; i < samples; ++i)
            highest = std::max(highest, std::abs(int(pcm[i])));
        m_peak = std::max(m_peak, highest / double(kShortScale));
        keepIf(ebur128_add_frames_short(m_state.get(), pcm, static_cast<std::size_t>(frames)));
        return;
    }
    m_mono.resize(static_cast<std::size_t>(frames));
    for (qint64 i = 0; i < frames; ++i)
        m_mono[static_cast<std::size_t>(i)] = (float(pcm[2 * i]) + float(pcm[2 * i + 1])) / (2 * kShortScale);
    addPeakOf(m_mono.data(), m_mono.size());
    keepIf(ebur128_add_frames_float(m_state.get(), m_mono.data(), m_mono.size()));
}

void LoudnessMeter::add(const float *pcm, qint64 frames)
{
    if (!m_state || frames <= 0)
        return;
    if (m_scale != 1.0f) {
        m_scaled.resize(static_cast<std::size_t>(frames) * m_channels);
        for (std::size_t i = 0; i < m_scaled.size(); ++i)
            m_scaled[i] = pcm[i] * m_scale;
        pcm = m_scaled.data();
    }
    addFloats(pcm, frames);
}

void LoudnessMeter::addFloats(const float *pcm, qint64 frames)
{
    const std::size_t count = static_cast<std::size_t>(frames) * (m_mix ? 1 : m_channels);
    if (m_mix) {
        m_mono.resize(static_cast<std::size_t>(frames));
        for (qint64 i = 0; i < frames; ++i)
            m_mono[static_cast<std::size_t>(i)] = (pcm[2 * i] + pcm[2 * i + 1]) / 2;
        pcm = m_mono.data();
    }
    addPeakOf(pcm, count);
    if (m_lowpass) {
        m_filtered.assign(pcm, pcm + count);
        m_lowpass->run(m_filtered.data(), static_cast<std::size_t>(frames));
        pcm = m_filtered.data();
    }
    keepIf(ebur128_add_frames_float(m_state.get(), pcm, static_cast<std::size_t>(frames)));
}

void LoudnessMeter::addPeakOf(const float *samples, std::size_t count)
{
    float highest = 0;
    for (std::size_t i = 0; i < count; ++i)
        highest = std::max(highest, std::abs(samples[i]));
    m_peak = std::max(m_peak, double(highest));
}

void LoudnessMeter::keepIf(int result)
{
    // A state a call failed on may have lost audio: no figures, as where it could not be set up.
    if (result != EBUR128_SUCCESS)
        m_state.reset();
}

void LoudnessMeter::finish()
{
    // libebur128 keeps a state's gating blocks and sample peaks through a change of its rate,
    // and sizes the audio buffer for the new rate; its lowest takes a few frames.
    if (m_state)
        keepIf(ebur128_change_parameters(m_state.get(), m_state->channels, kLowestRate));
    m_mono = {};
    m_scaled = {};
    m_filtered = {};
}

std::optional<TrackGain> LoudnessMeter::figures(const std::vector<const LoudnessMeter *> &meters)
{
    std::vector<ebur128_state *> states;
    double peak = 0;
    for (const LoudnessMeter *meter : meters) {
        if (!meter->m_state)
            return std::nullopt;
        states.push_back(meter->m_state.get());
        peak = std::max(peak, meter->m_peak);
    }
    double lufs = -HUGE_VAL;
    if (states.empty() || ebur128_loudness_global_multiple(states.data(), states.size(), &lufs) != EBUR128_SUCCESS
        || !std::isfinite(lufs))
        return std::nullopt;
    // Rounded as written, so every run that measures the same blocks writes the same figure.
    return TrackGain {.gainDb = std::round((kReferenceLufs - lufs) * 100) / 100, .peak = peak};
}

std::optional<double> clipSafeGainDb(const TrackGain &gain)
{
    if (gain.peak < kFullScale)
        return std::nullopt;
    return -20 * std::log10(gain.peak) - kOvershootDb;
}

double appliedGainDb(const TrackGain &gain)
{
    if (gain.peak <= 0)
        return gain.gainDb;
    return std::min(gain.gainDb, kAppliedCeilingDb - kOvershootDb - 20 * std::log10(gain.peak));
}
