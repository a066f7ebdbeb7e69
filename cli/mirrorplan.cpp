#include "mirrorplan.h"

#include "mirrordecisions.h"
#include "mirrorfiles.h"
#include "mirrorroots.h"
#include "outputnaming.h"

#include "encoder/mirrorkeys.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>

namespace {

// The folder of a relative path, as QFileInfo::path gives it, without its parsing.
QString folderOf(const QString &mp3)
{
    const qsizetype slash = mp3.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QStringLiteral(".") : mp3.left(slash);
}

// The album a record's MP3 was made as a track of: its CD image, or its source's folder. Not its
// MP3's folder, which a name template may share among albums or split.
QString albumOf(const MirrorRecord &record)
{
    const QString root = QString::number(record.root) + QLatin1Char('/');
    return record.track >= 0 ? root + record.source : root + folderOf(record.source) + QLatin1Char('/');
}

} // namespace

MirrorPlan planMirror(const BatchRequest &given, std::vector<BatchInput> inputs, std::vector<MirrorRecord> records,
                      MirrorSeen seen)
{
    MirrorPlan plan;
    plan.recorded = qsizetype(records.size());
    // Absolute paths throughout: the working folder is asked once, not once a file.
    const BatchRequest request = absoluteRequest(given);
    const QString &mirror = request.outputDir;
    // Below the mirror's folder; the paths here are absolute and clean, so no folder is asked.
    const auto belowMirror = [&mirror](const QString &path) {
        const QString clean = QDir::cleanPath(path);
        return clean.startsWith(mirror + QLatin1Char('/')) ? clean.mid(mirror.size() + 1)
                                                           : QDir(mirror).relativeFilePath(clean);
    };
    const QStringList &roots = request.inputs;
    std::vector<int> found(std::size_t(roots.size()), 0);

    QHash<SourceKey, std::size_t> bySource;
    QHash<QString, std::size_t> byMp3;
    for (std::size_t i = 0; i < records.size(); ++i) {
        bySource.insert(records[i].key(), i);
        byMp3.insert(records[i].mp3, i);
    }
    std::vector<bool> used(records.size(), false);
    // The MP3s' names: each source's as recorded is its own while it is there (a twin added later
    // gets a number, not its name), the others' asked for in the sources' order.
    const DiskNames names = request.names.value_or(DiskNames());
    struct Claim
    {
        QString asked; // empty: as recorded
        SourceKey owner;
    };
    QHash<QString, Claim> claimed; // by the MP3's path below the mirror, case-folded where caseless
    QHash<QString, SourceKey> recordedFor; // each source's MP3 as recorded
    FolderSpellings folders;
    for (const BatchInput &input : inputs) {
        const int root = rootOf(roots, input.path);
        const auto known =
            root < 0 ? bySource.constEnd() : bySource.constFind({root, input.track, belowRoot(roots, root, input.path)});
        if (known == bySource.constEnd())
            continue;
        const MirrorRecord &record = records[*known];
        recordedFor.insert(record.mp3, record.key());
        if (!claimed.contains(foldedName(record.mp3, names.caseless)))
            claimed.insert(foldedName(record.mp3, names.caseless), {QString(), record.key()});
        if (!request.name)
            folders.keep(mirror, record.mp3, fitBelow(input.below, names.mode), input.below, names.caseless);
    }
    QStringList refusedImages; // the folders of the images whose sheet cannot be used
    const bool withAlbums = request.album != BatchRequest::Album::Off && request.settings.replayGain;
    plan.settings = request.settings;
    plan.withAlbums = withAlbums;

    AlbumPlan albums(request, inputs);
    plan.albumTracks = albums.trackCounts();
    TagInputs tagInputs = tagInputsOf(request);
    const QByteArray copied = QCryptographicHash::hash("copied as it is", QCryptographicHash::Sha256);
    QByteArray settingsOf[2]; // by albumRoom

    // A WAVE and an MP3 of the same name: the MP3 made of the WAVE is the mirror's, not the copy.
    std::stable_partition(inputs.begin(), inputs.end(), [](const BatchInput &input) { return !input.copy; });
    plan.items.reserve(inputs.size());
    std::vector<SourceNow> nows; // by item
    nows.reserve(inputs.size());
    for (BatchInput &input : inputs) {
        if (!input.error.isEmpty()) {
            // Nothing of the image is touched: its tracks' MP3s stay until the sheet is mended.
            plan.refused << QStringLiteral("%1: %2").arg(input.sheet, input.error);
            refusedImages << input.below + QLatin1Char('/');
            continue;
        }
        const QString path = input.path; // input is moved into its item below
        const int root = rootOf(roots, path);
        if (root < 0)
            continue;
        ++found[std::size_t(root)];
        if (!input.skipped.isEmpty()) {
            plan.lossy << QStringLiteral("%1: %2").arg(path, input.skipped);
            continue;
        }
        MirrorRecord record;
        record.root = root;
        record.source = belowRoot(roots, root, path);
        record.track = input.track;
        const auto known = bySource.constFind(record.key());
        const MirrorRecord *before = known != bySource.constEnd() ? &records[*known] : nullptr;
        if (before)
            record.source = before->source; // the same text, held once
        const std::optional<FileStamp> stamp = input.stamp ? input.stamp : fileStamp(path);
        if (!stamp) {
            // Not readable now: its MP3 stays as it is.
            if (before)
                used[*known] = true;
            continue;
        }
        SourceNow now;
        now.file = *stamp;
        record.size = stamp->size;
        record.mtimeNs = stamp->mtimeNs;

        EncoderSettings settings = request.settings;
        settings.inputFile = path;
        settings.range = input.range;
        settings.cueSheet = input.sheet;
        settings.cueTrack = input.track;
        AlbumPlan::Place place;
        if (input.copy) {
            now.settings = copied;
            now.stamp = copied;
        } else {
            place = albums.place(input);
            settings.albumRoom = withAlbums && place.album >= 0;
            QByteArray &digest = settingsOf[settings.albumRoom ? 1 : 0];
            if (digest.isEmpty())
                digest = settingsDigest(settings);
            now.settings = digest;
            now.stamp = tagInputs.digest(settings);
        }
        // Neither the source nor what its tags are made of changed (the stamp holds the name
        // template and this program's version too): its tags and its MP3's name are as they were.
        const bool unchanged = before && tagsAsRecorded(*before, now.file, now.stamp);
        // A source changed in the last moments may change again within its clock's tick, its
        // size and time the same: it is recorded so that the next run reads it again.
        if (now.file.mtimeNs > seen.sourcesNowNs - seen.racyNs) {
            now.stamp.clear();
            record.mtimeNs = 0;
        }
        QString asked;
        if (unchanged) {
            now.mp3 = before->mp3;
        } else {
            asked = input.copy ? QDir::cleanPath(input.below + QLatin1Char('.') + QFileInfo(path).suffix())
                               : wantedOutput(request, input).below;
            now.mp3 = belowMirror(fittedOutput({mirror, asked}, names, folders));
        }
        const QString wanted = now.mp3;
        const auto twin = [&]() -> const Claim * {
            const auto at = claimed.constFind(foldedName(now.mp3, names.caseless));
            const auto recorded = recordedFor.constFind(now.mp3);
            const bool own = recorded != recordedFor.constEnd() && *recorded == record.key();
            return own || at == claimed.constEnd() || at->owner == record.key() ? nullptr : &*at;
        };
        if (const Claim *earlier = twin(); earlier && !asked.isEmpty() && earlier->asked == asked) {
            plan.skipped << path;
            continue;
        }
        for (int n = 2; twin(); ++n)
            now.mp3 = OutputClaims::numbered(wanted, n);
        claimed.insert(foldedName(now.mp3, names.caseless), {asked, record.key()});
        if (input.copy)
            now.tags = copied;
        else
            now.tags = unchanged ? before->tags : tagsDigest(settings);

        MirrorItem &item = plan.items.emplace_back();
        item.input = std::move(input);
        item.place = place;
        if (before) {
            used[*known] = true;
            item.before = before;
            // A track that goes on into its sheet's next files is as it was only where they are
            // too, which the stamp (every file of the sheet by size and time) tells.
            const bool sameFiles = item.input.range.then.empty() || before->stamp == now.stamp;
            now.audio = sameFile(*before, now.file) && sameFiles ? before->audio : audioDigest(path, item.input.range);
            // A record of an earlier release: its FLAC's digest was of the file's bytes.
            if (isSamplesDigest(now.audio) && !isSamplesDigest(before->audio))
                now.audioEarlierKind = storedAudioDigest(path, item.input.range);
            const auto onMirror = seen.files.constFind(before->mp3);
            if (onMirror != seen.files.constEnd()) {
                now.onMirror = mp3There(*before, *onMirror, seen.granularityNs);
                if (now.onMirror == Mp3There::TimeOnly)
                    now.mp3Digest = fileDigest(mirror + QLatin1Char('/') + before->mp3);
                record.mp3Size = before->mp3Size;
                record.mp3MtimeNs = before->mp3MtimeNs;
                record.mp3Digest = before->mp3Digest;
            }
            item.steps = stepFor(*before, now);
            if (stepForMp3(*before, now.onMirror, now.mp3Digest).has(Step::EncodeAgain))
                plan.remade << QStringLiteral("%1: not the MP3 recorded (%2): made again")
                                   .arg(before->mp3, now.onMirror == Mp3There::Changed ? QStringLiteral("its size")
                                                                                       : QStringLiteral("its bytes"));
        }
        // A source without a record is decided once every record still in use is known.
        item.record = std::move(record);
        nows.push_back(std::move(now));
    }
    for (std::size_t root = 0; root < found.size(); ++root) {
        if (found[root] == 0)
            plan.emptyRoots << given.inputs[qsizetype(root)];
    }

    // A new source whose audio is that of a source gone is its MP3 moved; one whose MP3 is already
    // there is checked against it.
    QHash<QByteArray, std::vector<std::size_t>> goneByAudio;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!used[i])
            goneByAudio[records[i].audio + records[i].settings].push_back(i);
    }
    for (std::size_t at = 0; at < plan.items.size(); ++at) {
        MirrorItem &item = plan.items[at];
        SourceNow &now = nows[at];
        if (item.before)
            continue;
        now.audio = audioDigest(item.input.path, item.input.range);
        std::vector<std::size_t> &same = goneByAudio[now.audio + now.settings];
        std::erase_if(same, [&used](std::size_t i) { return used[i]; });
        const auto there = byMp3.constFind(now.mp3);
        const MirrorRecord *sameAudio = same.empty() ? nullptr : &records[same.front()];
        const MirrorRecord *atPath = there != byMp3.constEnd() && !used[*there] ? &records[*there] : nullptr;
        const bool fileThere = !sameAudio && !atPath && QFileInfo::exists(mirror + QLatin1Char('/') + now.mp3);
        item.steps = stepForNew(now, sameAudio, atPath, fileThere);
        const MirrorRecord *before = sameAudio && !now.audio.isEmpty() ? sameAudio : atPath;
        if (before) {
            used[std::size_t(before - records.data())] = true;
            item.before = before;
        }
    }
    for (std::size_t at = 0; at < plan.items.size(); ++at) {
        MirrorRecord &record = plan.items[at].record;
        const SourceNow &now = nows[at];
        record.audio = now.audio;
        record.settings = now.settings;
        record.tags = now.tags;
        record.stamp = now.stamp;
        record.mp3 = now.mp3;
    }

    // A record below a place that could not be read is kept: nothing is known of its source.
    const auto unreadAbove = [&](const MirrorRecord &record) -> QString {
        const QString path = QFileInfo(roots[record.root]).isDir() ? roots[record.root] + QLatin1Char('/') + record.source
                                                                   : roots[record.root];
        for (const UnreadPlace &place : seen.unread) {
            if (path == place.path || path.startsWith(place.path + QLatin1Char('/')))
                return place.path;
        }
        return {};
    };
    for (std::size_t i = 0; i < records.size(); ++i) {
        // A file still there that the walk did not give (in a folder that cannot be read) is not
        // gone; a CD image's track is gone with its sheet's.
        const MirrorRecord &record = records[i];
        if (used[i] || record.root >= roots.size())
            continue;
        const QString root = roots[record.root];
        const auto ofRefused = [&record](const QString &folder) { return record.mp3.startsWith(folder); };
        QString unreadPlace = unreadAbove(record);
        if (unreadPlace.isEmpty() && QFileInfo(root).isDir()) {
            unreadPlace = emptyMountPointAbove(root, root + QLatin1Char('/') + record.source);
            const auto named = [&unreadPlace](const UnreadPlace &place) { return place.path == unreadPlace; };
            if (!unreadPlace.isEmpty() && std::none_of(seen.unread.cbegin(), seen.unread.cend(), named))
                seen.unread.push_back({unreadPlace, QStringLiteral("an empty mount point: a disk not mounted?")});
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
    plan.unread = std::move(seen.unread);

    // An album gets its figures again where its audio changed.
    if (withAlbums) {
        QHash<QString, int> recordedIn;
        for (const MirrorRecord &record : records) {
            if (record.settings != copied) // an MP3 copied as it is is no album's track
                ++recordedIn[albumOf(record)];
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
        const Step again = request.settings.device.applyGain == DeviceSettings::Gain::Album ? Step::EncodeAgain
                                                                                           : Step::AlbumRetag;
        for (MirrorItem &item : plan.items) {
            if (item.place.album >= 0 && !item.encodes() && changed[std::size_t(item.place.album)])
                item.steps.add(again);
        }
    }
    plan.records = std::move(records); // the items' before point into it
    return plan;
}
