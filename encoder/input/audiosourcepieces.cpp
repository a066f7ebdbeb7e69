// An AudioSource whose range goes on into other files: a CD track that starts in one file of
// its sheet and ends in the next.
#include "audiosource.h"

Outcome AudioSource::openThen(const std::vector<FramePiece> &pieces)
{
    m_ownFrames = m_info.frames;
    if (pieces.empty())
        return Outcome::success();
    const FramePiece &next = pieces.front();
    FrameRange rest {next.first, next.count, next.raw, {pieces.begin() + 1, pieces.end()}};
    m_then = std::make_unique<AudioSource>();
    if (const Outcome opened = m_then->open(next.file, false, false, rest); !opened)
        return opened;
    const InputInfo &then = m_then->info();
    if (then.sampleRate != m_info.sampleRate || then.channels != m_info.channels)
        return Outcome::failure(QStringLiteral("%1 (%2 Hz, %3 channels) cannot go on with %4 (%5 Hz, %6 channels).")
                                    .arg(m_path)
                                    .arg(m_info.sampleRate)
                                    .arg(m_info.channels)
                                    .arg(next.file)
                                    .arg(then.sampleRate)
                                    .arg(then.channels));
    m_info.frames += then.frames;
    m_info.fitsShort = m_info.fitsShort && then.fitsShort;
    return Outcome::success();
}

namespace {

template <typename Sample>
qint64 readOn(AudioSource &then, bool &failed, Sample *out, qint64 own, qint64 maxFrames, int channels)
{
    if (own < 0 || own == maxFrames)
        return own;
    const qint64 more = then.read(out + own * channels, maxFrames - own);
    failed = more < 0;
    return failed ? -1 : own + more;
}

} // namespace

qint64 AudioSource::read(short *out, qint64 maxFrames)
{
    const qint64 own = readOwn(out, maxFrames);
    return m_then ? readOn(*m_then, m_thenFailed, out, own, maxFrames, m_info.channels) : own;
}

qint64 AudioSource::read(float *out, qint64 maxFrames)
{
    const qint64 own = readOwn(out, maxFrames);
    return m_then ? readOn(*m_then, m_thenFailed, out, own, maxFrames, m_info.channels) : own;
}

bool AudioSource::seek(qint64 frame)
{
    if (!m_then)
        return seekOwn(frame);
    // Where one of the files cannot seek, none moves: the caller reads from where it was.
    if (!seeksAll() || frame < 0 || frame > m_info.frames)
        return false;
    if (frame <= m_ownFrames)
        return seekOwn(frame) && m_then->seek(0);
    return seekOwn(m_ownFrames) && m_then->seek(frame - m_ownFrames);
}
