#include "streamjoiner.h"

Outcome unjoinable()
{
    return Outcome::failure(QStringLiteral("The encoded chunks could not be joined."), Outcome::Kind::Unjoinable);
}

Outcome StreamJoiner::deliver(int index, EncodedChunk chunk)
{
    m_finished.emplace(index, std::move(chunk));
    for (auto next = m_finished.find(m_nextJoined); next != m_finished.end(); next = m_finished.find(m_nextJoined)) {
        EncodedChunk ready = std::move(next->second);
        m_finished.erase(next);
        if (Outcome joined = join(m_nextJoined, std::move(ready)); !joined)
            return joined;
        ++m_nextJoined;
    }
    return Outcome::success();
}

Outcome StreamJoiner::join(int index, EncodedChunk chunk)
{
    if (index == 0) {
        m_held = std::move(chunk);
        m_heldFrom = 0;
    } else {
        const std::int64_t start = m_layout.starts[static_cast<std::size_t>(index)];
        const std::optional<Seam> seam = chooseSeam(*m_held, chunk, start, start + m_layout.search, m_variableRate);
        if (!seam || (seam->grow > 0 && !growFrame(*m_held, seam->frame - 1, seam->grow, m_variableRate))
            || (seam->shift > 0 && !shiftMainData(chunk, seam->frame, seam->shift))
            || !carryReservoir(*m_held, m_heldFrom, chunk, seam->frame))
            return unjoinable();
        if (Outcome written = write(*m_held, m_heldFrom, seam->frame); !written)
            return written;
        m_seams.push_back(seam->frame);
        m_held = std::move(chunk);
        m_heldFrom = seam->frame;
    }
    if (index + 1 == chunks()) {
        const Outcome written = write(*m_held, m_heldFrom, m_held->endFrame());
        m_held.reset();
        return written;
    }
    return Outcome::success();
}

Outcome StreamJoiner::write(const EncodedChunk &chunk, std::int64_t from, std::int64_t to)
{
    if (from >= to || !chunk.has(from) || !chunk.has(to - 1))
        return unjoinable();
    for (std::int64_t k = from; k < to; ++k) {
        const FrameEntry &frame = chunk.frame(k);
        if (!m_chain.add(frame))
            return unjoinable();
        m_info.addFrame(chunk.bytes.data() + frame.offset, static_cast<std::size_t>(frame.header.size));
    }
    const FrameEntry &first = chunk.frame(from);
    const FrameEntry &last = chunk.frame(to - 1);
    return m_output.write(chunk.bytes.data() + first.offset,
                          last.offset + static_cast<std::size_t>(last.header.size) - first.offset);
}
