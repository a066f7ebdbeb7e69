#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// WAVE tag chunks written byte by byte, as other programs write them, valid and damaged.

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

// A small JPEG-signed and a PNG-signed picture of some size, distinct per seed.
QByteArray jpegBytes(int size, char seed = 'j');
QByteArray pngBytes(int size, char seed = 'p');
