#pragma once

#include <QString>

#include <cstddef>
#include <span>

// The WAVE family in one place: the containers a WAVE file comes in, how each one starts,
// and the names and file-name extensions it goes by. The input check, the header reader, the
// input dialog, drops and both command lines take what a WAVE file is from here.

// How a container states its chunk sizes.
enum class WaveSizes {
    Bits32, // RIFF and RIFX
    Ds64,   // 32 bits; all ones defers to the 64-bit sizes of a 'ds64' chunk (RF64, BW64)
    Bits64, // Sony Wave64: GUIDs and 64-bit sizes, a layout of its own
};

struct WaveContainer
{
    const char *name;
    const char *signature; // the bytes the file opens with
    std::size_t signatureSize;
    int formAt;            // where "WAVE" must follow; -1 where the signature says it all
    bool bigEndian;
    WaveSizes sizes;
    int sndfileFormats[2]; // the major formats libsndfile reports for it; 0: none
};

// "WAVE", as the program names the format in its texts.
inline constexpr char kWaveName[] = "WAVE";
// Bytes from the start of a file enough to tell every container apart.
inline constexpr std::size_t kWaveHeadBytes = 12;

std::span<const WaveContainer> waveContainers();

// The container a file starting with head (kWaveHeadBytes of it) is, or null: anything else
// is kept away from libsndfile's other parsers.
const WaveContainer *waveContainerOf(const unsigned char *head, std::size_t size);

// Whether a major format libsndfile reports (SF_FORMAT_TYPEMASK) is one of the family.
bool isWaveSndfileFormat(int format);

// Whether the name ends in an extension a WAVE file goes by: .wav or .wave, in any case.
bool isWaveFileName(const QString &path);

// What follows the last dot of the path's file name, as QFileInfo::suffix gives it, without
// asking the file system (a folder's thousands of names are each checked).
QStringView fileSuffix(const QString &path);

// The input dialog's filter, "Wave File (*.wav)|*.wav": the usual extension only.
QString waveFileFilter();
