#pragma once

#include <csignal>

// sonovert-encode's exit status, the same for INPUT OUTPUT and for a batch.
enum class ExitStatus : int {
    Success = 0,    // every input converted (or skipped)
    Failed = 1,     // a conversion failed
    WrongUsage = 2, // an unknown option, no input, an output folder that cannot be made
    StoppedByInt = 128 + SIGINT,
    StoppedByTerm = 128 + SIGTERM,
};

// The status after the stop signal number (SIGINT or SIGTERM).
constexpr ExitStatus stoppedBy(int number)
{
    return number == SIGTERM ? ExitStatus::StoppedByTerm : ExitStatus::StoppedByInt;
}
