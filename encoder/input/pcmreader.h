#pragma once

#include "audiosource.h"

#include <QString>
#include <QtGlobal>

// What an encoder instance reads: interleaved frames of info().channels.
class PcmReader
{
public:
    virtual ~PcmReader() = default;
    virtual const InputInfo &info() const = 0;
    // As AudioSource::read: frames read, 0 at the end, -1 on an error. The short form only
    // when info().fitsShort.
    virtual qint64 read(short *out, qint64 maxFrames) = 0;
    virtual qint64 read(float *out, qint64 maxFrames) = 0;
    virtual QString readError() const = 0;
};

// The input as it is.
class SourceReader final : public PcmReader
{
public:
    explicit SourceReader(AudioSource &source) : m_source(source) {}
    const InputInfo &info() const override { return m_source.info(); }
    qint64 read(short *out, qint64 maxFrames) override { return m_source.read(out, maxFrames); }
    qint64 read(float *out, qint64 maxFrames) override { return m_source.read(out, maxFrames); }
    QString readError() const override { return m_source.readError(); }

private:
    AudioSource &m_source;
};
