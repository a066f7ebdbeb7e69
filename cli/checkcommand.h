#pragma once

#include "batchrequest.h"
#include "exitstatus.h"

// sonovert-encode INPUT... [-o DIR] --check [--mirror]: whether the run of the same command, or
// the jobs of its list, left every input's MP3 as the batch makes it, changing nothing. A batch's
// MP3 counts where it is there, whole, and of its input's length; a mirror's where its record is
// in step with its source (the next --mirror run would do nothing to it). Prints each MP3
// missing or stale and each temporary file a stopped conversion left; Success when none is
// missing or stale, Failed otherwise, WrongUsage for an input that is not there.
ExitStatus runCheckCommand(const BatchRequest &request);
