#include "mirrorplanphases.h"

#include "mirrordecisions.h"
#include "mirrorroots.h"

#include "encoder/mirrorkeys.h"

#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <optional>

namespace {

// The folder of a path below the mirror, as QFileInfo::path gives it, without its parsing.
QStringView folderOf(const QString &mp3)
{
    const qsizetype slash = mp3.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QStringView(u".") : QStringView(mp3).left(slash);
}

// The album a record's MP3 was made as a track of: its CD image, or its source's folder. Not its
// MP3's folder, which a name template may share among albums or split.
QString albumOf(const MirrorRecord &record)
{
    const QString root = QString::number(record.root) + QLatin1Char('/');
    return record.track >= 0 ? root + record.source : root + folderOf(record.source).toString() + QLatin1Char('/');
}

// The place that could not be read above a record's source, if any.
QString unreadAbove(const MirrorRecord &record, const QStringList &roots, const std::vector<UnreadPlace> &unread)
{
    if (unread.empty())
        return {};
    const QString path = QFileInfo(roots[record.root]).isDir() ? roots[record.root] + QLatin1Char('/') + record.source
                                                               : roots[record.root];
    for (const UnreadPlace &place : unread) {
        if (path == place.path || path.startsWith(place.path + QLatin1Char('/')))
            return place.path;
    }
    return {};
}

} // namespace

std::future<void> readFoldersAhead(TagInputs &tags, const BatchRequest &request, const std::vector<BatchInput> &inputs)
{
    return std::async(std::launch::async, [&tags, &request, &inputs] {
        EncoderSettings settings = request.settings;
        for (const BatchInput &input : inputs) {
            // A folder's digest, as the plan asks it of each source; a sheet's part is left to it.
            if (!input.copy && input.error.isEmpty() && input.skipped.isEmpty()) {
                settings.inputFile = input.path;
                tags.digest(settings);
            }
        }
    });
}

void planNew(MirrorPlan &plan, std::vector<std::pair<std::size_t, SourceNow>> &fresh, std::vector<bool> &used,
             const QHash<QString, qsizetype> &byMp3, const QString &mirror)
{
    const std::vector<MirrorRecord> &records = plan.records;
    QHash<QByteArray, std::vector<std::size_t>> goneByAudio;
    if (!fresh.empty()) {
        for (std::size_t i = 0; i < records.size(); ++i) {
            if (!used[i])
                goneByAudio[records[i].audio + records[i].settings].push_back(i);
        }
    }
    for (auto &[at, now] : fresh) {
        MirrorItem &item = plan.items[at];
        now.audio = audioDigest(item.input.path, item.input.range);
        std::vector<std::size_t> &same = goneByAudio[now.audio + now.settings];
        std::erase_if(same, [&used](std::size_t i) { return used[i]; });
        const auto there = byMp3.constFind(now.mp3);
        const MirrorRecord *sameAudio = same.empty() ? nullptr : &records[same.front()];
        const MirrorRecord *atPath =
            there != byMp3.constEnd() && !used[std::size_t(*there)] ? &records[std::size_t(*there)] : nullptr;
        const bool fileThere = !sameAudio && !atPath && QFileInfo::exists(mirror + QLatin1Char('/') + now.mp3);
        item.steps = stepForNew(now, sameAudio, atPath, fileThere);
        const MirrorRecord *before = sameAudio && !now.audio.isEmpty() ? sameAudio : atPath;
        if (before) {
            used[std::size_t(before - records.data())] = true;
            item.before = before;
        }
        MirrorRecord &record = item.record;
        record.audio = std::move(now.audio);
        record.settings = std::move(now.settings);
        record.tags = std::move(now.tags);
        record.stamp = std::move(now.stamp);
        record.mp3 = std::move(now.mp3);
    }
    fresh.clear();
}

void planGone(MirrorPlan &plan, const BatchRequest &request, const std::vector<bool> &used,
              const QStringList &refusedImages, std::vector<UnreadPlace> &unread)
{
    const QStringList &roots = request.inputs;
    std::optional<QSet<QString>> points; // read once a plan, where a record's source is missing
    for (std::size_t i = 0; i < plan.records.size(); ++i) {
        // A file still there that the walk did not give (in a folder that cannot be read) is not
        // gone; a CD image's track is gone with its sheet's.
        const MirrorRecord &record = plan.records[i];
        if (used[i] || record.root >= roots.size())
            continue;
        const QString root = roots[record.root];
        const auto ofRefused = [&record](const QString &folder) { return record.mp3.startsWith(folder); };
        QString unreadPlace = unreadAbove(record, roots, unread);
        if (unreadPlace.isEmpty() && QFileInfo(root).isDir()) {
            if (!points)
                points = mountPoints();
            unreadPlace = emptyMountPointAbove(*points, root, root + QLatin1Char('/') + record.source);
            const auto named = [&unreadPlace](const UnreadPlace &place) { return place.path == unreadPlace; };
            if (!unreadPlace.isEmpty() && std::none_of(unread.cbegin(), unread.cend(), named))
                unread.push_back({unreadPlace, QStringLiteral("an empty mount point: a disk not mounted?")});
        }
        Absence absence = Absence::Gone;
        if (!unreadPlace.isEmpty())
            absence = Absence::BelowUnreadable;
        else if (record.track >= 0 && std::any_of(refusedImages.cbegin(), refusedImages.cend(), ofRefused))
            absence = Absence::SheetRefused;
        else if (record.track < 0
                 && QFileInfo::exists(QFileInfo(root).isDir() ? root + QLatin1Char('/') + record.source : root))
            absence = Absence::StillThere;
        const Steps steps = stepForGone(absence, request.gone == BatchRequest::Gone::Delete);
        if (absence == Absence::StillThere)
            plan.unlisted << record.source;
        if (!steps.none())
            plan.gone.push_back({record, steps, unreadPlace});
    }
}

void planAlbums(MirrorPlan &plan, const BatchRequest &request)
{
    if (!plan.withAlbums)
        return;
    // Counted by the records' albums, one string an album: the walk's records come by folder.
    QHash<QString, int> recordedIn;
    const MirrorRecord *last = nullptr;
    int *count = nullptr;
    for (const MirrorRecord &record : plan.records) {
        if (record.settings == copiedAsItIs()) // an MP3 copied as it is is no album's track
            continue;
        const bool sameAlbum = last && last->root == record.root && (record.track >= 0) == (last->track >= 0)
                            && (record.track >= 0 ? last->source == record.source
                                                  : folderOf(last->source) == folderOf(record.source));
        if (!sameAlbum)
            count = &recordedIn[albumOf(record)];
        ++*count;
        last = &record;
    }
    std::vector<std::vector<AlbumTrack>> tracks(plan.albumTracks.size());
    for (const MirrorItem &item : plan.items) {
        if (item.place.album >= 0)
            tracks[std::size_t(item.place.album)].push_back(
                {item.steps, item.before ? std::optional(albumOf(*item.before)) : std::nullopt});
    }
    std::vector<bool> changed(tracks.size());
    for (std::size_t album = 0; album < tracks.size(); ++album)
        changed[album] = albumChanged(tracks[album], recordedIn);
    // Where the album's gain is applied to its samples, a new figure is new audio.
    const Step again =
        request.settings.device.applyGain == DeviceSettings::Gain::Album ? Step::EncodeAgain : Step::AlbumRetag;
    for (MirrorItem &item : plan.items) {
        if (item.place.album >= 0 && !item.encodes() && changed[std::size_t(item.place.album)])
            item.steps.add(again);
    }
}
