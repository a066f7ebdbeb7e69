#include "coversize.h"

#include "coverpixels.h"

#include <QHash>

#include <algorithm>
#include <mutex>

namespace {

bool isFrameMarker(int marker)
{
    // SOF0 to SOF15 but DHT (C4), JPG (C8) and DAC (CC).
    return marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
}

int be16(const QByteArray &data, qsizetype at)
{
    return (static_cast<unsigned char>(data[at]) << 8) | static_cast<unsigned char>(data[at + 1]);
}

// The picture as a baseline JPEG of at most size pixels on its longer side; nothing where it
// cannot be decoded.
std::optional<QByteArray> fitted(const QByteArray &data, int size)
{
    const bool png = data.startsWith("\x89PNG\r\n\x1a\n");
    std::optional<RgbImage> image = png ? decodePng(data) : decodeJpeg(data, size);
    if (!image)
        return std::nullopt;
    const int longer = std::max(image->width, image->height);
    if (longer > size) {
        const auto shorter = [&](int side) {
            return std::max(1, static_cast<int>((static_cast<long long>(side) * size + longer / 2) / longer));
        };
        image = scaleDown(*image, shorter(image->width), shorter(image->height));
    }
    QByteArray jpeg = encodeBaselineJpeg(*image, kCoverQuality);
    return jpeg.isEmpty() ? std::nullopt : std::optional<QByteArray>(std::move(jpeg));
}

// A batch gives every track of an album the same cover: it is made once. A few are kept, the
// ones of the albums being converted at the time.
std::optional<QByteArray> fittedOnce(const QByteArray &data, int size)
{
    static std::mutex mutex;
    static QHash<QByteArray, std::pair<int, std::optional<QByteArray>>> made;
    {
        const std::lock_guard lock(mutex);
        const auto known = made.constFind(data);
        if (known != made.constEnd() && known->first == size)
            return known->second;
    }
    std::optional<QByteArray> result = fitted(data, size);
    const std::lock_guard lock(mutex);
    if (made.size() >= 16)
        made.clear();
    made.insert(data, {size, result});
    return result;
}

} // namespace

std::optional<JpegFrame> jpegFrameOf(const QByteArray &data)
{
    if (!data.startsWith("\xff\xd8"))
        return std::nullopt;
    qsizetype at = 2;
    while (at + 4 <= data.size()) {
        if (static_cast<unsigned char>(data[at]) != 0xff)
            return std::nullopt;
        const int marker = static_cast<unsigned char>(data[at + 1]);
        if (marker == 0xff) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7)) { // no length
            at += 2;
            continue;
        }
        if (marker == 0xda || marker == 0xd9) // the first scan, or the end
            return std::nullopt;
        const int length = be16(data, at + 2);
        if (isFrameMarker(marker)) {
            if (at + 9 > data.size())
                return std::nullopt;
            return JpegFrame {marker, be16(data, at + 7), be16(data, at + 5)};
        }
        at += 2 + length;
    }
    return std::nullopt;
}

void fitPictures(std::vector<Picture> &pictures, int coverSize, QStringList &warnings)
{
    if (coverSize == DeviceSettings::kKeepCovers)
        return;
    if (coverSize == DeviceSettings::kNoCovers) {
        pictures.clear();
        return;
    }
    std::vector<Picture> kept;
    for (Picture &picture : pictures) {
        const std::optional<JpegFrame> frame = jpegFrameOf(picture.data);
        if (frame && frame->marker == 0xc0 && std::max(frame->width, frame->height) <= coverSize) {
            kept.push_back(std::move(picture));
            continue;
        }
        std::optional<QByteArray> jpeg = fittedOnce(picture.data, coverSize);
        if (!jpeg) {
            warnings << QStringLiteral("A picture of %1 bytes is left out: it cannot be decoded to make it %2 pixels.")
                            .arg(picture.data.size())
                            .arg(coverSize);
            continue;
        }
        picture.data = std::move(*jpeg);
        picture.mimeType = QStringLiteral("image/jpeg");
        kept.push_back(std::move(picture));
    }
    pictures = std::move(kept);
}
