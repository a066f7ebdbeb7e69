#pragma once

#include <mutex>

// lame_init and lame_init_params fill tables that every libmp3lame instance in the process
// shares: held from one to the other so that only one instance is set up at a time.
inline std::mutex &lameSetupMutex()
{
    static std::mutex mutex;
    return mutex;
}
