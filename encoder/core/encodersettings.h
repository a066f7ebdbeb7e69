#pragma once

#include "framerange.h"

#include <QString>

#include <optional>

// What a device's player takes, set on the command line; the defaults leave the MP3 as a run
// without them makes it (and as the window makes it).
struct DeviceSettings
{
    // Pictures larger on their longer side, or not baseline JPEGs, are made baseline JPEGs of at
    // most coverSize pixels; kKeepCovers keeps them as they are, kNoCovers leaves them out.
    static constexpr int kKeepCovers = 0;
    static constexpr int kNoCovers = -1;
    enum class Gain { Off, Track, Album };

    int id3Version = 3; // ID3v2.3 or 2.4
    bool id3v1 = true;
    int coverSize = kKeepCovers;
    int maxRate = 0; // Hz: sources above it are resampled to the highest MPEG rate within; 0: none
    Gain applyGain = Gain::Off; // the samples scaled by the track's or the album's ReplayGain
    // The gain applied to the samples, dB, once the analysis found it; nothing: none yet.
    std::optional<double> appliedDb;

    bool operator==(const DeviceSettings &) const = default;
};

// Everything a run encodes with: the component's members, copied when a run starts so the
// worker never shares state with the window thread.
struct EncoderSettings
{
    QString inputFile;
    QString outputFile;
    FrameRange range; // of the input; the whole by default
    int bitrate = 128; // kbit/s
    int vbrRate = 4;   // 0 best .. 9 smallest
    bool voiceMode = false;
    bool useVbr = false;
    bool fixQuality = false;
    bool fastMode = false;
    bool rawPcm = false;
    bool forceByteSwap = false;
    bool mono = false;
    bool copyrighted = false;
    bool original = false;
    bool skipTags = false;
    bool writeInfoTag = true;
    QString tagTitle;
    QString tagArtist;
    QString tagAlbum;
    QString tagYear;
    QString tagGenre;
    bool replayGain = true;  // measure the loudness for ReplayGain
    bool sourceTags = true;  // the input's own tags fill the texts not typed
    // Room in the ID3v2 tag for the album's loudness figures, which a batch writes once every
    // track of the album is measured.
    bool albumRoom = false;
    QString coverFile;       // a JPEG or PNG for the front cover; empty for the input's own
    bool folderCover = true; // without a picture of its own, the input's folder's cover.jpg
    // A track of a CD image: the CUE sheet whose texts it takes (the range gives its audio), and
    // its number there, 0 for the audio before track 1.
    QString cueSheet;
    int cueTrack = -1;
    int workers = 0; // encoder threads for one file; 0: one per core
    DeviceSettings device;
};
