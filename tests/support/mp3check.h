#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <vector>

// What an MP3 decodes to with libmpg123, gapless (encoder delay and padding removed as the
// info frame gives them).
struct Mp3Info
{
    bool ok = false;
    QString error;
    int rate = 0;
    int channels = 0;
    qint64 frames = 0;          // decoded sample frames, per channel
    bool hasInfoTag = false;    // the first audio frame is a Xing/Info frame
    bool hasId3v2 = false;
    bool hasId3v1 = false;
    std::vector<float> samples; // interleaved; filled only when asked for
};

Mp3Info decodeMp3(const QString &path, bool keepSamples = false);

// Whether the first MPEG audio frame of data (after any ID3v2 tag) is a Xing or Info frame.
bool startsWithInfoFrame(const QByteArray &data);
