#pragma once

#include <mutex>

// lame_init_params fills tables that every libmp3lame instance in the process shares: held
// around it so that only one instance is set up at a time.
inline std::mutex &lameSetupMutex()
{
    static std::mutex mutex;
    return mutex;
}
