#include "chunkinput.h"

#include "encoder/lame/lamefeed.h"

#include <vector>

Outcome inputMismatch()
{
    return Outcome::failure(QStringLiteral("The input does not hold the audio its header announces."),
                            Outcome::Kind::InputMismatch);
}

Outcome ChunkInput::seek(qint64 frame, const std::function<bool()> &stopping)
{
    // Where the format seeks to the sample, libsndfile goes there: a FLAC read again from its
    // start for each chunk would be decoded over and over.
    const auto seekExactly = [&] {
        if (frame != m_position && m_source->seek(frame))
            m_position = frame;
    };
    if (m_source)
        seekExactly();
    if (!m_source || frame < m_position) {
        m_source = std::make_unique<AudioSource>();
        m_position = 0;
        const bool raw = m_settings.rawPcm;
        if (Outcome opened =
                m_source->open(m_settings.inputFile, raw, raw && m_settings.forceByteSwap, m_settings.range);
            !opened)
            return opened;
        const InputInfo &info = m_source->info();
        if (info.channels != m_file.channels || info.sampleRate != m_file.sampleRate || info.frames != m_file.frames)
            return inputMismatch();
        seekExactly();
    }
    // The audio up to the chunk is read and dropped.
    std::vector<float> block(m_file.fitsShort ? 0 : static_cast<std::size_t>(kBlockFrames * m_file.channels));
    std::vector<short> shorts(m_file.fitsShort ? static_cast<std::size_t>(kBlockFrames * m_file.channels) : 0);
    while (m_position < frame) {
        if (stopping())
            return Outcome::stopped();
        const qint64 want = std::min(kBlockFrames, frame - m_position);
        const qint64 got = m_file.fitsShort ? m_source->read(shorts.data(), want) : m_source->read(block.data(), want);
        if (got < 0)
            return Outcome::failure(m_source->readError());
        if (got != want)
            return inputMismatch();
        m_position += got;
    }
    return Outcome::success();
}
