#include "mirrorfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QCryptographicHash>

#include <sys/stat.h>
#include <sys/vfs.h>

#include <cstdio>

bool sameBytes(const QString &a, const QString &b)
{
    QFile first(a);
    QFile second(b);
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly) || first.size() != second.size())
        return false;
    while (!first.atEnd()) {
        if (first.read(1 << 20) != second.read(1 << 20))
            return false;
    }
    return true;
}

// The file moved to the desktop's trash. Where no trash folder can be made, Qt 6.4 reports success
// with the file moved into "files" of the working folder, its path relative: that move is undone.
bool moveToTrash(const QString &path)
{
    QString where;
    if (!QFile::moveToTrash(path, &where))
        return false;
    if (QDir::isAbsolutePath(where))
        return true;
    const QFileInfo moved(QDir::current().absoluteFilePath(where));
    QDir trash = moved.dir();
    if (!QFile::rename(moved.filePath(), path))
        return false;
    trash.cdUp();
    QFile::remove(trash.filePath(QStringLiteral("info/") + moved.fileName() + QStringLiteral(".trashinfo")));
    trash.rmdir(QStringLiteral("files"));
    trash.rmdir(QStringLiteral("info"));
    return false;
}


QByteArray fileDigest(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result();
}

qint64 timeGranularityNs(const QString &path)
{
    constexpr unsigned long kFat = 0x4d44; // MSDOS_SUPER_MAGIC
    constexpr unsigned long kExfat = 0x2011bab0;
    constexpr unsigned long kFuse = 0x65735546;
    struct statfs fs {};
    if (::statfs(QFile::encodeName(path).constData(), &fs) != 0)
        return 1;
    const unsigned long type = static_cast<unsigned long>(fs.f_type);
    return type == kFat || type == kExfat || type == kFuse ? 2'000'000'000 : 1;
}

bool renameMp3(const QString &from, const QString &to)
{
    struct stat source {};
    struct stat target {};
    const QByteArray fromName = QFile::encodeName(from);
    const QByteArray toName = QFile::encodeName(to);
    if (::stat(toName.constData(), &target) == 0) {
        // The same file: by its inode, or where FUSE numbers each name of its own, by a name that
        // differs in case alone on a file system of sticks, with the same size and time.
        const bool sameInode = ::stat(fromName.constData(), &source) == 0 && source.st_dev == target.st_dev
                            && source.st_ino == target.st_ino;
        const bool sameByCase = from.compare(to, Qt::CaseInsensitive) == 0 && timeGranularityNs(to) > 1
                             && source.st_size == target.st_size
                             && source.st_mtim.tv_sec == target.st_mtim.tv_sec;
        if (!sameInode && !sameByCase)
            return false;
        const QByteArray aside = fromName + ".sonovert-case";
        return ::rename(fromName.constData(), aside.constData()) == 0
            && (::rename(aside.constData(), toName.constData()) == 0
                || (::rename(aside.constData(), fromName.constData()), false));
    }
    return QDir().mkpath(QFileInfo(to).path()) && ::rename(fromName.constData(), toName.constData()) == 0;
}

void removeEmptyFolders(const QDir &mirror, const QSet<QString> &folders)
{
    for (const QString &folder : folders) {
        for (QString below = folder; below != QLatin1String(".") && !below.isEmpty(); below = QFileInfo(below).path()) {
            if (!mirror.rmdir(below))
                break;
        }
    }
}
