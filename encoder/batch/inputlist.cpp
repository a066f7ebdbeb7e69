#include "inputlist.h"
#include "imagetracks.h"
#include "encoder/input/cuesheetfiles.h"
#include "encoder/input/sourceformat.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>

namespace {

QString joined(const QString &below, const QString &name)
{
    return below.isEmpty() ? name : below + QLatin1Char('/') + name;
}

BatchInput sized(BatchInput input, const auto &entry)
{
    input.stamp = entry.stamp;
    return input;
}

// A file name without its last extension, as QFileInfo::completeBaseName gives it.
QString withoutSuffix(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

} // namespace

InputList::InputList(QStringList arguments, bool subfolders, Pregap pregap)
    : m_arguments(std::move(arguments)), m_subfolders(subfolders), m_pregap(pregap)
{
}

BatchInput InputList::lossyInput(const QString &path, const QString &below) const
{
    BatchInput input = wholeInput(path, below);
    if (isMp3FileName(path))
        input.copy = true;
    else
        input.skipped = QStringLiteral("a lossy source: encoding it again only loses quality");
    return input;
}

BatchInput InputList::take(BatchInput input, const QString &sheet)
{
    if (sheet.isEmpty())
        return input;
    std::vector<BatchInput> tracks =
        imageTracks(sheet, input.below, m_pregap, input.path == sheet ? QString() : input.path, m_pregaps);
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

void InputList::passOver(const QString &folder)
{
    struct stat st {};
    if (::stat(QFile::encodeName(folder).constData(), &st) == 0)
        m_searched.emplace(st.st_dev, st.st_ino);
}

void InputList::unreadable(const QString &path, int error)
{
    m_unread.push_back({path, QString::fromLocal8Bit(std::strerror(error))});
}

// A file system's own lost+found, at its root: only root reads it, and it holds no music.
static bool isLostAndFound(const QString &path)
{
    if (!path.endsWith(QLatin1String("/lost+found")))
        return false;
    struct stat parent {};
    struct stat above {};
    const QByteArray root = QFile::encodeName(path.chopped(11));
    return ::stat(root.constData(), &parent) == 0 && ::stat((root + "/..").constData(), &above) == 0
        && (parent.st_dev != above.st_dev || parent.st_ino == above.st_ino);
}

void InputList::enter(const QString &path, const QString &below)
{
    struct stat folder {};
    if (::stat(QFile::encodeName(path).constData(), &folder) != 0) {
        unreadable(path, errno);
        return;
    }
    if (!m_searched.emplace(folder.st_dev, folder.st_ino).second)
        return;
    // readdir tells most entries' kind, so a library's files are not each asked for it.
    std::vector<Entry> entries;
    DIR *dir = ::opendir(QFile::encodeName(path).constData());
    if (const int error = errno; !dir && !isLostAndFound(path))
        unreadable(path, error);
    if (dir) {
        for (errno = 0;; errno = 0) {
            const dirent *entry = ::readdir(dir);
            if (!entry) {
                if (errno != 0)
                    unreadable(path, errno);
                break;
            }
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                continue;
            Entry found {QFile::decodeName(entry->d_name), entry->d_type, std::nullopt};
            struct stat st = {};
            if (m_sizes && found.type != DT_DIR
                && (isLosslessFileName(found.name) || isLossyFileName(found.name) || isMp3FileName(found.name))
                && (found.type == DT_REG || found.type == DT_LNK || found.type == DT_UNKNOWN)) {
                if (::fstatat(::dirfd(dir), entry->d_name, &st, 0) != 0) {
                    unreadable(path + QLatin1Char('/') + found.name, errno);
                    continue;
                }
                found.type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
                found.stamp = fileStampOf(st);
            }
            entries.push_back(std::move(found));
        }
        ::closedir(dir);
    }
    // In code unit order, the same on every machine and locale.
    std::sort(entries.begin(), entries.end());
    const bool sheets = std::any_of(entries.cbegin(), entries.cend(), [](const Entry &entry) {
        return entry.name.endsWith(QLatin1String(".cue"), Qt::CaseInsensitive);
    });
    m_folders.push_back({path, below, std::move(entries), 0, sheets, {}});
    if (sheets)
        claimFiles(m_folders.back());
}

void InputList::claimFiles(Folder &folder)
{
    for (const Entry &entry : folder.entries) {
        if (!entry.name.endsWith(QLatin1String(".cue"), Qt::CaseInsensitive) || entry.type == DT_DIR)
            continue;
        const QString base = withoutSuffix(entry.name);
        const bool image = std::any_of(folder.entries.begin(), folder.entries.end(), [&](const Entry &other) {
            return isLosslessFileName(other.name) && withoutSuffix(other.name) == base;
        });
        if (image) // the image's sheet, found from the image (sheetOf)
            continue;
        const QStringList files = cueSheetFiles(folder.path + QLatin1Char('/') + entry.name);
        // A file of another sheet of the folder stays that one's (two sheets of one rip).
        if (files.isEmpty() || std::any_of(files.begin(), files.end(), [&](const QString &file) {
                return m_claimed.count(QDir::cleanPath(file)) > 0;
            }))
            continue;
        folder.sheetInputs.insert(entry.name);
        for (const QString &file : files)
            m_claimed.insert(QDir::cleanPath(file));
    }
}

bool InputList::Folder::isDir(const Entry &entry) const
{
    if (entry.type == DT_DIR || entry.type == DT_REG)
        return entry.type == DT_DIR;
    return QFileInfo(path + QLatin1Char('/') + entry.name).isDir(); // a link is followed
}

QString InputList::Folder::sheetOf(const QString &name) const
{
    if (!sheets)
        return {};
    const QString base = withoutSuffix(name);
    for (const char *suffix : {".cue", ".CUE"}) {
        const Entry wanted {base + QLatin1String(suffix), DT_UNKNOWN, std::nullopt};
        const auto found = std::lower_bound(entries.begin(), entries.end(), wanted);
        if (found == entries.end() || found->name != wanted.name)
            continue;
        const QString sheet = path + QLatin1Char('/') + found->name;
        if (found->type == DT_REG || (found->type != DT_DIR && QFileInfo(sheet).isFile()))
            return sheet;
    }
    return {};
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
            if (folder.next >= folder.entries.size()) {
                m_folders.pop_back();
                continue;
            }
            const Entry &entry = folder.entries[folder.next++];
            const QString name = entry.name;
            const QString path = folder.path + QLatin1Char('/') + name;
            const QString below = folder.below;
            if (folder.isDir(entry)) {
                if (m_subfolders)
                    enter(path, joined(below, name)); // may grow m_folders: folder is not used after
            } else if (folder.sheetInputs.count(name) > 0) {
                return take(wholeInput(path, joined(below, withoutSuffix(name))), path);
            } else if (isLosslessFileName(name)) {
                // Most folders hold no sheet naming other files: no path to clean.
                if (!m_claimed.empty() && m_claimed.count(QDir::cleanPath(path)) > 0)
                    continue;
                return take(sized(wholeInput(path, joined(below, withoutSuffix(name))), entry), folder.sheetOf(name));
            } else if (isLossyFileName(name) || (m_mp3s && isMp3FileName(name))) {
                return sized(lossyInput(path, joined(below, withoutSuffix(name))), entry);
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
        else if (isLossyFileName(argument) || (m_mp3s && isMp3FileName(argument)))
            return lossyInput(argument, info.completeBaseName());
        else
            return take(wholeInput(argument, info.completeBaseName()),
                        isLosslessFileName(argument) ? sheetBeside(argument) : QString());
    }
}
