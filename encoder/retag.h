#pragma once

#include "encoder/core/encodersettings.h"
#include "encoder/core/outcome.h"
#include "encoder/core/trackgain.h"
#include "encoder/tags/gainread.h"

#include <QString>

#include <optional>

// Writes the MP3 at mp3 again with the tags a run with settings (inputFile, cueSheet, cueTrack,
// albumRoom set) writes now: its track figures as they were, the album's as given (or as they
// were), and every byte from its info frame to its last audio frame as it is. The file is replaced
// through a temporary file, as a run writes it, and is then the MP3 a run would give. Fails,
// leaving the file as it was, where it is not an MP3 of this form. temporaryFolder: where the
// temporary file is made (Mp3Output), beside the MP3 where empty.
Outcome retagMp3(const EncoderSettings &settings, const QString &mp3,
                 const std::optional<std::optional<TrackGain>> &albumGain = std::nullopt,
                 const QString &temporaryFolder = QString());

// The figures in the MP3's ID3v2 tag; none where it has none or cannot be read.
Mp3Gains readMp3Gains(const QString &mp3);

// The file at from, an MP3 made elsewhere, copied as it is to to (its folder made), through a
// temporary file as a run writes its MP3 (in temporaryFolder where given): an interrupt leaves no
// part of it.
Outcome copyMp3(const QString &from, const QString &to, const QString &temporaryFolder = QString());
