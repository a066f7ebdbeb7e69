#pragma once

#include "framerange.h"

#include <QString>

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
};
