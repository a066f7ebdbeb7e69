#include "playlistkeep.h"

#include "diskprobe.h"
#include "messages.h"
#include "mirrorfiles.h"
#include "mirrorroots.h"
#include "paths.h"
#include "playlistrecord.h"
#include "playlists.h"

#include "encoder/batch/imagetracks.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace {

// Each MP3 of the record as the source it was made of.
PlaylistSources recordedSources(const QStringList &roots, const std::vector<MirrorRecord> &records,
                                const QString &mirror)
{
    PlaylistSources sources(roots);
    for (const MirrorRecord &record : records) {
        if (record.root < 0 || record.root >= roots.size() || roots[record.root].isEmpty())
            continue;
        const QString source = roots[record.root] + QLatin1Char('/') + record.source;
        sources.add(source, record.track >= 0 ? sheetBeside(source) : QString(), record.track,
                    mirror + QLatin1Char('/') + record.mp3);
    }
    return sources;
}

// Whether a playlist recorded and not found is gone: not where it is still there, nor below a
// place the walk could not read.
bool gone(const QString &source, const std::vector<UnreadPlace> &unread)
{
    for (const UnreadPlace &place : unread)
        if (source.startsWith(place.path + QLatin1Char('/')))
            return false;
    return !QFileInfo::exists(source);
}

} // namespace

bool keepPlaylists(const BatchRequest &given, const Manifest &manifest, const QString &mirror)
{
    const BatchRequest request = absoluteRequest(given);
    const QStringList roots = playlistRoots(request);
    std::vector<UnreadPlace> unread;
    const std::vector<FoundPlaylist> found = findPlaylists(roots, mirror, &unread);
    const Result<std::vector<PlaylistRecord>> written = playlistRecords(manifest);
    if (!written) {
        say(written.failure().message);
        return false;
    }
    // A library without playlists costs the walk alone.
    if (found.empty() && written->empty())
        return true;
    const Result<std::vector<MirrorRecord>> records = manifest.records();
    if (!records) {
        say(records.failure().message);
        return false;
    }
    const PlaylistLibrary library = recordedSources(roots, *records, mirror).library();
    QHash<QPair<int, QString>, const PlaylistRecord *> bySource;
    for (const PlaylistRecord &record : *written)
        bySource.insert({record.root, record.source}, &record);
    const DiskNames names = request.names ? *request.names : NamesOfDisks(std::nullopt).at(mirror);
    PlaylistPlaces places(names.caseless);
    QSet<QString> kept; // the records of this run, by playlist
    const QDir dst(mirror);
    bool ok = true;
    const auto failed = [&ok](const QString &what, const QString &why) {
        say(QStringLiteral("%1: %2").arg(what, why));
        ok = false;
    };
    for (const FoundPlaylist &playlist : found) {
        const PlaylistRecord *recorded = bySource.take({playlist.root, playlist.below});
        const QString place = playlistPlace(playlist, mirror, names);
        if (!places.claim(place)) {
            sayPlaceTaken(playlist, place);
            continue;
        }
        const MadePlaylist made = makePlaylist(playlist, library, place);
        if (!made.failure.isEmpty()) {
            failed(playlist.path, made.failure);
            continue;
        }
        const PlaylistRecord record {playlist.root, playlist.below, dst.relativeFilePath(place),
                                     QCryptographicHash::hash(made.bytes, QCryptographicHash::Sha256)};
        kept.insert(record.playlist);
        const QFileInfo there(place);
        const PlaylistStep step = playlistStep(recorded, record.playlist, record.digest, made.bytes.size(),
                                               there.isFile() ? std::optional<qint64>(there.size()) : std::nullopt);
        if (step == PlaylistStep::Keep)
            continue;
        if (const QString why = writePlaylist(place, made.bytes); !why.isEmpty()) {
            failed(place, why);
            continue;
        }
        if (step == PlaylistStep::WriteAndRemoveOld && !places.holds(dst.filePath(recorded->playlist)))
            QFile::remove(dst.filePath(recorded->playlist));
        if (const Outcome put = putPlaylistRecord(manifest, record); !put)
            failed(place, put.message);
        sayMade(place, made);
    }
    // What is left was not found: gone from SRC, or not read this time.
    for (const PlaylistRecord *record : std::as_const(bySource)) {
        const bool rootThere = record->root < roots.size() && !roots[record->root].isEmpty();
        if ((rootThere && !gone(roots[record->root] + QLatin1Char('/') + record->source, unread))
            || kept.contains(record->playlist)) // its row now another source's
            continue;
        const QString file = dst.filePath(record->playlist);
        // Another playlist's now (one renamed in letter case alone, on a disk that tells none).
        if (QFileInfo::exists(file) && !places.holds(file)) {
            const bool taken = request.gone == BatchRequest::Gone::Delete ? QFile::remove(file) : moveToTrash(file);
            if (!taken) {
                failed(file, QStringLiteral("its playlist is gone from the sources, but it cannot be taken away"));
                continue;
            }
            QDir().rmdir(QFileInfo(file).path()); // a folder of playlists left empty
        }
        if (const Outcome removed = removePlaylistRecord(manifest, record->playlist); !removed)
            failed(file, removed.message);
    }
    return ok;
}
