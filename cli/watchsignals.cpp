#include "watchsignals.h"

#include "stopsignals.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

int pipeEnds[2] = {-1, -1};
struct sigaction stopAction {}; // the handler catchStopSignals() installs, called first

void onWatchSignal(int number)
{
    if (number != SIGHUP && stopAction.sa_handler != SIG_DFL && stopAction.sa_handler != SIG_IGN)
        stopAction.sa_handler(number);
    const int saved = errno;
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    errno = saved;
}

} // namespace

WatchSignals::WatchSignals()
{
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        pipeEnds[0] = pipeEnds[1] = -1;
}

WatchSignals::~WatchSignals()
{
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGHUP, &ignore, nullptr);
    catchStopSignals();
    for (int &end : pipeEnds) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
}

void WatchSignals::install()
{
    catchStopSignals();
    struct sigaction action {};
    action.sa_handler = onWatchSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &stopAction);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
}

int WatchSignals::fd() const
{
    return pipeEnds[0];
}

bool WatchSignals::readHangUp()
{
    bool hangUp = false;
    char bytes[64];
    for (ssize_t got; (got = ::read(pipeEnds[0], bytes, sizeof bytes)) > 0;)
        for (ssize_t i = 0; i < got; ++i)
            hangUp = hangUp || bytes[i] == SIGHUP;
    return hangUp;
}
