#pragma once

#include "encoder/core/trackgain.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The LAME info frame ("Info" for constant, "Xing" for variable bit rate) for a stream this
// program put together itself. libmp3lame's own frame for the same settings serves as the
// template (lame/infotemplate.h); the fields that describe the stream (frame and byte counts,
// seek table, delay and padding, music length, both CRCs) are filled in here.

// Bytes of the tag with every field, as lame writes it.
constexpr int kInfoTagBytes = 156;

// lames, an info frame of lame's at a larger bit rate, moved into a frame of bitrate:
// the seek table left out first (a constant rate seeks by arithmetic), then the quality and
// the byte count, never the frame count or the delay and padding; the average rate and preset
// say bitrate. Nothing where even that does not fit.
std::optional<std::vector<unsigned char>> infoFrameAtRate(const std::vector<unsigned char> &lames, int bitrate);

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

// Sets the peak signal amplitude and the radio replay gain of a finished info frame where
// lame's own tag holds them, as lame writes them when it measures (the gain in 0.1 dB steps,
// within +-51 dB; the peak with 1.0 as 2^23), and its tag CRC again; a frame without lame's
// extension is left as it is.
void recordTrackGain(std::vector<unsigned char> &frame, const TrackGain &gain);

// CRC-16 as lame computes it over the music and over the tag (polynomial 0x8005, reflected).
std::uint16_t crc16(std::uint16_t crc, const unsigned char *data, std::size_t size);
