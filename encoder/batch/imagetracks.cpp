#include "imagetracks.h"
#include "outputclaims.h"

#include "encoder/core/filestamp.h"
#include "encoder/input/audiosource.h"
#include "encoder/input/cuesheetfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStringList>

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
    QString key = QStringLiteral("%1 %2 %3 %4")
                      .arg(QString::fromLatin1(stamp->text()))
                      .arg(range.first)
                      .arg(range.count.value_or(-1))
                      .arg(image);
    for (const FramePiece &piece : range.then)
        key += QStringLiteral(" %1 %2 %3").arg(piece.first).arg(piece.count).arg(piece.file);
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

RawCd cdOrder(const CueFile &file)
{
    return file.type == u"MOTOROLA" ? RawCd::BigEndian : RawCd::LittleEndian;
}

// A cut's frames as the range of its first file that goes on into the others.
FrameRange rangeOf(const CueCut &cut, const CueSheet &sheet, const std::vector<CueFileFound> &files)
{
    const auto rawOf = [&](int file) {
        return files[static_cast<std::size_t>(file)].rawCd ? cdOrder(sheet.files[static_cast<std::size_t>(file)]) : RawCd::No;
    };
    const CuePiece &first = cut.pieces.front();
    FrameRange range;
    range.first = first.begin;
    range.count = first.end - first.begin;
    range.raw = rawOf(first.file);
    for (auto piece = cut.pieces.begin() + 1; piece != cut.pieces.end(); ++piece)
        range.then.push_back({files[static_cast<std::size_t>(piece->file)].path, piece->begin, piece->end - piece->begin,
                              rawOf(piece->file)});
    return range;
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
    const std::vector<CueFileFound> files = findCueFiles(sheetPath, *sheet, found);
    std::vector<CueFileAudio> audio;
    QStringList notes;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const CueFileFound &file = files[i];
        if (!file.error.isEmpty())
            return {refused(sheetPath, below, file.error)};
        if (!file.note.isEmpty())
            notes << file.note;
        if (file.path.isEmpty()) { // data tracks only
            audio.push_back({});
            continue;
        }
        AudioSource source;
        FrameRange raw;
        raw.raw = file.rawCd ? cdOrder(sheet->files[i]) : RawCd::No;
        if (const Outcome opened = source.open(file.path, false, false, raw); !opened)
            return {refused(sheetPath, below, QStringLiteral("line %1: %2").arg(sheet->files[i].line).arg(opened.message))};
        audio.push_back({source.info().frames, source.info().sampleRate});
    }
    for (const CueTrack &track : sheet->tracks) {
        if (!track.audio())
            notes << QStringLiteral("line %1: track %2 is %3, data: skipped").arg(track.line).arg(track.number).arg(track.type);
    }
    const Result<std::vector<CueCut>> cuts = cueCuts(*sheet, audio, pregap);
    if (!cuts)
        return {refused(sheetPath, below, cuts.failure().message)};
    std::vector<BatchInput> tracks;
    for (const CueCut &cut : *cuts) {
        const FrameRange range = rangeOf(cut, *sheet, files);
        const QString &image = files[static_cast<std::size_t>(cut.pieces.front().file)].path;
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
    if (!tracks.empty())
        tracks.front().note = notes.join(u'\n');
    return tracks;
}
