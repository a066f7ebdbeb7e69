#pragma once

#include "encoder/core/trackgain.h"

#include <QByteArray>

#include <optional>

// The loudness figures an MP3 of ours carries as TXXX REPLAYGAIN_* frames (id3render.h writes
// them).
struct Mp3Gains
{
    std::optional<TrackGain> track;
    std::optional<TrackGain> album;
};

// The figures of an ID3v2 tag, read by TagLib: a gain and its peak together, or none.
Mp3Gains readGains(const QByteArray &id3v2);
