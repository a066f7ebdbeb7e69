#pragma once

#include "exitstatus.h"
#include "nametemplate.h"

#include "encoder/batch/outputclaims.h"
#include "encoder/core/encodersettings.h"
#include "encoder/input/cuecuts.h"

#include <QStringList>
#include <QTextStream>

// sonovert-encode INPUT... [-o DIR]: what the command line asked for.
struct BatchRequest
{
    QStringList inputs;
    QString outputDir; // empty: each MP3 beside its WAVE
    std::optional<NameTemplate> name; // each MP3's path from its tags; none: the WAVE's own name
    ExistingPolicy existing = ExistingPolicy::Skip;
    int jobs = 0; // 0: one per core
    // Print each file a run would convert and its MP3, and convert none: as INPUT<TAB>OUTPUT
    // lines, or each path ended by a NUL byte, for names that hold a tab or a newline.
    enum class Listing { None, Lines, Nul } listing = Listing::None;
    // Which files form an album, for its loudness figures: a folder's, those whose album tags
    // agree, or none.
    enum class Album { Folder, Tags, Off } album = Album::Folder;
    bool subfolders = true; // a folder given is searched through its subfolders
    Pregap pregap = Pregap::Previous; // where a CD image's gaps before its tracks go
    // Keep outputDir an MP3 copy of the inputs (mirrorcommand.h); with dryRun only say how, and
    // with trashMany go on where more than half of its MP3s would go to the trash.
    bool mirror = false;
    bool dryRun = false;
    bool trashMany = false;
    // What becomes of the MP3s of sources gone.
    enum class Gone { Trash, Delete } gone = Gone::Trash;
    EncoderSettings settings;
};

// Converts (or lists) the batch: Success when every input was converted or skipped, WrongUsage
// when an input does not exist or the output folder cannot be made (told before anything is).
// One entry of --list or --list0: an input and its output; false, with a line on standard error,
// where a tab or a newline in a name keeps it from a line of --list.
bool printListed(QTextStream &out, BatchRequest::Listing listing, const QString &input, const QString &output);

ExitStatus runBatchCommand(const BatchRequest &request);
