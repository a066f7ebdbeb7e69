#include "mirrordecisions.h"

#include <QSet>

#include <cstdlib>

bool sameFile(const MirrorRecord &before, const FileStamp &now)
{
    return now == FileStamp {before.size, before.mtimeNs};
}

bool tagsAsRecorded(const MirrorRecord &before, const FileStamp &now, const QByteArray &stamp)
{
    return sameFile(before, now) && !before.stamp.isEmpty() && before.stamp == stamp;
}

bool sameAudio(const MirrorRecord &before, const SourceNow &now)
{
    return now.audio == before.audio || (!now.audioEarlierKind.isEmpty() && now.audioEarlierKind == before.audio);
}

Steps stepFor(const MirrorRecord &before, const SourceNow &now)
{
    Steps steps;
    // The record is written again where what tells whether to look changed, or its audio digest
    // is of an earlier kind.
    if (!sameFile(before, now.file) || now.stamp != before.stamp
        || (now.audio != before.audio && sameAudio(before, now)))
        steps.add(Step::Refresh);
    if (before.mp3 != now.mp3)
        steps.add(Step::Move);
    if (!sameAudio(before, now) || now.settings != before.settings)
        steps.add(Step::EncodeAgain);
    else if (now.tags != before.tags)
        steps.add(Step::Retag);
    const Steps mp3 = stepForMp3(before, now.onMirror, now.mp3Digest);
    if (mp3.has(Step::EncodeAgain)) {
        steps.remove(Step::Retag);
        steps.add(Step::EncodeAgain);
    } else if (mp3.has(Step::Refresh)) {
        steps.add(Step::Refresh);
    }
    return steps;
}

Steps stepForNew(const SourceNow &now, const MirrorRecord *sameAudio, const MirrorRecord *atPath, bool fileThere)
{
    if (sameAudio && !now.audio.isEmpty()) {
        Steps steps;
        if (sameAudio->mp3 != now.mp3)
            steps.add(Step::Move);
        if (sameAudio->tags != now.tags)
            steps.add(Step::Retag);
        // Its MP3 stays where it is (a name template without folders): the record is written
        // again to name the source where it is now, or every run would read it to match it.
        if (steps.none())
            steps.add(Step::Refresh);
        return steps;
    }
    if (atPath)
        return {Step::EncodeAgain};
    return {fileThere ? Step::Adopt : Step::Convert};
}

Mp3There mp3There(const MirrorRecord &before, const FileStamp &there, qint64 granularityNs)
{
    if (there.size != before.mp3Size)
        return Mp3There::Changed;
    return std::abs(there.mtimeNs - before.mp3MtimeNs) < granularityNs ? Mp3There::AsRecorded : Mp3There::TimeOnly;
}

Steps stepForMp3(const MirrorRecord &before, Mp3There there, const QByteArray &digestNow)
{
    switch (there) {
    case Mp3There::AsRecorded:
        return {};
    case Mp3There::TimeOnly:
        if (!before.mp3Digest.isEmpty() && digestNow == before.mp3Digest)
            return {Step::Refresh};
        break;
    case Mp3There::Changed:
        break;
    }
    return {Step::EncodeAgain};
}

Steps stepForGone(Absence absence, bool deleting)
{
    switch (absence) {
    case Absence::Gone:
        return {deleting ? Step::Delete : Step::Trash};
    case Absence::StillThere:
    case Absence::BelowUnreadable:
        return {Step::Stay};
    case Absence::SheetRefused:
        break;
    }
    return {};
}

bool albumChanged(const std::vector<AlbumTrack> &tracks, const QHash<QString, int> &recordedIn)
{
    QSet<QString> folders;
    for (const AlbumTrack &track : tracks) {
        if (track.steps.encodes() || !track.folderBefore)
            return true;
        folders.insert(*track.folderBefore);
    }
    return folders.size() > 1
        || (folders.size() == 1 && recordedIn.value(*folders.begin()) != qsizetype(tracks.size()));
}
