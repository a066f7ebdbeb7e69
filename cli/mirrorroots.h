#pragma once

#include "batchrequest.h"

#include "encoder/mirrorkeys.h"

#include <QSet>
#include <QString>
#include <QStringList>

// The mirror's sources by their roots (the SRCs in the order given) and paths below them.

// The request with its output folder and inputs absolute, and the names its MP3s get (asked of
// the mirror's disk where not given).
BatchRequest absoluteRequest(const BatchRequest &given);
// Which root a source is below, or -1.
int rootOf(const QStringList &roots, const QString &path);
// Its path below that root; a root that is a file is its own name.
QString belowRoot(const QStringList &roots, int root, const QString &path);
// What every MP3 depends on beside its source, its folder's covers and its sheet; with names
// other than a Linux disk's, those too, so that MP3s named for another disk are renamed.
TagInputs tagInputsOf(const BatchRequest &request);
// The folders disks are mounted on now, and those with the ones /etc/fstab lists, read afresh
// each time: a watch outlives the disks mounted when it began.
QSet<QString> mountedNow();
QSet<QString> mountPoints();
// The folder nearest above a source not found that is there, where it is an empty mount point
// (one of points with nothing in it): a disk not mounted takes nothing away. Else nothing.
QString emptyMountPointAbove(const QSet<QString> &points, const QString &root, const QString &source);
