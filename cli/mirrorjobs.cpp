#include "mirrorjobs.h"

#include "diskprobe.h"
#include "listing.h"
#include "mirrorfolder.h"
#include "outputnaming.h"
#include "paths.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTextStream>

namespace {

// A source folder below its root: the root's number and the folder's path below it ("." for the
// root's own files, or a root that is a file).
using SourceFolder = std::pair<int, QString>;

QString folderOfSource(const MirrorItem &item)
{
    return QFileInfo(item.record.source).path();
}

// The folder below DST/.sonovert-incoming a job of each source folder writes into, ROOT or
// ROOT/FOLDER, with FOLDER's names as DST holds them (the names the run gives its MP3s), folders
// that are one there numbered in the plan's order: the listing and the run that takes the jobs'
// MP3s name them alike.
QHash<SourceFolder, QString> jobFolders(const MirrorPlan &plan, const DiskNames &names)
{
    FolderSpellings spellings;
    QHash<SourceFolder, QString> folders;
    for (const MirrorItem &item : plan.items) {
        const SourceFolder folder {item.record.root, folderOfSource(item)};
        if (folders.contains(folder))
            continue;
        const QString root = QString::number(folder.first);
        if (folder.second == QLatin1String(".")) {
            folders.insert(folder, root);
            continue;
        }
        // A file's name below it, so that each of the folder's names is fitted as a folder's.
        const QString asked = folder.second + QStringLiteral("/_");
        const QString spelled = spellings.spelled(root, fitBelow(asked, names.mode), asked, names.caseless);
        folders.insert(folder, spelled.chopped(2));
    }
    return folders;
}

DiskNames namesOf(const BatchRequest &request, const QString &mirror)
{
    return request.names ? *request.names : probeNames(mirror);
}

} // namespace

// --list and --list0 with --mirror: each folder (or file given) with a file to convert or encode
// again, and the folder below DST a mirror job of it on another machine writes into. The next
// run here takes what the jobs made (markMadeElsewhere).
ExitStatus listMirror(const BatchRequest &request, const MirrorPlan &plan, const QString &mirror)
{
    QTextStream out(stdout);
    QSet<QString> listed;
    ExitStatus status = ExitStatus::Success;
    const QHash<SourceFolder, QString> jobs = jobFolders(plan, namesOf(request, mirror));
    for (const MirrorItem &item : plan.items) {
        if (!item.encodes() || item.input.copy)
            continue;
        const QString root = absolute(request.inputs[item.record.root]);
        const QString folder = folderOfSource(item);
        const bool whole = QFileInfo(root).isFile();
        const QString input = whole ? root : folder == QLatin1String(".") ? root : root + QLatin1Char('/') + folder;
        if (listed.contains(input))
            continue;
        listed.insert(input);
        const QString output = mirror + QLatin1Char('/') + MirrorFolder::kIncoming + QLatin1Char('/')
                               + jobs.value({item.record.root, folder});
        if (!printListed(out, request.listing, input, output))
            status = ExitStatus::Failed;
    }
    return status;
}

// The MP3s the mirror jobs of other machines made, given to the items whose sources they were
// made of (a job's folder below .sonovert-incoming is ROOT/FOLDER as jobFolders names it, its
// records' sources below it) where their records have the audio, settings and tags the item
// would make. The source matters as much as the digests: two files of the same audio in two
// albums get different album figures.
void markMadeElsewhere(const BatchRequest &request, MirrorPlan &plan, const QString &mirror)
{
    const QString incoming = mirror + QLatin1Char('/') + MirrorFolder::kIncoming;
    // Each job's folder as named, back to the source folder it holds; asked of the disk only
    // where a job left something.
    std::optional<QHash<QString, SourceFolder>> sourceOfJob;
    const auto sourceFolder = [&](const QString &job) -> std::optional<SourceFolder> {
        if (!sourceOfJob) {
            sourceOfJob.emplace();
            const QHash<SourceFolder, QString> jobs = jobFolders(plan, namesOf(request, mirror));
            for (auto named = jobs.cbegin(); named != jobs.cend(); ++named)
                sourceOfJob->insert(*named, named.key());
        }
        const auto found = sourceOfJob->constFind(job);
        return found == sourceOfJob->cend() ? std::nullopt : std::optional(*found);
    };
    struct Made
    {
        QByteArray digests; // audio, settings and tags
        QString mp3;
        int job = 0;
    };
    QHash<SourceKey, Made> made;
    std::vector<int> jobSizes; // the records of each job
    QDirIterator found(incoming, {MirrorFolder::kRecord}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (found.hasNext()) {
        const QString path = found.next();
        const QString job = QDir(incoming).relativeFilePath(QFileInfo(path).path()); // ROOT or ROOT/FOLDER
        const std::optional<SourceFolder> folder = sourceFolder(job);
        Manifest manifest;
        Result<std::vector<MirrorRecord>> records =
            manifest.open(path) ? manifest.records() : Result<std::vector<MirrorRecord>>(Outcome::failure(QString()));
        if (!folder || !records)
            continue;
        for (const MirrorRecord &record : *records) {
            const QString mp3 = QFileInfo(path).path() + QLatin1Char('/') + record.mp3;
            const QString source =
                folder->second == QLatin1String(".") ? record.source : folder->second + QLatin1Char('/') + record.source;
            if (!record.audio.isEmpty() && QFileInfo(mp3).isFile())
                made.insert({folder->first, record.track, source},
                            {record.audio + record.settings + record.tags, mp3, int(jobSizes.size())});
        }
        jobSizes.push_back(int(records->size()));
    }
    // An album whose tracks are all and only those of one job, with the same audio and settings,
    // has the figures the job measured over it.
    plan.albumsMadeWhole.assign(plan.albumTracks.size(), !made.isEmpty());
    if (made.isEmpty())
        return;
    std::vector<int> jobOf(plan.albumTracks.size(), -1);
    std::vector<int> tracks(plan.albumTracks.size(), 0);
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
