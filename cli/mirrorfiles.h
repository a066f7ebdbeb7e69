#pragma once

#include "manifest.h"

#include "encoder/core/filestamp.h"

#include <QByteArray>
#include <QDir>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

// Whether two files hold the same bytes; false where either cannot be read.
bool sameBytes(const QString &a, const QString &b);
// The file moved to the desktop's trash; false where it stays where it was.
bool moveToTrash(const QString &path);
// SHA-256 of the file's bytes; empty where it cannot be read.
QByteArray fileDigest(const QString &path);
// The granularity of the times of the file system holding path, in nanoseconds: FAT keeps 2 s
// (and exFAT through FUSE cannot be told from it), others the nanosecond.
qint64 timeGranularityNs(const QString &path);
// An MP3 renamed, its folders made as needed; never over another file. A name that differs in
// letter case alone, on a file system that tells no case (FAT, exFAT), is the same file: renamed
// through a name of its own in aside (the mirror's working folder, which a run stopped on the
// way empties: its source is then converted again).
bool renameMp3(const QString &from, const QString &to, const QString &aside);
// Name order of paths below the mirror, folder by folder, each name in code unit order (the
// walk's): the order the MP3s of a fresh copy are put in place.
bool nameOrderLess(const QString &a, const QString &b);
// The folders below mirror, and those above them up to it, where empty.
void removeEmptyFolders(const QDir &mirror, const QSet<QString> &folders);
// The records' MP3s that are there as files, with their size and time, each folder listed once
// and each file asked relative to it. leftovers: the temporary files of MP3s a stopped run did
// not finish, met on the way.
QHash<QString, FileStamp> filesThere(const QString &mirror, const std::vector<MirrorRecord> &records,
                                     QStringList *leftovers);
// Every file below the mirror's folder but its own folders, with its size and time, as
// filesThere gives those of the records, without waiting for the records to know where to look.
QHash<QString, FileStamp> filesBelow(const QString &mirror, QStringList *leftovers);
