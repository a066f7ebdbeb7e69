#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <vector>

// Test audio: "music-like" signals (chords, beats, noise bursts, clicks), the same for the
// same seed, written as WAVE files or headerless PCM through libsndfile.

// The block codecs write a 'fact' chunk with the frame count; their last block is padded.
enum class SampleType { Pcm8, Pcm16, Pcm24, Pcm32, Float32, MsAdpcm, ImaAdpcm, Gsm610 };
// Rifx: the big-endian RIFF. Flac and Aiff hold the samples a WAVE of the same shape holds.
enum class Container { Wave, WaveExtensible, Rf64, W64, Rifx, Flac, Aiff };

struct WaveOptions
{
    qint64 frames = 44100;
    int channels = 2;
    int rate = 44100;
    SampleType sample = SampleType::Pcm16;
    Container container = Container::Wave;
    quint32 seed = 1;
    int soleChannel = -1; // 0 or more: only this channel sounds, the others are silent
    double gain = 1; // scales the signal; integer samples clip at full scale, float ones do not
};

// Streams the signal block by block, so long files need little memory. Peaks stay below 0.9.
class MusicGenerator
{
public:
    MusicGenerator(int channels, int rate, quint32 seed = 1);
    // Appends frames x channels interleaved samples.
    void fill(float *out, qint64 frames);

private:
    float noise();

    int m_channels;
    double m_rate;
    std::uint32_t m_random;
    qint64 m_frame = 0;
    double m_phase[4] = {};
    double m_kickPhase = 0;
    float m_lowNoise = 0;
};

// The first frames of the signal, interleaved: what writeWave() writes before quantizing.
std::vector<float> musicSamples(qint64 frames, int channels, int rate, quint32 seed = 1);

// Interleaved samples resampled from inRate to outRate at the highest quality libsoxr offers:
// the reference a resampled encode is measured against. Exactly outFrames long.
std::vector<float> resampled(const std::vector<float> &samples, int channels, int inRate, int outRate,
                             qint64 outFrames);

// Each returns false, with the reason in *error when given, if the file cannot be written.
bool writeWave(const QString &path, const WaveOptions &shape, QString *error = nullptr);
bool writeMusicWave(const QString &path, double seconds, int rate = 44100, int channels = 2,
                    QString *error = nullptr);
// 16-bit stereo 44.1 kHz, at least bytes long in all.
bool writeWaveOfAtLeast(const QString &path, qint64 bytes, QString *error = nullptr);
// 8-bit mono 22.05 kHz, exactly bytes long in all, header included (at least 46 bytes).
bool writeWaveOfExactSize(const QString &path, qint64 bytes, QString *error = nullptr);
// A 997 Hz sine of amplitude (1: full scale) in every channel: its loudness is known, about
// 20 log10(amplitude) LUFS in two channels and 3.01 dB less in one. Amplitude 0: silence.
bool writeToneWave(const QString &path, double seconds, int rate, int channels, double amplitude,
                   SampleType sample = SampleType::Pcm16, QString *error = nullptr);
// Headerless 16-bit signed PCM, the same samples a Pcm16 WAVE of the seed holds.
bool writeRawPcm(const QString &path, qint64 frames, int channels = 2, bool bigEndian = false,
                 quint32 seed = 1, QString *error = nullptr);
// Frames [first, first + count) of a WAVE as a WAVE of their own: integer PCM as it is, float
// and block-coded samples (decoded) as 32-bit float.
bool writeWaveCut(const QString &from, const QString &to, qint64 first, qint64 count);

// The whole file, or nothing when it cannot be read.
QByteArray contentOf(const QString &path);
bool writeBytes(const QString &path, const QByteArray &bytes);
