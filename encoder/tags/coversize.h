#pragma once

#include "tagset.h"

#include <QByteArray>
#include <QStringList>

#include <optional>

// A JPEG's frame as its SOF marker gives it: the marker (0xC0 baseline, 0xC2 progressive...)
// and its size. Nothing where no frame header comes before the first scan.
struct JpegFrame
{
    int marker = 0;
    int width = 0;
    int height = 0;
};
std::optional<JpegFrame> jpegFrameOf(const QByteArray &data);

// The quality of the JPEGs made of covers: close to the scans they come from.
inline constexpr int kCoverQuality = 90;

// The pictures a device takes: with DeviceSettings::kNoCovers none; with a size, each larger on
// its longer side or not a baseline JPEG made a baseline JPEG that fits it (the same bytes on
// every machine), one that cannot be decoded left out with a line in warnings; with
// DeviceSettings::kKeepCovers all as they are. The same picture and size are made once.
void fitPictures(std::vector<Picture> &pictures, int coverSize, QStringList &warnings);
