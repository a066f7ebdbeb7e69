#pragma once

#include "batchrequest.h"
#include "exitstatus.h"
#include "mirrorplan.h"

#include <QString>

// The mirror over many machines: jobs of the folders with work run elsewhere, each a mirror of
// its own below DST/.sonovert-incoming, whose MP3s the next run here takes.

// --list and --list0 with --mirror: each folder (or file given) with a file to convert or encode
// again, and the folder below DST a mirror job of it on another machine writes into.
ExitStatus listMirror(const BatchRequest &request, const MirrorPlan &plan, const QString &mirror);

// The MP3s those jobs made, given to the items whose sources they were made of (item.elsewhere),
// where their records have the audio, settings and tags the item would make; and which albums
// the jobs measured whole (plan.albumsMadeWhole). The jobs' folders are named as listMirror named
// them, with the names request gives (or the disk's).
void markMadeElsewhere(const BatchRequest &request, MirrorPlan &plan, const QString &mirror);
