#include "batchsummary.h"

#include "console.h"
#include "stopsignals.h"

QString clockTime(double seconds)
{
    const qint64 whole = qint64(seconds + 0.5);
    const QString minutes = QStringLiteral("%1:%2").arg(whole / 60 % 60, whole >= 3600 ? 2 : 1, 10, QLatin1Char('0'))
                                .arg(whole % 60, 2, 10, QLatin1Char('0'));
    return whole >= 3600 ? QStringLiteral("%1:%2").arg(whole / 3600).arg(minutes) : minutes;
}

void printSummary(const Tally &tally, double elapsedSeconds, int stopSignal)
{
    Console &err = Console::err();
    const QString warned = tally.warned ? QStringLiteral("; %1 of those converted with warnings").arg(tally.warned) : QString();
    err.line(QStringLiteral("converted %1, skipped %2, failed %3%4")
                 .arg(tally.converted)
                 .arg(tally.skipped)
                 .arg(tally.failed.size())
                 .arg(warned));
    for (const auto &[input, reason] : tally.failed)
        err.line(QStringLiteral("failed: %1: %2").arg(input, reason));
    if (!tally.stoppedStarting.isEmpty())
        err.line(QStringLiteral("stopped starting new files: ") + tally.stoppedStarting);
    const double speed = elapsedSeconds > 0 ? tally.seconds / elapsedSeconds : 0;
    err.line(QStringLiteral("audio %1 in %2, %3x real time")
                 .arg(clockTime(tally.seconds), clockTime(elapsedSeconds), QString::number(speed, 'f', 1)));
    if (stopSignal)
        err.line(QStringLiteral("stopped by %1; finished MP3s are kept, the next run converts the rest")
                     .arg(QLatin1String(stopSignalName(stopSignal))));
}
