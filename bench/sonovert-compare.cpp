// sonovert-compare INPUT.wav OUTPUT.mp3: decodes the MP3 with libmpg123 (gapless) and prints
// "SNR-dB same-length" against the input: the signal-to-error ratio over every sample in dB
// (a mono MP3 against the input's channel average), and "yes" when the decoded length equals
// the input's. An MP3 at another rate than the input's is compared with the input resampled to
// its rate at libsoxr's highest quality, and its length with lame's for that rate.
#include "mp3check.h"
#include "wavegen.h"

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
    if (!mp3.ok || mp3.channels > info.channels) {
        sf_close(file);
        err << "sonovert-compare: cannot decode " << args[1] << ": " << mp3.error << Qt::endl;
        return 1;
    }
    std::vector<float> input(static_cast<std::size_t>(info.frames * info.channels));
    const sf_count_t read = sf_readf_float(file, input.data(), info.frames);
    sf_close(file);
    input.resize(static_cast<std::size_t>(read * info.channels));
    qint64 frames = read;
    if (mp3.rate != info.samplerate) {
        frames = frames * mp3.rate / info.samplerate;
        input = resampled(input, info.channels, info.samplerate, mp3.rate, frames);
    }
    double signal = 0;
    double error = 0;
    std::size_t at = 0;
    for (qint64 f = 0; f < frames; ++f) {
        // A mono MP3 is compared with the average of the input's channels.
        const float *reference = input.data() + f * info.channels;
        double average = 0;
        for (int k = 0; k < info.channels; ++k)
            average += reference[k];
        average /= info.channels;
        for (int c = 0; c < mp3.channels; ++c, ++at) {
            const double wanted = mp3.channels == info.channels ? reference[c] : average;
            const double decoded = at < mp3.samples.size() ? mp3.samples[at] : 0.0;
            signal += wanted * wanted;
            error += (decoded - wanted) * (decoded - wanted);
        }
    }
    out << QString::number(10 * std::log10(signal / std::max(error, 1e-20)), 'f', 2) << ' '
        << (mp3.frames == frames ? "yes" : "no") << Qt::endl;
    return 0;
}
