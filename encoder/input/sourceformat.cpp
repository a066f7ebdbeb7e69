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
    if (const qint64 at = id3v2TagSize(QByteArrayView(head, 10)); at > 0 && !read(at, magic, sizeof magic))
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

qint64 id3v2TagSize(QByteArrayView head)
{
    if (head.size() < 10)
        return 0;
    const auto *u = reinterpret_cast<const unsigned char *>(head.data());
    if (std::memcmp(u, "ID3", 3) != 0 || u[3] < 2 || u[3] > 4 || u[4] == 0xff || (u[6] | u[7] | u[8] | u[9]) >= 0x80)
        return 0;
    return 10 + (qint64(u[6]) << 21 | qint64(u[7]) << 14 | qint64(u[8]) << 7 | u[9])
           + (u[3] == 4 && (u[5] & 0x10) ? 10 : 0);
}

bool isMp3FileName(const QString &path)
{
    return path.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive);
}

bool isShortExact(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        return true;
    default:
        return false;
    }
}

// Formats whose frames are stored each on its own, so that libsndfile's seek lands where reading
// would; FLAC's too, as libFLAC decodes the frame that holds the sample sought. A block codec's
// decoder carries state from block to block (GSM 6.10 libsndfile does not seek at all): it is
// read up to the range instead.
bool seeksExactly(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        return true;
    default:
        return false;
    }
}
