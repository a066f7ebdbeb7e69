#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// MPEG-1, -2 and -2.5 Layer III frames as libmp3lame writes them (no free format): the
// header, the side information and the bit reservoir.

struct FrameHeader
{
    int version = 1;      // 1 for MPEG-1, 2 for MPEG-2, 25 for MPEG-2.5
    int bitrate = 0;      // kbit/s
    int sampleRate = 0;
    bool padded = false;
    bool crc = false;     // a 16-bit CRC follows the header
    bool mono = false;
    int size = 0;         // bytes, header included
    int sideInfoEnd = 0;  // bytes from the frame start to its slot of main data
    int samples = 0;      // per channel
    int granules = 0;
};

// Layer III bit rates in kbit/s by their header index (0: free format), for MPEG-1 and for
// MPEG-2 and 2.5.
inline constexpr int kLayer3Bitrates[2][15] = {
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
// Samples a channel in a granule; an MPEG-1 frame holds two granules, MPEG-2 and 2.5 one.
constexpr int kGranuleSamples = 576;
constexpr int kMpeg1FrameSamples = 2 * kGranuleSamples;

// Every bit rate one version or the other carries, ascending: 8 to 320.
const std::vector<int> &mpegBitrates();

// The version (1, 2 or 25) that carries a sample rate.
int mpegVersionFor(int sampleRate);
// Bytes of a frame, header included.
int frameBytes(int version, int bitrate, int sampleRate, bool padded);
// Whether a frame at this bit rate is a whole number of bytes, so a constant-rate stream never
// takes a padding byte.
bool framesNeverPadded(int version, int bitrate, int sampleRate);
// Bytes of side information after the header (and its CRC).
int sideInfoBytes(int version, bool mono);

// The header at data, when the four bytes are a valid Layer III header.
std::optional<FrameHeader> parseHeader(const unsigned char *data, std::size_t available);

struct SideInfo
{
    int mainDataBegin = 0; // bytes of main data before the frame's own slot
    int mainDataBytes = 0; // bytes the frame's granules use, rounded up
    bool longBlocks = true; // every granule uses normal long blocks
};

// The side information of a complete frame that starts at data.
SideInfo parseSideInfo(const FrameHeader &header, const unsigned char *data);

// Frame sizes of MPEG Layer III at a rate: the smallest bit rate whose frame holds bytes.
std::optional<int> smallestBitrateFor(int version, int sampleRate, int bytes);
// The header's bit rate index for a bit rate of the version, or -1.
int bitrateIndex(int version, int bitrate);

struct FrameEntry
{
    std::size_t offset = 0; // in the buffer scanned
    FrameHeader header;
    SideInfo side;
};

// The complete frames of data, back to back from its start; stops at the first bytes that are
// not a complete frame. *scanned: where it stopped.
std::vector<FrameEntry> scanFrames(const unsigned char *data, std::size_t size, std::size_t *scanned = nullptr);

// The bit reservoir as a decoder walks it: each frame's main data must start within the
// stream, after the previous frame's data, and end by the start of the next slot.
class MainDataChain
{
public:
    // False when the frame, following those added before, breaks the chain.
    bool add(const FrameEntry &frame);

private:
    long m_slotStart = 0; // main-data bytes before the next frame's slot
    long m_dataEnd = 0;
};

bool mainDataChainValid(const std::vector<FrameEntry> &frames);
