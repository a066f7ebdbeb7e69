#include "sourcetags.h"
#include "legacytext.h"

#include <QBuffer>
#include <QFile>

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/wavfile.h>

#include <mutex>

namespace {

constexpr int kMaxChunks = 4096;          // a chunk list longer than this is not a WAVE's
constexpr qint64 kMaxInfoBytes = 16 << 20; // INFO holds a few short texts
constexpr qint64 kMaxId3Bytes = 10 + 0x0fffffff + 10; // the largest ID3v2 tag, footer included
constexpr qint64 kBextFixedBytes = 602;   // up to the coding history

quint32 le32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint32(u[0]) | quint32(u[1]) << 8 | quint32(u[2]) << 16 | quint32(u[3]) << 24;
}

quint64 le64(const char *p)
{
    return quint64(le32(p)) | quint64(le32(p + 4)) << 32;
}

void putLe32(QByteArray &out, quint32 value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.append(static_cast<char>((value >> shift) & 0xff));
}

bool isChunkId(const QByteArray &id)
{
    return id.size() == 4 && std::all_of(id.begin(), id.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
}

QString fromTagLib(const TagLib::String &text)
{
    return QString::fromStdString(text.to8Bit(true));
}

// INFO texts as older Windows tools write them, for TagLib.
class LegacyTextHandler : public TagLib::RIFF::Info::StringHandler
{
public:
    TagLib::String parse(const TagLib::ByteVector &data) const override
    {
        const QString text = decodeLegacyText(QByteArray(data.data(), static_cast<qsizetype>(data.size())));
        return TagLib::String(text.toStdString(), TagLib::String::UTF8);
    }
};

// TagLib takes the handler for every INFO tag in the process, so it is set once.
void useLegacyTextHandler()
{
    static std::once_flag once;
    static LegacyTextHandler handler;
    std::call_once(once, [] { TagLib::RIFF::Info::Tag::setStringHandler(&handler); });
}

// The year a date starts with ("2019-05-01" gives "2019"); other texts as they are.
QString yearOf(const QString &date)
{
    const auto digit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    if (date.size() > 4 && std::all_of(date.begin(), date.begin() + 4, digit) && !digit(date[4]))
        return date.left(4);
    return date;
}

struct Chunk
{
    QByteArray id;
    qint64 body;
    qint64 size;
};

class Reader
{
public:
    explicit Reader(QIODevice &device) : m_device(device), m_size(device.size()) {}

    SourceTagRead read()
    {
        const QByteArray header = bytesAt(0, 12);
        const QByteArray form = header.left(4);
        if (header.size() < 12 || (form != "RIFF" && form != "RF64" && form != "BW64") || header.mid(8, 4) != "WAVE")
            return {};
        listChunks(form != "RIFF");

        QByteArray info;
        QByteArray id3;
        for (const Chunk &chunk : m_chunks) {
            if (chunk.id == "LIST" && info.isEmpty() && bytesAt(chunk.body, 4) == "INFO")
                info = infoChunk(chunk);
            else if ((chunk.id == "id3 " || chunk.id == "ID3 ") && id3.isEmpty())
                id3 = id3Chunk(chunk);
            else if (chunk.id == "bext" && m_result.tags.bext.empty())
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

    void listChunks(bool rf64)
    {
        qint64 rf64Data = -1;
        qint64 at = 12;
        for (int n = 0; n < kMaxChunks && at + 8 <= m_size; ++n) {
            const QByteArray head = bytesAt(at, 8);
            const QByteArray id = head.left(4);
            if (head.size() < 8 || !isChunkId(id))
                return; // trailing bytes that are no chunk
            qint64 size = le32(head.constData() + 4);
            if (rf64 && id == "ds64" && size >= 16) {
                const QByteArray ds64 = bytesAt(at + 8, 16);
                if (ds64.size() == 16)
                    rf64Data = static_cast<qint64>(std::min<quint64>(le64(ds64.constData() + 8), quint64(m_size)));
            }
            if (rf64 && id == "data" && size == 0xffffffff && rf64Data >= 0)
                size = rf64Data;
            const qint64 body = at + 8;
            if (size > m_size - body) {
                // An audio chunk cut short is the audio's matter; the tags before it still count.
                if (id != "data")
                    warn(QStringLiteral("The input's '%1' chunk runs past the end of the file: the tags in "
                                        "and after it are left out.")
                             .arg(QString::fromLatin1(id)));
                return;
            }
            m_chunks.push_back({id, body, size});
            at = body + size + (size & 1);
        }
    }

    // The INFO chunk rebuilt from its readable fields: a field longer than what is left ends
    // it; a field whose pad byte is missing is taken as its writer meant it.
    QByteArray infoChunk(const Chunk &chunk)
    {
        if (chunk.size > kMaxInfoBytes) {
            warn(QStringLiteral("The input's INFO chunk is larger than 16 MB: it is left out."));
            return {};
        }
        const QByteArray body = bytesAt(chunk.body, chunk.size);
        QByteArray fields("INFO");
        qint64 at = 4;
        while (at + 8 <= body.size()) {
            const QByteArray id = body.mid(at, 4);
            if (!isChunkId(id)) {
                warn(QStringLiteral("The input's INFO chunk is damaged: its fields from byte %1 on are left out.")
                         .arg(at));
                break;
            }
            const qint64 size = le32(body.constData() + at + 4);
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
            if ((size & 1) && at + 4 <= body.size() && !isChunkId(body.mid(at, 4)) && isChunkId(body.mid(end, 4)))
                at = end;
        }
        return fields.size() > 4 ? fields : QByteArray();
    }

    QByteArray id3Chunk(const Chunk &chunk)
    {
        if (chunk.size > kMaxId3Bytes) {
            warn(QStringLiteral("The input's id3 chunk is larger than any ID3v2 tag: it is left out."));
            return {};
        }
        const QByteArray body = bytesAt(chunk.body, chunk.size);
        const auto *u = reinterpret_cast<const unsigned char *>(body.constData());
        const bool header = body.size() >= 10 && body.startsWith("ID3") && u[3] >= 2 && u[3] <= 4 && u[4] != 0xff
                            && (u[6] | u[7] | u[8] | u[9]) < 0x80;
        if (!header) {
            warn(QStringLiteral("The input's id3 chunk holds no ID3v2 tag: it is left out."));
            return {};
        }
        const qint64 tagSize = 10 + (qint64(u[6]) << 21 | qint64(u[7]) << 14 | qint64(u[8]) << 7 | u[9])
                               + (u[3] == 4 && (u[5] & 0x10) ? 10 : 0);
        if (tagSize > body.size()) {
            warn(QStringLiteral("The input's id3 chunk is damaged: its tag runs past the chunk; it is left out."));
            return {};
        }
        m_id3HasFrames = std::any_of(body.begin() + 10, body.begin() + tagSize, [](char c) { return c != '\0'; });
        return body.left(tagSize);
    }

    void readBext(const Chunk &chunk)
    {
        if (chunk.size < kBextFixedBytes) {
            warn(QStringLiteral("The input's bext chunk is shorter than its fixed part: it is left out."));
            return;
        }
        const QByteArray fixed = bytesAt(chunk.body, kBextFixedBytes);
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
        useLegacyTextHandler();
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

        TagLib::ByteVectorStream stream(TagLib::ByteVector(riff.constData(), static_cast<unsigned int>(riff.size())));
        riff.clear();
        TagLib::RIFF::WAV::File file(&stream, false);
        if (!file.isValid())
            return;
        if (file.hasInfoTag())
            readInfo(*file.InfoTag());
        if (file.hasID3v2Tag())
            readId3(*file.ID3v2Tag());
    }

    void readInfo(TagLib::RIFF::Info::Tag &tag)
    {
        for (const TagField &field : allTagFields()) {
            for (const char *id : field.infoIds) {
                if (!id || m_result.tags.info.texts.contains(field.key))
                    continue;
                const QString text = fromTagLib(tag.fieldText(TagLib::ByteVector(id, 4)));
                m_result.tags.info.setText(field.key, field.key == TagKey::Year ? yearOf(text) : text);
            }
        }
    }

    void readId3(TagLib::ID3v2::Tag &tag)
    {
        TagSet &id3 = m_result.tags.id3;
        const TagLib::ID3v2::FrameListMap &frames = tag.frameListMap();
        if (frames.isEmpty() && m_id3HasFrames)
            warn(QStringLiteral("The input's id3 chunk is damaged: its tags are left out."));
        for (const TagField &field : allTagFields()) {
            QString text;
            switch (field.key) {
            case TagKey::Genre: // names for the numbers of older tags
                text = fromTagLib(tag.genre());
                break;
            case TagKey::Comment:
                text = fromTagLib(tag.comment());
                break;
            case TagKey::Year: { // TagLib reads an ID3v2.3 TYER as TDRC
                const auto found = frames.find("TDRC");
                if (found != frames.end() && !found->second.isEmpty())
                    text = yearOf(fromTagLib(found->second.front()->toString()));
                break;
            }
            default: {
                const auto found = frames.find(TagLib::ByteVector(field.id3v2Frame, 4));
                if (found != frames.end() && !found->second.isEmpty())
                    text = fromTagLib(found->second.front()->toString());
            }
            }
            id3.setText(field.key, text);
        }
        const auto pictures = frames.find("APIC");
        if (pictures == frames.end())
            return;
        for (const TagLib::ID3v2::Frame *frame : pictures->second) {
            const auto *apic = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame *>(frame);
            if (!apic)
                continue;
            const TagLib::ByteVector data = apic->picture();
            if (data.size() > kMaxPictureBytes) {
                warn(QStringLiteral("A picture of %1 MB in the input's id3 chunk is left out: pictures are kept up "
                                    "to 16 MB.")
                         .arg(data.size() / double(1 << 20), 0, 'f', 1));
                continue;
            }
            id3.pictures.push_back({static_cast<int>(apic->type()), fromTagLib(apic->mimeType()),
                                    fromTagLib(apic->description()),
                                    QByteArray(data.data(), static_cast<qsizetype>(data.size()))});
        }
    }

    QIODevice &m_device;
    qint64 m_size;
    std::vector<Chunk> m_chunks;
    bool m_id3HasFrames = false;
    SourceTagRead m_result;
};

} // namespace

SourceTagRead readSourceTags(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return Reader(file).read();
}

SourceTagRead readSourceTags(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    return Reader(buffer).read();
}
