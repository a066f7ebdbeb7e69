#include "mirrorcommand.h"

#include "batchvoice.h"
#include "console.h"
#include "manifest.h"
#include "messages.h"
#include "mirrorapply.h"
#include "mirrorfiles.h"
#include "mirrorfolder.h"
#include "mirrorjobs.h"
#include "mirrorplan.h"
#include "mirrorroom.h"
#include "outputnaming.h"
#include "paths.h"
#include "playlistkeep.h"
#include "playlists.h"
#include "stopsignals.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <future>

#include <dirent.h>
#include <sys/stat.h>

namespace {

// One line a change, by the MP3's path below the mirror's folder, then the counts.
void printPlan(const MirrorPlan &plan)
{
    const auto elsewhere = [](const MirrorItem &item) {
        return item.elsewhere.isEmpty() ? QString() : QStringLiteral(" (made by another machine)");
    };
    QTextStream out(stdout);
    StepCounts counts;
    for (const MirrorItem &item : plan.items) {
        const Steps &steps = item.steps;
        counts.count(steps);
        if (steps.has(Step::Move))
            out << "move " << item.before->mp3 << " -> " << item.record.mp3 << '\n';
        const char *copyOr = item.input.copy ? "copy " : nullptr;
        if (steps.has(Step::Convert))
            out << (copyOr ? copyOr : "convert ") << item.record.mp3 << elsewhere(item) << '\n';
        else if (steps.has(Step::Adopt))
            out << (copyOr ? copyOr : "convert ") << item.record.mp3
                << " (kept as it is if the MP3 there is the same)\n";
        else if (steps.has(Step::EncodeAgain))
            out << (copyOr ? "copy again " : "encode again ") << item.record.mp3 << elsewhere(item) << '\n';
        else if (steps.has(Step::Retag))
            out << "retag " << item.record.mp3 << '\n';
        else if (steps.has(Step::AlbumRetag))
            out << "retag " << item.record.mp3 << " (album figures)\n";
    }
    for (const MirrorGone &gone : plan.gone) {
        counts.count(gone.steps);
        if (gone.steps.has(Step::Trash) || gone.steps.has(Step::Delete))
            out << stepName(gone.steps.has(Step::Trash) ? Step::Trash : Step::Delete) << ' ' << gone.record.mp3 << '\n';
    }
    out << QStringLiteral("%1 to convert, %2 to encode again, %3 to retag, %4 to "
                          "move, %5 to trash\n")
               .arg(counts[Step::Convert])
               .arg(counts[Step::EncodeAgain])
               .arg(counts[Step::Retag])
               .arg(counts[Step::Move])
               .arg(counts[Step::Trash]);
    if (counts[Step::Delete] > 0)
        out << counts[Step::Delete] << " to delete\n";
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

// The temporary files a stopped run left in the folders this run writes into and no record's MP3
// is in (those were listed with the record's files).
QStringList leftoversBeside(const QString &mirror, const MirrorPlan &plan, const QHash<QString, FileStamp> &there)
{
    QSet<QString> listed;
    QStringList leftovers;
    for (const MirrorItem &item : plan.items) {
        if (!item.encodes())
            continue;
        // The folders listed, asked only where something is made.
        if (listed.isEmpty()) {
            for (auto mp3 = there.keyBegin(); mp3 != there.keyEnd(); ++mp3)
                listed.insert(QFileInfo(*mp3).path());
        }
        const QString folder = QFileInfo(item.record.mp3).path();
        if (listed.contains(folder))
            continue;
        listed.insert(folder);
        DIR *dir = ::opendir(QFile::encodeName(QDir(mirror).filePath(folder)).constData());
        if (!dir)
            continue;
        while (const dirent *entry = ::readdir(dir)) {
            if (isLeftover(entry->d_name))
                leftovers << folder + QLatin1Char('/') + QFile::decodeName(entry->d_name);
        }
        ::closedir(dir);
    }
    return leftovers;
}

// Each place the walk could not read, once. Where MP3s of what lies below it were kept, it is a
// failure (true): the mirror is not in step until it can be read.
bool sayUnread(const MirrorPlan &plan)
{
    bool kept = false;
    for (const UnreadPlace &place : plan.unread) {
        const auto keptHere = std::count_if(plan.gone.cbegin(), plan.gone.cend(), [&place](const MirrorGone &gone) {
            return gone.unreadPlace == place.path;
        });
        if (keptHere > 0)
            say(QStringLiteral("%1 cannot be read (%2): the %3 MP3s of what is below it stay as they are")
                    .arg(place.path, place.reason)
                    .arg(keptHere));
        else
            say(QStringLiteral("%1 cannot be read (%2): skipped").arg(place.path, place.reason));
        kept = kept || keptHere > 0;
    }
    return kept;
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
    allowOpenFiles();
    const QString mirror = absolute(request.outputDir);
    if (!mirrorFolderUsable(request, mirror, request.dryRun))
        return ExitStatus::WrongUsage;
    const bool readOnly = onReadOnlyDisk(mirror);
    if (readOnly && !request.dryRun) {
        say(QStringLiteral("%1 is on a disk mounted read-only: nothing is changed").arg(request.outputDir));
        return ExitStatus::Failed;
    }
    // One run at a time: two would each take the other's half-made files for leftovers. A dry
    // run changes nothing and takes none.
    MirrorLock lock(mirror);
    if (QString why; !request.dryRun && !lock.take(&why)) {
        say(why + QStringLiteral(": nothing is changed"));
        return ExitStatus::Failed;
    }
    Manifest manifest;
    std::vector<MirrorRecord> records;
    MirrorSeen seen;
    QHash<QString, FileStamp> &there = seen.files;
    QStringList leftovers;
    Outcome read = Outcome::success();
    const QString manifestPath = QDir(mirror).filePath(MirrorFolder::kRecord);
    // The mirror's side, its record and its files, is read while the sources are walked.
    std::future<void> mirrorSide = std::async(std::launch::async, [&] {
        // A dry run makes no record where there is none.
        if (request.dryRun && !QFileInfo::exists(manifestPath))
            return;
        if (read = manifest.open(manifestPath, readOnly ? Manifest::Access::ReadOnly : Manifest::Access::ReadWrite);
            !read)
            return;
        Result<std::vector<MirrorRecord>> recorded = manifest.records();
        if (!recorded) {
            read = recorded.failure();
            return;
        }
        records = std::move(*recorded);
    });
    // And the mirror's files, at the same time.
    std::future<void> mirrorFiles = std::async(std::launch::async, [&] { there = filesBelow(mirror, &leftovers); });
    seen.granularityNs = timeGranularityNs(mirror);
    QString clockWhy;
    if (!request.dryRun)
        readSourcesClock(request, seen, &clockWhy);
    else
        seen.sourcesNowNs = QDateTime::currentMSecsSinceEpoch() * 1'000'000; // records nothing
    if (!clockWhy.isEmpty())
        say(clockWhy);
    std::vector<BatchInput> sources = mirrorSources(
        request,
        [&]() -> const std::vector<MirrorRecord> & {
            mirrorSide.wait();
            return records;
        },
        &seen.unread);
    mirrorSide.wait();
    mirrorFiles.wait();
    if (!read) {
        say(read.message);
        return ExitStatus::Failed;
    }
    // A record whose MP3 is gone (a run stopped between the two) is dropped: its source is
    // converted again.
    std::erase_if(records, [&](const MirrorRecord &record) {
        if (there.contains(record.mp3))
            return false;
        // Listed under another letter case, on a disk that tells none.
        struct stat st {};
        if (::stat(QFile::encodeName(mirror + QLatin1Char('/') + record.mp3).constData(), &st) == 0 && S_ISREG(st.st_mode)) {
            there.insert(record.mp3, fileStampOf(st));
            return false;
        }
        if (request.dryRun)
            return true;
        if (Outcome removed = manifest.remove(record.mp3); !removed)
            say(removed.message);
        return true;
    });

    // What a run stopped at any moment left.
    if (!request.dryRun)
        cleanWorkFolder(mirror, leftovers);
    MirrorPlan plan = planMirror(request, std::move(sources), std::move(records), std::move(seen));
    const bool keptUnread = sayUnread(plan);
    for (const QString &skipped : std::as_const(plan.skipped))
        say(QStringLiteral("skipped %1: its MP3 is that of an earlier input").arg(skipped));
    for (const QString &lossy : std::as_const(plan.lossy))
        say(QStringLiteral("skipped ") + lossy);
    for (const QString &refused : std::as_const(plan.refused))
        say(refused);
    for (const QString &remade : std::as_const(plan.remade))
        say(remade);
    for (const QString &unlisted : std::as_const(plan.unlisted))
        say(QStringLiteral("%1 is there but was not read: its MP3 stays").arg(unlisted));
    if (!plan.emptyRoots.isEmpty()) {
        say(QStringLiteral("%1 holds no WAVE file: nothing is changed, nothing trashed")
                .arg(plan.emptyRoots.join(QStringLiteral(", "))));
        return ExitStatus::Failed;
    }
    if (request.listing != BatchRequest::Listing::None)
        return listMirror(request, plan, mirror);
    markMadeElsewhere(request, plan, mirror);
    if (request.dryRun) {
        printPlan(plan);
        return keptUnread ? ExitStatus::Failed : ExitStatus::Success;
    }
    const auto trashed = std::count_if(plan.gone.cbegin(), plan.gone.cend(), [](const MirrorGone &gone) {
        return gone.steps.has(Step::Trash) || gone.steps.has(Step::Delete);
    });
    if (!request.trashMany && trashed * 2 > plan.recorded) {
        say(QStringLiteral("%1 of the mirror's %2 MP3s would %3: nothing is changed (--trash-many allows it)")
                .arg(trashed)
                .arg(plan.recorded)
                .arg(request.gone == BatchRequest::Gone::Delete ? QStringLiteral("be deleted")
                                                                : QStringLiteral("go to the trash")));
        return ExitStatus::Failed;
    }

    // Nothing is begun that the disk has no room for: a run stopped by a full disk would leave
    // the mirror in step, but not whole.
    if (const MirrorRoom room = roomFor(request, plan, mirror); !room.fits()) {
        say(QStringLiteral("%1 has %2 free, and this run needs about %3 (%4 missing): nothing is changed%5")
                .arg(request.outputDir, roomText(room.free), roomText(room.needed), roomText(room.needed - room.free),
                     std::any_of(plan.gone.cbegin(), plan.gone.cend(),
                                 [](const MirrorGone &gone) { return gone.steps.has(Step::Trash); })
                         ? QStringLiteral(" (--gone=delete frees what the trash would keep)")
                         : QString()));
        return ExitStatus::Failed;
    }
    // A watch's log (the journal of its service) has a line for each change.
    if (request.watch)
        printPlan(plan);
    // And in the folders only this run writes into (a first run stopped).
    cleanWorkFolder(mirror, leftoversBeside(mirror, plan, there));
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
        removeIncoming(mirror);
    QDir(QDir(mirror).filePath(MirrorFolder::kWork)).removeRecursively();
    // What waited for room on a full disk, now that the MP3s dropped freed theirs.
    const Outcome recorded = manifest.flush();
    if (!recorded)
        say(recorded.message);
    // Its playlists, as the record now names the MP3s; a stopped run leaves them for the next.
    bool playlistsKept = stopRequested() || !recorded || !writesPlaylists(request)
                      || keepPlaylists(request, manifest, mirror);
    // Their rows saved too, where the record is saved whole: a failure there is told.
    if (const Outcome saved = recorded ? manifest.flush() : Outcome::success(); !saved) {
        say(saved.message);
        playlistsKept = false;
    }
    say(run.summary());
    if (const int stopSignal = stopSignalCaught())
        return stoppedBy(stopSignal);
    return run.failed() || !recorded || !plan.refused.isEmpty() || keptUnread || !playlistsKept ? ExitStatus::Failed
                                                                                : ExitStatus::Success;
}
