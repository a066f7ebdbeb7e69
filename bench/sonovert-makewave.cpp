// sonovert-makewave OUTPUT SECONDS [RATE [CHANNELS]]: a music-like 16-bit WAVE for timing runs.
#include "wavegen.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QTextStream err(stderr);
    bool ok = args.size() >= 2 && args.size() <= 4;
    const double seconds = ok ? args[1].toDouble(&ok) : 0;
    int rate = 44100;
    int channels = 2;
    if (ok && args.size() >= 3)
        rate = args[2].toInt(&ok);
    if (ok && args.size() >= 4)
        channels = args[3].toInt(&ok);
    if (!ok || seconds <= 0 || rate <= 0 || channels <= 0) {
        err << "usage: sonovert-makewave OUTPUT SECONDS [RATE [CHANNELS]]" << Qt::endl;
        return 2;
    }
    QString error;
    if (!writeMusicWave(args[0], seconds, rate, channels, &error)) {
        err << "sonovert-makewave: " << error << Qt::endl;
        return 1;
    }
    return 0;
}
