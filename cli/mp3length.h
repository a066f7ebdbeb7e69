#pragma once

#include "encoder/core/framerange.h"

#include <QString>

#include <optional>

// What an MP3's LAME info frame says of it, read without decoding: its samples a channel (the
// frames' less the encoder delay and padding) and whether the file holds every byte of audio it
// counts.
struct Mp3Length
{
    int sampleRate = 0;
    qint64 samples = 0;
    bool whole = false; // the audio ends where the info frame's music length says
};

// Nothing where the file opens with no MPEG frame carrying a LAME info frame.
std::optional<Mp3Length> readMp3Length(const QString &path);

// The input's frames (a CD image's track: its range) in samples at the MP3's rate, as an
// encode of it gives them: nothing where the input cannot be opened.
std::optional<qint64> expectedSamples(const QString &input, const FrameRange &range, int mp3Rate);
