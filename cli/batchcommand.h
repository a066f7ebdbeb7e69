#pragma once

#include "batchrequest.h"
#include "exitstatus.h"

// Converts (or lists) the batch: Success when every input was converted or skipped, WrongUsage
// when an input does not exist or the output folder cannot be made (told before anything is).
ExitStatus runBatchCommand(const BatchRequest &request);
