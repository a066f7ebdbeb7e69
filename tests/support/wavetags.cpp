#include "wavetags.h"

#include <QFile>

namespace {

void putLe32(QByteArray &out, quint32 v)
{
    for (int s = 0; s < 32; s += 8)
        out.append(static_cast<char>((v >> s) & 0xff));
}

void putBe32(QByteArray &out, quint32 v)
{
    for (int s = 24; s >= 0; s -= 8)
        out.append(static_cast<char>((v >> s) & 0xff));
}

} // namespace

QByteArray infoField(const QByteArray &id, quint32 size, const QByteArray &bytes, bool pad)
{
    QByteArray out = id;
    putLe32(out, size);
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
    QByteArray out(id, 4);
    putBe32(out, static_cast<quint32>(latin1.size() + 1));
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
    QByteArray out("APIC");
    putBe32(out, static_cast<quint32>(body.size()));
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
    for (const WaveChunk &chunk : chunks) {
        data.append(chunk.id);
        putLe32(data, static_cast<quint32>(chunk.declaredSize >= 0 ? chunk.declaredSize : chunk.body.size()));
        data.append(chunk.body);
        if (chunk.body.size() & 1)
            data.append('\0');
    }
    QByteArray riffSize;
    putLe32(riffSize, static_cast<quint32>(data.size() - 8));
    data.replace(4, 4, riffSize);
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
