// sonovert-makewave OUTPUT SECONDS [RATE [CHANNELS [BITS]]]: a music-like WAVE for timing runs,
// 16-bit unless BITS is 8, 24 or 32.
#include "wavegen.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

#include <cmath>
#include <map>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QTextStream err(stderr);
    bool ok = args.size() >= 2 && args.size() <= 5;
    const double seconds = ok ? args[1].toDouble(&ok) : 0;
    int rate = 44100;
    int channels = 2;
    if (ok && args.size() >= 3)
        rate = args[2].toInt(&ok);
    if (ok && args.size() >= 4)
        channels = args[3].toInt(&ok);
    int bits = 16;
    if (ok && args.size() >= 5)
        bits = args[4].toInt(&ok);
    const std::map<int, SampleType> types {{8, SampleType::Pcm8}, {16, SampleType::Pcm16}, {24, SampleType::Pcm24},
                                           {32, SampleType::Pcm32}};
    if (!ok || seconds <= 0 || rate <= 0 || channels <= 0 || !types.contains(bits)) {
        err << "usage: sonovert-makewave OUTPUT SECONDS [RATE [CHANNELS [BITS]]]" << Qt::endl;
        return 2;
    }
    WaveOptions shape;
    shape.frames = std::llround(seconds * rate);
    shape.channels = channels;
    shape.rate = rate;
    shape.sample = types.at(bits);
    QString error;
    if (!writeWave(args[0], shape, &error)) {
        err << "sonovert-makewave: " << error << Qt::endl;
        return 1;
    }
    return 0;
}
