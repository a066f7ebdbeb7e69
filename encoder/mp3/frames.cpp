#include "frames.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr int kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

// A frame's bytes without padding times its sample rate: samples / 8 x the bit rate in bit/s.
int unpaddedBytesTimesRate(int version, int bitrate)
{
    const int samples = version == 1 ? kMpeg1FrameSamples : kGranuleSamples;
    return samples / 8 * 1000 * bitrate;
}

int tableOf(int version)
{
    return version == 1 ? 0 : 1;
}

class BitReader
{
public:
    explicit BitReader(const unsigned char *data) : m_data(data) {}

    int take(int bits)
    {
        int value = 0;
        for (int i = 0; i < bits; ++i, ++m_bit)
            value = (value << 1) | ((m_data[m_bit / 8] >> (7 - m_bit % 8)) & 1);
        return value;
    }

    void skip(int bits) { m_bit += bits; }

private:
    const unsigned char *m_data;
    std::size_t m_bit = 0;
};

} // namespace

const std::vector<int> &mpegBitrates()
{
    static const std::vector<int> all = [] {
        std::vector<int> rates;
        for (const auto &table : kLayer3Bitrates)
            rates.insert(rates.end(), std::begin(table) + 1, std::end(table));
        std::sort(rates.begin(), rates.end());
        rates.erase(std::unique(rates.begin(), rates.end()), rates.end());
        return rates;
    }();
    return all;
}

int mpegVersionFor(int sampleRate)
{
    return sampleRate >= 32000 ? 1 : sampleRate >= 16000 ? 2 : 25;
}

int frameBytes(int version, int bitrate, int sampleRate, bool padded)
{
    return unpaddedBytesTimesRate(version, bitrate) / sampleRate + (padded ? 1 : 0);
}

bool framesNeverPadded(int version, int bitrate, int sampleRate)
{
    return unpaddedBytesTimesRate(version, bitrate) % sampleRate == 0;
}

int sideInfoBytes(int version, bool mono)
{
    return version == 1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
}

std::optional<FrameHeader> parseHeader(const unsigned char *data, std::size_t available)
{
    if (available < 4 || data[0] != 0xff || (data[1] & 0xe0) != 0xe0)
        return std::nullopt;
    const int versionBits = (data[1] >> 3) & 3;
    const int layerBits = (data[1] >> 1) & 3;
    const int bitrateBits = data[2] >> 4;
    const int rateBits = (data[2] >> 2) & 3;
    if (versionBits == 1 || layerBits != 1 || bitrateBits == 0 || bitrateBits == 15 || rateBits == 3)
        return std::nullopt;
    FrameHeader header;
    header.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    header.bitrate = kLayer3Bitrates[tableOf(header.version)][bitrateBits];
    header.sampleRate = kRates[versionBits == 3 ? 0 : versionBits == 2 ? 1 : 2][rateBits];
    header.padded = (data[2] & 2) != 0;
    header.crc = (data[1] & 1) == 0;
    header.mono = (data[3] >> 6) == 3;
    header.size = frameBytes(header.version, header.bitrate, header.sampleRate, header.padded);
    header.sideInfoEnd = 4 + (header.crc ? 2 : 0) + sideInfoBytes(header.version, header.mono);
    header.granules = header.version == 1 ? 2 : 1;
    header.samples = kGranuleSamples * header.granules;
    if (header.size < header.sideInfoEnd)
        return std::nullopt;
    return header;
}

SideInfo parseSideInfo(const FrameHeader &header, const unsigned char *data)
{
    BitReader bits(data + 4 + (header.crc ? 2 : 0));
    const int channels = header.mono ? 1 : 2;
    const bool mpeg1 = header.version == 1;
    SideInfo side;
    side.mainDataBegin = bits.take(mpeg1 ? 9 : 8);
    bits.skip(mpeg1 ? (header.mono ? 5 : 3) : (header.mono ? 1 : 2)); // private bits
    if (mpeg1)
        bits.skip(4 * channels); // scale factor selection
    int mainDataBits = 0;
    for (int granule = 0; granule < header.granules; ++granule) {
        for (int channel = 0; channel < channels; ++channel) {
            mainDataBits += bits.take(12);             // part2_3_length
            bits.skip(9 + 8 + (mpeg1 ? 4 : 9));       // big values, gain, scale factor compression
            if (bits.take(1) != 0) {                   // window switching
                if (bits.take(2) != 0)                 // block type 0 means long: never here
                    side.longBlocks = false;
                bits.skip(1 + 2 * 5 + 3 * 3);
            } else {
                bits.skip(3 * 5 + 4 + 3);
            }
            bits.skip(mpeg1 ? 3 : 2);
        }
    }
    side.mainDataBytes = (mainDataBits + 7) / 8;
    return side;
}

std::optional<int> smallestBitrateFor(int version, int sampleRate, int bytes)
{
    for (const int bitrate : kLayer3Bitrates[tableOf(version)]) {
        if (bitrate > 0 && frameBytes(version, bitrate, sampleRate, false) >= bytes)
            return bitrate;
    }
    return std::nullopt;
}

int bitrateIndex(int version, int bitrate)
{
    const auto &table = kLayer3Bitrates[tableOf(version)];
    const auto found = std::find(std::begin(table) + 1, std::end(table), bitrate);
    return found == std::end(table) ? -1 : static_cast<int>(found - std::begin(table));
}

std::vector<FrameEntry> scanFrames(const unsigned char *data, std::size_t size, std::size_t *scanned)
{
    std::vector<FrameEntry> frames;
    std::size_t at = 0;
    while (at < size) {
        const std::optional<FrameHeader> header = parseHeader(data + at, size - at);
        if (!header || at + static_cast<std::size_t>(header->size) > size)
            break;
        frames.push_back({at, *header, parseSideInfo(*header, data + at)});
        at += static_cast<std::size_t>(header->size);
    }
    if (scanned)
        *scanned = at;
    return frames;
}

bool MainDataChain::add(const FrameEntry &frame)
{
    const long start = m_slotStart - frame.side.mainDataBegin;
    const long end = start + frame.side.mainDataBytes;
    const long slot = frame.header.size - frame.header.sideInfoEnd;
    const bool valid = start >= 0 && start >= m_dataEnd && end <= m_slotStart + slot;
    m_dataEnd = end;
    m_slotStart += slot;
    return valid;
}

bool mainDataChainValid(const std::vector<FrameEntry> &frames)
{
    MainDataChain chain;
    for (const FrameEntry &frame : frames) {
        if (!chain.add(frame))
            return false;
    }
    return true;
}
