#include "mp3check.h"

#include <QFile>

#include <mpg123.h>

#include <memory>

namespace {

struct HandleCloser
{
    void operator()(mpg123_handle *handle) const
    {
        mpg123_close(handle);
        mpg123_delete(handle);
    }
};

qint64 id3v2Size(const QByteArray &data)
{
    if (data.size() < 10 || !data.startsWith("ID3"))
        return 0;
    const auto byte = [&](int i) { return static_cast<qint64>(static_cast<unsigned char>(data[i]) & 0x7f); };
    const qint64 body = (byte(6) << 21) | (byte(7) << 14) | (byte(8) << 7) | byte(9);
    const bool footer = (static_cast<unsigned char>(data[5]) & 0x10) != 0;
    return 10 + body + (footer ? 10 : 0);
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
    const auto *bytes = reinterpret_cast<const unsigned char *>(data.constData());
    for (qint64 at = id3v2Size(data); at + 4 <= data.size(); ++at) {
        if (bytes[at] != 0xff || (bytes[at + 1] & 0xe0) != 0xe0)
            continue;
        const int version = (bytes[at + 1] >> 3) & 3; // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
        const int layer = (bytes[at + 1] >> 1) & 3;   // 1: layer III
        if (version == 1 || layer != 1)
            continue;
        const bool crc = (bytes[at + 1] & 1) == 0;
        const bool mono = (bytes[at + 3] >> 6) == 3;
        const int sideInfo = version == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17);
        const qint64 tag = at + 4 + (crc ? 2 : 0) + sideInfo;
        if (tag + 4 > data.size())
            return false;
        const QByteArray id = data.mid(tag, 4);
        return id == "Xing" || id == "Info";
    }
    return false;
}

Mp3Info decodeMp3(const QString &path, bool keepSamples)
{
    Mp3Info info;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failed(info, file.errorString());
    const QByteArray data = file.readAll();
    info.hasInfoTag = startsWithInfoFrame(data);
    info.hasId3v2 = data.startsWith("ID3");
    info.hasId3v1 = data.size() >= 128 && data.mid(data.size() - 128, 3) == "TAG";

    int error = MPG123_OK;
    std::unique_ptr<mpg123_handle, HandleCloser> handle(mpg123_new(nullptr, &error));
    if (!handle)
        return failed(info, QString::fromUtf8(mpg123_plain_strerror(error)));
    mpg123_handle *mh = handle.get();
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0);
    mpg123_format_none(mh);
    const long *rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i)
        mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
    if (mpg123_open(mh, QFile::encodeName(path).constData()) != MPG123_OK)
        return failed(info, QString::fromUtf8(mpg123_strerror(mh)));

    std::vector<float> block(16384);
    qint64 samples = 0;
    for (;;) {
        size_t bytes = 0;
        const int result = mpg123_read(mh, block.data(), block.size() * sizeof(float), &bytes);
        if (result == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0;
            int encoding = 0;
            mpg123_getformat(mh, &rate, &channels, &encoding);
            if (info.channels != 0 && (rate != info.rate || channels != info.channels))
                return failed(info, QStringLiteral("the format changes within the stream"));
            info.rate = static_cast<int>(rate);
            info.channels = channels;
        } else if (result != MPG123_OK && result != MPG123_DONE) {
            return failed(info, QString::fromUtf8(mpg123_strerror(mh)));
        }
        const size_t count = bytes / sizeof(float);
        samples += static_cast<qint64>(count);
        if (keepSamples)
            info.samples.insert(info.samples.end(), block.begin(), block.begin() + static_cast<long>(count));
        if (result == MPG123_DONE)
            break;
    }
    if (info.channels == 0)
        return failed(info, QStringLiteral("no MPEG audio found"));
    info.frames = samples / info.channels;
    info.ok = true;
    return info;
}
