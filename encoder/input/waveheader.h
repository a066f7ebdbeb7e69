#pragma once

#include <QString>
#include <QtGlobal>

#include <sndfile.h>

#include <optional>
#include <vector>

// What a WAVE file's chunk list says (any container but Wave64), read before libsndfile opens the
// file: the facts libsndfile does not act on.
struct WaveHeader
{
    bool hasFormat = false;
    quint16 tag = 0; // the format tag; for WAVE_FORMAT_EXTENSIBLE the SubFormat's
    int bits = 0;
    int blockAlign = 0;
    int framesPerBlock = 0; // of MS ADPCM, IMA ADPCM and GSM 6.10; 0 for others
    qint64 factFrames = -1; // sample frames the 'fact' chunk counts, if it can be trusted; else -1
    // Bytes of audio the data chunk's size announces past the end of the file: a copy or a
    // download cut short. 0 where the file holds them, and for a size not yet written.
    qint64 missingBytes = 0;
    // A recording whose header was never finished: the data size is still 0 with audio after
    // it. The sizes it should have are in patches, as libsndfile is to read them.
    bool unfinished() const { return !patches.empty(); }
    struct Patch
    {
        qint64 at;
        unsigned char bytes[4];
    };
    std::vector<Patch> patches;
};

WaveHeader readWaveHeader(int fd, qint64 fileSize);

// Why libsndfile refused a file with this header, where the format itself is the reason:
// a codec it has no decoder for, or a sample width it cannot take.
std::optional<QString> unsupportedFormat(const WaveHeader &header);

// The file with the header's patches laid over it, for sf_open_virtual.
class PatchedFile
{
public:
    PatchedFile(int fd, qint64 size, std::vector<WaveHeader::Patch> patches);
    static SF_VIRTUAL_IO *io();
    // libsndfile takes a failed read for the end of the file: the error is kept here.
    int error() const { return m_error; }
    qint64 position() const { return m_position; }

private:
    int m_fd;
    int m_error = 0;
    qint64 m_size;
    qint64 m_position = 0;
    std::vector<WaveHeader::Patch> m_patches;
};
