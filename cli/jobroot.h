#pragma once

#include "batchrequest.h"

#include "encoder/core/outcome.h"

// A job of a listed run (another machine converting one entry of --list) writes into the output
// folder the listing run saw, or nothing. The listing run leaves a mark in its output folder,
// OUT/.sonovert-root holding an id, and names each output below it as OUT/./REST, so that a job
// knows its root. The mark also holds the names the MP3s get (disknames.h): a job takes them
// rather than asking the disk, so that it names them as the listing did. A job given such a
// path whose root lacks the mark (a share not mounted: an empty mount point) is refused, as is
// a mirror job (its output below DST/.sonovert-incoming) whose DST holds no mirror record.

// Before a listing: the mark in the output folder (made if need be), or for --mirror the
// mirror's record and the names beside what its jobs make; a failure where neither can be made.
Outcome markListedRoot(const BatchRequest &request);

// An output of the list as a job is given it: below the root, ROOT/./REST.
QString rootedOutput(const BatchRequest &request, const QString &output);

// Before a run: where the output folder names a root (ROOT/./REST) or is a mirror job's, a
// failure unless the root holds its mark (DST its record); request's output folder then made
// plain, and the temporary files a stopped job of the same folder left there removed.
Outcome takeJobRoot(BatchRequest &request);
