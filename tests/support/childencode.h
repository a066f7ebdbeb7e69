#pragma once

#include <QString>
#include <QtGlobal>

// One conversion through LameEncoderX in a child process (the test executable itself, started
// again), under conditions a test must not impose on its own process.

struct ChildConditions
{
    qint64 fileSizeLimit = -1;       // bytes, as RLIMIT_FSIZE with SIGXFSZ ignored; -1: none
    bool refuseUnnamedFiles = false; // open(O_TMPFILE) fails as on a file system without it
    int umask = -1;                  // -1: the parent's
    int abortAtPercent = -1;         // the run is aborted from the progress slot; -1: never
};

struct ChildEnd
{
    bool exited = false; // ended by itself, in time
    int exitCode = -1;   // 0 only when finished
    // "finished", "failed: MESSAGE", "refused: MESSAGE", "aborted with N new files" (N: the
    // entries the output's folder held then that it did not hold at the start), "no end", or
    // "unnamed files still allowed" (no filter for this processor).
    QString said;
};

ChildEnd encodeInChildProcess(const QString &input, const QString &output, const ChildConditions &conditions = {});

// Called first in main(): true, with *exitCode, when this process is such a child and has run.
bool runEncodeChild(int argc, char *argv[], int *exitCode);

// From here on, in this process and the threads it starts, system call number fails with
// error; where flags is not 0, only the calls whose third argument has one of those bits set.
// False where it cannot be set up (no filter for this processor).
bool failSystemCall(long number, int error, unsigned flags = 0);
