// Writes the fuzzer's seed corpus into a folder: small valid WAVEs of several formats, each
// after the option byte fuzz_encode reads first.
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Seed
{
    const char *name;
    int format;
    int channels;
    int rate;
    unsigned char options; // fuzz_encode's first byte
};

const Seed kSeeds[] = {
    {"pcm16-stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 0x00},
    {"pcm16-mono-vbr", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, 0x08},
    {"u8-mono", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 8000, 0x04},
    {"pcm24-stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 48000, 0x40},
    {"pcm32-stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 2, 32000, 0x80},
    {"float-stereo", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, 0x30},
    {"double-mono", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 1, 16000, 0x00},
    {"ulaw-mono", SF_FORMAT_WAV | SF_FORMAT_ULAW, 1, 8000, 0x00},
    {"alaw-mono", SF_FORMAT_WAV | SF_FORMAT_ALAW, 1, 8000, 0x00},
    {"ima-adpcm", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 2, 22050, 0x00},
    {"ms-adpcm", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 1, 11025, 0x00},
    {"gsm610", SF_FORMAT_WAV | SF_FORMAT_GSM610, 1, 8000, 0x00},
    {"rifx-pcm16", SF_FORMAT_WAV | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG, 2, 44100, 0x00},
    {"extensible-5.1", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 6, 48000, 0x00},
    {"extensible-quad-float", SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 4, 44100, 0x04},
    {"rf64-pcm16", SF_FORMAT_RF64 | SF_FORMAT_PCM_16, 2, 44100, 0x00},
    {"w64-pcm24", SF_FORMAT_W64 | SF_FORMAT_PCM_24, 2, 96000, 0x00},
    {"raw-pcm16", SF_FORMAT_RAW | SF_FORMAT_PCM_16, 2, 44100, 0x01},
    {"raw-pcm16-be", SF_FORMAT_RAW | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG, 2, 44100, 0x03},
};

constexpr int kFrames = 1200;

bool writeSeed(const std::string &dir, const Seed &seed)
{
    const std::string temp = dir + "/." + seed.name + ".tmp";
    SF_INFO info {};
    info.format = seed.format;
    info.channels = seed.channels;
    info.samplerate = seed.rate;
    SNDFILE *file = sf_open(temp.c_str(), SFM_WRITE, &info);
    if (!file) {
        std::fprintf(stderr, "%s: %s\n", seed.name, sf_strerror(nullptr));
        return false;
    }
    if ((seed.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV && seed.channels == 2)
        sf_set_string(file, SF_STR_TITLE, "seed"); // a LIST chunk after the data
    std::vector<float> block(static_cast<size_t>(kFrames) * seed.channels);
    for (int f = 0; f < kFrames; ++f)
        for (int c = 0; c < seed.channels; ++c)
            block[f * seed.channels + c] = 0.5f * std::sin(f * 0.05f * (c + 1));
    const bool written = sf_writef_float(file, block.data(), kFrames) == kFrames;
    sf_close(file);
    if (!written)
        return false;

    std::ifstream in(temp, std::ios::binary);
    const std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(temp.c_str());
    std::ofstream out(dir + "/" + seed.name, std::ios::binary);
    out.put(static_cast<char>(seed.options));
    out << body;
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    int failed = 0;
    for (const Seed &seed : kSeeds)
        failed += writeSeed(argv[1], seed) ? 0 : 1;
    return failed == 0 ? 0 : 1;
}
