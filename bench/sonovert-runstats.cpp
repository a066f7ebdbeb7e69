// sonovert-runstats INPUT OUTPUT [THREADS]: encodes at the default settings as sonovert-encode
// does and prints where the parallel run's time went, for the benchmark's projection to more
// cores: "workers W chunks C wall S encode S wait S join S" (seconds; encode, wait and join
// summed over the workers).
#include "encoder/encoderun.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QTextStream out(stdout);
    if (args.size() < 2 || args.size() > 3) {
        QTextStream(stderr) << "usage: sonovert-runstats INPUT OUTPUT [THREADS]" << Qt::endl;
        return 2;
    }
    EncoderSettings settings;
    settings.inputFile = args[0];
    settings.outputFile = args[1];
    settings.workers = args.size() > 2 ? args[2].toInt() : 0;
    const std::atomic_bool abort = false;
    RunReport report;
    const Outcome outcome = runEncode(settings, ParallelPlan {}, abort, [](int, qint64) {}, &report);
    if (!outcome) {
        QTextStream(stderr) << "sonovert-runstats: " << outcome.message << Qt::endl;
        return 1;
    }
    out << "workers " << report.workers << " chunks " << report.instances << " wall " << report.parallelSeconds
        << " encode " << report.encodeSeconds << " wait " << report.waitSeconds << " join " << report.joinSeconds
        << Qt::endl;
    return 0;
}
