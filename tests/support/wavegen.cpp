#include "wavegen.h"

#include <QFile>
#include <QFileInfo>

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

namespace {

constexpr qint64 kBlock = 65536;
constexpr double kTwoPi = 2 * std::numbers::pi;

// Four chords of four notes, in Hz.
constexpr double kChords[4][4] = {
    {220.00, 261.63, 329.63, 440.00},
    {174.61, 220.00, 261.63, 349.23},
    {130.81, 196.00, 261.63, 329.63},
    {196.00, 246.94, 293.66, 392.00},
};

struct FileCloser
{
    void operator()(SNDFILE *file) const { sf_close(file); }
};
using SndFilePtr = std::unique_ptr<SNDFILE, FileCloser>;

int subtypeOf(SampleType sample)
{
    switch (sample) {
    case SampleType::Pcm8:
        return SF_FORMAT_PCM_U8;
    case SampleType::Pcm16:
        return SF_FORMAT_PCM_16;
    case SampleType::Pcm24:
        return SF_FORMAT_PCM_24;
    case SampleType::Pcm32:
        return SF_FORMAT_PCM_32;
    case SampleType::Float32:
        return SF_FORMAT_FLOAT;
    case SampleType::MsAdpcm:
        return SF_FORMAT_MS_ADPCM;
    case SampleType::ImaAdpcm:
        return SF_FORMAT_IMA_ADPCM;
    case SampleType::Gsm610:
        return SF_FORMAT_GSM610;
    }
    return SF_FORMAT_PCM_16;
}

int majorOf(Container container)
{
    switch (container) {
    case Container::Wave:
        return SF_FORMAT_WAV;
    case Container::WaveExtensible:
        return SF_FORMAT_WAVEX;
    case Container::Rf64:
        return SF_FORMAT_RF64;
    case Container::W64:
        return SF_FORMAT_W64;
    case Container::Rifx:
        return SF_FORMAT_WAV | SF_ENDIAN_BIG;
    case Container::Flac:
        return SF_FORMAT_FLAC;
    case Container::Aiff:
        return SF_FORMAT_AIFF;
    }
    return SF_FORMAT_WAV;
}

bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

// Writes frames of the seed's signal in the given libsndfile format.
bool writeSignal(const QString &path, int format, qint64 frames, int channels, int rate, quint32 seed,
                 QString *error, int soleChannel = -1, double gain = 1)
{
    SF_INFO info {};
    info.format = format;
    info.channels = channels;
    info.samplerate = rate;
    if (!sf_format_check(&info))
        return fail(error, QStringLiteral("libsndfile cannot write this format"));
    SndFilePtr file(sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info));
    if (!file)
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(path, QString::fromUtf8(sf_strerror(nullptr))));
    if (gain != 1)
        sf_command(file.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    MusicGenerator generator(channels, rate, seed);
    std::vector<float> block(static_cast<std::size_t>(kBlock * channels));
    for (qint64 done = 0; done < frames;) {
        const qint64 count = std::min(kBlock, frames - done);
        generator.fill(block.data(), count);
        if (gain != 1) {
            for (float &sample : block)
                sample = static_cast<float>(sample * gain);
        }
        if (soleChannel >= 0) {
            for (qint64 i = 0; i < count * channels; ++i) {
                if (i % channels != soleChannel)
                    block[static_cast<std::size_t>(i)] = 0;
            }
        }
        if (sf_writef_float(file.get(), block.data(), count) != count)
            return fail(error, QStringLiteral("Cannot write %1: %2").arg(path, QString::fromUtf8(sf_strerror(file.get()))));
        done += count;
    }
    return true;
}

} // namespace

MusicGenerator::MusicGenerator(int channels, int rate, quint32 seed)
    : m_channels(channels), m_rate(rate), m_random(seed * 2654435761u + 12345u)
{
    if (m_random == 0)
        m_random = 1;
}

float MusicGenerator::noise()
{
    // xorshift32: the same numbers on every platform, unlike std's distributions.
    m_random ^= m_random << 13;
    m_random ^= m_random >> 17;
    m_random ^= m_random << 5;
    return static_cast<float>(m_random) / 2147483648.0f - 1.0f;
}

void MusicGenerator::fill(float *out, qint64 frames)
{
    const double transpose = 1.0 + (m_random % 7) / 24.0;
    for (qint64 f = 0; f < frames; ++f, ++m_frame) {
        const double t = static_cast<double>(m_frame) / m_rate;
        const double beat = t * 2.0; // 120 beats a minute
        const auto beatIndex = static_cast<qint64>(beat);
        const double sinceBeat = (beat - static_cast<double>(beatIndex)) * 0.5;
        const double *chord = kChords[(beatIndex / 4) % 4];

        float tones[4];
        const double envelope = 0.25 + 0.75 * std::exp(-sinceBeat * 4.0);
        for (int i = 0; i < 4; ++i) {
            m_phase[i] = std::fmod(m_phase[i] + kTwoPi * chord[i] * transpose / m_rate, kTwoPi);
            tones[i] = static_cast<float>(0.1 * envelope * std::sin(m_phase[i]));
        }

        float kick = 0;
        if (sinceBeat < 0.2) {
            const double pitch = 50.0 + 90.0 * std::exp(-sinceBeat * 30.0);
            m_kickPhase = std::fmod(m_kickPhase + kTwoPi * pitch / m_rate, kTwoPi);
            kick = static_cast<float>(0.3 * std::exp(-sinceBeat * 18.0) * std::sin(m_kickPhase));
        } else {
            m_kickPhase = 0;
        }

        // A noise burst on each off-beat and a click at the start of every bar.
        const double sinceOffBeat = std::fmod(beat + 0.5, 1.0) * 0.5;
        const float white = noise();
        const float hat = static_cast<float>(0.12 * std::exp(-sinceOffBeat * 60.0)) * white;
        const float click = (beatIndex % 4 == 0 && sinceBeat * m_rate < 8) ? 0.15f : 0.0f;
        m_lowNoise = 0.995f * m_lowNoise + 0.005f * white;
        const float bed = 0.3f * m_lowNoise;

        for (int c = 0; c < m_channels; ++c) {
            float sample = kick + click + bed;
            for (int i = 0; i < 4; ++i)
                sample += tones[i] * ((i + c) % 2 == 0 ? 1.0f : 0.35f);
            sample += hat * (c % 2 == 0 ? 1.0f : 0.6f);
            out[f * m_channels + c] = sample;
        }
    }
}

std::vector<float> musicSamples(qint64 frames, int channels, int rate, quint32 seed)
{
    std::vector<float> samples(static_cast<std::size_t>(frames * channels));
    MusicGenerator(channels, rate, seed).fill(samples.data(), frames);
    return samples;
}

std::vector<float> resampled(const std::vector<float> &samples, int channels, int inRate, int outRate,
                             qint64 outFrames)
{
    std::vector<float> out(static_cast<std::size_t>(outFrames * channels), 0.0f);
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
    std::size_t done = 0;
    soxr_oneshot(inRate, outRate, static_cast<unsigned>(channels), samples.data(), samples.size() / channels, nullptr,
                 out.data(), static_cast<std::size_t>(outFrames), &done, &io, &quality, nullptr);
    return out;
}

bool writeWave(const QString &path, const WaveOptions &shape, QString *error)
{
    return writeSignal(path, majorOf(shape.container) | subtypeOf(shape.sample), shape.frames, shape.channels,
                       shape.rate, shape.seed, error, shape.soleChannel, shape.gain);
}

bool writeToneWave(const QString &path, double seconds, int rate, int channels, double amplitude, SampleType sample,
                   QString *error)
{
    SF_INFO info {};
    info.format = SF_FORMAT_WAV | subtypeOf(sample);
    info.channels = channels;
    info.samplerate = rate;
    SndFilePtr file(sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info));
    if (!file)
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(path, QString::fromUtf8(sf_strerror(nullptr))));
    sf_command(file.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const qint64 frames = std::llround(seconds * rate);
    std::vector<double> samples(static_cast<std::size_t>(frames * channels));
    for (qint64 i = 0; i < frames; ++i)
        std::fill_n(samples.begin() + i * channels, channels, amplitude * std::sin(kTwoPi * 997.0 * double(i) / rate));
    if (sf_writef_double(file.get(), samples.data(), frames) != frames)
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(path, QString::fromUtf8(sf_strerror(file.get()))));
    return true;
}

bool writeMusicWave(const QString &path, double seconds, int rate, int channels, QString *error)
{
    WaveOptions shape;
    shape.frames = std::llround(seconds * rate);
    shape.rate = rate;
    shape.channels = channels;
    return writeWave(path, shape, error);
}

bool writeWaveOfAtLeast(const QString &path, qint64 bytes, QString *error)
{
    constexpr qint64 header = 44;
    WaveOptions shape;
    shape.frames = std::max<qint64>(1, (bytes - header + 3) / 4);
    if (!writeWave(path, shape, error))
        return false;
    if (QFileInfo(path).size() < bytes)
        return fail(error, QStringLiteral("%1 came out shorter than %2 bytes").arg(path).arg(bytes));
    return true;
}

bool writeWaveOfExactSize(const QString &path, qint64 bytes, QString *error)
{
    // libsndfile writes a 44-byte header for 8-bit PCM and pads odd-sized data with a byte.
    constexpr qint64 header = 44;
    if (bytes < header + 2)
        return fail(error, QStringLiteral("A WAVE file needs more than %1 bytes").arg(header + 1));
    const qint64 data = bytes - header;
    WaveOptions shape;
    shape.frames = data % 2 == 0 ? data : data - 1;
    shape.channels = 1;
    shape.rate = 22050;
    shape.sample = SampleType::Pcm8;
    if (!writeWave(path, shape, error))
        return false;
    if (QFileInfo(path).size() != bytes)
        return fail(error, QStringLiteral("%1 came out %2 bytes, not %3").arg(path).arg(QFileInfo(path).size()).arg(bytes));
    return true;
}

bool writeRawPcm(const QString &path, qint64 frames, int channels, bool bigEndian, quint32 seed, QString *error)
{
    const int format = SF_FORMAT_RAW | SF_FORMAT_PCM_16 | (bigEndian ? SF_ENDIAN_BIG : SF_ENDIAN_LITTLE);
    return writeSignal(path, format, frames, channels, 44100, seed, error);
}

bool writeWaveCut(const QString &from, const QString &to, qint64 first, qint64 count)
{
    SF_INFO info {};
    const SndFilePtr in(sf_open(QFile::encodeName(from).constData(), SFM_READ, &info));
    const bool integers = (info.format & SF_FORMAT_SUBMASK) <= SF_FORMAT_PCM_U8;
    if (!integers)
        info.format = (info.format & ~SF_FORMAT_SUBMASK) | SF_FORMAT_FLOAT;
    const SndFilePtr out(in ? sf_open(QFile::encodeName(to).constData(), SFM_WRITE, &info) : nullptr);
    // Read from the start, not sought: a block codec's decoder carries state from block to block.
    const auto copy = [&](auto read, auto write, auto zero) {
        std::vector<decltype(zero)> samples(static_cast<std::size_t>((first + count) * info.channels));
        return out && read(in.get(), samples.data(), first + count) == first + count
               && write(out.get(), samples.data() + first * info.channels, count) == count;
    };
    return integers ? copy(sf_readf_int, sf_writef_int, 0) : copy(sf_readf_float, sf_writef_float, 0.0f);
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
