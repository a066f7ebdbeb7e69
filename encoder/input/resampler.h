#pragma once

#include "audiosource.h"
#include "pcmreader.h"

#include <QString>
#include <QtGlobal>

#include <vector>

struct soxr;

// The sample rate conversion ahead of the encoder: lame then encodes audio already at its
// output rate, so every instance sits on the output's frame grid.
struct RateChange
{
    int inRate = 0;
    int outRate = 0;

    // lame's length for a resampled input: whole output samples of the input's duration.
    qint64 outputFrames(qint64 inputFrames) const;
    // The input frames up to an output sample, for progress reports.
    qint64 inputFrames(qint64 outputFrames) const;

    // Where a resampler starts so that its output from sample `from` on has settled: an input
    // frame whose time is that of a whole output sample, far enough before.
    struct Start
    {
        qint64 input = 0;
        qint64 output = 0;
    };
    Start startFor(qint64 from) const;
};

// Output samples from `from` on of the whole input resampled, `source` being positioned at
// start.input. Every such reader, wherever it starts, gives the same samples but for float
// rounding, and together exactly rates.outputFrames() of the input read.
class ResampledReader final : public PcmReader
{
public:
    ResampledReader(AudioSource &source, const RateChange &rates, RateChange::Start start, qint64 from);
    ResampledReader(const ResampledReader &) = delete;
    ResampledReader &operator=(const ResampledReader &) = delete;
    ~ResampledReader() override;

    const InputInfo &info() const override { return m_info; }
    qint64 read(short *, qint64) override { return -1; }
    qint64 read(float *out, qint64 maxFrames) override;
    QString readError() const override;

    // Input frames taken from the source so far, and whether its end was met.
    qint64 inputRead() const { return m_inputRead; }
    bool inputEnded() const { return m_inputEnded; }

private:
    static std::size_t supply(void *state, const void **data, std::size_t requested);
    qint64 produce(float *out, qint64 frames);

    AudioSource &m_source;
    RateChange m_rates;
    InputInfo m_info;
    soxr *m_soxr = nullptr;
    QString m_error;
    std::vector<float> m_in;
    std::vector<float> m_scratch;
    qint64 m_position = 0; // output sample the resampler gives next
    qint64 m_from = 0;
    qint64 m_end = -1;     // the output's length, once the input's end is known
    qint64 m_inputStart = 0;
    qint64 m_inputRead = 0;
    bool m_inputEnded = false;
    bool m_readFailed = false;
};
