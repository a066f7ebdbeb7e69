#include "watchdestination.h"

#include "manifest.h"
#include "mirrorfolder.h"
#include "mirrorroots.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

// What a file system or a desktop puts on a fresh disk.
bool ofAFreshDisk(const QString &name)
{
    return name == QLatin1String("lost+found") || name.startsWith(QLatin1String(".Trash"))
           || name == QLatin1String("System Volume Information") || name == MirrorFolder::kLock;
}

bool emptyFolder(const QString &folder)
{
    const QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    return std::all_of(names.cbegin(), names.cend(), ofAFreshDisk);
}

// Whether any record's source is one of the roots' files, or the record holds none.
bool recordOfRoots(const QString &record, const QStringList &roots, QString *why)
{
    Manifest manifest;
    if (const Outcome opened = manifest.open(record, Manifest::Access::ReadOnly); !opened) {
        *why = opened.message;
        return false;
    }
    const Result<std::vector<MirrorRecord>> records = manifest.records();
    if (!records) {
        *why = records.failure().message;
        return false;
    }
    if (records->empty())
        return true;
    for (const MirrorRecord &one : *records) {
        if (one.root >= 0 && one.root < roots.size() && QFileInfo::exists(roots[one.root] + QLatin1Char('/') + one.source))
            return true;
    }
    *why = QStringLiteral("its record names none of the sources' files");
    return false;
}

} // namespace

DestinationLook lookAtDestination(const QString &mirror, const QStringList &roots, bool seenBefore)
{
    const QFileInfo folder(mirror);
    if (!folder.isDir()) {
        const QString parent = folder.path();
        if (!QFileInfo(parent).isDir())
            return {DestinationState::Missing, QStringLiteral("%1 is not there (a disk not mounted?)").arg(parent)};
        if (seenBefore)
            return {DestinationState::Missing, QStringLiteral("%1 is gone (a disk taken out?)").arg(mirror)};
        // An empty folder is what a disk not mounted leaves of its mount point; a fresh disk
        // mounted there is empty too (asked of the table: a bind mount keeps the device number).
        if (emptyFolder(parent) && !mountedNow().contains(QFileInfo(parent).canonicalFilePath()))
            return {DestinationState::Missing,
                    QStringLiteral("%1 is empty (a disk not mounted?): the mirror's folder is not made there").arg(parent)};
        return {};
    }
    const QString record = QDir(mirror).filePath(MirrorFolder::kRecord);
    if (QFileInfo::exists(record)) {
        if (QString why; !recordOfRoots(record, roots, &why))
            return {DestinationState::NotOurs, QStringLiteral("%1 is not touched: %2").arg(mirror, why)};
        return {};
    }
    if (!emptyFolder(mirror))
        return {DestinationState::NotOurs,
                QStringLiteral("%1 is not touched: it holds files but no mirror's record (an empty folder is filled)")
                    .arg(mirror)};
    return {};
}

bool syncDestination(const QString &mirror, QString *why)
{
    const int fd = ::open(QFile::encodeName(mirror).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::syncfs(fd) == 0;
    if (!synced)
        *why = QString::fromLocal8Bit(std::strerror(errno));
    if (fd >= 0)
        ::close(fd);
    return synced;
}
