#include "infoframe.h"

#include "frames.h"
#include "encoder/lameinstance.h"

#include <algorithm>
#include <array>

namespace {

// Offsets from the end of the side information, in the layout libmp3lame writes.
constexpr int kFramesAt = 8;
constexpr int kBytesAt = 12;
constexpr int kSeekTableAt = 16;
constexpr int kAverageRateAt = 140;
constexpr int kDelayAt = 141;
constexpr int kMusicLengthAt = 148;
constexpr int kMusicCrcAt = 152;
constexpr int kTagCrcAt = 154;
constexpr int kTagBytes = 156;

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

// lame's info frame of an instance with these settings, after one frame of silence.
std::vector<unsigned char> lameInfoFrame(lame_t lame, int channels)
{
    const int samples = lame_get_framesize(lame);
    std::vector<short> silence(static_cast<std::size_t>(samples * channels));
    std::vector<unsigned char> mp3(mp3BufferSize(samples, 8000) + 8192);
    if (encodeBlock(lame, silence.data(), samples, channels, mp3.data(), static_cast<int>(mp3.size())) < 0
        || lame_encode_flush(lame, mp3.data(), static_cast<int>(mp3.size())) < 0)
        return {};
    std::vector<unsigned char> frame(lame_get_lametag_frame(lame, nullptr, 0));
    if (frame.empty() || lame_get_lametag_frame(lame, frame.data(), frame.size()) != frame.size())
        return {};
    return frame;
}

} // namespace

std::uint16_t crc16(std::uint16_t crc, const unsigned char *data, std::size_t size)
{
    const auto &table = crcTable();
    for (std::size_t i = 0; i < size; ++i)
        crc = static_cast<std::uint16_t>((crc >> 8) ^ table[(crc ^ data[i]) & 0xff]);
    return crc;
}

std::optional<std::vector<unsigned char>> infoFrameTemplate(const EncoderSettings &settings, const InputInfo &input)
{
    auto opened = openLame(settings, input, true);
    if (!std::holds_alternative<LamePtr>(opened))
        return std::nullopt;
    const LamePtr lame = std::move(std::get<LamePtr>(opened));
    std::vector<unsigned char> frame = lameInfoFrame(lame.get(), input.channels);
    if (!frame.empty())
        return frame;
    if (lame_get_VBR(lame.get()) != vbr_off)
        return std::nullopt;

    // lame leaves the tag out when its constant-rate frame is too small: the same settings at
    // the smallest rate that holds the tag, with the output rate, low-pass and channel mode
    // pinned to the real encoder's so the tag describes it.
    const int outRate = lame_get_out_samplerate(lame.get());
    const int version = mpegVersionFor(outRate);
    const int sideInfoEnd = 4 + sideInfoBytes(version, lame_get_mode(lame.get()) == MONO);
    const std::optional<int> bitrate = smallestBitrateFor(version, outRate, sideInfoEnd + kTagBytes);
    if (!bitrate)
        return std::nullopt;
    const int realBitrate = lame_get_brate(lame.get());
    LamePtr pinned(lame_init());
    if (!pinned)
        return std::nullopt;
    lame_set_msgf(pinned.get(), [](const char *, va_list) {});
    lame_set_errorf(pinned.get(), [](const char *, va_list) {});
    lame_set_debugf(pinned.get(), [](const char *, va_list) {});
    lame_set_num_channels(pinned.get(), input.channels);
    lame_set_in_samplerate(pinned.get(), input.sampleRate);
    lame_set_VBR(pinned.get(), vbr_off);
    lame_set_brate(pinned.get(), *bitrate);
    lame_set_out_samplerate(pinned.get(), outRate);
    lame_set_lowpassfreq(pinned.get(), lame_get_lowpassfreq(lame.get()));
    lame_set_mode(pinned.get(), lame_get_mode(lame.get()));
    lame_set_quality(pinned.get(), lame_get_quality(lame.get()));
    lame_set_copyright(pinned.get(), lame_get_copyright(lame.get()));
    lame_set_original(pinned.get(), lame_get_original(lame.get()));
    lame_set_bWriteVbrTag(pinned.get(), 1);
    lame_set_write_id3tag_automatic(pinned.get(), 0);
    if (lame_init_params(pinned.get()) < 0)
        return std::nullopt;
    frame = lameInfoFrame(pinned.get(), input.channels);
    if (frame.empty())
        return std::nullopt;
    const std::optional<FrameHeader> header = parseHeader(frame.data(), frame.size());
    if (!header)
        return std::nullopt;
    frame[static_cast<std::size_t>(header->sideInfoEnd + kAverageRateAt)] =
        static_cast<unsigned char>(std::min(realBitrate, 255));
    return frame;
}

void InfoFrameBuilder::addFrame(const unsigned char *frame, std::size_t size)
{
    m_ends.push_back((m_ends.empty() ? 0 : m_ends.back()) + size);
    m_crc = crc16(m_crc, frame, size);
}

std::vector<unsigned char> InfoFrameBuilder::build(std::vector<unsigned char> frame, int encoderDelay,
                                                   int padding) const
{
    const std::optional<FrameHeader> header = parseHeader(frame.data(), frame.size());
    if (!header || frame.size() < static_cast<std::size_t>(header->sideInfoEnd + kTagBytes))
        return {};
    unsigned char *tag = frame.data() + header->sideInfoEnd;
    const std::uint64_t audio = m_ends.empty() ? 0 : m_ends.back();
    const std::uint64_t total = audio + frame.size();
    put32(tag + kFramesAt, m_ends.size());
    put32(tag + kBytesAt, total);
    // Entry i: the audio up to the frame at i percent, in 256ths, counted as lame counts it
    // (through that frame; entry 0 is 0).
    for (int i = 0; i < 100; ++i) {
        std::uint64_t entry = 0;
        if (i > 0 && audio > 0) {
            const auto index = static_cast<std::size_t>(i * m_ends.size() / 100);
            entry = m_ends[std::min(index, m_ends.size() - 1)] * 256 / audio;
        }
        tag[kSeekTableAt + i] = static_cast<unsigned char>(std::min<std::uint64_t>(entry, 255));
    }
    tag[kDelayAt] = static_cast<unsigned char>(encoderDelay >> 4);
    tag[kDelayAt + 1] = static_cast<unsigned char>(((encoderDelay & 0xf) << 4) | ((padding >> 8) & 0xf));
    tag[kDelayAt + 2] = static_cast<unsigned char>(padding);
    put32(tag + kMusicLengthAt, total);
    put16(tag + kMusicCrcAt, m_crc);
    put16(tag + kTagCrcAt, crc16(0, frame.data(), static_cast<std::size_t>(header->sideInfoEnd + kTagCrcAt)));
    return frame;
}
