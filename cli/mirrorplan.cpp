#include "mirrorplan.h"

#include "outputnaming.h"

#include "encoder/mirrorkeys.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <sys/stat.h>

namespace {

QString absolute(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString sourceKey(int root, const QString &source, int track)
{
    return QStringLiteral("%1/%2/%3").arg(root).arg(track).arg(source);
}

// Size and modification time in nanoseconds; false where it cannot be read.
bool sizeAndTime(const QString &path, qint64 &size, qint64 &mtimeNs)
{
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    size = st.st_size;
    mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

} // namespace

MirrorPlan planMirror(const BatchRequest &request, AlbumPlan &albums, std::vector<MirrorRecord> records)
{
    MirrorPlan plan;
    plan.recorded = qsizetype(records.size());
    const QDir mirror(absolute(request.outputDir));
    QStringList roots;
    for (const QString &input : request.inputs)
        roots << absolute(input);
    std::vector<int> found(std::size_t(roots.size()), 0);

    QHash<QString, std::size_t> bySource;
    QHash<QString, std::size_t> byMp3;
    for (std::size_t i = 0; i < records.size(); ++i) {
        bySource.insert(sourceKey(records[i].root, records[i].source, records[i].track), i);
        byMp3.insert(records[i].mp3, i);
    }
    std::vector<bool> used(records.size(), false);
    QSet<QString> claimed;
    QStringList refusedImages; // the folders of the images whose sheet cannot be used
    const bool withAlbums = request.album != BatchRequest::Album::Off && request.settings.replayGain;

    InputList inputs(request.inputs, request.subfolders, request.pregap);
    while (std::optional<BatchInput> input = inputs.next()) {
        if (!input->error.isEmpty()) {
            // Nothing of the image is touched: its tracks' MP3s stay until the sheet is mended.
            plan.refused << QStringLiteral("%1: %2").arg(input->sheet, input->error);
            refusedImages << input->below + QLatin1Char('/');
            continue;
        }
        const QString path = absolute(input->path);
        int root = 0;
        while (root < roots.size() && path != roots[root] && !path.startsWith(roots[root] + QLatin1Char('/')))
            ++root;
        if (root == roots.size())
            continue;
        ++found[std::size_t(root)];
        MirrorItem item;
        item.input = *input;
        item.place = albums.place(*input);
        MirrorRecord &record = item.record;
        record.root = root;
        record.source = path == roots[root] ? QFileInfo(path).fileName() : QDir(roots[root]).relativeFilePath(path);
        record.track = input->track;
        record.mp3 = mirror.relativeFilePath(absolute(wantedOutput(request, *input)));
        if (claimed.contains(record.mp3)) {
            plan.skipped << input->path;
            continue;
        }
        claimed.insert(record.mp3);
        const auto known = bySource.constFind(sourceKey(root, record.source, record.track));
        if (!sizeAndTime(input->path, record.size, record.mtimeNs)) {
            // Not readable now: its MP3 stays as it is.
            if (known != bySource.constEnd())
                used[*known] = true;
            continue;
        }
        EncoderSettings &settings = item.settings;
        settings = request.settings;
        settings.inputFile = input->path;
        settings.range = input->range;
        settings.cueSheet = input->sheet;
        settings.cueTrack = input->track;
        settings.albumRoom = withAlbums && item.place.album >= 0;
        record.settings = settingsDigest(settings);
        record.tags = tagsDigest(settings);

        if (known != bySource.constEnd()) {
            const MirrorRecord &before = records[*known];
            used[*known] = true;
            item.before = before;
            const bool same = before.size == record.size && before.mtimeNs == record.mtimeNs;
            record.audio = same ? before.audio : audioDigest(input->path, input->range);
            item.refresh = !same;
            item.move = before.mp3 != record.mp3;
            if (record.audio != before.audio || record.settings != before.settings)
                item.step = MirrorItem::Step::EncodeAgain;
            else if (record.tags != before.tags)
                item.step = MirrorItem::Step::Retag;
        } else {
            // Decided once every record still in use is known.
            item.step = MirrorItem::Step::Convert;
        }
        plan.items.push_back(std::move(item));
    }
    for (std::size_t root = 0; root < found.size(); ++root) {
        if (found[root] == 0)
            plan.emptyRoots << request.inputs[qsizetype(root)];
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
        } else if (QFileInfo::exists(mirror.filePath(record.mp3))) {
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
    plan.albumChanged.assign(albums.trackCounts().size(), false);
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
