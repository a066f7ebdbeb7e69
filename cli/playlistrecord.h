#pragma once

#include "manifest.h"

#include "encoder/core/outcome.h"
#include "encoder/core/result.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// A playlist the mirror wrote: its source (a SRC in the order given, the path below it), the
// playlist below the mirror's folder, and SHA-256 of the bytes written. A table of the mirror's
// record (manifest.h).
struct PlaylistRecord
{
    int root = 0;
    QString source;
    QString playlist;
    QByteArray digest;
};

Result<std::vector<PlaylistRecord>> playlistRecords(const Manifest &manifest);
// Replaces any record of the same source or the same playlist.
Outcome putPlaylistRecord(const Manifest &manifest, const PlaylistRecord &record);
Outcome removePlaylistRecord(const Manifest &manifest, const QString &playlist);

// What becomes of a playlist of SRC: nothing where what it would be written as now is what was
// written (its digest) at the same place and the file there has its size; else written, and the
// one written before at another place (the names changed) removed.
enum class PlaylistStep { Keep, Write, WriteAndRemoveOld };
PlaylistStep playlistStep(const PlaylistRecord *recorded, const QString &playlist, const QByteArray &digest,
                          qint64 size, std::optional<qint64> sizeThere);
