#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// A cover picture's pixels, 8-bit RGB, row after row.
struct RgbImage
{
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
};

// The largest side a cover is decoded with: a JPEG or PNG may claim 65535 × 65535 pixels in a
// few bytes, which would take gigabytes.
inline constexpr int kMaxCoverSide = 16384;

// A JPEG's pixels (libjpeg-turbo), at 1/2, 1/4 or 1/8 of its size where that still leaves
// atLeast pixels on its longer side: a scan of thousands of pixels is made small while it is
// decoded. Integer DCT only, so the pixels are the same on every machine. Nothing where the
// data is no JPEG it can decode.
std::optional<RgbImage> decodeJpeg(const QByteArray &data, int atLeast);
// A PNG's pixels (libpng), transparency laid over white.
std::optional<RgbImage> decodePng(const QByteArray &data);

// The image at width × height, each pixel the average of the source area it covers, weighed
// by how much of each source pixel it covers: integer arithmetic alone, so the same bytes on
// every machine. Only ever smaller.
RgbImage scaleDown(const RgbImage &image, int width, int height);

// A baseline JPEG (SOF0, 4:2:0, standard tables) of the image; empty where it fails.
QByteArray encodeBaselineJpeg(const RgbImage &image, int quality);

// The image libraries as a settings digest names them, "libjpeg-turbo 2.1.5, libpng 1.6.39".
QString imageLibraryVersions();
