// One conversion per fuzz input: the input's tags are read, then it is written to a file and
// converted to MP3 with a fast setting. The first byte picks the options; the rest is the file. Besides the
// sanitizers, a failed run must leave no file behind and a finished one must leave the MP3.
#include "encoder/encoderun.h"
#include "encoder/tags/sourcetags.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

struct Place
{
    QString dir;
    QString input;
    QString output;
};

const Place &place()
{
    static const Place p = [] {
        QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/sonovert-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            std::abort();
        const QString dir = QFile::decodeName(pattern);
        std::atexit([] { QDir(place().dir).removeRecursively(); });
        return Place {dir, dir + QStringLiteral("/in.wav"), dir + QStringLiteral("/out.mp3")};
    }();
    return p;
}

void fault(const char *what, const Outcome &end)
{
    std::fprintf(stderr, "fuzz_encode: %s (%s)\n", what, qPrintable(end.message));
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const Place &p = place();
    {
        QFile file(p.input);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || file.write(reinterpret_cast<const char *>(data + 1), static_cast<qint64>(size - 1))
                   != static_cast<qint64>(size - 1))
            std::abort();
    }

    // The tags are read only of a file whose audio opens: here of every input.
    (void)readSourceTags(QByteArray::fromRawData(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1)));

    const std::uint8_t options = data[0];
    EncoderSettings settings;
    settings.inputFile = p.input;
    settings.outputFile = p.output;
    settings.rawPcm = options & 1;
    settings.forceByteSwap = options & 2;
    settings.mono = options & 4;
    settings.useVbr = options & 8;
    settings.vbrRate = 9;
    settings.voiceMode = (options & 0x30) == 0x30;
    settings.writeInfoTag = !(options & 0x40);
    settings.skipTags = options & 0x80;
    settings.tagTitle = QStringLiteral("Fuzz");
    settings.fastMode = true;
    settings.bitrate = 32;

    const std::atomic_bool abort(false);
    int last = -1;
    const Outcome end = runEncode(settings, abort, [&](int percent, qint64) {
        if (percent <= last || percent > 100)
            fault("progress out of order", Outcome::success());
        last = percent;
    });

    const QStringList left = QDir(p.dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    if (end) {
        if (last != 100 || left != QStringList({QStringLiteral("in.wav"), QStringLiteral("out.mp3")}))
            fault("a finished run left no MP3 or more files", end);
    } else {
        if (end.message.isEmpty())
            fault("a failure without a reason", end);
        if (left != QStringList({QStringLiteral("in.wav")}))
            fault("a failed run left files behind", end);
    }
    QFile::remove(p.output);
    return 0;
}
