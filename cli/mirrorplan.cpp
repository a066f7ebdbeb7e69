#include "mirrorplan.h"

#include "outputnaming.h"
#include "paths.h"
#include "version.h"

#include "encoder/mirrorkeys.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>


namespace {

BatchRequest absoluteRequest(const BatchRequest &given)
{
    BatchRequest request = given;
    request.outputDir = absolute(request.outputDir);
    for (QString &input : request.inputs)
        input = absolute(input);
    return request;
}

// Which root a source is below, or -1; its path below it.
int rootOf(const QStringList &roots, const QString &path)
{
    for (int root = 0; root < roots.size(); ++root) {
        if (path == roots[root] || path.startsWith(roots[root] + QLatin1Char('/')))
            return root;
    }
    return -1;
}

QString belowRoot(const QStringList &roots, int root, const QString &path)
{
    return path == roots[root] ? QFileInfo(path).fileName() : path.mid(roots[root].size() + 1);
}

// What every MP3 depends on beside its source, its folder's covers and its sheet.
TagInputs tagInputsOf(const BatchRequest &request)
{
    QByteArray extra = QByteArrayLiteral(SONOVERT_VERSION);
    if (request.name)
        extra += '\0' + request.name->text().toUtf8();
    return TagInputs(request.settings, extra);
}

} // namespace

std::vector<BatchInput> mirrorSources(const BatchRequest &given, const std::function<const std::vector<MirrorRecord> &()> &recorded)
{
    const BatchRequest request = absoluteRequest(given);
    std::vector<BatchInput> inputs;
    InputList list(request.inputs, request.subfolders, request.pregap);
    list.withMp3s();
    list.withSizes();
    // A CD image as it was recorded (its size, time and stamp) has a track 0 where it had one: the
    // audio before track 1 is not read again to tell.
    struct Image
    {
        const MirrorRecord *first = nullptr;
        bool same = true; // every track's record has the first's size, time and stamp
        bool track0 = false;
    };
    QHash<SourceKey, Image> images;
    bool indexed = false;
    TagInputs tagInputs = tagInputsOf(request);
    list.withPregapsKnown([&](const QString &sheet, const QString &image) -> std::optional<bool> {
        if (!indexed) {
            indexed = true;
            for (const MirrorRecord &record : recorded()) {
                if (record.track < 0)
                    continue;
                Image &known = images[{record.root, -1, record.source}]; // the image, whatever its track
                if (!known.first)
                    known.first = &record;
                known.same = known.same && record.size == known.first->size &&
                             record.mtimeNs == known.first->mtimeNs && record.stamp == known.first->stamp;
                known.track0 = known.track0 || record.track == 0;
            }
        }
        const int root = rootOf(request.inputs, image);
        if (root < 0)
            return std::nullopt;
        const auto found = images.constFind({root, -1, belowRoot(request.inputs, root, image)});
        if (found == images.constEnd() || !found->same || found->first->stamp.isEmpty()
            || fileStamp(image) != FileStamp {found->first->size, found->first->mtimeNs})
            return std::nullopt;
        EncoderSettings settings = request.settings;
        settings.inputFile = image;
        settings.cueSheet = sheet;
        if (tagInputs.digest(settings) != found->first->stamp)
            return std::nullopt;
        return !found->track0;
    });
    while (std::optional<BatchInput> input = list.next())
        inputs.push_back(std::move(*input));
    return inputs;
}

MirrorPlan planMirror(const BatchRequest &given, std::vector<BatchInput> inputs, std::vector<MirrorRecord> records)
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
    QSet<QString> claimed;
    QStringList refusedImages; // the folders of the images whose sheet cannot be used
    const bool withAlbums = request.album != BatchRequest::Album::Off && request.settings.replayGain;

    AlbumPlan albums(request, inputs);
    plan.albumTracks = albums.trackCounts();
    TagInputs tagInputs = tagInputsOf(request);
    const QByteArray copied = QCryptographicHash::hash("copied as it is", QCryptographicHash::Sha256);
    QByteArray settingsOf[2]; // by albumRoom
    const qint64 startedNs = QDateTime::currentMSecsSinceEpoch() * 1'000'000;

    // A WAVE and an MP3 of the same name: the MP3 made of the WAVE is the mirror's, not the copy.
    std::stable_partition(inputs.begin(), inputs.end(), [](const BatchInput &input) { return !input.copy; });
    plan.items.reserve(inputs.size());
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
        // Made in its place (reserved above) and dropped where it turns out to be none.
        MirrorItem &item = plan.items.emplace_back();
        MirrorRecord &record = item.record;
        record.root = root;
        record.source = belowRoot(roots, root, path);
        record.track = input.track;
        const auto known = bySource.constFind(record.key());
        const MirrorRecord *before = known != bySource.constEnd() ? &records[*known] : nullptr;
        const std::optional<FileStamp> now = input.stamp ? input.stamp : fileStamp(path);
        const bool readable = now.has_value();
        if (now) {
            record.size = now->size;
            record.mtimeNs = now->mtimeNs;
        }
        bool same = before && now == FileStamp {before->size, before->mtimeNs};

        EncoderSettings &settings = item.settings;
        settings = request.settings;
        settings.inputFile = path;
        settings.range = input.range;
        settings.cueSheet = input.sheet;
        settings.cueTrack = input.track;
        if (input.copy) {
            record.settings = copied;
            record.stamp = copied;
        } else {
            item.place = albums.place(input);
            settings.albumRoom = withAlbums && item.place.album >= 0;
            QByteArray &digest = settingsOf[settings.albumRoom ? 1 : 0];
            if (digest.isEmpty())
                digest = settingsDigest(settings);
            record.settings = digest;
            record.stamp = tagInputs.digest(settings);
            // A track that goes on into its sheet's next files is as it was only where they are
            // too, which the stamp (every file of the sheet by size and time) tells.
            if (!input.range.then.empty() && (!before || before->stamp != record.stamp))
                same = false;
        }
        // Neither the source nor what its tags are made of changed (the stamp holds the name
        // template and this program's version too): its tags and its MP3's name are as they were.
        const bool unchanged = same && !before->stamp.isEmpty() && before->stamp == record.stamp;
        // A source changed in the last two seconds may change again within its clock's tick, its
        // size and time the same: the next run reads its tags rather than trusting them.
        if (record.mtimeNs > startedNs - 2'000'000'000)
            record.stamp.clear();
        if (unchanged)
            record.mp3 = before->mp3;
        else if (input.copy)
            record.mp3 = belowMirror(mirror + QLatin1Char('/') + input.below + QLatin1Char('.') +
                                     QFileInfo(path).suffix());
        else
            record.mp3 = belowMirror(wantedOutput(request, input));
        if (claimed.contains(record.mp3)) {
            plan.skipped << path;
            plan.items.pop_back();
            continue;
        }
        claimed.insert(record.mp3);
        if (!readable) {
            // Not readable now: its MP3 stays as it is.
            if (before)
                used[*known] = true;
            plan.items.pop_back();
            continue;
        }
        if (input.copy)
            record.tags = copied;
        else
            record.tags = unchanged ? before->tags : tagsDigest(settings);
        item.input = std::move(input);

        if (before) {
            used[*known] = true;
            item.before = *before;
            record.audio = same ? before->audio : audioDigest(path, item.input.range);
            item.refresh = !same || record.stamp != before->stamp;
            item.move = before->mp3 != record.mp3;
            if (record.audio != before->audio || record.settings != before->settings)
                item.step = MirrorItem::Step::EncodeAgain;
            else if (record.tags != before->tags)
                item.step = MirrorItem::Step::Retag;
        } else {
            // Decided once every record still in use is known.
            item.step = MirrorItem::Step::Convert;
        }
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
    for (MirrorItem &item : plan.items) {
        if (item.before)
            continue;
        MirrorRecord &record = item.record;
        record.audio = audioDigest(item.input.path, item.input.range);
        std::vector<std::size_t> &same = goneByAudio[record.audio + record.settings];
        std::erase_if(same, [&used](std::size_t i) { return used[i]; });
        const auto there = byMp3.constFind(record.mp3);
        if (!same.empty() && !record.audio.isEmpty()) {
            const std::size_t i = same.front();
            used[i] = true;
            item.before = records[i];
            item.move = records[i].mp3 != record.mp3;
            item.step = records[i].tags == record.tags ? MirrorItem::Step::Keep : MirrorItem::Step::Retag;
        } else if (there != byMp3.constEnd() && !used[*there]) {
            // The MP3 of a source gone stands where this one's goes: made again over it.
            used[*there] = true;
            item.before = records[*there];
            item.step = MirrorItem::Step::EncodeAgain;
        } else if (QFileInfo::exists(mirror + QLatin1Char('/') + record.mp3)) {
            item.step = MirrorItem::Step::Adopt;
        }
    }
    for (std::size_t i = 0; i < records.size(); ++i) {
        // A file still there that the walk did not give (in a folder that cannot be read) is not
        // gone; a CD image's track is gone with its sheet's.
        const MirrorRecord &record = records[i];
        if (used[i] || record.root >= roots.size())
            continue;
        const QString root = roots[record.root];
        const auto ofRefused = [&record](const QString &folder) { return record.mp3.startsWith(folder); };
        if (record.track >= 0 && std::any_of(refusedImages.cbegin(), refusedImages.cend(), ofRefused))
            continue;
        if (record.track < 0 &&
            QFileInfo::exists(QFileInfo(root).isDir() ? root + QLatin1Char('/') + record.source : root))
            plan.unlisted << record.source;
        else
            plan.trash.push_back(record);
    }

    // An album gets its figures again where its audio changed: a track encoded, or its tracks not
    // all and only the MP3s of one folder before (a track came, went or moved in or out).
    plan.albumChanged.assign(plan.albumTracks.size(), false);
    if (withAlbums) {
        QHash<QString, int> recordedIn;
        for (const MirrorRecord &record : records)
            ++recordedIn[QFileInfo(record.mp3).path()];
        std::vector<QSet<QString>> folders(plan.albumChanged.size());
        std::vector<int> tracks(plan.albumChanged.size(), 0);
        for (const MirrorItem &item : plan.items) {
            if (item.place.album < 0)
                continue;
            const std::size_t album = std::size_t(item.place.album);
            ++tracks[album];
            if (item.encodes() || !item.before)
                plan.albumChanged[album] = true;
            else
                folders[album].insert(QFileInfo(item.before->mp3).path());
        }
        for (std::size_t album = 0; album < folders.size(); ++album) {
            if (folders[album].size() > 1 ||
                (folders[album].size() == 1 && recordedIn.value(*folders[album].begin()) != tracks[album]))
                plan.albumChanged[album] = true;
        }
        for (MirrorItem &item : plan.items)
            item.albumRetag =
                item.place.album >= 0 && !item.encodes() && plan.albumChanged[std::size_t(item.place.album)];
    }
    return plan;
}
