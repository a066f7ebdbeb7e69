#include "diskprobe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString nearestFolder(const QString &folder)
{
    QFileInfo nearest(QFileInfo(folder).absoluteFilePath());
    while (!nearest.isDir() && !nearest.isRoot())
        nearest.setFile(nearest.path());
    return nearest.absoluteFilePath();
}

bool found(const QByteArray &name)
{
    struct stat st {};
    return ::lstat(name.constData(), &st) == 0;
}

// Made and found again under its name; left for the caller to remove.
bool made(const QByteArray &name)
{
    const int fd = ::open(name.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return found(name);
}

bool madeAndRemoved(const QByteArray &name)
{
    const bool was = made(name);
    ::unlink(name.constData());
    return was;
}

QString otherCase(const QString &name)
{
    QString other = name;
    for (QChar &c : other)
        c = c.isUpper() ? c.toLower() : c.toUpper();
    return other;
}

bool sameDisk(const QString &one, const QString &other)
{
    struct stat a {}, b {};
    return ::stat(QFile::encodeName(one).constData(), &a) == 0 && ::stat(QFile::encodeName(other).constData(), &b) == 0
           && a.st_dev == b.st_dev;
}

// Whether the disk holding folder, where nothing can be made there, tells no letter case: the
// folder's own name looked up in the other case, or where its parent is another disk (a stick's
// top folder), the name of an entry in it. By names listed, not inode numbers, which FUSE file
// systems give each name looked up. Taken to tell none where no name has a letter.
bool caselessByLookUp(const QString &folder)
{
    const QFileInfo info(folder);
    const bool top = info.isRoot() || !sameDisk(folder, info.path());
    const QString dir = top ? folder : info.path();
    const QStringList names =
        QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    const auto lettered = [](const QString &name) { return otherCase(name) != name; };
    QString name = top ? QString() : info.fileName();
    if (top) {
        const auto first = std::find_if(names.cbegin(), names.cend(), lettered);
        name = first == names.cend() ? QString() : *first;
    }
    if (!lettered(name))
        return true;
    // Both listed: twins, which a disk that tells no case cannot hold.
    const QString other = otherCase(name);
    return !names.contains(other) && found(QFile::encodeName(dir + QLatin1Char('/') + other));
}

} // namespace

DiskNames probeNames(const QString &folder)
{
    const QString nearest = nearestFolder(folder);
    const QString probe = QDir(nearest).filePath(QStringLiteral(".sonovert-names-%1-").arg(::getpid()));
    const QByteArray twin = QFile::encodeName(probe + QLatin1Char('a'));
    if (!made(twin)) {
        const int error = errno;
        ::unlink(twin.constData());
        // Read-only: the case by looking a name up, portable names assumed. A disk full (or
        // failing) says nothing of its names: they are not changed for it.
        const bool readOnly = error == EROFS || error == EACCES || error == EPERM;
        return {readOnly ? NamesMode::Portable : NamesMode::Native, caselessByLookUp(nearest)};
    }
    DiskNames names;
    names.caseless = found(QFile::encodeName(probe + QLatin1Char('A')));
    ::unlink(twin.constData());
    if (!madeAndRemoved(QFile::encodeName(probe + QStringLiteral("b:c"))))
        names.mode = NamesMode::Portable;
    if (!madeAndRemoved(QFile::encodeName(probe + QStringLiteral("\u00e9"))))
        names.mode = NamesMode::Ascii;
    return names;
}

DiskNames NamesOfDisks::at(const QString &folder)
{
    if (m_given)
        return *m_given;
    struct stat st {};
    if (::stat(QFile::encodeName(nearestFolder(folder)).constData(), &st) != 0)
        return probeNames(folder);
    const auto known = m_byDevice.constFind(quint64(st.st_dev));
    if (known != m_byDevice.constEnd())
        return *known;
    return *m_byDevice.insert(quint64(st.st_dev), probeNames(folder));
}
