#include "resampler.h"

#include <soxr.h>

#include <algorithm>
#include <numeric>

namespace {

// Output samples a resampler runs before the first it gives: well past the reach of the
// filter's start-up at every rate change lame picks (up to 24:1).
constexpr qint64 kSettle = 4096;
constexpr qint64 kInputBlock = 8192;

} // namespace

qint64 RateChange::outputFrames(qint64 inputFrames) const
{
    return static_cast<qint64>(static_cast<__int128>(inputFrames) * outRate / inRate);
}

qint64 RateChange::inputFrames(qint64 outputFrames) const
{
    return static_cast<qint64>(static_cast<__int128>(outputFrames) * inRate / outRate);
}

RateChange::Start RateChange::startFor(qint64 from) const
{
    const int common = std::gcd(inRate, outRate);
    const qint64 inStep = inRate / common;
    const qint64 outStep = outRate / common;
    const qint64 steps = std::max<qint64>(0, from - kSettle) / outStep;
    return {steps * inStep, steps * outStep};
}

ResampledReader::ResampledReader(AudioSource &source, const RateChange &rates, RateChange::Start start, qint64 from)
    : m_source(source), m_rates(rates), m_info(source.info()), m_position(start.output), m_from(from),
      m_inputStart(start.input)
{
    m_info.sampleRate = rates.outRate;
    m_info.frames = rates.outputFrames(source.info().frames);
    m_info.fitsShort = false;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    m_soxr = soxr_create(rates.inRate, rates.outRate, static_cast<unsigned>(m_info.channels), &error, &io, &quality,
                         &runtime);
    if (m_soxr)
        error = soxr_set_input_fn(m_soxr, reinterpret_cast<soxr_input_fn_t>(&ResampledReader::supply), this,
                                  kInputBlock);
    if (error)
        m_error = QStringLiteral("Cannot resample from %1 Hz to %2 Hz: %3")
                      .arg(rates.inRate)
                      .arg(rates.outRate)
                      .arg(QString::fromUtf8(error));
    m_in.resize(static_cast<std::size_t>(kInputBlock * m_info.channels));
}

ResampledReader::~ResampledReader()
{
    if (m_soxr)
        soxr_delete(m_soxr);
}

std::size_t ResampledReader::supply(void *state, const void **data, std::size_t requested)
{
    auto *self = static_cast<ResampledReader *>(state);
    *data = self->m_in.data();
    if (self->m_inputEnded)
        return 0;
    const qint64 got = self->m_source.read(self->m_in.data(), std::min<qint64>(kInputBlock, qint64(requested)));
    if (got < 0) {
        self->m_readFailed = true;
        *data = nullptr;
        return 0;
    }
    if (got == 0) {
        self->m_inputEnded = true;
        self->m_end = self->m_rates.outputFrames(self->m_inputStart + self->m_inputRead);
        return 0;
    }
    self->m_inputRead += got;
    return static_cast<std::size_t>(got);
}

// Up to frames output samples from m_position on; the resampler's tail is cut, or filled with
// silence, to the exact length.
qint64 ResampledReader::produce(float *out, qint64 frames)
{
    if (m_end >= 0)
        frames = std::min(frames, m_end - m_position);
    if (frames <= 0)
        return 0;
    qint64 done = 0;
    while (done < frames) {
        const std::size_t got = soxr_output(m_soxr, out + done * m_info.channels, static_cast<std::size_t>(frames - done));
        if (m_readFailed || soxr_error(m_soxr))
            return -1;
        if (got == 0)
            break;
        done += static_cast<qint64>(got);
    }
    if (m_end >= 0) {
        frames = std::min(frames, m_end - m_position);
        done = std::min(done, frames);
        if (done < frames) {
            std::fill(out + done * m_info.channels, out + frames * m_info.channels, 0.0f);
            done = frames;
        }
    }
    m_position += done;
    return done;
}

qint64 ResampledReader::read(float *out, qint64 maxFrames)
{
    if (!m_soxr || !m_error.isEmpty())
        return -1;
    while (m_position < m_from) {
        m_scratch.resize(static_cast<std::size_t>(kInputBlock * m_info.channels));
        const qint64 got = produce(m_scratch.data(), std::min(kInputBlock, m_from - m_position));
        if (got <= 0)
            return got;
    }
    return produce(out, maxFrames);
}

QString ResampledReader::readError() const
{
    if (!m_error.isEmpty())
        return m_error;
    if (m_readFailed)
        return m_source.readError();
    return QStringLiteral("Cannot resample from %1 Hz to %2 Hz: %3")
        .arg(m_rates.inRate)
        .arg(m_rates.outRate)
        .arg(QString::fromUtf8(m_soxr ? soxr_error(m_soxr) : "no resampler"));
}
