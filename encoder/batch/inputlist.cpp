#include "inputlist.h"
#include "imagetracks.h"
#include "encoder/input/sourceformat.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

#include <sys/stat.h>

namespace {

QString joined(const QString &below, const QString &name)
{
    return below.isEmpty() ? name : below + QLatin1Char('/') + name;
}

} // namespace

InputList::InputList(QStringList arguments, bool subfolders, Pregap pregap)
    : m_arguments(std::move(arguments)), m_subfolders(subfolders), m_pregap(pregap)
{
}

BatchInput InputList::take(BatchInput input, const QString &sheet)
{
    if (sheet.isEmpty())
        return input;
    std::vector<BatchInput> tracks =
        imageTracks(sheet, input.below, m_pregap, input.path == sheet ? QString() : input.path);
    m_tracks.assign(std::make_move_iterator(tracks.begin()), std::make_move_iterator(tracks.end()));
    if (m_tracks.empty()) {
        input.sheet = sheet;
        input.error = QStringLiteral("The CUE sheet cuts no track.");
        return input;
    }
    BatchInput first = std::move(m_tracks.front());
    m_tracks.pop_front();
    return first;
}

void InputList::enter(const QString &path, const QString &below)
{
    struct stat folder {};
    if (::stat(QFile::encodeName(path).constData(), &folder) != 0
        || !m_searched.emplace(folder.st_dev, folder.st_ino).second)
        return;
    QStringList names = QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                             QDir::Unsorted);
    // QDir's own name order follows the locale.
    std::sort(names.begin(), names.end());
    m_folders.push_back({path, below, std::move(names)});
}

std::optional<BatchInput> InputList::next()
{
    for (;;) {
        if (!m_tracks.empty()) {
            BatchInput track = std::move(m_tracks.front());
            m_tracks.pop_front();
            return track;
        }
        if (!m_folders.empty()) {
            Folder &folder = m_folders.back();
            if (folder.next >= folder.names.size()) {
                m_folders.pop_back();
                continue;
            }
            const QString name = folder.names.at(folder.next++);
            const QString path = folder.path + QLatin1Char('/') + name;
            const QString below = folder.below;
            if (QFileInfo(path).isDir()) {
                if (m_subfolders)
                    enter(path, joined(below, name)); // may grow m_folders: folder is not used after
            } else if (isLosslessFileName(name)) {
                return take(wholeInput(path, joined(below, QFileInfo(name).completeBaseName())),
                            sheetBeside(path));
            } else if (isLossyFileName(name)) {
                BatchInput lossy = wholeInput(path, joined(below, QFileInfo(name).completeBaseName()));
                lossy.skipped = QStringLiteral("a lossy source: encoding it again only loses quality");
                return lossy;
            }
            continue;
        }
        if (m_argument >= m_arguments.size())
            return std::nullopt;
        const QString argument = m_arguments.at(m_argument++);
        const QFileInfo info(argument);
        if (info.isDir())
            enter(QDir::cleanPath(argument), QString());
        else if (info.suffix().compare(QLatin1String("cue"), Qt::CaseInsensitive) == 0)
            return take(wholeInput(argument, info.completeBaseName()), argument);
        else
            return take(wholeInput(argument, info.completeBaseName()),
                        isLosslessFileName(argument) ? sheetBeside(argument) : QString());
    }
}
