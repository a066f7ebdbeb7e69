#include "riffchunks.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// A file with more chunks than this is not read further.
constexpr int kMostChunks = 4096;

} // namespace

quint16 WaveByteOrder::u16(const unsigned char *p) const
{
    return big ? qFromBigEndian<quint16>(p) : qFromLittleEndian<quint16>(p);
}

quint32 WaveByteOrder::u32(const unsigned char *p) const
{
    return big ? qFromBigEndian<quint32>(p) : qFromLittleEndian<quint32>(p);
}

quint64 WaveByteOrder::u64(const unsigned char *p) const
{
    return big ? qFromBigEndian<quint64>(p) : qFromLittleEndian<quint64>(p);
}

bool isChunkId(const char *id)
{
    return std::all_of(id, id + 4, [](char c) { return c >= 0x20 && c <= 0x7E; });
}

bool RiffChunk::is(const char (&name)[5]) const
{
    return std::memcmp(id, name, 4) == 0;
}

RiffChunks::RiffChunks(ReadAt read, qint64 fileSize) : m_read(std::move(read)), m_fileSize(fileSize), m_at(12)
{
    unsigned char head[kWaveHeadBytes];
    const WaveContainer *container = m_read(0, head, sizeof head) ? waveContainerOf(head, sizeof head) : nullptr;
    if (!container || container->sizes == WaveSizes::Bits64) {
        m_ended = true;
        return;
    }
    m_container = container;
    m_order = {container->bigEndian};
    m_formSize = m_order.u32(head + 4);
    m_ds64 = container->sizes == WaveSizes::Ds64;
}

RiffChunks::RiffChunks(ReadAt read, qint64 fileSize, qint64 at, WaveByteOrder order)
    : m_read(std::move(read)), m_fileSize(fileSize), m_at(at), m_order(order)
{
}

std::optional<RiffChunk> RiffChunks::next()
{
    if (m_ended || m_count >= kMostChunks || m_at + 8 > m_fileSize)
        return std::nullopt;
    unsigned char head[8];
    if (!m_read(m_at, head, sizeof head)) {
        m_ended = true;
        return std::nullopt;
    }
    RiffChunk chunk {{}, m_at, m_order.u32(head + 4)};
    std::memcpy(chunk.id, head, 4);
    if (m_ds64 && chunk.is("ds64"))
        readDs64(chunk);
    else if (m_ds64 && chunk.is("data") && chunk.size == 0xFFFFFFFF && m_ds64Data)
        chunk.size = *m_ds64Data;
    ++m_count;
    m_at = chunk.body() + static_cast<qint64>(std::min<quint64>(chunk.size, static_cast<quint64>(m_fileSize)))
           + static_cast<qint64>(chunk.size & 1);
    return chunk;
}

// The RIFF size, the data size, the sample count: the last of them may be cut off.
void RiffChunks::readDs64(const RiffChunk &chunk)
{
    unsigned char sizes[24];
    const bool frames = chunk.size >= sizeof sizes;
    if (chunk.size < 16 || !m_read(chunk.body(), sizes, frames ? sizeof sizes : 16))
        return;
    m_ds64Data = m_order.u64(sizes + 8);
    if (frames)
        m_ds64Frames = m_order.u64(sizes + 16);
}
