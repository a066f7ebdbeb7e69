#pragma once

#include "manifest.h"
#include "mirrorsteps.h"

#include "encoder/core/filestamp.h"

#include <QHash>
#include <QString>

#include <optional>
#include <vector>

// The mirror's decisions: each a small function of what was recorded and what is there now, so
// that the plan (mirrorplan.h) only gathers what they need and the run only carries them out.

// A recorded MP3 as it is on the mirror.
enum class Mp3There { AsRecorded, TimeOnly, Changed };

// What a source is now, as far as the plan read it.
struct SourceNow
{
    FileStamp file;
    // Of its audio: where its size and time are the record's, the recorded one (not read).
    QByteArray audio;
    // Where audio is of the kind this release makes and the record's of an earlier kind (a FLAC's
    // bytes), the earlier kind's, to be compared with the record's instead.
    QByteArray audioEarlierKind;
    QByteArray settings;
    QByteArray tags;
    QByteArray stamp; // empty: changed too recently for its time to be trusted
    QString mp3;
    // Its recorded MP3 as it is on the mirror, and where its time alone changed, its digest.
    Mp3There onMirror = Mp3There::AsRecorded;
    QByteArray mp3Digest;
};

// Whether the audio is the recorded one, by a digest of the same kind.
bool sameAudio(const MirrorRecord &before, const SourceNow &now);

// Whether the source is the file recorded, by its size and time: its audio is not read again.
bool sameFile(const MirrorRecord &before, const FileStamp &now);
// Whether its tags and its MP3's name are the recorded ones without making them again: the same
// file and the same stamp (what its tags are made of beside it).
bool tagsAsRecorded(const MirrorRecord &before, const FileStamp &now, const QByteArray &stamp);

// A source with a record of its own (and its MP3 on the mirror, stepForMp3).
Steps stepFor(const MirrorRecord &before, const SourceNow &now);

// A source without a record of its own. sameAudio: the record of a source gone with its audio and
// settings (its MP3 is this one's, moved); atPath: that of a source gone whose MP3 stands at this
// one's path; fileThere: a file at its path the mirror has no record of.
Steps stepForNew(const SourceNow &now, const MirrorRecord *sameAudio, const MirrorRecord *atPath, bool fileThere);

// Its size and time against the record's, the times compared at the file system's granularity
// (granularityNs: FAT keeps 2 s).
Mp3There mp3There(const MirrorRecord &before, const FileStamp &there, qint64 granularityNs);
// What an MP3 changed on the mirror asks for: made again where its size differs, or its time alone
// and its bytes (digestNow, read only then) are not the recorded ones, or no digest was recorded;
// else its record written again with its new time.
Steps stepForMp3(const MirrorRecord &before, Mp3There there, const QByteArray &digestNow);

// Why a record's source was not among those listed.
enum class Absence {
    Gone, // not there
    StillThere, // there, but the walk did not give it
    BelowUnreadable, // below a folder or file that could not be read: nothing is known of it
    SheetRefused, // a CD image's track whose sheet cannot be used now
};
// deleting: --gone=delete.
Steps stepForGone(Absence absence, bool deleting = false);

// One track of an album as planned: its steps, and the album its MP3 was made in (its source's
// folder or CD image; none: no MP3 yet).
struct AlbumTrack
{
    Steps steps;
    std::optional<QString> folderBefore;
};
// Whether the album's audio changed, so its figures are made again: a track encoded, or its
// tracks not all and only the MP3s of one album before (one came, went, or moved in or out).
// recordedIn: how many records each album held.
bool albumChanged(const std::vector<AlbumTrack> &tracks, const QHash<QString, int> &recordedIn);
