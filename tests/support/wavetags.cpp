#include "wavetags.h"

#include <QFile>
#include <QtEndian>

#include <taglib/aifffile.h>
#include <taglib/flacfile.h>
#include <taglib/tpropertymap.h>

namespace {

template <typename T>
QByteArray number(quint64 value, bool bigEndian)
{
    QByteArray bytes(sizeof(T), 0);
    if (bigEndian)
        qToBigEndian<T>(static_cast<T>(value), bytes.data());
    else
        qToLittleEndian<T>(static_cast<T>(value), bytes.data());
    return bytes;
}

} // namespace

QByteArray le16(quint32 value) { return number<quint16>(value, false); }
QByteArray le32(quint64 value) { return number<quint32>(value, false); }
QByteArray be16(quint32 value) { return number<quint16>(value, true); }
QByteArray be32(quint64 value) { return number<quint32>(value, true); }

QByteArray chunk(const QByteArray &id, const QByteArray &body, qint64 claimed)
{
    QByteArray bytes = id + le32(claimed < 0 ? body.size() : claimed) + body;
    if (body.size() % 2)
        bytes += '\0';
    return bytes;
}

QByteArray riff(const QByteArray &chunks, qint64 claimed)
{
    return "RIFF" + le32(claimed < 0 ? chunks.size() + 4 : claimed) + "WAVE" + chunks;
}

QByteArray fmtBody(quint16 tag, quint16 channels, quint64 rate, quint16 bits, const QByteArray &extra)
{
    const quint32 blockAlign = channels * ((bits + 7) / 8);
    return le16(tag) + le16(channels) + le32(rate) + le32(rate * blockAlign) + le16(blockAlign) + le16(bits)
           + extra;
}

QByteArray infoField(const QByteArray &id, quint32 size, const QByteArray &bytes, bool pad)
{
    QByteArray out = id + le32(size);
    out.append(bytes);
    if (pad && (bytes.size() & 1))
        out.append('\0');
    return out;
}

WaveChunk infoChunk(const QList<QPair<QByteArray, QByteArray>> &fields)
{
    QByteArray body("INFO");
    for (const auto &[id, text] : fields) {
        const QByteArray bytes = text + '\0';
        body.append(infoField(id, static_cast<quint32>(bytes.size()), bytes));
    }
    return {"LIST", body};
}

QByteArray id3TextFrame(const char *id, const QByteArray &latin1)
{
    QByteArray out = QByteArray(id, 4) + be32(latin1.size() + 1);
    out.append("\0\0\0", 3); // flags, then ISO-8859-1
    out.append(latin1);
    return out;
}

QByteArray id3PictureFrame(int type, const QByteArray &mime, const QByteArray &description, const QByteArray &data)
{
    QByteArray body("\0", 1);
    body.append(mime).append('\0');
    body.append(static_cast<char>(type));
    body.append(description).append('\0');
    body.append(data);
    QByteArray out = "APIC" + be32(body.size());
    out.append("\0\0", 2);
    out.append(body);
    return out;
}

WaveChunk id3Chunk(const QByteArray &frames)
{
    QByteArray tag("ID3\x03\0\0", 6);
    const auto size = static_cast<quint32>(frames.size());
    for (int s = 21; s >= 0; s -= 7)
        tag.append(static_cast<char>((size >> s) & 0x7f));
    tag.append(frames);
    return {"id3 ", tag};
}

WaveChunk bextChunk(const QByteArray &description, const QByteArray &originator, const QByteArray &date,
                    int fixedBytes)
{
    QByteArray body(602, '\0');
    body.replace(0, description.size(), description);
    body.replace(256, originator.size(), originator);
    body.replace(320, date.size(), date);
    body.replace(330, 8, "12:34:56");
    body.truncate(fixedBytes);
    return {"bext", body};
}

bool appendChunks(const QString &path, const QList<WaveChunk> &chunks)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray data = file.readAll();
    if (data.size() & 1)
        data.append('\0');
    for (const WaveChunk &added : chunks)
        data.append(chunk(added.id, added.body, added.declaredSize));
    data.replace(4, 4, le32(data.size() - 8));
    return file.seek(0) && file.write(data) == data.size();
}

QByteArray jpegBytes(int size, char seed)
{
    QByteArray out("\xff\xd8\xff\xe0", 4);
    for (int i = 0; out.size() < size; ++i)
        out.append(static_cast<char>(seed + i * 31));
    return out;
}

QByteArray pngBytes(int size, char seed)
{
    QByteArray out("\x89PNG\r\n\x1a\n", 8);
    for (int i = 0; out.size() < size; ++i)
        out.append(static_cast<char>(seed + i * 17));
    return out;
}

bool tagWithTagLib(const QString &path, const QStringList &properties, const QByteArray &png)
{
    TagLib::PropertyMap map;
    for (const QString &property : properties)
        map.insert(property.section('=', 0, 0).toStdString(),
                   TagLib::String(property.section('=', 1).toStdString(), TagLib::String::UTF8));
    if (!path.endsWith(QLatin1String(".flac"))) {
        TagLib::RIFF::AIFF::File file(QFile::encodeName(path).constData());
        file.setProperties(map);
        return file.save();
    }
    TagLib::FLAC::File file(QFile::encodeName(path).constData());
    file.setProperties(map);
    if (!png.isEmpty()) {
        auto *picture = new TagLib::FLAC::Picture;
        picture->setType(TagLib::FLAC::Picture::BackCover);
        picture->setMimeType("image/png");
        picture->setDescription("Back side");
        picture->setData(TagLib::ByteVector(png.constData(), static_cast<unsigned int>(png.size())));
        file.addPicture(picture);
    }
    return file.save();
}
