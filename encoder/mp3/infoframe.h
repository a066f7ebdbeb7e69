#pragma once

#include "encoder/input/audiosource.h"
#include "encoder/core/encodersettings.h"
#include "encoder/lame/lameinstance.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The LAME info frame ("Info" for constant, "Xing" for variable bit rate) for a stream this
// program put together itself. libmp3lame's own frame for the same settings serves as the
// template, so every field it fixes from the settings (quality, version, low-pass, flags,
// stereo mode, preset) is exactly lame's; the fields that describe the stream (frame and byte
// counts, seek table, delay and padding, music length, both CRCs) are filled in here.

struct InfoFrameTemplate
{
    std::vector<unsigned char> frame;
    bool lameWritesIt = true; // false: lame's own frame would be too small and writes no tag
};

// lame's info frame for these settings, with its stream fields still to fill. Where lame's own
// constant-bit-rate frame is too small to hold the whole tag, the frame still has the stream's
// bit rate (readers take a constant-rate stream's length from the size of its first frame) and
// leaves out the seek table, and where needed the byte count and quality, never the frame
// count or the delay and padding. Nothing if lame cannot be set up or even that does not fit.
// kept as for openLame(); lame, if given, is an instance openLame(settings, input, true, kept)
// set up, which this uses up in place of one of its own.
std::optional<InfoFrameTemplate> infoFrameTemplate(const EncoderSettings &settings, const InputInfo &input,
                                                   const KeptRate *kept = nullptr, LamePtr lame = nullptr);

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

// Sets the source sample rate of a finished info frame (lame's or one built here), as lame sets
// it for an input at that rate, and its tag CRC again; a frame without lame's extension is
// left as it is.
void recordSourceRate(std::vector<unsigned char> &frame, int sampleRate);

// CRC-16 as lame computes it over the music and over the tag (polynomial 0x8005, reflected).
std::uint16_t crc16(std::uint16_t crc, const unsigned char *data, std::size_t size);
