#include "sourceformat.h"

#include <QFileInfo>

#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

struct Format
{
    SourceFormat format;
    const char *name;
    // The WAVE family's formats and extensions are wavefamily.h's.
    int sndfileFormat;
    const char *suffixes[3];
};

// One row for each SourceFormat, in its order.
constexpr Format kFormats[] = {
    {SourceFormat::Wave, "WAVE", 0, {}},
    {SourceFormat::Flac, "FLAC", SF_FORMAT_FLAC, {"flac", nullptr, nullptr}},
    {SourceFormat::Aiff, "AIFF", SF_FORMAT_AIFF, {"aif", "aiff", "aifc"}},
};

constexpr bool rowsInOrder()
{
    for (std::size_t i = 0; i < std::size(kFormats); ++i) {
        if (kFormats[i].format != static_cast<SourceFormat>(i))
            return false;
    }
    return true;
}
static_assert(rowsInOrder(), "each row at its format's index");
static_assert(std::size(kFormats) == static_cast<std::size_t>(SourceFormat::Aiff) + 1, "a row for each format");

constexpr const char *kLossySuffixes[] = {"ogg", "oga", "opus", "m4a", "aac"};

const Format &row(SourceFormat format)
{
    return kFormats[static_cast<std::size_t>(format)];
}

template <std::size_t N>
bool endsInOneOf(const QString &path, const char *const (&suffixes)[N])
{
    const QStringView suffix = fileSuffix(path);
    return std::any_of(std::begin(suffixes), std::end(suffixes), [&suffix](const char *s) {
        return s && suffix.compare(QLatin1String(s), Qt::CaseInsensitive) == 0;
    });
}

// Where a FLAC stream starts behind an ID3v2 tag that head opens with (ten bytes); 0 for none.
qint64 afterId3v2(const unsigned char *head)
{
    if (std::memcmp(head, "ID3", 3) != 0 || head[3] < 2 || head[3] > 4
        || (head[6] | head[7] | head[8] | head[9]) >= 0x80)
        return 0;
    const qint64 body = qint64(head[6]) << 21 | qint64(head[7]) << 14 | qint64(head[8]) << 7 | head[9];
    return 10 + body + (head[3] == 4 && (head[5] & 0x10) ? 10 : 0);
}

} // namespace

const char *sourceFormatName(SourceFormat format)
{
    return row(format).name;
}

std::optional<SourceFormat> sourceFormatOf(const ReadAt &read)
{
    unsigned char head[kWaveHeadBytes] = {};
    if (!read(0, head, sizeof head))
        return std::nullopt;
    if (waveContainerOf(head, sizeof head))
        return SourceFormat::Wave;
    const bool aiff = std::memcmp(head + 8, "AIFF", 4) == 0 || std::memcmp(head + 8, "AIFC", 4) == 0;
    if (std::memcmp(head, "FORM", 4) == 0 && aiff)
        return SourceFormat::Aiff;
    char magic[4] = {};
    std::memcpy(magic, head, sizeof magic);
    if (const qint64 at = afterId3v2(head); at > 0 && !read(at, magic, sizeof magic))
        return std::nullopt;
    if (std::memcmp(magic, "fLaC", 4) == 0)
        return SourceFormat::Flac;
    return std::nullopt;
}

bool isSndfileFormatOf(SourceFormat format, int sndfileFormat)
{
    return format == SourceFormat::Wave ? isWaveSndfileFormat(sndfileFormat)
                                        : row(format).sndfileFormat == sndfileFormat;
}

bool isLosslessFileName(const QString &path)
{
    return isWaveFileName(path) || std::any_of(std::begin(kFormats), std::end(kFormats), [&path](const Format &format) {
               return endsInOneOf(path, format.suffixes);
           });
}

bool isLossyFileName(const QString &path)
{
    return endsInOneOf(path, kLossySuffixes);
}

bool isMp3FileName(const QString &path)
{
    return path.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive);
}
