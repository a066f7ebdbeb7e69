#include "mp3length.h"

#include "encoder/input/audiosource.h"
#include "encoder/input/sourceformat.h"
#include "encoder/mp3/frames.h"

#include <QFile>

#include <cmath>

namespace {

quint32 bigEndian32(const QByteArray &data, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return quint32(static_cast<unsigned char>(data[at + i])); };
    return (byte(0) << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3);
}

// LAME's extension of the Xing/Info tag: the encoder delay and padding (12 bits each) and the
// music length (bytes from the info frame through the last audio frame).
constexpr int kLameDelayAt = 21;
constexpr int kLameMusicLengthAt = 28;
constexpr int kLameExtensionBytes = 36;
constexpr qsizetype kId3v1Bytes = 128;

} // namespace

std::optional<Mp3Length> readMp3Length(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const qint64 size = file.size();
    const qint64 tagBytes = id3v2TagSize(file.read(10));
    if (!file.seek(tagBytes))
        return std::nullopt;
    const QByteArray head = file.read(4096);
    const auto *bytes = reinterpret_cast<const unsigned char *>(head.constData());
    const std::optional<FrameHeader> header = parseHeader(bytes, std::size_t(head.size()));
    if (!header || header->size > head.size())
        return std::nullopt;
    const qsizetype tag = header->sideInfoEnd;
    const QByteArray id = head.mid(tag, 4);
    if ((id != "Xing" && id != "Info") || tag + 8 > head.size())
        return std::nullopt;
    const quint32 flags = bigEndian32(head, tag + 4);
    if ((flags & 1) == 0)
        return std::nullopt;
    const qint64 frames = bigEndian32(head, tag + 8);
    // The fields the flags name: frames (4), bytes (4), seek table (100), quality (4).
    qsizetype lame = tag + 8;
    for (const auto &[flag, bytesOfField] : {std::pair {1u, 4}, std::pair {2u, 4}, std::pair {4u, 100}, std::pair {8u, 4}})
        lame += (flags & flag) ? bytesOfField : 0;
    if (lame + kLameExtensionBytes > head.size() || head.mid(lame, 4) != "LAME")
        return std::nullopt;
    const auto ext = [&](int at) { return static_cast<unsigned char>(head[lame + at]); };
    const int delay = (ext(kLameDelayAt) << 4) | (ext(kLameDelayAt + 1) >> 4);
    const int padding = ((ext(kLameDelayAt + 1) & 0xf) << 8) | ext(kLameDelayAt + 2);
    const qint64 music = bigEndian32(head, lame + kLameMusicLengthAt);

    Mp3Length length;
    length.sampleRate = header->sampleRate;
    length.samples = frames * header->samples - delay - padding;
    // The audio is followed by nothing or by an ID3v1 tag.
    qint64 audioEnd = size;
    if (size - kId3v1Bytes >= tagBytes + music && file.seek(size - kId3v1Bytes) && file.read(3) == "TAG")
        audioEnd = size - kId3v1Bytes;
    length.whole = audioEnd - tagBytes == music;
    return length;
}

std::optional<qint64> expectedSamples(const QString &input, const FrameRange &range, int mp3Rate)
{
    AudioSource source;
    if (!source.open(input, false, false, range))
        return std::nullopt;
    const InputInfo &info = source.info();
    const qint64 frames = info.frames - info.missingFrames;
    if (info.sampleRate == mp3Rate)
        return frames;
    return std::llround(double(frames) * mp3Rate / info.sampleRate);
}
