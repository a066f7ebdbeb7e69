#include "wavefamily.h"

#include <QFileInfo>
#include <QStringList>

#include <sndfile.h>

#include <algorithm>
#include <cstring>

namespace {

// Wave64 opens with the GUID of "riff"; its first 8 bytes tell it apart.
constexpr char kWave64Riff[] = {'r', 'i', 'f', 'f', '\x2E', '\x91', '\xCF', '\x11'};

constexpr WaveContainer kContainers[] = {
    {"RIFF", "RIFF", 4, 8, false, WaveSizes::Bits32, {SF_FORMAT_WAV, SF_FORMAT_WAVEX}},
    {"RIFX", "RIFX", 4, 8, true, WaveSizes::Bits32, {SF_FORMAT_WAV, SF_FORMAT_WAVEX}},
    {"RF64", "RF64", 4, 8, false, WaveSizes::Ds64, {SF_FORMAT_RF64, 0}},
    {"BW64", "BW64", 4, 8, false, WaveSizes::Ds64, {SF_FORMAT_RF64, 0}},
    {"Wave64", kWave64Riff, sizeof kWave64Riff, -1, false, WaveSizes::Bits64, {SF_FORMAT_W64, 0}},
};

struct Extension
{
    const char *suffix;
    bool inDialog; // offered by the input dialog's filter; every one is taken from a drop
};

constexpr Extension kExtensions[] = {
    {"wav", true},
    {"wave", false},
};

} // namespace

std::span<const WaveContainer> waveContainers()
{
    return kContainers;
}

const WaveContainer *waveContainerOf(const unsigned char *head, std::size_t size)
{
    for (const WaveContainer &container : kContainers) {
        const std::size_t formEnd = container.formAt < 0 ? 0 : static_cast<std::size_t>(container.formAt) + 4;
        if (size < std::max(container.signatureSize, formEnd))
            continue;
        if (std::memcmp(head, container.signature, container.signatureSize) != 0)
            continue;
        if (container.formAt >= 0 && std::memcmp(head + container.formAt, kWaveName, 4) != 0)
            continue;
        return &container;
    }
    return nullptr;
}

bool isWaveSndfileFormat(int format)
{
    return format != 0 && std::any_of(std::begin(kContainers), std::end(kContainers), [format](const WaveContainer &c) {
               return std::find(std::begin(c.sndfileFormats), std::end(c.sndfileFormats), format)
                      != std::end(c.sndfileFormats);
           });
}

QStringView fileSuffix(const QString &path)
{
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || path.indexOf(QLatin1Char('/'), dot) >= 0)
        return {};
    return QStringView(path).mid(dot + 1);
}

bool isWaveFileName(const QString &path)
{
    const QStringView suffix = fileSuffix(path);
    return std::any_of(std::begin(kExtensions), std::end(kExtensions), [&suffix](const Extension &e) {
        return suffix.compare(QLatin1String(e.suffix), Qt::CaseInsensitive) == 0;
    });
}

QString waveFileFilter()
{
    QStringList patterns;
    for (const Extension &extension : kExtensions) {
        if (extension.inDialog)
            patterns << QStringLiteral("*.%1").arg(QLatin1String(extension.suffix));
    }
    const QString joined = patterns.join(QLatin1Char(';'));
    return QStringLiteral("Wave File (%1)|%1").arg(joined);
}
