// Writes the fuzzers' seed corpora into two folders: small WAVEs of several formats, valid and
// damaged, and FLACs and AIFFs, each after the option byte fuzz_encode reads first; and CUE
// sheets for fuzz_cuesheet.
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
    {"flac16-stereo", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, 0x00},
    {"flac24-5.1", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 6, 48000, 0x00},
    {"aiff-pcm16", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 44100, 0x00},
    {"aifc-float", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 1, 22050, 0x08},
};

constexpr int kFrames = 1200;

// The file libsndfile writes for the seed, or an empty string.
std::string encoded(const std::string &dir, const Seed &seed)
{
    const std::string temp = dir + "/." + seed.name + ".tmp";
    SF_INFO info {};
    info.format = seed.format;
    info.channels = seed.channels;
    info.samplerate = seed.rate;
    SNDFILE *file = sf_open(temp.c_str(), SFM_WRITE, &info);
    if (!file) {
        std::fprintf(stderr, "%s: %s\n", seed.name, sf_strerror(nullptr));
        return {};
    }
    if ((seed.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV && seed.channels == 2)
        sf_set_string(file, SF_STR_TITLE, "seed"); // a LIST chunk after the data
    std::vector<float> block(static_cast<size_t>(kFrames) * seed.channels);
    for (int f = 0; f < kFrames; ++f)
        for (int c = 0; c < seed.channels; ++c)
            block[f * seed.channels + c] = 0.5f * std::sin(f * 0.05f * (c + 1));
    const bool written = sf_writef_float(file, block.data(), kFrames) == kFrames;
    sf_close(file);
    std::ifstream in(temp, std::ios::binary);
    const std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(temp.c_str());
    return written ? body : std::string();
}

bool writeFile(const std::string &dir, const char *name, unsigned char options, const std::string &body)
{
    if (body.empty())
        return false;
    std::ofstream out(dir + "/" + name, std::ios::binary);
    out.put(static_cast<char>(options));
    out << body;
    return static_cast<bool>(out);
}

// --- Headers libsndfile does not write: put together byte by byte. ---

std::string le(unsigned value, int bytes)
{
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

std::string chunk(const char *id, const std::string &body, long claimed = -1)
{
    std::string out = std::string(id, 4) + le(claimed < 0 ? static_cast<unsigned>(body.size()) : static_cast<unsigned>(claimed), 4) + body;
    if (body.size() % 2)
        out += '\0';
    return out;
}

std::string fmtBody(unsigned tag, unsigned channels, unsigned rate, unsigned bits, const std::string &extra = {})
{
    const unsigned align = channels * ((bits + 7) / 8);
    return le(tag, 2) + le(channels, 2) + le(rate, 4) + le(rate * align, 4) + le(align, 2) + le(bits, 2) + extra;
}

std::string riff(const std::string &chunks, long claimed = -1)
{
    return "RIFF" + le(claimed < 0 ? static_cast<unsigned>(chunks.size() + 4) : static_cast<unsigned>(claimed), 4) + "WAVE" + chunks;
}

std::string samples(int count, int bytes)
{
    std::string out;
    for (int i = 0; i < count; ++i)
        out += le(static_cast<unsigned>(20000 * std::sin(i * 0.05)), bytes);
    return out;
}

// The count of the seed's 'fact' chunk set to frames.
std::string withFact(std::string wave, unsigned frames)
{
    const std::size_t at = wave.find("fact");
    if (at != std::string::npos)
        wave.replace(at + 8, 4, le(frames, 4));
    return wave;
}

std::string be(unsigned value, int bytes)
{
    std::string out;
    for (int i = bytes - 1; i >= 0; --i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

std::string infoList(const std::string &fields)
{
    return chunk("LIST", "INFO" + fields);
}

std::string infoField(const char *id, const std::string &text, long claimed = -1)
{
    return chunk(id, text, claimed);
}

// An ID3v2.3 tag: a title frame and a picture frame whose size claims pictureClaim bytes.
std::string id3Tag(unsigned pictureClaim, unsigned tagClaim = 0)
{
    const std::string title = "TIT2" + be(6, 4) + std::string(2, '\0') + std::string(1, '\0') + "Title";
    const std::string picture = std::string("\0image/jpeg\0\x03Front\0\xFF\xD8\xFF\xE0", 21) + std::string(64, 'j');
    const std::string frames = title + "APIC" + be(pictureClaim ? pictureClaim : unsigned(picture.size()), 4)
                               + std::string(2, '\0') + picture;
    const unsigned size = tagClaim ? tagClaim : unsigned(frames.size());
    std::string out = std::string("ID3\x03\0\0", 6);
    for (int shift = 21; shift >= 0; shift -= 7)
        out += static_cast<char>((size >> shift) & 0x7F);
    return out + frames;
}

std::string bext(std::size_t bytes)
{
    std::string body(602, '\0');
    body.replace(0, 11, "Description");
    body.replace(256, 10, "Originator");
    body.replace(320, 10, "2020-02-02");
    return chunk("bext", body.substr(0, bytes));
}

// CUE sheets: a ripper's with gaps and REM lines in UTF-8, the same in UTF-16 and with CR LF, one
// in Windows-1252, and a damaged one.
const std::string kSheet = "REM GENRE \"Jazz\"\nREM DATE 1999\nREM DISCNUMBER 1\nREM TOTALDISCS 2\n"
                           "REM COMMENT \"EAC\"\nCATALOG 0724384260927\nPERFORMER \"Band\"\nTITLE \"Album\"\n"
                           "FILE \"image.wav\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"One\"\n    ISRC GBAYE0000001\n"
                           "    INDEX 01 00:00:33\n  TRACK 02 AUDIO\n    TITLE \"Two\"\n    PERFORMER \"Guest\"\n"
                           "    FLAGS DCP\n    INDEX 00 00:03:00\n    INDEX 01 00:03:50\n  TRACK 03 AUDIO\n"
                           "    PREGAP 00:00:10\n    INDEX 00 00:06:10\n    INDEX 01 00:06:70\n    INDEX 02 00:07:00\n";

std::string utf16le(const std::string &ascii)
{
    std::string out = "\xFF\xFE";
    for (const char c : ascii)
        out += std::string(1, c) + '\0';
    return out;
}

std::string withCrLf(std::string text)
{
    for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2)
        text.insert(at, 1, '\r');
    return text;
}

bool writeSheet(const std::string &dir, const char *name, const std::string &body)
{
    std::ofstream out(dir + "/" + name, std::ios::binary);
    out << body;
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s WAVE-FOLDER CUE-FOLDER\n", argv[0]);
        return 2;
    }
    int failed = 0;
    const std::string dir = argv[1];
    for (const Seed &seed : kSeeds)
        failed += writeFile(dir, seed.name, seed.options, encoded(dir, seed)) ? 0 : 1;

    const std::string fmt16 = chunk("fmt ", fmtBody(1, 2, 44100, 16));
    const std::string guidTail("\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 12);
    const std::string msAdpcm = encoded(dir, {"ms-adpcm", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 2, 22050, 0});
    const struct
    {
        const char *name;
        std::string body;
    } made[] = {
        // A recording whose header was never finished, and one whose data chunk is truly empty.
        {"unfinished-pcm16", riff(fmt16 + chunk("data", samples(2 * kFrames, 2), 0), 0)},
        {"unfinished-as-empty", riff(fmt16 + chunk("data", samples(2 * kFrames, 2), 0), 36)},
        {"empty-data-then-list", riff(fmt16 + chunk("data", {}) + chunk("LIST", std::string(40, 'x')), 0)},
        // 'fact' counts inside the last block, short of it and beyond the audio.
        {"ms-adpcm-fact-less", withFact(msAdpcm, kFrames - 100)},
        {"ms-adpcm-fact-far-less", withFact(msAdpcm, 10)},
        {"ms-adpcm-fact-more", withFact(msAdpcm, kFrames * 4)},
        {"pcm16-fact", riff(fmt16 + chunk("fact", le(100, 4)) + chunk("data", samples(2 * kFrames, 2)))},
        // Codecs and widths libsndfile refuses.
        {"truespeech", riff(chunk("fmt ", fmtBody(0x22, 1, 8000, 1, le(32, 2) + std::string(32, '\0'))) + chunk("fact", le(kFrames, 4))
                            + chunk("data", samples(kFrames, 2)))},
        {"extensible-truespeech", riff(chunk("fmt ", fmtBody(0xFFFE, 2, 8000, 16, le(22, 2) + le(16, 2) + le(3, 4) + le(0x22, 4) + guidTail))
                                       + chunk("data", samples(kFrames, 2)))},
        {"pcm64", riff(chunk("fmt ", fmtBody(1, 2, 44100, 64)) + chunk("data", samples(8 * kFrames, 2)))},
        // Tag chunks, whole and damaged: the audio converts, the damaged part is left out.
        {"tags-whole", riff(fmt16 + infoList(infoField("INAM", std::string("Caf\xE9", 4)) + infoField("ITRK", "3"))
                            + chunk("data", samples(2 * kFrames, 2)) + chunk("id3 ", id3Tag(0)) + bext(602))},
        {"tags-id3-damaged", riff(fmt16 + chunk("data", samples(2 * kFrames, 2)) + chunk("id3 ", "ID3\x03" + std::string(40, '\x7F')))},
        {"tags-id3-past-chunk", riff(fmt16 + chunk("data", samples(2 * kFrames, 2)) + chunk("id3 ", id3Tag(0, 5000)))},
        {"tags-picture-50mb", riff(fmt16 + chunk("data", samples(2 * kFrames, 2)) + chunk("id3 ", id3Tag(50u << 20)))},
        {"tags-info-oversized", riff(fmt16 + infoList(infoField("INAM", "Kept") + infoField("IART", "Lost", 5000))
                                     + chunk("data", samples(2 * kFrames, 2)))},
        {"tags-info-odd", riff(fmt16 + chunk("LIST", "INFOINAM" + le(3, 4) + "OddIART" + le(4, 4) + "Pad\0")
                               + chunk("data", samples(2 * kFrames, 2)))},
        {"tags-bext-short", riff(fmt16 + bext(300) + chunk("data", samples(2 * kFrames, 2)))},
        {"tags-chunk-past-end", riff(fmt16 + chunk("data", samples(2 * kFrames, 2)) + chunk("LIST", "INFOINAM", 1 << 20))},
    };
    for (const auto &m : made)
        failed += writeFile(dir, m.name, 0x00, m.body) ? 0 : 1;

    const std::string cueDir = argv[2];
    const std::string latin = "FILE \"caf\xE9.wav\" WAVE\nTITLE \"L\x92\xE9t\xE9\"\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
    const std::string damaged = "FILE a.wav WAVE\nTRACK 02 AUDIO\nINDEX 01 00:01:00\nTRACK 01 AUDIO\nINDEX 01 00:00:74\n";
    failed += writeSheet(cueDir, "utf8.cue", "\xEF\xBB\xBF" + kSheet) ? 0 : 1;
    failed += writeSheet(cueDir, "utf16le.cue", utf16le(kSheet)) ? 0 : 1;
    failed += writeSheet(cueDir, "crlf.cue", withCrLf(kSheet)) ? 0 : 1;
    failed += writeSheet(cueDir, "windows-1252.cue", latin) ? 0 : 1;
    failed += writeSheet(cueDir, "damaged.cue", damaged) ? 0 : 1;
    // One file a track, the gaps at the end of the file before; a data track, then audio, in
    // a raw image; Cyrillic in Windows-1251; UTF-16 without a mark.
    const std::string separate = "FILE \"01.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\n"
                                 "INDEX 00 00:04:00\nFILE 02 two.flac WAVE\nINDEX 01 00:00:00\nREM DATE 1999\n";
    const std::string mixed = "FILE \"Disc\\game.bin\" BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\n"
                              "TRACK 02 AUDIO\nINDEX 00 00:10:00\nINDEX 01 00:12:00\n";
    const std::string cyrillic = "TITLE \"\xc3\xf0\xf3\xef\xef\xe0\"\nFILE \"\xd2\xf0\xe5\xea.wav\" WAVE\n"
                                 "TRACK 01 AUDIO\nINDEX 01 00:00:00\n";
    failed += writeSheet(cueDir, "separate.cue", separate) ? 0 : 1;
    failed += writeSheet(cueDir, "mixed.cue", mixed) ? 0 : 1;
    failed += writeSheet(cueDir, "windows-1251.cue", cyrillic) ? 0 : 1;
    failed += writeSheet(cueDir, "utf16le-no-mark.cue", utf16le(kSheet).substr(2)) ? 0 : 1;
    return failed == 0 ? 0 : 1;
}
