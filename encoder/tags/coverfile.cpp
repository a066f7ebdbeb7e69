#include "coverfile.h"

#include "encoder/core/filestamp.h"
#include "encoder/core/sourcesclock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <QHash>

#include <algorithm>
#include <mutex>

#include <dirent.h>

QString megabytes(qint64 bytes)
{
    return QStringLiteral("%1 MB").arg(bytes >> 20);
}

std::optional<Picture> readCover(const QString &path, QString *why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("The cover %1 cannot be read: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    if (file.size() > kMaxPictureBytes) {
        *why = QStringLiteral("The cover %1 is larger than %2.").arg(path, megabytes(kMaxPictureBytes));
        return std::nullopt;
    }
    const QByteArray data = file.readAll();
    QString mime;
    if (data.startsWith("\xff\xd8\xff"))
        mime = QStringLiteral("image/jpeg");
    else if (data.startsWith("\x89PNG\r\n\x1a\n"))
        mime = QStringLiteral("image/png");
    if (mime.isEmpty()) {
        *why = QStringLiteral("The cover %1 is not a JPEG or PNG picture.").arg(path);
        return std::nullopt;
    }
    return Picture {kFrontCover, mime, QString(), data};
}

namespace {

const QStringList &coverNames()
{
    static const QStringList wanted {QStringLiteral("cover.jpg"),  QStringLiteral("cover.png"),
                                     QStringLiteral("folder.jpg"), QStringLiteral("folder.png"),
                                     QStringLiteral("front.jpg"),  QStringLiteral("front.png")};
    return wanted;
}

// The folder's files named as a cover in any letter case, in code unit order. A batch asks once
// a WAVE, and listing a folder of thousands of WAVEs for each costs more than all else, so a
// listing is kept while the folder's time is unchanged (a name added, removed or renamed changes
// it); a folder changed within the sources' clock's window is listed again, as a change within
// the same tick of that clock would not show.
QStringList coverFilesIn(const QDir &folder)
{
    static std::mutex mutex;
    static QHash<QString, std::pair<qint64, QStringList>> listed; // by folder: its time, the names
    const std::optional<FileStamp> stamp = fileStamp(folder.path());
    const bool settled = stamp && SourcesClock::settled(stamp->mtimeNs);
    const qint64 changed = stamp ? stamp->mtimeNs : 0;
    if (settled) {
        const std::lock_guard lock(mutex);
        const auto known = listed.constFind(folder.path());
        if (known != listed.constEnd() && known->first == changed)
            return known->second;
    }
    QStringList found;
    if (DIR *dir = ::opendir(QFile::encodeName(folder.path()).constData())) {
        while (const dirent *entry = ::readdir(dir)) {
            // Only regular files, or names to ask about (links); folderCover checks each found.
            if (entry->d_type != DT_REG && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
                continue;
            const QString name = QFile::decodeName(entry->d_name);
            const auto named = [&name](const QString &wanted) {
                return name.compare(wanted, Qt::CaseInsensitive) == 0;
            };
            if (std::any_of(coverNames().cbegin(), coverNames().cend(), named))
                found << name;
        }
        ::closedir(dir);
    }
    std::sort(found.begin(), found.end());
    if (settled) {
        const std::lock_guard lock(mutex);
        if (listed.size() >= 1024)
            listed.clear();
        listed.insert(folder.path(), {changed, found});
    }
    return found;
}

} // namespace

std::optional<Picture> folderCover(const QString &inputFile, QStringList &warnings)
{
    const QStringList &wanted = coverNames();
    const QDir folder = QFileInfo(inputFile).dir();
    // Of Cover.jpg and cover.jpg the one first in code unit order is tried first, on every
    // machine; one that cannot be read is passed over.
    const QStringList found = coverFilesIn(folder);
    for (const QString &name : wanted) {
        for (const QString &entry : std::as_const(found)) {
            if (entry.compare(name, Qt::CaseInsensitive) != 0)
                continue;
            const QString path = folder.filePath(entry);
            // Only a regular file: opening a FIFO would block the run.
            const QFileInfo file(path);
            if (!file.isFile())
                continue;
            if (file.size() > kMaxPictureBytes) {
                warnings << QStringLiteral("The folder's picture %1 of %2 MB is left out: pictures are kept up to %3.")
                                .arg(path)
                                .arg(file.size() / double(1 << 20), 0, 'f', 1)
                                .arg(megabytes(kMaxPictureBytes));
                continue;
            }
            QString why;
            if (std::optional<Picture> picture = readCover(path, &why))
                return picture;
        }
    }
    return std::nullopt;
}

std::optional<QByteArray> folderCoverStamp(const QString &folder)
{
    QByteArray stamp;
    for (const QString &name : coverFilesIn(QDir(folder))) {
        if (const std::optional<FileStamp> file = fileStamp(folder + QLatin1Char('/') + name)) {
            if (!SourcesClock::settled(file->mtimeNs))
                return std::nullopt;
            stamp += name.toUtf8() + '\0' + file->text() + '\0';
        }
    }
    return stamp;
}
