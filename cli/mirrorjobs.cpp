#include "mirrorjobs.h"

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
        QString output = mirror + QLatin1Char('/') + MirrorFolder::kIncoming + QLatin1Char('/') + QString::number(item.record.root);
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
    const QString incoming = mirror + QLatin1Char('/') + MirrorFolder::kIncoming;
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
