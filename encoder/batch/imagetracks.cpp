#include "imagetracks.h"
#include "outputclaims.h"

#include "encoder/core/filestamp.h"
#include "encoder/input/audiosource.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

namespace {

// Below -60 dBFS at its peak, the audio before track 1 is a ripper's silence, not a track.
constexpr float kSilence = 0.001f;

bool silent(const QString &image, const FrameRange &range)
{
    AudioSource source;
    if (!source.open(image, false, false, range))
        return true;
    std::vector<float> block(static_cast<std::size_t>(4096 * source.info().channels));
    for (qint64 read; (read = source.read(block.data(), 4096)) > 0;) {
        const auto end = block.begin() + read * source.info().channels;
        if (std::any_of(block.begin(), end, [](float sample) { return std::abs(sample) > kSilence; }))
            return false;
    }
    return true;
}

// A batch lists its inputs up to three times (its albums counted, its queue, its progress line):
// an image's verdict is kept, by the image's size and time and the range, so its audio is read
// once.
bool silentOnce(const QString &image, const FrameRange &range)
{
    static std::mutex mutex;
    static QHash<QString, bool> known;
    const std::optional<FileStamp> stamp = fileStamp(image);
    if (!stamp)
        return silent(image, range);
    const QString key = QStringLiteral("%1 %2 %3 %4")
                            .arg(QString::fromLatin1(stamp->text()))
                            .arg(range.first)
                            .arg(range.count.value_or(-1))
                            .arg(image);
    {
        const std::lock_guard lock(mutex);
        if (const auto found = known.constFind(key); found != known.constEnd())
            return *found;
    }
    const bool verdict = silent(image, range);
    const std::lock_guard lock(mutex);
    if (known.size() >= 4096)
        known.clear();
    known.insert(key, verdict);
    return verdict;
}

// A title as a file name: no folder separator, no control character, not "." or "..".
QString fileNamePart(const QString &title)
{
    QString text = withoutUnnamable(title).trimmed();
    if (text == QLatin1String(".") || text == QLatin1String(".."))
        text.fill(QLatin1Char('_'));
    return text;
}

BatchInput refused(const QString &sheet, const QString &below, const QString &why)
{
    BatchInput input = wholeInput(sheet, below);
    input.sheet = sheet;
    input.error = why;
    return input;
}

} // namespace

QString sheetBeside(const QString &image)
{
    const QFileInfo info(image);
    for (const char *suffix : {".cue", ".CUE"}) {
        const QString sheet = info.dir().filePath(info.completeBaseName() + QLatin1String(suffix));
        if (QFileInfo(sheet).isFile())
            return sheet;
    }
    return {};
}

std::vector<BatchInput> imageTracks(const QString &sheetPath, const QString &below, Pregap pregap,
                                    const QString &found, const PregapSilence &known)
{
    const Result<CueSheet> sheet = readCueSheet(sheetPath);
    if (!sheet)
        return {refused(sheetPath, below, sheet.failure().message)};
    QString image = QFileInfo(sheetPath).dir().filePath(sheet->file);
    if (!found.isEmpty() && !QFileInfo(image).exists()
        && QFileInfo(image).completeBaseName() == QFileInfo(found).completeBaseName())
        image = found;
    AudioSource source;
    if (!QFileInfo(image).isFile())
        return {refused(sheetPath, below,
                        QStringLiteral("line %1: FILE names %2, which is not there").arg(sheet->fileLine).arg(image))};
    if (const Outcome opened = source.open(image, false, false); !opened)
        return {refused(sheetPath, below, QStringLiteral("line %1: %2").arg(sheet->fileLine).arg(opened.message))};
    const Result<std::vector<CueCut>> cuts = cueCuts(*sheet, source.info().frames, source.info().sampleRate, pregap);
    if (!cuts)
        return {refused(sheetPath, below, cuts.failure().message)};
    std::vector<BatchInput> tracks;
    for (const CueCut &cut : *cuts) {
        const FrameRange range {.first = cut.begin, .count = cut.end - cut.begin};
        if (cut.number() == 0) {
            const std::optional<bool> told = known ? known(sheetPath, image) : std::nullopt;
            if (told ? *told : silentOnce(image, range))
                continue;
        }
        QString name = QStringLiteral("%1").arg(cut.number(), 2, 10, QLatin1Char('0'));
        if (const QString title = fileNamePart(cut.track.title); !title.isEmpty())
            name += QLatin1Char(' ') + title;
        BatchInput track = wholeInput(image, below + QLatin1Char('/') + name);
        track.sheet = sheetPath;
        track.track = cut.number();
        track.range = range;
        tracks.push_back(std::move(track));
    }
    return tracks;
}
