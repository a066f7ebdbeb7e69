#pragma once

#include "batchrequest.h"
#include "exitstatus.h"

// sonovert-encode --mirror SRC... -o DST: keeps DST an MP3 copy of the sources, in step with them
// (docs/mirror.md). Success when DST is in step; Failed when something could not be done or a
// safety check refused the run (nothing changed then).
ExitStatus runMirrorCommand(const BatchRequest &request);
