#pragma once

#include "encoder/audiosource.h"
#include "encoder/encodersettings.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The LAME info frame ("Info" for constant, "Xing" for variable bit rate) for a stream this
// program put together itself. libmp3lame's own frame for the same settings serves as the
// template, so every field it fixes from the settings (quality, version, low-pass, flags,
// stereo mode, preset) is exactly lame's; the fields that describe the stream (frame and byte
// counts, seek table, delay and padding, music length, both CRCs) are filled in here.

// lame's info frame for these settings, with its stream fields still to fill. Where lame's own
// constant-bit-rate frame is too small to hold the tag, the template has the smallest bit rate
// whose frame holds it (decoders read the info frame apart from the audio). Nothing if lame
// cannot be set up.
std::optional<std::vector<unsigned char>> infoFrameTemplate(const EncoderSettings &settings, const InputInfo &input);

// Counts the audio frames that follow the info frame, in order.
class InfoFrameBuilder
{
public:
    void addFrame(const unsigned char *frame, std::size_t size);
    std::int64_t frames() const { return static_cast<std::int64_t>(m_ends.size()); }

    // The template filled in for the frames added.
    std::vector<unsigned char> build(std::vector<unsigned char> frame, int encoderDelay, int padding) const;

private:
    std::vector<std::uint64_t> m_ends; // audio bytes up to the end of each frame
    std::uint16_t m_crc = 0;
};

// CRC-16 as lame computes it over the music and over the tag (polynomial 0x8005, reflected).
std::uint16_t crc16(std::uint16_t crc, const unsigned char *data, std::size_t size);
