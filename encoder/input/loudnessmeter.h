#pragma once

#include "encoder/core/trackgain.h"
#include "lowpass.h"

#include <QtGlobal>

#include <ebur128.h>

#include <memory>
#include <optional>
#include <vector>

// The integrated loudness and sample peak (libebur128) of the audio lame encodes, for its
// ReplayGain. Sample peak only: true peak costs several times the whole analysis.
class LoudnessMeter
{
public:
    // channels and sampleRate of the audio fed; mixToMono where lame makes one channel of two
    // (their average), so the figures are those of the MP3's one channel.
    LoudnessMeter(int channels, int sampleRate, bool mixToMono);
    LoudnessMeter(const LoudnessMeter &) = delete;
    LoudnessMeter &operator=(const LoudnessMeter &) = delete;
    ~LoudnessMeter();

    // The audio is measured as if scaled by factor: where the samples are scaled as lame takes
    // them, the figures are those of the MP3 as written.
    void setScale(double factor);
    // The loudness is measured through a low-pass at cutoffHz, as an encoder that keeps only
    // the band below it leaves the audio; the peak is still the unfiltered one. Before the first
    // add(); a cutoff at or past 0.45 of the sample rate, or none (0 or less), measures all.
    void setLowpass(double cutoffHz);
    // Interleaved frames of the channels given.
    void add(const short *pcm, qint64 frames);
    void add(const float *pcm, qint64 frames);
    // No more audio: lets go of the audio buffer (hundreds of KiB), keeps what the figures need.
    void finish();

    // The figures of the meters' audio taken together, in the order given: the gain to -18 LUFS
    // rounded to 0.01 dB, the highest sample peak. Nothing where a meter could not be set up or
    // no audio is loud enough to measure (silence).
    static std::optional<TrackGain> figures(const std::vector<const LoudnessMeter *> &meters);
    std::optional<TrackGain> figures() const { return figures({this}); }

private:
    struct StateDestroyer
    {
        void operator()(ebur128_state *state) const { ebur128_destroy(&state); }
    };

    void addFloats(const float *pcm, qint64 frames);
    void addPeakOf(const float *samples, std::size_t count);
    void keepIf(int result);

    bool m_mix = false;
    std::size_t m_channels = 0;
    double m_peak = 0;
    std::unique_ptr<ebur128_state, StateDestroyer> m_state;
    float m_scale = 1.0f;
    int m_rate = 0;
    std::optional<Lowpass> m_lowpass;
    std::vector<float> m_mono;
    std::vector<float> m_scaled;
    std::vector<float> m_filtered;
};

// Where the MP3 of audio with these figures will clip when decoded, the gain that avoids it;
// nothing otherwise. A sample peak at full scale is the sign: the coding overshoots the
// input's peaks, and the peak cannot show more than full scale (16-bit samples end there,
// float samples are clipped to it on reading).
std::optional<double> clipSafeGainDb(const TrackGain &gain);

// The gain to apply to the samples of audio with these figures: to -18 LUFS, held lower where
// the decoded MP3's peak would pass -1 dBFS (the sample peak then kept a margin for the coding's
// overshoot below it).
double appliedGainDb(const TrackGain &gain);
