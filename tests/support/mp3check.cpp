#include "mp3check.h"

#include <QFile>

#include <mpg123.h>

#include <memory>
#include <utility>

namespace {

struct HandleCloser
{
    void operator()(mpg123_handle *handle) const
    {
        mpg123_close(handle);
        mpg123_delete(handle);
    }
};

const unsigned char *bytesOf(const QByteArray &data)
{
    return reinterpret_cast<const unsigned char *>(data.constData());
}

quint32 bigEndian32(const QByteArray &data, qint64 at)
{
    const unsigned char *b = bytesOf(data) + at;
    return (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | quint32(b[3]);
}

qint64 id3v2Size(const QByteArray &data)
{
    if (data.size() < 10 || !data.startsWith("ID3"))
        return 0;
    const auto byte = [&](int i) { return static_cast<qint64>(static_cast<unsigned char>(data[i]) & 0x7f); };
    const qint64 body = (byte(6) << 21) | (byte(7) << 14) | (byte(8) << 7) | byte(9);
    const bool footer = (static_cast<unsigned char>(data[5]) & 0x10) != 0;
    return 10 + body + (footer ? 10 : 0);
}

// The first layer III frame header at or after from; -1 if there is none.
qint64 firstFrame(const QByteArray &data, qint64 from)
{
    const unsigned char *bytes = bytesOf(data);
    for (qint64 at = from; at + 4 <= data.size(); ++at) {
        if (bytes[at] != 0xff || (bytes[at + 1] & 0xe0) != 0xe0)
            continue;
        const int version = (bytes[at + 1] >> 3) & 3; // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
        const int layer = (bytes[at + 1] >> 1) & 3;   // 1: layer III
        if (version != 1 && layer == 1)
            return at;
    }
    return -1;
}

// Where the Xing/Info tag of the frame at `at` would start.
qint64 infoTagOffset(const QByteArray &data, qint64 at)
{
    const unsigned char *bytes = bytesOf(data);
    const int version = (bytes[at + 1] >> 3) & 3;
    const bool crc = (bytes[at + 1] & 1) == 0;
    const bool mono = (bytes[at + 3] >> 6) == 3;
    const int sideInfo = version == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    return at + 4 + (crc ? 2 : 0) + sideInfo;
}

void readInfoTag(const QByteArray &data, Mp3Info &info)
{
    if (info.firstFrameAt < 0)
        return;
    info.firstFrameHeader = bigEndian32(data, info.firstFrameAt);
    const qint64 tag = infoTagOffset(data, info.firstFrameAt);
    if (tag + 8 > data.size())
        return;
    const QByteArray id = data.mid(tag, 4);
    if (id != "Xing" && id != "Info")
        return;
    info.hasInfoTag = true;
    info.infoTagId = id;
    info.infoTagFlags = bigEndian32(data, tag + 4);
    if ((info.infoTagFlags & 1) != 0 && tag + 12 <= data.size())
        info.infoTagFrames = bigEndian32(data, tag + 8);

    // Then the fields the flags name: frames (4), bytes (4), seek table (100), quality (4).
    qint64 lame = tag + 8;
    for (const auto &[flag, size] : {std::pair{1u, 4}, std::pair{2u, 4}, std::pair{4u, 100}, std::pair{8u, 4}})
        lame += (info.infoTagFlags & flag) ? size : 0;
    if (lame + 36 > data.size() || data.mid(lame, 4) != "LAME")
        return;
    const unsigned char *ext = bytesOf(data) + lame;
    info.hasLameTag = true;
    if ((info.infoTagFlags & 8) != 0)
        info.infoTagQuality = bigEndian32(data, lame - 4);
    info.lameTagMethod = ext[9] & 0xf;
    info.lameTagBitrate = ext[20];
    info.lameTagPeak = bigEndian32(data, lame + 11);
    info.lameTagRadioGain = static_cast<quint16>((ext[15] << 8) | ext[16]);
    info.lameTagAudiophileGain = static_cast<quint16>((ext[17] << 8) | ext[18]);
    // CRC-16, polynomial 0x8005 bit-reversed, from 0.
    quint16 crc = 0;
    for (const unsigned char *b = bytesOf(data) + info.firstFrameAt; b < ext + 34; ++b) {
        crc ^= *b;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xa001) : static_cast<quint16>(crc >> 1);
    }
    info.lameTagCrcOk = crc == ((ext[34] << 8) | ext[35]);
}

QString latin1Field(const QByteArray &tag, int at, int size)
{
    QByteArray field = tag.mid(at, size);
    const qsizetype end = field.indexOf('\0');
    if (end >= 0)
        field.truncate(end);
    return QString::fromLatin1(field).trimmed();
}

void readId3v1(const QByteArray &data, Mp3Info &info)
{
    if (data.size() < 128 || data.mid(data.size() - 128, 3) != "TAG")
        return;
    const QByteArray tag = data.right(128);
    info.hasId3v1 = true;
    info.id3v1.title = latin1Field(tag, 3, 30);
    info.id3v1.artist = latin1Field(tag, 33, 30);
    info.id3v1.album = latin1Field(tag, 63, 30);
    info.id3v1.year = latin1Field(tag, 93, 4);
    info.id3v1.comment = latin1Field(tag, 97, 30);
    info.id3v1.genre = static_cast<unsigned char>(tag[127]);
    if (tag[125] == '\0')
        info.id3v1.track = static_cast<unsigned char>(tag[126]);
}

QString textOf(const mpg123_string &text)
{
    // fill counts the closing zero; some fields keep more than one
    QString decoded =
        text.p && text.fill > 0 ? QString::fromUtf8(text.p, static_cast<qsizetype>(text.fill) - 1) : QString();
    while (decoded.endsWith(QChar(0)))
        decoded.chop(1);
    return decoded;
}

void readId3v2Text(mpg123_handle *mh, Mp3Info &info)
{
    mpg123_id3v1 *v1 = nullptr;
    mpg123_id3v2 *v2 = nullptr;
    if (mpg123_id3(mh, &v1, &v2) != MPG123_OK || !v2)
        return;
    for (size_t i = 0; i < v2->texts; ++i) {
        const mpg123_text &text = v2->text[i];
        info.id3v2Text.insert(QString::fromLatin1(text.id, 4), textOf(text.text));
    }
    for (size_t i = 0; i < v2->extras; ++i)
        info.id3v2Extra.insert(textOf(v2->extra[i].description), textOf(v2->extra[i].text));
    if (v2->comments > 0)
        info.id3v2Comment = textOf(v2->comment_list[0].text);
    for (size_t i = 0; i < v2->pictures; ++i) {
        const mpg123_picture &p = v2->picture[i];
        info.pictures.push_back({static_cast<unsigned char>(p.type), textOf(p.mime_type), textOf(p.description),
                                 QByteArray(reinterpret_cast<const char *>(p.data), static_cast<qsizetype>(p.size))});
    }
}

ChannelMode modeOf(int mode)
{
    switch (mode) {
    case MPG123_M_JOINT:
        return ChannelMode::JointStereo;
    case MPG123_M_DUAL:
        return ChannelMode::DualChannel;
    case MPG123_M_MONO:
        return ChannelMode::Mono;
    default:
        return ChannelMode::Stereo;
    }
}

BitrateMode bitrateModeOf(int vbr)
{
    switch (vbr) {
    case MPG123_VBR:
        return BitrateMode::Variable;
    case MPG123_ABR:
        return BitrateMode::Average;
    default:
        return BitrateMode::Constant;
    }
}

Mp3Info failed(Mp3Info info, const QString &why)
{
    info.ok = false;
    info.error = why;
    return info;
}

} // namespace

bool startsWithInfoFrame(const QByteArray &data)
{
    Mp3Info info;
    info.firstFrameAt = firstFrame(data, id3v2Size(data));
    readInfoTag(data, info);
    return info.hasInfoTag;
}

Mp3Info decodeMp3(const QString &path, bool keepSamples)
{
    Mp3Info info;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failed(info, file.errorString());
    const QByteArray data = file.readAll();
    info.hasId3v2 = data.startsWith("ID3");
    info.id3v2Bytes = id3v2Size(data);
    info.firstFrameAt = firstFrame(data, info.id3v2Bytes);
    readInfoTag(data, info);
    readId3v1(data, info);

    int error = MPG123_OK;
    std::unique_ptr<mpg123_handle, HandleCloser> handle(mpg123_new(nullptr, &error));
    if (!handle)
        return failed(info, QString::fromUtf8(mpg123_plain_strerror(error)));
    mpg123_handle *mh = handle.get();
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET | MPG123_PICTURE, 0);
    mpg123_format_none(mh);
    const long *rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i)
        mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
    if (mpg123_open(mh, QFile::encodeName(path).constData()) != MPG123_OK)
        return failed(info, QString::fromUtf8(mpg123_strerror(mh)));

    qint64 samples = 0;
    for (;;) {
        off_t number = 0;
        unsigned char *audio = nullptr;
        size_t bytes = 0;
        const int result = mpg123_decode_frame(mh, &number, &audio, &bytes);
        if (result == MPG123_DONE)
            break;
        if (result == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0;
            int encoding = 0;
            mpg123_getformat(mh, &rate, &channels, &encoding);
            if (info.channels != 0 && (rate != info.rate || channels != info.channels))
                return failed(info, QStringLiteral("the format changes within the stream"));
            info.rate = static_cast<int>(rate);
            info.channels = channels;
            continue;
        }
        if (result != MPG123_OK)
            return failed(info, QString::fromUtf8(mpg123_strerror(mh)));

        mpg123_frameinfo2 frame {};
        if (mpg123_info2(mh, &frame) != MPG123_OK)
            return failed(info, QString::fromUtf8(mpg123_strerror(mh)));
        info.audioFrames.push_back({static_cast<int>(frame.rate), modeOf(frame.mode), frame.bitrate,
                                    frame.framesize, (frame.flags & MPG123_COPYRIGHT) != 0,
                                    (frame.flags & MPG123_ORIGINAL) != 0});
        info.bitrateMode = bitrateModeOf(frame.vbr);

        const size_t count = bytes / sizeof(float);
        samples += static_cast<qint64>(count);
        if (keepSamples) {
            const auto *decoded = reinterpret_cast<const float *>(audio);
            info.samples.insert(info.samples.end(), decoded, decoded + count);
        }
    }
    if (info.channels == 0)
        return failed(info, QStringLiteral("no MPEG audio found"));
    readId3v2Text(mh, info);
    info.frames = samples / info.channels;
    info.ok = true;
    return info;
}
