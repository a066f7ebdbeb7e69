#pragma once

#include "batchrequest.h"

#include <QLockFile>
#include <QSet>
#include <QString>
#include <QStringList>

// The mirror's folder: its own files beside the MP3s, where it may be, one run at a time.
namespace MirrorFolder {
inline const QString kRecord = QStringLiteral(".sonovert-mirror.sqlite");
// Held by the run working on the mirror (QLockFile: who holds it, on which host).
inline const QString kLock = QStringLiteral(".sonovert-mirror.lock");
// What a run makes and removes again: cleaned at the start of each run, under the lock.
inline const QString kWork = QStringLiteral(".sonovert-work");
// Where an MP3 is made to be compared with one already there without its record.
inline const QString kCheckFolder = kWork + QStringLiteral("/check");
// Where the mirror jobs of other machines write (--list): a mirror of each folder listed.
inline const QString kIncoming = QStringLiteral(".sonovert-incoming");
} // namespace MirrorFolder

// Whether the mirror's folder is a place for it: not one of the sources, and there, or made
// (unless dryRun) where its parent is, so that a disk not mounted is never filled in its place;
// a mirror job's folder below a mirror's incoming folder is made with its parents. Says
// why not.
bool mirrorFolderUsable(const BatchRequest &request, const QString &mirror, bool dryRun);

// Whether the folder is on a disk mounted read-only: a dry run reads its record as it is, a run
// changes nothing.
bool onReadOnlyDisk(const QString &folder);

// One run at a time on a mirror: the lock in its folder, held while the run lives. A lock left by
// a process gone on this host is taken over; one of another host is not.
class MirrorLock
{
public:
    explicit MirrorLock(const QString &mirror);
    // False where another run holds it: why, naming the holder.
    bool take(QString *why);

private:
    QLockFile m_lock;
};

// Empties the working folder of what a run stopped at any moment left, and removes the given
// leftovers (temporary files of MP3s not finished, where the file system could not hide them).
void cleanWorkFolder(const QString &mirror, const QStringList &leftovers);
// Whether a folder's entry is such a temporary file.
bool isLeftover(const char *name);
// Removes what the mirror jobs left in the incoming folder, unless a job still holds its lock.
void removeIncoming(const QString &mirror);
