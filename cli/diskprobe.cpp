#include "diskprobe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

} // namespace

DiskNames probeNames(const QString &folder)
{
    const QString nearest = nearestFolder(folder);
    const QString probe = QDir(nearest).filePath(QStringLiteral(".sonovert-names-%1-").arg(::getpid()));
    const QByteArray twin = QFile::encodeName(probe + QLatin1Char('a'));
    if (!made(twin)) {
        const int error = errno;
        ::unlink(twin.constData());
        // Read-only: the case by the folder's own name, if it has a letter. A disk full (or
        // failing) says nothing of its names: they are not changed for it.
        const QString name = QFileInfo(nearest).fileName();
        const QString other = otherCase(name);
        const QByteArray otherPath = QFile::encodeName(QFileInfo(nearest).path() + QLatin1Char('/') + other);
        struct stat own {}, there {};
        const bool caseless = other == name
                              || (::stat(QFile::encodeName(nearest).constData(), &own) == 0
                                  && ::stat(otherPath.constData(), &there) == 0 && own.st_dev == there.st_dev
                                  && own.st_ino == there.st_ino);
        const bool readOnly = error == EROFS || error == EACCES || error == EPERM;
        return {readOnly ? NamesMode::Portable : NamesMode::Native, caseless};
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
