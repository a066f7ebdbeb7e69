#pragma once

#include "mp3output.h"
#include "encoder/core/outcome.h"
#include "encoder/core/trackgain.h"
#include "encoder/tags/id3render.h"

#include <QByteArray>

#include <atomic>
#include <cstddef>
#include <functional>
#include <vector>

// The order of every MP3 a run writes: ID3v2 tag, info frame, audio frames, ID3v1 tag.
struct Mp3Layout
{
    const Mp3Tags &tags;
    // Bytes held for an info frame made after the audio; 0 where there is none, or where the
    // audio opens with lame's own placeholder.
    std::size_t infoFrameBytes = 0;
    // The file's sample rate where it was resampled ahead of lame (lame took the resampled
    // audio for its input), for the info frame's source rate; 0 otherwise.
    int sourceRate = 0;
    // The track's loudness figures, asked for after the audio; empty where none are measured.
    // Where given and the MP3 has an ID3v2 tag, the tag is written with room for them, and again
    // with them at the end.
    TrackGainSource trackGain;
};

// Writes the parts in that order; writeAudio writes the frames, infoFrame gives the finished
// info frame (empty for none), which goes right after the ID3v2 tag. Commits the output
// unless a step fails or abort was set.
Outcome writeMp3File(Mp3Output &output, const Mp3Layout &layout, const std::function<Outcome()> &writeAudio,
                     const std::function<Outcome(std::vector<unsigned char> &frame)> &infoFrame,
                     const std::atomic_bool &abort);
