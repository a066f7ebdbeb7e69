#pragma once

// The watch's signals as a descriptor to poll beside inotify's: SIGTERM and SIGINT (which still
// set stopRequested(), so a run under way stops as a batch does) and SIGHUP, which asks for a
// full run. A byte a signal is written to a pipe by the handler, so none is missed between a
// look at the flag and poll().
class WatchSignals
{
public:
    WatchSignals();
    ~WatchSignals();
    WatchSignals(const WatchSignals &) = delete;
    WatchSignals &operator=(const WatchSignals &) = delete;

    // Takes SIGTERM and SIGINT back from a run (which catches them its own way), SIGHUP too.
    void install();
    int fd() const;
    // Empties the pipe: whether SIGHUP was among the signals.
    bool readHangUp();
};
