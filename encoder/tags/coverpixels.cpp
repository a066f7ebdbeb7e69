#include "coverpixels.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>
#include <png.h>

namespace {

// libjpeg's errors end in a jump back to the call, warnings are dropped: a damaged picture is
// not worth a line on the terminal, and the caller says what became of it.
struct JpegError
{
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void jumpBack(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegError *>(info->err)->jump, 1);
}

void dropMessage(j_common_ptr, int) {}
void dropOutput(j_common_ptr) {}

void quietErrors(JpegError &error)
{
    jpeg_std_error(&error.manager);
    error.manager.error_exit = jumpBack;
    error.manager.emit_message = dropMessage;
    error.manager.output_message = dropOutput;
}

bool sizeFits(long long width, long long height)
{
    return width > 0 && height > 0 && width <= kMaxCoverSide && height <= kMaxCoverSide;
}

// Adobe's CMYK JPEGs store each ink inverted.
void cmykToRgb(const unsigned char *cmyk, unsigned char *rgb, int pixels)
{
    for (int i = 0; i < pixels; ++i, cmyk += 4, rgb += 3) {
        const int k = cmyk[3];
        for (int c = 0; c < 3; ++c)
            rgb[c] = static_cast<unsigned char>((cmyk[c] * k + 127) / 255);
    }
}

// The scaled DCT size of a side: libjpeg rounds up.
int scaledSide(int side, int denominator)
{
    return (side + denominator - 1) / denominator;
}

// One side's weights: for each target pixel, the source pixels it covers and how much of each,
// in units of which a source pixel is `to` wide and a target pixel `from` wide.
struct Span
{
    int first = 0;
    std::vector<std::uint32_t> weights;
};

std::vector<Span> spansOf(int from, int to)
{
    std::vector<Span> spans(static_cast<std::size_t>(to));
    for (int x = 0; x < to; ++x) {
        const long long start = static_cast<long long>(x) * from;
        const long long end = start + from;
        Span &span = spans[static_cast<std::size_t>(x)];
        span.first = static_cast<int>(start / to);
        for (long long i = span.first; i * to < end; ++i) {
            const long long overlap = std::min((i + 1) * to, end) - std::max(i * to, start);
            span.weights.push_back(static_cast<std::uint32_t>(overlap));
        }
    }
    return spans;
}

} // namespace

std::optional<RgbImage> decodeJpeg(const QByteArray &data, int atLeast)
{
    jpeg_decompress_struct info {};
    JpegError error {};
    RgbImage image;
    std::vector<unsigned char> row;
    info.err = &error.manager;
    quietErrors(error);
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return std::nullopt;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char *>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK || !sizeFits(info.image_width, info.image_height)) {
        jpeg_destroy_decompress(&info);
        return std::nullopt;
    }
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    info.dct_method = JDCT_ISLOW;
    const int longer = static_cast<int>(std::max(info.image_width, info.image_height));
    unsigned int denominator = 1;
    while (denominator < 8 && atLeast > 0 && scaledSide(longer, int(denominator) * 2) >= atLeast)
        denominator *= 2;
    info.scale_num = 1;
    info.scale_denom = denominator;
    jpeg_start_decompress(&info);
    image.width = static_cast<int>(info.output_width);
    image.height = static_cast<int>(info.output_height);
    image.rgb.resize(std::size_t(image.width) * std::size_t(image.height) * 3);
    row.resize(std::size_t(image.width) * std::size_t(info.output_components));
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {row.data()};
        const std::size_t y = info.output_scanline;
        if (jpeg_read_scanlines(&info, rows, 1) != 1)
            break;
        unsigned char *out = image.rgb.data() + y * std::size_t(image.width) * 3;
        if (cmyk)
            cmykToRgb(row.data(), out, image.width);
        else
            std::copy(row.begin(), row.end(), out);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return image;
}

std::optional<RgbImage> decodePng(const QByteArray &data)
{
    png_image png {};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, data.constData(), static_cast<std::size_t>(data.size())))
        return std::nullopt;
    if (!sizeFits(png.width, png.height)) {
        png_image_free(&png);
        return std::nullopt;
    }
    png.format = PNG_FORMAT_RGB;
    RgbImage image;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.rgb.resize(PNG_IMAGE_SIZE(png));
    const png_color white {255, 255, 255};
    if (!png_image_finish_read(&png, &white, image.rgb.data(), 0, nullptr)) {
        png_image_free(&png);
        return std::nullopt;
    }
    return image;
}

RgbImage scaleDown(const RgbImage &image, int width, int height)
{
    const int sourceWidth = image.width;
    const int sourceHeight = image.height;
    width = std::clamp(width, 1, sourceWidth);
    height = std::clamp(height, 1, sourceHeight);
    // Across first: each row's sums, weighed, kept whole (at most 255 × sourceWidth).
    const std::vector<Span> across = spansOf(sourceWidth, width);
    std::vector<std::uint32_t> rows(std::size_t(width) * std::size_t(sourceHeight) * 3);
    for (int y = 0; y < sourceHeight; ++y) {
        const unsigned char *in = image.rgb.data() + std::size_t(y) * std::size_t(sourceWidth) * 3;
        std::uint32_t *out = rows.data() + std::size_t(y) * std::size_t(width) * 3;
        for (int x = 0; x < width; ++x) {
            const Span &span = across[std::size_t(x)];
            std::uint32_t sum[3] = {0, 0, 0};
            for (std::size_t i = 0; i < span.weights.size(); ++i)
                for (int c = 0; c < 3; ++c)
                    sum[c] += in[(std::size_t(span.first) + i) * 3 + std::size_t(c)] * span.weights[i];
            std::copy(sum, sum + 3, out + std::size_t(x) * 3);
        }
    }
    // Then down, dividing once by the whole area, rounded to the nearest.
    const std::vector<Span> down = spansOf(sourceHeight, height);
    const std::uint64_t area = std::uint64_t(sourceWidth) * std::uint64_t(sourceHeight);
    RgbImage scaled {width, height, std::vector<unsigned char>(std::size_t(width) * std::size_t(height) * 3)};
    for (int y = 0; y < height; ++y) {
        const Span &span = down[std::size_t(y)];
        const std::size_t stride = std::size_t(width) * 3;
        for (std::size_t x = 0; x < stride; ++x) {
            std::uint64_t sum = 0;
            for (std::size_t i = 0; i < span.weights.size(); ++i)
                sum += std::uint64_t(rows[(std::size_t(span.first) + i) * stride + x]) * span.weights[i];
            scaled.rgb[std::size_t(y) * stride + x] = static_cast<unsigned char>((sum + area / 2) / area);
        }
    }
    return scaled;
}

QByteArray encodeBaselineJpeg(const RgbImage &image, int quality)
{
    jpeg_compress_struct info {};
    JpegError error {};
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    info.err = &error.manager;
    quietErrors(error);
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        return {};
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(image.width);
    info.image_height = static_cast<JDIMENSION>(image.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info); // sequential, Huffman, the standard tables: SOF0
    jpeg_set_quality(&info, quality, TRUE);
    info.dct_method = JDCT_ISLOW;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {const_cast<unsigned char *>(image.rgb.data())
                            + std::size_t(info.next_scanline) * std::size_t(image.width) * 3};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    QByteArray out(reinterpret_cast<const char *>(buffer), static_cast<qsizetype>(size));
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

QString imageLibraryVersions()
{
    const int turbo = LIBJPEG_TURBO_VERSION_NUMBER;
    return QStringLiteral("libjpeg-turbo %1.%2.%3 (built against), libpng %4")
        .arg(turbo / 1000000)
        .arg(turbo / 1000 % 1000)
        .arg(turbo % 1000)
        .arg(QLatin1String(png_get_libpng_ver(nullptr)));
}
