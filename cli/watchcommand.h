#pragma once

#include "batchrequest.h"
#include "exitstatus.h"

// sonovert-encode --mirror SRC... -o DST --watch: a mirror run, then the sources watched and
// the mirror run again once what changed has settled; a DST not there (a stick out) is waited
// for, and brought up to date when it comes. Runs until SIGTERM or SIGINT (their exit status);
// SIGHUP asks for a run over everything. A run that cannot be done is said and tried again at
// the next change: the watch ends of itself only where the command is wrong.
ExitStatus runMirrorWatch(const BatchRequest &request);
