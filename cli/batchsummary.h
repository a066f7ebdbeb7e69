#pragma once

#include <QString>

#include <utility>
#include <vector>

// What became of a batch's files, kept as they end.
struct Tally
{
    int converted = 0;
    int warned = 0; // of those converted, with a warning
    int skipped = 0;
    std::vector<std::pair<QString, QString>> failed; // input, reason
    double seconds = 0; // audio converted
    QString stoppedStarting; // why no new file was started
};

// m:ss, or h:mm:ss from an hour on.
QString clockTime(double seconds);

// The batch's last lines: what was converted, skipped and failed, each failure's reason, the
// speed, and the stop signal that ended it (0: none).
void printSummary(const Tally &tally, double elapsedSeconds, int stopSignal);
