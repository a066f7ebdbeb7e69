#include "sourcetags.h"
#include "cuetags.h"
#include "id3render.h"
#include "taglibread.h"
#include "encoder/input/legacytext.h"
#include "encoder/input/riffchunks.h"
#include "encoder/input/sourceformat.h"

#include <QBuffer>
#include <QFile>

#include <taglib/tbytevectorstream.h>
#include <taglib/tfilestream.h>

#include <algorithm>
#include <utility>

namespace {

constexpr qint64 kMaxInfoBytes = 16 << 20; // INFO holds a few short texts
constexpr qint64 kMaxId3Bytes = 10 + kMaxId3v2Body + 10; // the largest ID3v2 tag, footer included
constexpr qint64 kBextFixedBytes = 602;   // up to the coding history
constexpr WaveByteOrder kLittleEndian {};

void putLe32(QByteArray &out, quint32 value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.append(static_cast<char>((value >> shift) & 0xff));
}

class Reader
{
public:
    explicit Reader(QIODevice &device) : m_device(device), m_size(device.size()) {}

    SourceTagRead read()
    {
        RiffChunks chunks([this](qint64 at, void *out, std::size_t size) {
            return m_device.seek(at) && m_device.read(static_cast<char *>(out), static_cast<qint64>(size)) == qint64(size);
        }, m_size);
        // INFO's fields and TagLib are little-endian: a RIFX's tags are not read.
        if (!chunks.container() || chunks.order().big)
            return {};
        listChunks(chunks);

        QByteArray info;
        QByteArray id3;
        for (const RiffChunk &chunk : m_chunks) {
            if (chunk.is("LIST") && info.isEmpty() && bytesAt(chunk.body(), 4) == "INFO")
                info = infoChunk(chunk);
            else if ((chunk.is("id3 ") || chunk.is("ID3 ")) && id3.isEmpty())
                id3 = id3Chunk(chunk);
            else if (chunk.is("bext") && m_result.tags.bext.empty())
                readBext(chunk);
        }
        if (!info.isEmpty() || !id3.isEmpty())
            readWithTagLib(info, id3);
        return std::move(m_result);
    }

private:
    QByteArray bytesAt(qint64 at, qint64 size)
    {
        if (!m_device.seek(at))
            return {};
        return m_device.read(size);
    }

    void warn(const QString &text) { m_result.warnings << text; }

    // The chunks up to the first one that is no chunk or runs past the end of the file.
    void listChunks(RiffChunks &chunks)
    {
        while (const std::optional<RiffChunk> chunk = chunks.next()) {
            if (!isChunkId(chunk->id))
                return; // trailing bytes that are no chunk
            if (chunk->size > static_cast<quint64>(m_size - chunk->body())) {
                // An audio chunk cut short is the audio's matter; the tags before it still count.
                if (!chunk->is("data"))
                    warn(QStringLiteral("The input's '%1' chunk runs past the end of the file: the tags in "
                                        "and after it are left out.")
                             .arg(QString::fromLatin1(chunk->id, 4)));
                return;
            }
            m_chunks.push_back(*chunk);
        }
    }

    // The INFO chunk rebuilt from its readable fields: a field longer than what is left ends
    // it; a field whose pad byte is missing is taken as its writer meant it.
    QByteArray infoChunk(const RiffChunk &chunk)
    {
        if (qint64(chunk.size) > kMaxInfoBytes) {
            warn(QStringLiteral("The input's INFO chunk is larger than %1: it is left out.").arg(megabytes(kMaxInfoBytes)));
            return {};
        }
        const QByteArray body = bytesAt(chunk.body(), qint64(chunk.size));
        QByteArray fields("INFO");
        qint64 at = 4;
        while (at + 8 <= body.size()) {
            const QByteArray id = body.mid(at, 4);
            if (!isChunkId(id.constData())) {
                warn(QStringLiteral("The input's INFO chunk is damaged: its fields from byte %1 on are left out.")
                         .arg(at));
                break;
            }
            const qint64 size = kLittleEndian.u32(reinterpret_cast<const unsigned char *>(body.constData()) + at + 4);
            if (size > body.size() - at - 8) {
                warn(QStringLiteral("The input's INFO chunk is damaged: its field '%1' is longer than the chunk; "
                                    "it and the fields after it are left out.")
                         .arg(QString::fromLatin1(id)));
                break;
            }
            fields.append(id);
            putLe32(fields, static_cast<quint32>(size));
            fields.append(body.mid(at + 8, size));
            if (size & 1)
                fields.append('\0');
            const qint64 end = at + 8 + size;
            at = end + (size & 1);
            if ((size & 1) && at + 4 <= body.size() && !isChunkId(body.constData() + at) && isChunkId(body.constData() + end))
                at = end;
        }
        return fields.size() > 4 ? fields : QByteArray();
    }

    QByteArray id3Chunk(const RiffChunk &chunk)
    {
        if (qint64(chunk.size) > kMaxId3Bytes) {
            warn(QStringLiteral("The input's id3 chunk is larger than any ID3v2 tag: it is left out."));
            return {};
        }
        const QByteArray body = bytesAt(chunk.body(), qint64(chunk.size));
        const qint64 tagSize = id3v2TagSize(body);
        if (tagSize == 0) {
            warn(QStringLiteral("The input's id3 chunk holds no ID3v2 tag: it is left out."));
            return {};
        }
        if (tagSize > body.size()) {
            warn(QStringLiteral("The input's id3 chunk is damaged: its tag runs past the chunk; it is left out."));
            return {};
        }
        m_id3HasFrames = std::any_of(body.begin() + 10, body.begin() + tagSize, [](char c) { return c != '\0'; });
        return body.left(tagSize);
    }

    void readBext(const RiffChunk &chunk)
    {
        if (qint64(chunk.size) < kBextFixedBytes) {
            warn(QStringLiteral("The input's bext chunk is shorter than its fixed part: it is left out."));
            return;
        }
        const QByteArray fixed = bytesAt(chunk.body(), kBextFixedBytes);
        if (fixed.size() < kBextFixedBytes)
            return;
        TagSet &bext = m_result.tags.bext;
        bext.setText(TagKey::Comment, decodeLegacyText(fixed.mid(0, 256)).trimmed());
        bext.setText(TagKey::EncodedBy, decodeLegacyText(fixed.mid(256, 32)).trimmed());
        bext.setText(TagKey::Year, yearOf(decodeLegacyText(fixed.mid(320, 10)).trimmed()));
    }

    // TagLib reads the checked INFO and id3 chunks, in a WAVE of their own: damage elsewhere in
    // the file cannot keep it from them.
    void readWithTagLib(const QByteArray &info, const QByteArray &id3)
    {
        QByteArray riff("RIFF\0\0\0\0WAVE", 12);
        const auto append = [&riff](const char *id, const QByteArray &body) {
            if (body.isEmpty())
                return;
            riff.append(id, 4);
            putLe32(riff, static_cast<quint32>(body.size()));
            riff.append(body);
            if (body.size() & 1)
                riff.append('\0');
        };
        append("LIST", info);
        append("id3 ", id3);
        const quint32 riffSize = static_cast<quint32>(riff.size() - 8);
        for (int i = 0; i < 4; ++i)
            riff[4 + i] = static_cast<char>((riffSize >> (8 * i)) & 0xff);

        readTagLibWave(std::move(riff), m_id3HasFrames, m_result);
    }

    QIODevice &m_device;
    qint64 m_size;
    std::vector<RiffChunk> m_chunks;
    bool m_id3HasFrames = false;
    SourceTagRead m_result;
};

std::optional<SourceFormat> formatOf(QIODevice &device)
{
    return sourceFormatOf([&device](qint64 at, void *out, std::size_t size) {
        return device.seek(at) && device.read(static_cast<char *>(out), qint64(size)) == qint64(size);
    });
}

// A FLAC's or an AIFF's tags, which TagLib finds in the file by itself.
SourceTagRead readWithTagLib(SourceFormat format, TagLib::IOStream &stream)
{
    SourceTagRead read;
    if (format == SourceFormat::Flac)
        readTagLibFlac(stream, read);
    else
        readTagLibAiff(stream, read);
    return read;
}

} // namespace

SourceTagRead readSourceTags(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const std::optional<SourceFormat> format = formatOf(file);
    if (!format || *format == SourceFormat::Wave)
        return Reader(file).read();
    TagLib::FileStream stream(QFile::encodeName(path).constData(), true);
    return stream.isOpen() ? readWithTagLib(*format, stream) : SourceTagRead();
}

SourceTagRead readSourceTags(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    const std::optional<SourceFormat> format = formatOf(buffer);
    if (!format || *format == SourceFormat::Wave)
        return Reader(buffer).read();
    TagLib::ByteVectorStream stream(TagLib::ByteVector(bytes.constData(), static_cast<unsigned int>(bytes.size())));
    return readWithTagLib(*format, stream);
}

std::optional<SourceTagRead> readSourceTags(const EncoderSettings &settings)
{
    if (!settings.sourceTags || settings.rawPcm)
        return std::nullopt;
    SourceTagRead read = readSourceTags(settings.inputFile);
    if (!settings.cueSheet.isEmpty()) {
        // The batch read the sheet whole before it cut the track, so it reads again here.
        if (const Result<CueSheet> sheet = readCueSheet(settings.cueSheet)) {
            const auto track = std::find_if(sheet->tracks.begin(), sheet->tracks.end(),
                                            [&](const CueTrack &t) { return t.number == settings.cueTrack; });
            read.tags.sheet = cueTrackTags(*sheet, track != sheet->tracks.end() ? *track : CueTrack {});
        }
    }
    return read;
}
