#include "mirrorfolder.h"

#include "console.h"
#include "messages.h"
#include "outputnaming.h"
#include "paths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cstring>

#include <sys/statvfs.h>

namespace {

bool sameFolder(const QString &a, const QString &b)
{
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    const QString canonicalB = QFileInfo(b).canonicalFilePath();
    if (!canonicalA.isEmpty() && !canonicalB.isEmpty())
        return canonicalA == canonicalB;
    return QDir::cleanPath(a) == QDir::cleanPath(b);
}

} // namespace

bool mirrorFolderUsable(const BatchRequest &request, const QString &mirror, bool dryRun)
{
    for (const QString &source : request.inputs) {
        if (sameFolder(absolute(source), mirror)) {
            say(QStringLiteral("-o %1 is a source: the mirror goes into a folder of its own").arg(request.outputDir));
            return false;
        }
    }
    if (QFileInfo(mirror).isDir())
        return true;
    const QString parent = QFileInfo(mirror).path();
    const qsizetype incoming = mirror.indexOf(QLatin1Char('/') + MirrorFolder::kIncoming + QLatin1Char('/'));
    // A job's folder below a mirror's incoming folder, the mirror itself where its parent is.
    const bool job = incoming > 0 && QFileInfo(QFileInfo(mirror.left(incoming)).path()).isDir();
    if (!job && !QFileInfo(parent).isDir()) {
        say(QStringLiteral("%1 is not there (a disk not mounted?): the mirror's folder is made only in a folder "
                           "that is")
                .arg(parent));
        return false;
    }
    if (!dryRun && !QDir().mkpath(mirror)) {
        say(QStringLiteral("cannot make the output folder ") + request.outputDir);
        return false;
    }
    return true;
}

bool onReadOnlyDisk(const QString &folder)
{
    struct statvfs fs {};
    return ::statvfs(QFile::encodeName(folder).constData(), &fs) == 0 && (fs.f_flag & ST_RDONLY) != 0;
}

MirrorLock::MirrorLock(const QString &mirror) : m_lock(QDir(mirror).filePath(MirrorFolder::kLock))
{
    // Never taken over for its age: a long run holds it as long as it lives.
    m_lock.setStaleLockTime(0);
}

bool MirrorLock::take(QString *why)
{
    if (m_lock.tryLock(0))
        return true;
    qint64 pid = 0;
    QString host;
    QString program;
    if (m_lock.error() == QLockFile::LockFailedError && m_lock.getLockInfo(&pid, &host, &program))
        *why = QStringLiteral("another run holds the mirror (process %1 on %2, %3)").arg(pid).arg(host, program);
    else
        *why = QStringLiteral("cannot lock the mirror (%1)").arg(QDir::toNativeSeparators(m_lock.fileName()));
    return false;
}

bool isLeftover(const char *name)
{
    const std::size_t length = std::strlen(name);
    return std::strncmp(name, ".sonovert-", 10) == 0 && length > 15 && std::strcmp(name + length - 5, ".part") == 0;
}

void cleanWorkFolder(const QString &mirror, const QStringList &leftovers)
{
    const QDir folder(mirror);
    QDir(folder.filePath(MirrorFolder::kWork)).removeRecursively();
    // Where earlier releases compared an MP3 without its record.
    QDir(folder.filePath(QStringLiteral(".sonovert-mirror-check"))).removeRecursively();
    for (const QString &leftover : leftovers)
        QFile::remove(folder.filePath(leftover));
}

void removeIncoming(const QString &mirror)
{
    const QString incoming = QDir(mirror).filePath(MirrorFolder::kIncoming);
    QDirIterator locks(incoming, {MirrorFolder::kLock}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (locks.hasNext()) {
        QLockFile job(locks.next());
        job.setStaleLockTime(0);
        if (!job.tryLock(0))
            return; // a job still at work: its folder stays, and what is there with it
    }
    QDir(incoming).removeRecursively();
}
