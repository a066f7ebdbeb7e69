#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QtGlobal>

#include <vector>

enum class ChannelMode { Stereo, JointStereo, DualChannel, Mono };
enum class BitrateMode { Constant, Variable, Average };

// One MPEG audio frame as libmpg123 decoded it (the info frame is not audio and not listed).
struct Mp3Frame
{
    int rate = 0;
    ChannelMode mode = ChannelMode::Stereo;
    int bitrate = 0; // kbit/s
    int bytes = 0;   // header included
    bool copyright = false;
    bool original = false;
};

// The 128 bytes at the end of the file, read as Latin-1 with the padding cut off.
struct Id3v1
{
    QString title;
    QString artist;
    QString album;
    QString year;
    QString comment;
    int genre = 255; // 255: none
    int track = 0;   // ID3v1.1; 0: none
};

// An APIC frame as libmpg123 reads it.
struct Mp3Picture
{
    int type = 0;
    QString mimeType;
    QString description;
    QByteArray data;
};

// What an MP3 decodes to with libmpg123, gapless (encoder delay and padding removed as the
// info frame gives them), with its frame headers and tags.
struct Mp3Info
{
    bool ok = false;
    QString error;
    int rate = 0;
    int channels = 0;
    qint64 frames = 0;          // decoded sample frames, per channel
    std::vector<float> samples; // interleaved; filled only when asked for
    std::vector<Mp3Frame> audioFrames;
    BitrateMode bitrateMode = BitrateMode::Constant; // as libmpg123 reads the info frame

    qint64 id3v2Bytes = 0;   // the ID3v2 tag at the start, header included; 0 without
    qint64 firstFrameAt = -1; // where the first MPEG audio frame starts
    bool hasInfoTag = false; // the first frame is a Xing/Info frame
    QByteArray infoTagId;    // "Xing" (variable bit rate) or "Info" (constant)
    quint32 infoTagFlags = 0; // 1 frame count, 2 byte count, 4 seek table, 8 quality
    qint64 infoTagFrames = -1;
    quint32 firstFrameHeader = 0; // the four header bytes of the first frame
    // lame's extension of the info tag ("LAME..." after the Xing/Info fields), where present:
    // the peak signal amplitude and radio replay gain fields as stored, and whether the tag's
    // CRC (over the frame up to it) holds.
    bool hasLameTag = false;
    quint32 lameTagPeak = 0;      // 2^23 is full scale
    quint16 lameTagRadioGain = 0; // name, originator, sign, 0.1 dB steps
    quint16 lameTagAudiophileGain = 0;
    bool lameTagCrcOk = false;
    // The info tag's quality field (100 less 10 x the VBR quality less lame's -q), and the
    // LAME tag's VBR method (1 constant, 4 and 5 VBR, ...) and bit-rate byte.
    qint64 infoTagQuality = -1;
    int lameTagMethod = -1;
    int lameTagBitrate = -1;

    bool hasId3v2 = false;
    bool hasId3v1 = false;
    QMap<QString, QString> id3v2Text; // frame id ("TIT2") -> text, as libmpg123 reads it
    QMap<QString, QString> id3v2Extra; // TXXX description -> text
    QString id3v2Comment;               // the COMM text
    std::vector<Mp3Picture> pictures;
    Id3v1 id3v1;
};

Mp3Info decodeMp3(const QString &path, bool keepSamples = false);

// Whether the first MPEG audio frame of data (after any ID3v2 tag) is a Xing or Info frame.
bool startsWithInfoFrame(const QByteArray &data);

// The copyright and original bits of a four-byte MPEG audio frame header.
inline bool headerCopyright(quint32 header) { return (header & 0x8) != 0; }
inline bool headerOriginal(quint32 header) { return (header & 0x4) != 0; }
