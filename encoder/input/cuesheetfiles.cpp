#include "cuesheetfiles.h"
#include "sourceformat.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

// Audio formats people keep CD images in that libsndfile does not read.
bool isOtherAudioName(const QString &name)
{
    static const QStringList suffixes {QStringLiteral("ape"), QStringLiteral("wv"),  QStringLiteral("tta"),
                                       QStringLiteral("tak"), QStringLiteral("ofr"), QStringLiteral("shn"),
                                       QStringLiteral("wma"), QStringLiteral("mp3")};
    return isLossyFileName(name) || suffixes.contains(QFileInfo(name).suffix(), Qt::CaseInsensitive);
}

// The name's paths to try below the sheet's folder: as written, then with fewer of its leading
// folders, a Windows path's drive and backslashes read as a path's parts.
QStringList candidates(const QDir &folder, const QString &name)
{
    QStringList tried {QDir::isAbsolutePath(name) ? QDir::cleanPath(name) : folder.filePath(name)};
    QStringList parts = QString(name).replace(u'\\', u'/').split(u'/', Qt::SkipEmptyParts);
    if (!parts.isEmpty() && parts.front().size() == 2 && parts.front().endsWith(u':'))
        parts.removeFirst();
    for (; !parts.isEmpty(); parts.removeFirst()) {
        // Never above the sheet's folder but as written.
        if (!parts.contains(QLatin1String("..")))
            tried << folder.filePath(parts.join(u'/'));
    }
    return tried;
}

// The files in path's folder named as path is but for the extension.
QStringList sameBaseName(const QString &path)
{
    const QFileInfo info(path);
    QStringList found;
    const QStringList entries = info.dir().entryList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QString &entry : entries) {
        if (entry != info.fileName() && QFileInfo(entry).completeBaseName() == info.completeBaseName())
            found << info.dir().filePath(entry);
    }
    return found;
}

CueFileFound locate(const QDir &folder, const CueFile &file)
{
    const QString line = QStringLiteral("line %1: ").arg(file.line);
    const QStringList tried = candidates(folder, file.name);
    for (const QString &path : tried) {
        if (QFileInfo(path).isFile())
            return {path, {}, {}, false};
    }
    for (const QString &path : tried) {
        const QStringList others = sameBaseName(path);
        const auto lossless = std::find_if(others.begin(), others.end(), isLosslessFileName);
        if (lossless != others.end())
            return {*lossless, QStringLiteral("%1FILE names %2: %3 is taken").arg(line, file.name, QDir::cleanPath(*lossless)),
                    {}, false};
        const auto other = std::find_if(others.begin(), others.end(), isOtherAudioName);
        if (other != others.end())
            return {{}, {},
                    QStringLiteral("%1FILE names %2; %3 is there, in %4, a format this program does not read")
                        .arg(line, file.name, QDir::cleanPath(*other), QFileInfo(*other).suffix().toUpper()),
                    false};
    }
    return {{}, {}, QStringLiteral("%1FILE names %2, which is not there").arg(line, folder.filePath(file.name)), false};
}

// The one audio file of the sheet's base name beside it where that is one this program reads,
// or beside where given.
QString imageOfSheet(const QString &sheetPath, const QString &beside)
{
    if (!beside.isEmpty() && QFileInfo(beside).isFile())
        return beside;
    QStringList audio = sameBaseName(sheetPath);
    audio.removeIf([](const QString &path) { return !isLosslessFileName(path) && !isOtherAudioName(path); });
    return audio.size() == 1 && isLosslessFileName(audio.front()) ? audio.front() : QString();
}

} // namespace

std::vector<CueFileFound> findCueFiles(const QString &sheetPath, const CueSheet &sheet, const QString &beside)
{
    const QDir folder = QFileInfo(sheetPath).dir();
    std::vector<CueFileFound> found;
    for (std::size_t i = 0; i < sheet.files.size(); ++i) {
        const CueFile &file = sheet.files[i];
        const bool audio = std::any_of(sheet.tracks.begin(), sheet.tracks.end(), [&](const CueTrack &track) {
            return track.audio() && (track.start.file == int(i) || (track.pregap && track.pregap->file == int(i)));
        });
        const bool data = std::any_of(sheet.tracks.begin(), sheet.tracks.end(), [&](const CueTrack &track) {
            return !track.audio() && track.start.file == int(i);
        });
        if (data && !audio) {
            found.push_back({});
            continue;
        }
        CueFileFound where = locate(folder, file);
        if (where.path.isEmpty() && sheet.files.size() == 1) {
            if (const QString image = imageOfSheet(sheetPath, beside); !image.isEmpty())
                where = {image,
                         QStringLiteral("line %1: FILE names %2, which is not there: %3 is taken")
                             .arg(file.line)
                             .arg(file.name, QDir::cleanPath(image)),
                         {}, false};
        }
        where.rawCd = !where.path.isEmpty() && file.rawCd() && !isLosslessFileName(where.path);
        found.push_back(std::move(where));
    }
    return found;
}

QStringList cueSheetFiles(const QString &sheetPath)
{
    const Result<CueSheet> sheet = readCueSheet(sheetPath);
    if (!sheet)
        return {};
    QStringList paths;
    for (const CueFileFound &file : findCueFiles(sheetPath, *sheet))
        if (!file.path.isEmpty())
            paths << file.path;
    return paths;
}
