#pragma once

#include "wavefamily.h"

#include <QtGlobal>

#include <cstddef>
#include <functional>
#include <optional>

// A number as a WAVE stores it: big-endian in RIFX, little-endian in the others.
struct WaveByteOrder
{
    bool big = false;
    quint16 u16(const unsigned char *p) const;
    quint32 u32(const unsigned char *p) const;
    quint64 u64(const unsigned char *p) const;
};

// Whether the four bytes at id can name a chunk: printable ASCII.
bool isChunkId(const char *id);

struct RiffChunk
{
    char id[4];
    qint64 at;    // where its 8-byte header starts
    quint64 size; // as stated; an RF64 or BW64 data chunk's all ones as its ds64 chunk states
    qint64 body() const { return at + 8; }
    bool is(const char (&name)[5]) const;
};

// Reads size bytes of the file from at; false unless all of them came.
using ReadAt = std::function<bool(qint64 at, void *out, std::size_t size)>;

// A WAVE's chunks one by one, in RIFF, RIFX, RF64 or BW64, with the ds64 chunk's sizes applied:
// the header reader and the tag reader walk the same list. A chunk's stated size is given as
// it is; the walk goes on after it (past the end of the file it ends), and stops after 4096
// chunks, as no WAVE has that many.
class RiffChunks
{
public:
    // The chunks after "WAVE"; none where the file is no such WAVE (Wave64's GUIDs are left to
    // libsndfile).
    RiffChunks(ReadAt read, qint64 fileSize);
    // The chunks from at on, without ds64: what lies inside or after another chunk.
    RiffChunks(ReadAt read, qint64 fileSize, qint64 at, WaveByteOrder order);

    // The container the file opens as; null where it has no chunk list to walk.
    const WaveContainer *container() const { return m_container; }
    WaveByteOrder order() const { return m_order; }
    // The size the RIFF (or RIFX, RF64, BW64) header states.
    quint32 formSize() const { return m_formSize; }

    // The next chunk; none at the end, after a failed read and after 4096 chunks.
    std::optional<RiffChunk> next();
    // Where the next chunk starts.
    qint64 position() const { return m_at; }
    // The sample frames of the ds64 chunk the walk has passed; 0 before one.
    quint64 ds64Frames() const { return m_ds64Frames; }

private:
    void readDs64(const RiffChunk &chunk);

    ReadAt m_read;
    qint64 m_fileSize;
    qint64 m_at;
    WaveByteOrder m_order;
    const WaveContainer *m_container = nullptr;
    quint32 m_formSize = 0;
    bool m_ds64 = false; // the container's sizes may defer to a ds64 chunk
    std::optional<quint64> m_ds64Data;
    quint64 m_ds64Frames = 0;
    int m_count = 0;
    bool m_ended = false;
};
