// sonovert-compare INPUT.wav OUTPUT.mp3: decodes the MP3 with libmpg123 (gapless) and prints
// "SNR-dB same-length" against the input: the signal-to-error ratio over every sample in dB
// (a mono MP3 against the input's channel average), and "yes" when the decoded length equals
// the input's. Fails when the MP3's sample rate is not the input's.
#include "mp3check.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <QTextStream>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (args.size() != 2) {
        err << "usage: sonovert-compare INPUT.wav OUTPUT.mp3" << Qt::endl;
        return 2;
    }
    SF_INFO info {};
    SNDFILE *file = sf_open(QFile::encodeName(args[0]).constData(), SFM_READ, &info);
    if (!file) {
        err << "sonovert-compare: cannot read " << args[0] << Qt::endl;
        return 1;
    }
    const Mp3Info mp3 = decodeMp3(args[1], true);
    if (!mp3.ok || mp3.rate != info.samplerate || mp3.channels > info.channels) {
        sf_close(file);
        err << "sonovert-compare: cannot decode " << args[1] << ": " << mp3.error << Qt::endl;
        return 1;
    }
    double signal = 0;
    double error = 0;
    std::vector<float> block(static_cast<std::size_t>(65536 * info.channels));
    std::size_t at = 0;
    for (sf_count_t got; (got = sf_readf_float(file, block.data(), 65536)) > 0;) {
        // A mono MP3 is compared with the average of the input's channels.
        for (sf_count_t f = 0; f < got; ++f) {
            for (int c = 0; c < mp3.channels; ++c, ++at) {
                double reference = 0;
                for (int k = 0; k < info.channels; ++k)
                    reference += block[static_cast<std::size_t>(f * info.channels + k)];
                reference = mp3.channels == info.channels ? block[static_cast<std::size_t>(f * info.channels + c)]
                                                          : reference / info.channels;
                const double decoded = at < mp3.samples.size() ? mp3.samples[at] : 0.0;
                signal += reference * reference;
                error += (decoded - reference) * (decoded - reference);
            }
        }
    }
    sf_close(file);
    out << QString::number(10 * std::log10(signal / std::max(error, 1e-20)), 'f', 2) << ' '
        << (mp3.frames == info.frames ? "yes" : "no") << Qt::endl;
    return 0;
}
