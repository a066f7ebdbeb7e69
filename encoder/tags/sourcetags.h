#pragma once

#include "coverfile.h"
#include "tagset.h"
#include "encoder/core/encodersettings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// What reading a source file's tags gave: the tags of each place, and one line for each part
// left out as damaged or too large.
struct SourceTagRead
{
    SourceTags tags;
    QStringList warnings;
};

// Reads the INFO, id3 (or ID3) and bext chunks of a RIFF or RF64 WAVE file, a FLAC's Vorbis
// comment and picture blocks, or an AIFF's ID3 chunk. Never fails: a file that is none of them
// has no tags, a damaged chunk is left out with a warning.
SourceTagRead readSourceTags(const QString &path);
// The same from the file's bytes.
SourceTagRead readSourceTags(const QByteArray &file);
// The input's tags as a run with settings reads them: none where its own tags are ignored or
// it is raw PCM, which has no chunks to hold them.
std::optional<SourceTagRead> readSourceTags(const EncoderSettings &settings);
