#pragma once

// sonovert-encode run as a separate process, for the tests of its batches.
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QStringList>

#include <csignal>

#include <sys/types.h>

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

// The command with args; stopped by signal after stopAfterMs where that is given. exitCode
// stays -1 where it did not start or end by itself.
inline Run encode(const QStringList &args, int stopAfterMs = 0, int signal = SIGINT)
{
    QProcess cli;
    cli.start(QStringLiteral(SONOVERT_ENCODE), args);
    Run run;
    if (!cli.waitForStarted())
        return run;
    if (stopAfterMs > 0 && !cli.waitForFinished(stopAfterMs))
        ::kill(static_cast<pid_t>(cli.processId()), signal);
    if (!cli.waitForFinished(60000) || cli.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = cli.exitCode();
    run.out = QString::fromUtf8(cli.readAllStandardOutput());
    run.err = QString::fromUtf8(cli.readAllStandardError());
    return run;
}

// Every file below dir, by its path below it.
inline QStringList filesBelow(const QString &dir)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(dir).relativeFilePath(it.next());
    files.sort();
    return files;
}
