#pragma once

#include "encoder/core/encodersettings.h"
#include "encoder/core/outcome.h"
#include "encoder/input/audiosource.h"

#include <functional>
#include <memory>

// A worker's input, kept open from chunk to chunk: a worker takes later and later chunks. Where
// the format seeks exactly it seeks; otherwise it reads forward, opened again only to go back.
class ChunkInput
{
public:
    ChunkInput(const EncoderSettings &settings, const InputInfo &file) : m_settings(settings), m_file(file) {}

    // Positions the input at frame, sought or by reading and dropping the audio before it. A
    // file that no longer matches the run's first look at it is an InputMismatch.
    Outcome seek(qint64 frame, const std::function<bool()> &stopping);
    AudioSource &source() { return *m_source; }
    // Where the reading stands, for the next seek; set by the reader as it reads.
    void setPosition(qint64 frame) { m_position = frame; }
    void close() { m_source.reset(); }

private:
    const EncoderSettings &m_settings;
    const InputInfo &m_file;
    std::unique_ptr<AudioSource> m_source;
    qint64 m_position = 0;
};

Outcome inputMismatch();
