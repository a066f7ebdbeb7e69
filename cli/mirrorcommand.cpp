#include "mirrorcommand.h"

#include "listing.h"
#include "manifest.h"
#include "messages.h"
#include "mirrorplan.h"
#include "paths.h"
#include "stopsignals.h"

#include "encoder/batchrun.h"
#include "encoder/core/filestamp.h"
#include "encoder/encoderun.h"
#include "encoder/retag.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>
#include <QTextStream>

#include <cstdio>
#include <future>

#include <dirent.h>
#include <sys/stat.h>

namespace {

const QString kManifestName = QStringLiteral(".sonovert-mirror.sqlite");
// Where an MP3 is made to be compared with one already there without its record.
const QString kCheckFolder = QStringLiteral(".sonovert-mirror-check");
// Where the mirror jobs of other machines write (--list): a mirror of each folder listed.
const QString kIncomingFolder = QStringLiteral(".sonovert-incoming");

bool sameBytes(const QString &a, const QString &b)
{
    QFile first(a);
    QFile second(b);
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly) || first.size() != second.size())
        return false;
    while (!first.atEnd()) {
        if (first.read(1 << 20) != second.read(1 << 20))
            return false;
    }
    return true;
}

// The file moved to the desktop's trash. Where no trash folder can be made, Qt 6.4 reports success
// with the file moved into "files" of the working folder, its path relative: that move is undone.
bool moveToTrash(const QString &path)
{
    QString where;
    if (!QFile::moveToTrash(path, &where))
        return false;
    if (QDir::isAbsolutePath(where))
        return true;
    const QFileInfo moved(QDir::current().absoluteFilePath(where));
    QDir trash = moved.dir();
    if (!QFile::rename(moved.filePath(), path))
        return false;
    trash.cdUp();
    QFile::remove(trash.filePath(QStringLiteral("info/") + moved.fileName() + QStringLiteral(".trashinfo")));
    trash.rmdir(QStringLiteral("files"));
    trash.rmdir(QStringLiteral("info"));
    return false;
}

class MirrorRun
{
public:
    MirrorRun(const BatchRequest &request, Manifest &manifest, MirrorPlan &plan)
        : m_request(request), m_manifest(manifest), m_plan(plan),
          m_mirror(absolute(request.outputDir))
    {}

    void trash();
    void move();
    void takeMadeElsewhere();
    void encode();
    void copy();
    void retag();
    void removeEmptiedFolders();
    bool failed() const { return m_failed; }
    // What was done, for the run's last line.
    QString summary() const
    {
        return QStringLiteral("converted %1, encoded again %2, retagged %3, moved %4, trashed %5%6")
            .arg(m_done[0])
            .arg(m_done[1])
            .arg(m_done[2])
            .arg(m_done[3])
            .arg(m_done[4])
            .arg(m_taken ? QStringLiteral(" (%1 made by other machines)").arg(m_taken) : QString());
    }

private:
    QString pathOf(const QString &mp3) const { return m_mirror.filePath(mp3); }
    // The record of an MP3 now in place, with its size and time.
    void record(MirrorRecord record);
    // The item's MP3 in place, converted or encoded again: recorded and counted.
    void made(const MirrorItem &item)
    {
        record(item.record);
        ++m_done[item.step == MirrorItem::Step::EncodeAgain ? 1 : 0];
    }
    // An MP3 there without its record is the mirror's only where it is the one made now (made).
    bool adoptable(const MirrorItem &item, const QString &made);
    // Whether each album has a track still to be encoded here, by album index.
    std::vector<bool> albumsEncodedHere() const;
    void fail(const QString &what)
    {
        say(what);
        m_failed = true;
    }
    std::optional<TrackGain> measureAlbum(int album);

    const BatchRequest &m_request;
    Manifest &m_manifest;
    MirrorPlan &m_plan;
    const QDir m_mirror;
    bool m_failed = false;
    int m_done[5] = {}; // converted, encoded again, retagged, moved, trashed
    int m_taken = 0; // of those converted or encoded again
    QSet<QString> m_emptied; // folders an MP3 left
    QHash<int, std::optional<TrackGain>> m_albumGains; // of the albums changed, by index
};

void MirrorRun::record(MirrorRecord record)
{
    if (const std::optional<FileStamp> stamp = fileStamp(pathOf(record.mp3))) {
        record.mp3Size = stamp->size;
        record.mp3MtimeNs = stamp->mtimeNs;
    }
    if (Outcome put = m_manifest.put(record); !put)
        fail(put.message);
}

bool MirrorRun::adoptable(const MirrorItem &item, const QString &made)
{
    if (sameBytes(made, pathOf(item.record.mp3)))
        return true;
    fail(QStringLiteral("%1 is not the mirror's (not %2 %3): left as it is")
             .arg(pathOf(item.record.mp3), item.input.copy ? QStringLiteral("a copy of") : QStringLiteral("the MP3 of"),
                  item.input.path));
    return false;
}

std::vector<bool> MirrorRun::albumsEncodedHere() const
{
    std::vector<bool> here(m_plan.albumTracks.size(), false);
    for (const MirrorItem &item : m_plan.items) {
        if (item.place.album >= 0 && item.encodes() && !item.input.copy)
            here[std::size_t(item.place.album)] = true;
    }
    return here;
}

void MirrorRun::trash()
{
    // Qt makes the home trash folder but not the folder it goes in, which a fresh account may
    // not have yet; the freedesktop trash asks for it to be made as needed.
    if (!m_plan.trash.empty())
        QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    for (const MirrorRecord &gone : m_plan.trash) {
        if (stopRequested())
            return;
        if (!moveToTrash(pathOf(gone.mp3))) {
            fail(QStringLiteral("%1: cannot be moved to the trash; it stays").arg(pathOf(gone.mp3)));
            continue;
        }
        m_emptied.insert(QFileInfo(gone.mp3).path());
        ++m_done[4];
        if (Outcome removed = m_manifest.remove(gone.mp3); !removed)
            fail(removed.message);
    }
}

void MirrorRun::move()
{
    for (MirrorItem &item : m_plan.items) {
        if (stopRequested())
            return;
        if (!item.move)
            continue;
        const QString from = pathOf(item.before->mp3);
        const QString to = pathOf(item.record.mp3);
        if (QFileInfo::exists(to) || !QDir().mkpath(QFileInfo(to).path()) || !QFile::rename(from, to)) {
            fail(QStringLiteral("%1: cannot be moved to %2").arg(from, to));
            item.step = MirrorItem::Step::Keep;
            item.albumRetag = false;
            continue;
        }
        m_emptied.insert(QFileInfo(item.before->mp3).path());
        // What it was made of until it is encoded again or retagged.
        MirrorRecord moved = *item.before;
        moved.root = item.record.root;
        moved.source = item.record.source;
        moved.track = item.record.track;
        moved.mp3 = item.record.mp3;
        record(moved);
        ++m_done[3];
    }
}

void MirrorRun::takeMadeElsewhere()
{
    for (MirrorItem &item : m_plan.items) {
        if (stopRequested())
            return;
        if (item.elsewhere.isEmpty() || !item.encodes())
            continue;
        const QString to = pathOf(item.record.mp3);
        if (item.step == MirrorItem::Step::Adopt) {
            if (!adoptable(item, item.elsewhere)) {
                item.elsewhere.clear();
                item.step = MirrorItem::Step::Keep;
                continue;
            }
        } else if (!QDir().mkpath(QFileInfo(to).path())
                   || ::rename(QFile::encodeName(item.elsewhere).constData(), QFile::encodeName(to).constData()) != 0) {
            item.elsewhere.clear(); // made here instead
            continue;
        }
        made(item);
        ++m_taken;
        item.step = MirrorItem::Step::Keep;
        // Its album's figures, as measured where the whole album was converted.
        if (item.place.album >= 0 && m_plan.albumsMadeWhole[std::size_t(item.place.album)]
            && !m_albumGains.contains(item.place.album))
            m_albumGains.insert(item.place.album, readMp3Gains(to).album);
    }
    // An album some of whose tracks are still to be encoded here, or that the job saw otherwise
    // (a track came or went since), gets the figures measured here.
    const std::vector<bool> encodedHere = albumsEncodedHere();
    for (MirrorItem &item : m_plan.items) {
        const int album = item.place.album;
        if (!item.elsewhere.isEmpty() && album >= 0
            && (encodedHere[std::size_t(album)] || !m_plan.albumsMadeWhole[std::size_t(album)])) {
            m_albumGains.remove(album);
            item.albumRetag = true;
        }
    }
}

void MirrorRun::encode()
{
    // An MP3 there without its record is adopted only if it is the one made now.
    const auto outputOf = [this](const MirrorItem &item) {
        return pathOf(item.step == MirrorItem::Step::Adopt ? kCheckFolder + QLatin1Char('/') + item.record.mp3
                                                           : item.record.mp3);
    };
    QHash<QString, std::size_t> byOutput;
    for (std::size_t i = 0; i < m_plan.items.size(); ++i) {
        if (m_plan.items[i].encodes() && !m_plan.items[i].input.copy)
            byOutput.insert(outputOf(m_plan.items[i]), i);
    }
    if (byOutput.isEmpty())
        return;
    BatchRun batch(m_request.settings, m_request.jobs, stopRequested());
    batch.setAlbums(m_plan.albumTracks);
    const std::vector<bool> albumEncodes = albumsEncodedHere();
    std::size_t next = 0;
    batch.run(
        [&]() -> std::optional<BatchFile> {
            while (next < m_plan.items.size()) {
                const MirrorItem &item = m_plan.items[next++];
                const int album = item.place.album;
                if (item.input.copy)
                    continue;
                if (item.encodes()) {
                    return BatchFile {.input = item.input.path,
                                      .output = outputOf(item),
                                      .album = album,
                                      .albumTrack = item.place.track,
                                      .sheet = item.input.sheet,
                                      .track = item.input.track,
                                      .range = item.input.range};
                }
                if (album >= 0)
                    batch.albumTrackPresent(album, item.place.track,
                                            albumEncodes[std::size_t(album)] ? item.input.path : QString(),
                                            item.input.range);
            }
            return std::nullopt;
        },
        [&](const BatchResult &result) {
            const auto found = byOutput.constFind(result.file.output);
            if (found == byOutput.constEnd() || result.outcome.kind == Outcome::Kind::Stopped)
                return;
            MirrorItem &item = m_plan.items[*found];
            if (!result.outcome) {
                fail(QStringLiteral("%1: %2").arg(result.file.input, result.outcome.message));
                return;
            }
            if (item.place.album >= 0)
                m_albumGains.insert(item.place.album, result.albumGain);
            if (item.step == MirrorItem::Step::Adopt) {
                const bool same = adoptable(item, result.file.output);
                QFile::remove(result.file.output);
                if (!same)
                    return;
            }
            made(item);
        });
    QDir(pathOf(kCheckFolder)).removeRecursively();
}

void MirrorRun::copy()
{
    for (MirrorItem &item : m_plan.items) {
        if (stopRequested())
            return;
        if (!item.input.copy || !item.encodes())
            continue;
        if (item.step == MirrorItem::Step::Adopt) {
            if (!adoptable(item, item.input.path))
                continue;
        } else if (Outcome copied = copyMp3(item.input.path, pathOf(item.record.mp3)); !copied) {
            fail(QStringLiteral("%1: %2").arg(item.input.path, copied.message));
            continue;
        }
        made(item);
    }
}

std::optional<TrackGain> MirrorRun::measureAlbum(int album)
{
    std::vector<std::unique_ptr<LoudnessMeter>> meters;
    for (const MirrorItem &item : m_plan.items) {
        if (item.place.album != album)
            continue;
        for (std::unique_ptr<LoudnessMeter> &meter : measureLoudness(item.settings, stopRequested()))
            meters.push_back(std::move(meter));
    }
    std::vector<const LoudnessMeter *> all;
    for (const std::unique_ptr<LoudnessMeter> &meter : meters)
        all.push_back(meter.get());
    return all.empty() ? std::nullopt : LoudnessMeter::figures(all);
}

void MirrorRun::retag()
{
    for (MirrorItem &item : m_plan.items) {
        if (stopRequested())
            return;
        if (item.encodes())
            continue;
        std::optional<std::optional<TrackGain>> albumGain;
        if (item.albumRetag) {
            const int album = item.place.album;
            if (!m_albumGains.contains(album))
                m_albumGains.insert(album, measureAlbum(album));
            albumGain = m_albumGains.value(album);
        }
        if (item.step == MirrorItem::Step::Retag || albumGain) {
            if (Outcome retagged = retagMp3(item.settings, pathOf(item.record.mp3), albumGain); !retagged) {
                fail(QStringLiteral("%1: %2").arg(pathOf(item.record.mp3), retagged.message));
                continue;
            }
            ++m_done[2];
        } else if (!item.refresh) {
            continue;
        }
        record(item.record);
    }
}

// Folders an MP3 left, and those above them up to the mirror's folder, where empty.
void MirrorRun::removeEmptiedFolders()
{
    for (const QString &folder : std::as_const(m_emptied)) {
        for (QString below = folder; below != QLatin1String(".") && !below.isEmpty(); below = QFileInfo(below).path()) {
            if (!m_mirror.rmdir(below))
                break;
        }
    }
}

// One line a change, by the MP3's path below the mirror's folder, then the counts.
void printPlan(const MirrorPlan &plan)
{
    const auto elsewhere = [](const MirrorItem &item) {
        return item.elsewhere.isEmpty() ? QString() : QStringLiteral(" (made by another machine)");
    };
    QTextStream out(stdout);
    int counts[5] = {};
    for (const MirrorItem &item : plan.items) {
        if (item.move) {
            out << "move " << item.before->mp3 << " -> " << item.record.mp3 << '\n';
            ++counts[3];
        }
        switch (item.step) {
        case MirrorItem::Step::Convert:
            out << (item.input.copy ? "copy " : "convert ") << item.record.mp3 << elsewhere(item) << '\n';
            ++counts[0];
            break;
        case MirrorItem::Step::Adopt:
            out << (item.input.copy ? "copy " : "convert ") << item.record.mp3
                << " (kept as it is if the MP3 there is the same)\n";
            ++counts[0];
            break;
        case MirrorItem::Step::EncodeAgain:
            out << (item.input.copy ? "copy again " : "encode again ") << item.record.mp3 << elsewhere(item) << '\n';
            ++counts[1];
            break;
        case MirrorItem::Step::Retag:
            out << "retag " << item.record.mp3 << '\n';
            ++counts[2];
            break;
        case MirrorItem::Step::Keep:
            if (item.albumRetag) {
                out << "retag " << item.record.mp3 << " (album figures)\n";
                ++counts[2];
            }
            break;
        }
    }
    for (const MirrorRecord &gone : plan.trash) {
        out << "trash " << gone.mp3 << '\n';
        ++counts[4];
    }
    out << QStringLiteral("%1 to convert, %2 to encode again, %3 to retag, %4 to "
                          "move, %5 to trash\n")
               .arg(counts[0])
               .arg(counts[1])
               .arg(counts[2])
               .arg(counts[3])
               .arg(counts[4]);
}

// The records' MP3s that are there as files, each folder listed once rather than each file asked.
QSet<QString> filesThere(const QString &mirror, const std::vector<MirrorRecord> &records)
{
    QSet<QString> folders;
    for (const MirrorRecord &record : records)
        folders.insert(record.mp3.left(std::max<qsizetype>(record.mp3.lastIndexOf(QLatin1Char('/')), 0)));
    QSet<QString> files;
    files.reserve(qsizetype(records.size()));
    for (const QString &folder : std::as_const(folders)) {
        const QString prefix = folder.isEmpty() ? QString() : folder + QLatin1Char('/');
        const QByteArray path = QFile::encodeName(mirror + QLatin1Char('/') + folder);
        DIR *dir = ::opendir(path.constData());
        if (!dir)
            continue;
        while (const dirent *entry = ::readdir(dir)) {
            struct stat st = {};
            if (entry->d_type == DT_REG
                || ((entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN)
                    && ::stat((path + '/' + entry->d_name).constData(), &st) == 0 && S_ISREG(st.st_mode)))
                files.insert(prefix + QFile::decodeName(entry->d_name));
        }
        ::closedir(dir);
    }
    return files;
}

// --list and --list0 with --mirror: each folder (or file given) with a file to convert or encode
// again, and the folder below DST a mirror job of it on another machine writes into. The next
// run here takes what the jobs made (markMadeElsewhere).
ExitStatus listMirror(const BatchRequest &request, const MirrorPlan &plan, const QString &mirror)
{
    QTextStream out(stdout);
    QSet<QString> listed;
    ExitStatus status = ExitStatus::Success;
    for (const MirrorItem &item : plan.items) {
        if (!item.encodes() || item.input.copy)
            continue;
        const QString root = absolute(request.inputs[item.record.root]);
        const QString folder = QFileInfo(item.record.source).path();
        const bool whole = QFileInfo(root).isFile();
        const QString input = whole ? root : folder == QLatin1String(".") ? root : root + QLatin1Char('/') + folder;
        if (listed.contains(input))
            continue;
        listed.insert(input);
        QString output = mirror + QLatin1Char('/') + kIncomingFolder + QLatin1Char('/') + QString::number(item.record.root);
        if (!whole && folder != QLatin1String("."))
            output += QLatin1Char('/') + folder;
        if (!printListed(out, request.listing, input, output))
            status = ExitStatus::Failed;
    }
    return status;
}

// The MP3s the mirror jobs of other machines made, given to the items whose sources they were
// made of (a job's folder below .sonovert-incoming is ROOT/FOLDER, its records' sources below it)
// where their records have the audio, settings and tags the item would make. The source matters
// as much as the digests: two files of the same audio in two albums get different album figures.
void markMadeElsewhere(MirrorPlan &plan, const QString &mirror)
{
    const QString incoming = mirror + QLatin1Char('/') + kIncomingFolder;
    struct Made
    {
        QByteArray digests; // audio, settings and tags
        QString mp3;
        int job = 0;
    };
    QHash<SourceKey, Made> made;
    std::vector<int> jobSizes; // the records of each job
    QDirIterator found(incoming, {kManifestName}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (found.hasNext()) {
        const QString path = found.next();
        const QString job = QDir(incoming).relativeFilePath(QFileInfo(path).path()); // ROOT or ROOT/FOLDER
        bool number = false;
        const int root = job.section(QLatin1Char('/'), 0, 0).toInt(&number);
        const QString folder = job.section(QLatin1Char('/'), 1);
        Manifest manifest;
        Result<std::vector<MirrorRecord>> records =
            manifest.open(path) ? manifest.records() : Result<std::vector<MirrorRecord>>(Outcome::failure(QString()));
        if (!number || !records)
            continue;
        for (const MirrorRecord &record : *records) {
            const QString mp3 = QFileInfo(path).path() + QLatin1Char('/') + record.mp3;
            const QString source = folder.isEmpty() ? record.source : folder + QLatin1Char('/') + record.source;
            if (!record.audio.isEmpty() && QFileInfo(mp3).isFile())
                made.insert({root, record.track, source},
                            {record.audio + record.settings + record.tags, mp3, int(jobSizes.size())});
        }
        jobSizes.push_back(int(records->size()));
    }
    // An album whose tracks are all and only those of one job, with the same audio and settings,
    // has the figures the job measured over it.
    std::vector<int> jobOf(plan.albumTracks.size(), -1);
    std::vector<int> tracks(plan.albumTracks.size(), 0);
    plan.albumsMadeWhole.assign(plan.albumTracks.size(), true);
    for (MirrorItem &item : plan.items) {
        const auto there = made.constFind(item.record.key());
        const QByteArray digests = item.record.audio + item.record.settings + item.record.tags;
        if (item.place.album >= 0) {
            const std::size_t album = std::size_t(item.place.album);
            ++tracks[album];
            const bool sameAudio = there != made.constEnd() && there->digests.startsWith(item.record.audio + item.record.settings);
            if (!sameAudio || (jobOf[album] >= 0 && jobOf[album] != there->job))
                plan.albumsMadeWhole[album] = false;
            else
                jobOf[album] = there->job;
        }
        if (item.encodes() && !item.input.copy && !item.record.audio.isEmpty() && there != made.constEnd()
            && there->digests == digests)
            item.elsewhere = there->mp3;
    }
    for (std::size_t album = 0; album < jobOf.size(); ++album) {
        if (jobOf[album] < 0 || jobSizes[std::size_t(jobOf[album])] != tracks[album])
            plan.albumsMadeWhole[album] = false;
    }
}

// A source that is not there, unreadable or without a WAVE may be a disk not mounted: its MP3s must
// not go to the trash.
bool sourcesUsable(const BatchRequest &request)
{
    for (const QString &source : request.inputs) {
        const QFileInfo info(source);
        if (!info.exists() || !info.isReadable() || (info.isDir() && !info.isExecutable())) {
            say(QStringLiteral("%1 is missing or cannot be read: nothing is changed, "
                               "nothing trashed")
                    .arg(source));
            return false;
        }
    }
    return true;
}

} // namespace

ExitStatus runMirrorCommand(const BatchRequest &given)
{
    BatchRequest request = given;
    // A listing changes nothing, as a dry run.
    request.dryRun = request.dryRun || request.listing != BatchRequest::Listing::None;
    if (!sourcesUsable(request))
        return ExitStatus::Failed;
    catchStopSignals();
    const QString mirror = absolute(request.outputDir);
    if (!request.dryRun && !QDir().mkpath(mirror))
        return complain(ExitStatus::WrongUsage, QStringLiteral("cannot make the output folder ") + request.outputDir);
    Manifest manifest;
    std::vector<MirrorRecord> records;
    QSet<QString> there;
    Outcome read = Outcome::success();
    const QString manifestPath = QDir(mirror).filePath(kManifestName);
    // The mirror's side, its record and its files, is read while the sources are walked.
    std::future<void> mirrorSide = std::async(std::launch::async, [&] {
        // A dry run makes no record where there is none.
        if (request.dryRun && !QFileInfo::exists(manifestPath))
            return;
        if (read = manifest.open(manifestPath); !read)
            return;
        Result<std::vector<MirrorRecord>> recorded = manifest.records();
        if (!recorded) {
            read = recorded.failure();
            return;
        }
        records = std::move(*recorded);
        there = filesThere(mirror, records);
    });
    std::vector<BatchInput> sources = mirrorSources(request, [&]() -> const std::vector<MirrorRecord> & {
        mirrorSide.wait();
        return records;
    });
    mirrorSide.wait();
    if (!read) {
        say(read.message);
        return ExitStatus::Failed;
    }
    // A record whose MP3 is gone (a run stopped between the two) is dropped: its source is
    // converted again.
    std::erase_if(records, [&](const MirrorRecord &record) {
        if (there.contains(record.mp3))
            return false;
        if (request.dryRun)
            return true;
        if (Outcome removed = manifest.remove(record.mp3); !removed)
            say(removed.message);
        return true;
    });

    // What a run stopped while checking an MP3 left.
    if (!request.dryRun)
        QDir(QDir(mirror).filePath(kCheckFolder)).removeRecursively();
    MirrorPlan plan = planMirror(request, std::move(sources), std::move(records));
    for (const QString &skipped : std::as_const(plan.skipped))
        say(QStringLiteral("skipped %1: its MP3 is that of an earlier input").arg(skipped));
    for (const QString &lossy : std::as_const(plan.lossy))
        say(QStringLiteral("skipped ") + lossy);
    for (const QString &refused : std::as_const(plan.refused))
        say(refused);
    for (const QString &unlisted : std::as_const(plan.unlisted))
        say(QStringLiteral("%1 is there but was not read: its MP3 stays").arg(unlisted));
    if (!plan.emptyRoots.isEmpty()) {
        say(QStringLiteral("%1 holds no WAVE file: nothing is changed, nothing trashed")
                .arg(plan.emptyRoots.join(QStringLiteral(", "))));
        return ExitStatus::Failed;
    }
    if (request.listing != BatchRequest::Listing::None)
        return listMirror(request, plan, mirror);
    markMadeElsewhere(plan, mirror);
    if (request.dryRun) {
        printPlan(plan);
        return ExitStatus::Success;
    }
    if (!request.trashMany && plan.trash.size() * 2 > std::size_t(plan.recorded)) {
        say(QStringLiteral("%1 of the mirror's %2 MP3s would go to the trash: "
                           "nothing is changed (--trash-many allows it)")
                .arg(plan.trash.size())
                .arg(plan.recorded));
        return ExitStatus::Failed;
    }

    MirrorRun run(request, manifest, plan);
    run.trash();
    run.move();
    run.takeMadeElsewhere();
    run.encode();
    run.copy();
    run.retag();
    run.removeEmptiedFolders();
    // What the other machines made is taken, or stale.
    if (!stopRequested())
        QDir(QDir(mirror).filePath(kIncomingFolder)).removeRecursively();
    say(run.summary());
    if (const int stopSignal = stopSignalCaught())
        return stoppedBy(stopSignal);
    return run.failed() || !plan.refused.isEmpty() ? ExitStatus::Failed : ExitStatus::Success;
}
