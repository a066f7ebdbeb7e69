#pragma once

#include "disknames.h"
#include "nametemplate.h"

#include "encoder/batch/outputclaims.h"
#include "encoder/core/encodersettings.h"
#include "encoder/input/cuecuts.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// sonovert-encode INPUT... [-o DIR] and --mirror: what the command line asked for.
struct BatchRequest
{
    QStringList inputs;
    QString outputDir; // empty: each MP3 beside its WAVE
    std::optional<NameTemplate> name; // each MP3's path from its tags; none: the WAVE's own name
    ExistingPolicy existing = ExistingPolicy::Skip;
    // The names the MP3s get (--names, or a listing run's for its jobs); none: asked of the disk.
    std::optional<DiskNames> names;
    int jobs = 0; // 0: one per core
    // Print each file a run would convert and its MP3, and convert none: as INPUT<TAB>OUTPUT
    // lines, or each path ended by a NUL byte, for names that hold a tab or a newline.
    enum class Listing { None, Lines, Nul } listing = Listing::None;
    // Which files form an album, for its loudness figures: a folder's, those whose album tags
    // agree, or none.
    enum class Album { Folder, Tags, Off } album = Album::Folder;
    bool subfolders = true; // a folder given is searched through its subfolders
    bool playlists = true; // the M3U playlists below the folders given are written for the MP3s (playlists.h)
    Pregap pregap = Pregap::Previous; // where a CD image's gaps before its tracks go
    QByteArray cueCharset; // the CUE sheets' text encoding; empty: found for each
    // Keep outputDir an MP3 copy of the inputs (mirrorcommand.h); with dryRun only say how, and
    // with trashMany go on where more than half of its MP3s would go to the trash.
    bool mirror = false;
    bool dryRun = false;
    bool trashMany = false;
    // Then keep watching the inputs, and run again once their changes have had settleSeconds
    // without another (watchcommand.h).
    bool watch = false;
    int settleSeconds = 10;
    // What becomes of the MP3s of sources gone.
    enum class Gone { Trash, Delete } gone = Gone::Trash;
    bool check = false; // convert nothing: say whether every MP3 is there (checkcommand.h)
    EncoderSettings settings;
};
