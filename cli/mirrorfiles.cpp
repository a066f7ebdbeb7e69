#include "mirrorfiles.h"

#include "mirrorfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QCryptographicHash>

#include <sys/stat.h>
#include <sys/vfs.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include <dirent.h>

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

bool nameOrderLess(const QString &a, const QString &b)
{
    // The separator below every other character: a folder's name ends before any name it begins.
    const auto key = [](QChar c) { return c == QLatin1Char('/') ? 0 : int(c.unicode()) + 1; };
    return std::lexicographical_compare(a.cbegin(), a.cend(), b.cbegin(), b.cend(),
                                        [&key](QChar x, QChar y) { return key(x) < key(y); });
}

bool renameMp3(const QString &from, const QString &to, const QString &aside)
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
        const QByteArray asideName = QFile::encodeName(QDir(aside).filePath(QStringLiteral("case.mp3")));
        return ::rename(fromName.constData(), asideName.constData()) == 0
            && (::rename(asideName.constData(), toName.constData()) == 0
                || (::rename(asideName.constData(), fromName.constData()), false));
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

// The records' MP3s that are there as files, with their size and time, each folder listed once
// and each file asked relative to it. leftovers: the temporary files of MP3s a stopped run did
// not finish, met on the way.
QHash<QString, FileStamp> filesThere(const QString &mirror, const std::vector<MirrorRecord> &records,
                                     QStringList *leftovers)
{
    QSet<QString> folders;
    for (const MirrorRecord &record : records)
        folders.insert(record.mp3.left(std::max<qsizetype>(record.mp3.lastIndexOf(QLatin1Char('/')), 0)));
    QHash<QString, FileStamp> files;
    files.reserve(qsizetype(records.size()));
    for (const QString &folder : std::as_const(folders)) {
        const QString prefix = folder.isEmpty() ? QString() : folder + QLatin1Char('/');
        const QByteArray path = QFile::encodeName(mirror + QLatin1Char('/') + folder);
        DIR *dir = ::opendir(path.constData());
        if (!dir)
            continue;
        while (const dirent *entry = ::readdir(dir)) {
            if (isLeftover(entry->d_name))
                leftovers->push_back(prefix + QFile::decodeName(entry->d_name));
            struct stat st = {};
            if ((entry->d_type == DT_REG || entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN)
                && ::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode))
                files.insert(prefix + QFile::decodeName(entry->d_name), fileStampOf(st));
        }
        ::closedir(dir);
    }
    return files;
}

namespace {

void listBelow(int parent, const QByteArray &name, const QString &prefix, QHash<QString, FileStamp> &files,
               QStringList *leftovers)
{
    const int fd = ::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        const QString path = prefix + QFile::decodeName(entry->d_name);
        if (isLeftover(entry->d_name))
            leftovers->push_back(path);
        struct stat st = {};
        if (entry->d_type != DT_DIR && entry->d_type != DT_REG && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
            continue;
        if (::fstatat(::dirfd(dir), entry->d_name, &st, 0) != 0)
            continue;
        if (S_ISREG(st.st_mode))
            files.insert(path, fileStampOf(st));
        // The mirror's own folders (its work, the jobs' incoming) hold none of its MP3s; a link
        // to a folder is not followed (it may lead back up), its records' MP3s asked one by one.
        else if (S_ISDIR(st.st_mode) && (!prefix.isEmpty() || std::strncmp(entry->d_name, ".sonovert-", 10) != 0)
                 && (entry->d_type == DT_DIR
                     || (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))))
            listBelow(::dirfd(dir), entry->d_name, path + QLatin1Char('/'), files, leftovers);
    }
    ::closedir(dir);
}

} // namespace

QHash<QString, FileStamp> filesBelow(const QString &mirror, QStringList *leftovers)
{
    QHash<QString, FileStamp> files;
    listBelow(AT_FDCWD, QFile::encodeName(mirror), QString(), files, leftovers);
    return files;
}
