#pragma once

#include <atomic>

// SIGINT and SIGTERM end a conversion cleanly instead of the process: from then on
// stopRequested() is set and stopSignalCaught() gives the signal's number, 0 before.
void catchStopSignals();
int stopSignalCaught();
const std::atomic_bool &stopRequested();
// "SIGINT" or "SIGTERM".
const char *stopSignalName(int number);
