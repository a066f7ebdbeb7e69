#pragma once

#include "encoder/core/filestamp.h"
#include "encoder/core/framerange.h"

#include <QString>

#include <functional>
#include <optional>

// One input of a batch and where its MP3 goes below the output folder.
struct BatchInput
{
    QString path;
    // The path below the folder it was found in, without its extension ("Album/01 Song"); of a
    // file given by itself, its name without the extension.
    QString below;
    // A track of a CD image cut by its CUE sheet: the sheet, the track's number and frames; no
    // sheet for a whole file.
    QString sheet;
    int track = -1;
    FrameRange range;
    QString error; // a sheet that cannot be used: why, naming its line; nothing is converted
    QString skipped; // a lossy file: why it is not converted
    QString note; // said before it is converted: how a CD image's files were found, tracks skipped
    bool copy = false; // an MP3, to be copied as it is (withMp3s)
    // The file's size and time as the folder's search found it (withSizes).
    std::optional<FileStamp> stamp;
};

// Whether the audio before a CD image's track 1 is silence (no track 0), where it is known
// without reading it: (sheet, image) as found; nothing to have it read.
using PregapSilence = std::function<std::optional<bool>(const QString &sheet, const QString &image)>;

inline BatchInput wholeInput(const QString &path, const QString &below)
{
    BatchInput input;
    input.path = path;
    input.below = below;
    return input;
}
