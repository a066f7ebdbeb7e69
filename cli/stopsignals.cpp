#include "stopsignals.h"

#include <csignal>

namespace {

std::atomic_bool stopFlag = false;
volatile std::sig_atomic_t stopSignal = 0;

void onStopSignal(int number)
{
    stopSignal = number;
    stopFlag.store(true);
}

} // namespace

void catchStopSignals()
{
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

int stopSignalCaught()
{
    return stopFlag.load() ? static_cast<int>(stopSignal) : 0;
}

const std::atomic_bool &stopRequested()
{
    return stopFlag;
}

const char *stopSignalName(int number)
{
    return number == SIGTERM ? "SIGTERM" : "SIGINT";
}
