#include "infoframe.h"

#include "frames.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// The tag after the side information: "Xing" or "Info", the flags, then the fields the flags
// name in this order, then lame's extension.
constexpr std::uint32_t kFramesField = 1;
constexpr std::uint32_t kBytesField = 2;
constexpr std::uint32_t kSeekTableField = 4;
constexpr std::uint32_t kQualityField = 8;
constexpr int kSeekTableBytes = 100;
// Offsets in lame's extension.
constexpr int kPeakAt = 11;
constexpr int kRadioGainAt = 15;
constexpr int kAverageRateAt = 20;
constexpr int kDelayAt = 21;
constexpr int kMiscAt = 24; // source rate in the top two bits
constexpr int kPresetAt = 26; // 11 bits; for a constant rate, lame's is the bit rate
constexpr int kMusicLengthAt = 28;
constexpr int kMusicCrcAt = 32;
constexpr int kTagCrcAt = 34;
constexpr int kExtensionBytes = 36;

// Where each field of a tag lies, -1 for those its flags leave out.
struct TagLayout
{
    std::uint32_t fields = 0;
    int framesAt = -1;
    int bytesAt = -1;
    int seekTableAt = -1;
    int qualityAt = -1;
    int extensionAt = 8;

    explicit TagLayout(std::uint32_t flags) : fields(flags)
    {
        framesAt = take(kFramesField, 4);
        bytesAt = take(kBytesField, 4);
        seekTableAt = take(kSeekTableField, kSeekTableBytes);
        qualityAt = take(kQualityField, 4);
    }
    int bytes() const { return extensionAt + kExtensionBytes; }

private:
    int take(std::uint32_t field, int size)
    {
        if (!(fields & field))
            return -1;
        extensionAt += size;
        return extensionAt - size;
    }
};

std::uint32_t get32(const unsigned char *at)
{
    return (std::uint32_t(at[0]) << 24) | (std::uint32_t(at[1]) << 16) | (std::uint32_t(at[2]) << 8) | at[3];
}

void put32(unsigned char *at, std::uint64_t value)
{
    const auto v = static_cast<std::uint32_t>(value);
    at[0] = static_cast<unsigned char>(v >> 24);
    at[1] = static_cast<unsigned char>(v >> 16);
    at[2] = static_cast<unsigned char>(v >> 8);
    at[3] = static_cast<unsigned char>(v);
}

void put16(unsigned char *at, std::uint16_t value)
{
    at[0] = static_cast<unsigned char>(value >> 8);
    at[1] = static_cast<unsigned char>(value);
}

const std::array<std::uint16_t, 256> &crcTable()
{
    static const std::array<std::uint16_t, 256> table = [] {
        std::array<std::uint16_t, 256> t {};
        for (unsigned i = 0; i < 256; ++i) {
            unsigned crc = i;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
            t[i] = static_cast<std::uint16_t>(crc);
        }
        return t;
    }();
    return table;
}

// The tag of an info frame and where its fields lie; nothing where the frame is too short for
// the fields its flags name.
struct FrameTag
{
    unsigned char *tag;
    TagLayout layout;
    unsigned char *extension() const { return tag + layout.extensionAt; }
};

std::optional<FrameTag> tagOf(std::vector<unsigned char> &frame)
{
    const std::optional<FrameHeader> header = parseHeader(frame.data(), frame.size());
    if (!header || frame.size() < static_cast<std::size_t>(header->sideInfoEnd + 8))
        return std::nullopt;
    unsigned char *tag = frame.data() + header->sideInfoEnd;
    const TagLayout layout(get32(tag + 4));
    if (frame.size() < static_cast<std::size_t>(header->sideInfoEnd + layout.bytes()))
        return std::nullopt;
    return FrameTag {tag, layout};
}

// The tag's CRC, over the frame up to it: the last field written.
void sealTag(std::vector<unsigned char> &frame, const FrameTag &tag)
{
    unsigned char *crcAt = tag.extension() + kTagCrcAt;
    put16(crcAt, crc16(0, frame.data(), static_cast<std::size_t>(crcAt - frame.data())));
}

// lame's tag moved into a frame of the stream's own bit rate, leaving out the fields that do
// not fit: the seek table first (a constant rate seeks by arithmetic), then the quality and
// the byte count. The frame count and the extension (delay, padding) always stay, so readers
// get the length and decoders the exact samples.
std::optional<std::vector<unsigned char>> atOwnRate(const std::vector<unsigned char> &lames, int bitrate)
{
    const std::optional<FrameHeader> header = parseHeader(lames.data(), lames.size());
    if (!header || lames.size() < static_cast<std::size_t>(header->sideInfoEnd + kInfoTagBytes))
        return std::nullopt;
    const unsigned char *tag = lames.data() + header->sideInfoEnd;
    const TagLayout from(get32(tag + 4));
    const int size = frameBytes(header->version, bitrate, header->sampleRate, false);
    for (const std::uint32_t fields : {from.fields & ~kSeekTableField, from.fields & kFramesField}) {
        const TagLayout to(fields);
        if (header->sideInfoEnd + to.bytes() > size)
            continue;
        std::vector<unsigned char> frame(static_cast<std::size_t>(size), 0);
        std::copy(lames.begin(), lames.begin() + header->sideInfoEnd, frame.begin());
        // The stream's bit rate, unpadded; the sample rate and private bits stay.
        frame[2] = static_cast<unsigned char>((frame[2] & 0x0d) | (bitrateIndex(header->version, bitrate) << 4));
        unsigned char *out = frame.data() + header->sideInfoEnd;
        std::copy(tag, tag + 4, out);
        put32(out + 4, fields);
        if (to.qualityAt >= 0)
            std::copy(tag + from.qualityAt, tag + from.qualityAt + 4, out + to.qualityAt);
        std::copy(tag + from.extensionAt, tag + from.extensionAt + kExtensionBytes, out + to.extensionAt);
        return frame;
    }
    return std::nullopt;
}

} // namespace

std::uint16_t crc16(std::uint16_t crc, const unsigned char *data, std::size_t size)
{
    const auto &table = crcTable();
    for (std::size_t i = 0; i < size; ++i)
        crc = static_cast<std::uint16_t>((crc >> 8) ^ table[(crc ^ data[i]) & 0xff]);
    return crc;
}

std::optional<std::vector<unsigned char>> infoFrameAtRate(const std::vector<unsigned char> &lames, int bitrate)
{
    std::optional<std::vector<unsigned char>> own = atOwnRate(lames, bitrate);
    if (!own)
        return std::nullopt;
    unsigned char *extension = tagOf(*own)->extension(); // atOwnRate made it whole
    extension[kAverageRateAt] = static_cast<unsigned char>(std::min(bitrate, 255));
    extension[kPresetAt] = static_cast<unsigned char>((extension[kPresetAt] & 0xf8) | ((bitrate >> 8) & 7));
    extension[kPresetAt + 1] = static_cast<unsigned char>(bitrate);
    return own;
}

void InfoFrameBuilder::addFrame(const unsigned char *frame, std::size_t size)
{
    m_ends.push_back((m_ends.empty() ? 0 : m_ends.back()) + size);
    m_crc = crc16(m_crc, frame, size);
}

std::vector<unsigned char> InfoFrameBuilder::build(std::vector<unsigned char> frame, int encoderDelay,
                                                   int padding) const
{
    const std::optional<FrameTag> found = tagOf(frame);
    if (!found)
        return {};
    unsigned char *tag = found->tag;
    const TagLayout &layout = found->layout;
    const std::uint64_t audio = m_ends.empty() ? 0 : m_ends.back();
    const std::uint64_t total = audio + frame.size();
    if (layout.framesAt >= 0)
        put32(tag + layout.framesAt, m_ends.size());
    if (layout.bytesAt >= 0)
        put32(tag + layout.bytesAt, total);
    // Entry i: the audio up to the frame at i percent, in 256ths, counted as lame counts it
    // (through that frame; entry 0 is 0).
    for (int i = 0; i < kSeekTableBytes && layout.seekTableAt >= 0; ++i) {
        std::uint64_t entry = 0;
        if (i > 0 && audio > 0) {
            const auto index = static_cast<std::size_t>(i * m_ends.size() / 100);
            entry = m_ends[std::min(index, m_ends.size() - 1)] * 256 / audio;
        }
        tag[layout.seekTableAt + i] = static_cast<unsigned char>(std::min<std::uint64_t>(entry, 255));
    }
    unsigned char *extension = found->extension();
    extension[kDelayAt] = static_cast<unsigned char>(encoderDelay >> 4);
    extension[kDelayAt + 1] = static_cast<unsigned char>(((encoderDelay & 0xf) << 4) | ((padding >> 8) & 0xf));
    extension[kDelayAt + 2] = static_cast<unsigned char>(padding);
    put32(extension + kMusicLengthAt, total);
    put16(extension + kMusicCrcAt, m_crc);
    sealTag(frame, *found);
    return frame;
}

namespace {

bool hasLameExtension(const std::optional<FrameTag> &found)
{
    return found && std::equal(found->extension(), found->extension() + 4, "LAME");
}

} // namespace

void recordSourceRate(std::vector<unsigned char> &frame, int sampleRate)
{
    const std::optional<FrameTag> found = tagOf(frame);
    if (!hasLameExtension(found))
        return;
    unsigned char *extension = found->extension();
    // lame's codes: up to 32 kHz, 44.1 kHz (and anything else up to 48), 48 kHz, above 48.
    const int code = sampleRate <= 32000 ? 0 : sampleRate == 48000 ? 2 : sampleRate > 48000 ? 3 : 1;
    // lame also flags "unwise settings" for an input at 32 kHz or less; the other settings it
    // flags (forced block types, no reservoir, no ATH) are never made here.
    const int unwise = sampleRate <= 32000 ? 1 : 0;
    extension[kMiscAt] = static_cast<unsigned char>((extension[kMiscAt] & 0x1f) | (code << 6) | (unwise << 5));
    sealTag(frame, *found);
}

void recordTrackGain(std::vector<unsigned char> &frame, const TrackGain &gain)
{
    const std::optional<FrameTag> found = tagOf(frame);
    if (!hasLameExtension(found))
        return;
    unsigned char *extension = found->extension();
    const double peak = std::clamp(gain.peak, 0.0, 256.0) * (1 << 23);
    put32(extension + kPeakAt, static_cast<std::uint32_t>(std::min(peak + 0.5, 4294967295.0)));
    // Name code 1 (radio), originator 3 (set automatically), the sign, then 0.1 dB steps.
    const int steps = std::clamp(static_cast<int>(std::floor(gain.gainDb * 10 + 0.5)), -0x1fe, 0x1fe);
    const int field = 0x2000 | 0xc00 | (steps < 0 ? 0x200 | -steps : steps);
    put16(extension + kRadioGainAt, static_cast<std::uint16_t>(field));
    sealTag(frame, *found);
}
