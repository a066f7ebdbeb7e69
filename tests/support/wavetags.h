#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// WAVE files and their chunks written byte by byte, as other programs write them, valid and
// damaged: any field can be wrong.

// Numbers as RIFF (little-endian) and RIFX and ID3v2 (big-endian) hold them.
QByteArray le16(quint32 value);
QByteArray le32(quint64 value);
QByteArray be16(quint32 value);
QByteArray be32(quint64 value);

// A chunk: its id, the size its header declares (claimed < 0: the body's), the body and the pad
// byte an odd body takes.
QByteArray chunk(const QByteArray &id, const QByteArray &body, qint64 claimed = -1);
// A RIFF WAVE of the chunks; claimed < 0: the RIFF size they make.
QByteArray riff(const QByteArray &chunks, qint64 claimed = -1);
// WAVEFORMATEX: block align and byte rate follow from the other fields.
QByteArray fmtBody(quint16 tag, quint16 channels, quint64 rate, quint16 bits, const QByteArray &extra = {});

// One chunk: its id, its bytes, and the size its header declares (-1: the bytes' size).
struct WaveChunk
{
    QByteArray id;
    QByteArray body;
    qint64 declaredSize = -1;
};

// A LIST/INFO chunk of (id, text bytes) fields, each NUL-terminated and padded to even length.
WaveChunk infoChunk(const QList<QPair<QByteArray, QByteArray>> &fields);
// An INFO field with the raw size and bytes given, for damaged lists.
QByteArray infoField(const QByteArray &id, quint32 size, const QByteArray &bytes, bool pad = true);

// ID3v2.3 frames for an id3 chunk: a Latin-1 text frame, an APIC frame.
QByteArray id3TextFrame(const char *id, const QByteArray &latin1);
QByteArray id3PictureFrame(int type, const QByteArray &mime, const QByteArray &description, const QByteArray &data);
// An "id3 " chunk holding an ID3v2.3 tag of these frames.
WaveChunk id3Chunk(const QByteArray &frames);

// A bext chunk with the description, originator and origination date at their fixed offsets;
// fixedBytes cuts it short of its 602-byte fixed part.
WaveChunk bextChunk(const QByteArray &description, const QByteArray &originator, const QByteArray &date,
                    int fixedBytes = 602);

// Takes the WAVE at path and lays the chunks in after its data chunk (a chunk declaring more
// than it holds then runs past the end of the file); the RIFF size follows.
bool appendChunks(const QString &path, const QList<WaveChunk> &chunks);

// A FLAC's Vorbis comment or an AIFF's ID3 chunk written by TagLib, each property NAME=text as
// TagLib names it; a FLAC also gets png as a picture block (back cover, "Back side") unless empty.
bool tagWithTagLib(const QString &path, const QStringList &properties, const QByteArray &png = {});

// A small JPEG-signed and a PNG-signed picture of some size, distinct per seed.
QByteArray jpegBytes(int size, char seed = 'j');
QByteArray pngBytes(int size, char seed = 'p');
