#include "waveheader.h"
#include "riffchunks.h"

#include <QtEndian>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace {

constexpr quint16 kPcm = 0x0001;
constexpr quint16 kFloat = 0x0003;
constexpr quint16 kExtensible = 0xFFFE;

bool readAt(int fd, qint64 at, void *out, std::size_t size)
{
    return ::pread(fd, out, size, at) == static_cast<ssize_t>(size);
}

WaveHeader::Patch patch(WaveByteOrder order, qint64 at, quint32 value)
{
    WaveHeader::Patch p {at, {}};
    if (order.big)
        qToBigEndian(value, p.bytes);
    else
        qToLittleEndian(value, p.bytes);
    return p;
}

// Whether the bytes from `at` are chunks that end with the file: what follows a data chunk
// that is truly empty, where audio would not line up like this.
bool chunksToEnd(const ReadAt &read, qint64 at, qint64 fileSize, WaveByteOrder order)
{
    RiffChunks chunks(read, fileSize, at, order);
    while (const std::optional<RiffChunk> chunk = chunks.next()) {
        if (!isChunkId(chunk->id))
            return false;
        if (chunk->body() + static_cast<qint64>(chunk->size) == fileSize)
            return true;
    }
    return chunks.position() == fileSize;
}

// Registered WAVE format tags (RFC 2361 and Microsoft's mmreg.h), the common ones: which
// libsndfile's WAVE reader decodes, and which code in blocks whose frame count the format
// chunk gives.
struct Format
{
    quint16 tag;
    const char *name;
    bool decoded = false;
    bool blocks = false;
};

constexpr Format kFormats[] = {
    {0x0001, "PCM", true},
    {0x0002, "MS ADPCM", true, true},
    {0x0003, "IEEE float", true},
    {0x0006, "A-law", true},
    {0x0007, "\u00B5-law", true},
    {0x0010, "OKI ADPCM"},
    {0x0011, "IMA ADPCM", true, true},
    {0x0014, "G.723 ADPCM"},
    {0x0022, "TrueSpeech"},
    {0x0031, "GSM 6.10", true, true},
    {0x0038, nullptr, true}, // NMS VBXADPCM
    {0x0040, "G.721 ADPCM", true},
    {0x0041, "G.728 CELP"},
    {0x0042, "G.723.1"},
    {0x0050, "MPEG"},
    {0x0055, "MPEG Layer 3", true},
    {0x0064, "G.726 ADPCM"},
    {0x0065, "G.722 ADPCM"},
    {0x0092, "Dolby AC-3 SPDIF"},
    {0x00FF, "AAC"},
    {0x0130, "ACELP.net"},
    {0x0160, "Windows Media Audio 1"},
    {0x0161, "Windows Media Audio"},
    {0x0162, "Windows Media Audio Professional"},
    {0x0163, "Windows Media Audio Lossless"},
    {0x0270, "ATRAC3"},
    {0x1600, "AAC"},
    {0x1610, "HE-AAC"},
    {0x2000, "AC-3"},
    {0x2001, "DTS"},
    {0xF1AC, "FLAC"},
    {0xFFFF, "development"},
};

Format formatOf(quint16 tag)
{
    for (const Format &format : kFormats) {
        if (format.tag == tag)
            return format;
    }
    return {tag, nullptr};
}

} // namespace

WaveHeader readWaveHeader(int fd, qint64 fileSize)
{
    WaveHeader header;
    const ReadAt read = [fd](qint64 at, void *out, std::size_t size) { return readAt(fd, at, out, size); };
    RiffChunks chunks(read, fileSize);
    if (!chunks.container())
        return header;
    const WaveByteOrder order = chunks.order();
    const bool riff = chunks.container()->sizes == WaveSizes::Bits32;
    const bool rf64 = chunks.container()->sizes == WaveSizes::Ds64;

    quint32 fact = 0;
    bool hasFact = false;
    qint64 dataBytes = -1;
    while (const std::optional<RiffChunk> chunk = chunks.next()) {
        const quint64 size = chunk->size;
        const qint64 body = chunk->body();
        if (chunk->is("fmt ") && !header.hasFormat && size >= 16) {
            unsigned char fmt[40] = {};
            if (!readAt(fd, body, fmt, std::min<quint64>(size, sizeof fmt)))
                break;
            header.hasFormat = true;
            header.tag = order.u16(fmt);
            header.blockAlign = order.u16(fmt + 12);
            header.bits = order.u16(fmt + 14);
            if (formatOf(header.tag).blocks && size >= 20)
                header.framesPerBlock = order.u16(fmt + 18);
            // The SubFormat GUID starts with the tag when it ends like the registered ones.
            const unsigned char base[] = {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
            if (header.tag == kExtensible && size >= 40 && std::memcmp(fmt + 32, base, sizeof base) == 0)
                header.tag = static_cast<quint16>(order.u32(fmt + 24));
        } else if (chunk->is("fact") && !hasFact && size >= 4) {
            unsigned char count[4];
            hasFact = readAt(fd, body, count, sizeof count);
            fact = hasFact ? order.u32(count) : 0;
        } else if (chunk->is("data") && dataBytes < 0) {
            dataBytes = static_cast<qint64>(std::min<quint64>(size, static_cast<quint64>(std::max<qint64>(0, fileSize - body))));
            // A recorder that died left the sizes at 0, or at what an empty file has, with
            // the audio after them.
            const bool unfinished = riff && size == 0 && static_cast<qint64>(chunks.formSize()) + 8 <= body
                                && header.blockAlign > 0 && fileSize - body >= header.blockAlign
                                && !chunksToEnd(read, body, fileSize, order);
            if (unfinished) {
                const auto clamp = [](qint64 bytes) { return static_cast<quint32>(std::min<qint64>(bytes, 0xFFFFFFFF)); };
                header.patches = {patch(order, 4, clamp(fileSize - 8)), patch(order, chunk->at + 4, clamp(fileSize - body))};
                break;
            }
            // All ones is a size a writer left for later (or one ds64 did not give).
            if (size != 0xFFFFFFFF && size < (quint64(1) << 62) && static_cast<qint64>(size) > dataBytes)
                header.missingBytes = static_cast<qint64>(size) - dataBytes;
        }
    }
    // A count of 0 is what a writer leaves before it knows the length; all ones defers to ds64.
    qint64 frames = -1;
    if (hasFact && fact == 0xFFFFFFFF && rf64)
        frames = static_cast<qint64>(std::min<quint64>(chunks.ds64Frames(), quint64(1) << 48));
    else if (hasFact && fact != 0 && fact != 0xFFFFFFFF)
        frames = fact;
    // Trusted only where it ends in the last block the data holds, whole or cut (sox counts a
    // pad byte in): libsndfile's GSM 6.10 reader makes up a block after it, and libsndfile
    // writes half the count for stereo IMA ADPCM.
    const auto blocks = [](qint64 count, qint64 size) { return (count + size - 1) / size; };
    if (frames > 0 && !header.unfinished() && header.framesPerBlock > 0 && header.blockAlign > 0 && dataBytes > 0) {
        const qint64 factBlocks = blocks(frames, header.framesPerBlock);
        if (factBlocks == dataBytes / header.blockAlign || factBlocks == blocks(dataBytes, header.blockAlign))
            header.factFrames = frames;
    }
    return header;
}

std::optional<QString> unsupportedFormat(const WaveHeader &header)
{
    if (!header.hasFormat)
        return std::nullopt;
    const Format known = formatOf(header.tag);
    QString format = QStringLiteral("WAVE format 0x%1").arg(QString::number(header.tag, 16).toUpper().rightJustified(4, QLatin1Char('0')));
    if (known.name)
        format += QStringLiteral(" (%1)").arg(QString::fromUtf8(known.name));
    if (!known.decoded)
        return QStringLiteral("%1 is not supported.").arg(format);
    const bool pcmTooWide = header.tag == kPcm && header.bits > 32;
    const bool floatWidth = header.tag == kFloat && header.bits != 32 && header.bits != 64;
    if (pcmTooWide || floatWidth)
        return QStringLiteral("%1 with %2-bit samples is not supported.").arg(format).arg(header.bits);
    return std::nullopt;
}

PatchedFile::PatchedFile(int fd, qint64 size, std::vector<WaveHeader::Patch> patches)
    : m_fd(fd), m_size(size), m_patches(std::move(patches))
{
}

SF_VIRTUAL_IO *PatchedFile::io()
{
    static SF_VIRTUAL_IO calls {
        [](void *self) -> sf_count_t { return static_cast<PatchedFile *>(self)->m_size; },
        [](sf_count_t offset, int whence, void *self) -> sf_count_t {
            auto *file = static_cast<PatchedFile *>(self);
            const sf_count_t from = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? file->m_position : file->m_size;
            if (from + offset < 0)
                return -1;
            file->m_position = from + offset;
            return file->m_position;
        },
        [](void *out, sf_count_t count, void *self) -> sf_count_t {
            auto *file = static_cast<PatchedFile *>(self);
            ssize_t got;
            do
                got = ::pread(file->m_fd, out, static_cast<std::size_t>(count), file->m_position);
            while (got < 0 && errno == EINTR);
            if (got < 0)
                file->m_error = errno;
            if (got <= 0)
                return 0;
            for (const WaveHeader::Patch &patch : file->m_patches) {
                for (qint64 i = 0; i < 4; ++i) {
                    const qint64 at = patch.at + i - file->m_position;
                    if (at >= 0 && at < got)
                        static_cast<unsigned char *>(out)[at] = patch.bytes[i];
                }
            }
            file->m_position += got;
            return got;
        },
        [](const void *, sf_count_t, void *) -> sf_count_t { return 0; },
        [](void *self) -> sf_count_t { return static_cast<PatchedFile *>(self)->m_position; },
    };
    return &calls;
}
