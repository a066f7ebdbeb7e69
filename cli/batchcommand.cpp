#include "batchcommand.h"

#include "albums.h"
#include "batchprogress.h"
#include "batchsummary.h"
#include "batchvoice.h"
#include "jobroot.h"
#include "listing.h"
#include "messages.h"
#include "outputnaming.h"
#include "paths.h"
#include "playlists.h"
#include "stopsignals.h"

#include "encoder/batchrun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSet>
#include <QTextStream>

#include <mutex>

namespace {

// --list and --list0: each file a run would convert and its MP3, by absolute paths, so that
// another machine or folder finds them. Where a folder's files form an album, each folder with
// a file to convert and its output folder instead, once: an album is measured whole where it is
// converted (with --no-subfolders).
ExitStatus listBatch(const BatchRequest &request)
{
    const bool byFolder = request.album == BatchRequest::Album::Folder && request.settings.replayGain;
    QStringList arguments;
    for (const QString &argument : request.inputs)
        arguments << absolute(argument);
    QSet<QString> listed;
    BatchQueue queue(request);
    QTextStream out(stdout);
    ExitStatus status = ExitStatus::Success;
    while (std::optional<BatchQueue::Item> item = queue.next()) {
        if (!item->input.error.isEmpty()) {
            say(QStringLiteral("%1: %2").arg(item->input.sheet, item->input.error));
            status = ExitStatus::Failed;
            continue;
        }
        if (!item->input.skipped.isEmpty() || item->choice.kind != OutputChoice::Kind::Convert)
            continue;
        QString input = absolute(item->input.path);
        QString output = absolute(item->choice.path);
        const QString sheet = item->input.sheet.isEmpty() ? QString() : absolute(item->input.sheet);
        // A CD image's tracks: the image (or the sheet given) once, with the folder its tracks go
        // into.
        if (!sheet.isEmpty()) {
            output = QFileInfo(output).path();
            // A sheet of several files, or of an image of another name, is the job.
            if (arguments.contains(sheet) || QFileInfo(sheet).completeBaseName() != QFileInfo(input).completeBaseName())
                input = sheet;
        }
        const bool given = arguments.contains(input);
        if (byFolder) {
            // The folder, or a file given by itself, with the folder its MP3s go into; names
            // from tags are made again where it is converted, below the same folder.
            if (!given)
                input = QFileInfo(input).path();
            output = request.name ? absolute(request.outputDir.isEmpty() ? QFileInfo(absolute(item->input.path)).path()
                                                                         : request.outputDir)
                                  : QFileInfo(output).path();
        }
        if (byFolder || !sheet.isEmpty()) {
            if (listed.contains(input))
                continue;
            listed.insert(input);
        }
        if (!printListed(out, request.listing, input, rootedOutput(request, output)))
            status = ExitStatus::Failed;
    }
    return status;
}

// What a batch cannot start without: every input there, and an output folder that is there or
// can be made (it is made with the first MP3).
bool usable(const BatchRequest &request)
{
    for (const QString &input : request.inputs) {
        if (!QFileInfo::exists(input)) {
            complain(ExitStatus::WrongUsage, QStringLiteral("no input %1").arg(input));
            return false;
        }
    }
    if (request.outputDir.isEmpty())
        return true;
    QFileInfo nearest(QFileInfo(request.outputDir).absoluteFilePath());
    while (!nearest.exists())
        nearest.setFile(nearest.path());
    const bool there = nearest.absoluteFilePath() == QFileInfo(request.outputDir).absoluteFilePath();
    if (!nearest.isDir() || (!there && !nearest.isWritable())) {
        complain(ExitStatus::WrongUsage, QStringLiteral("cannot make the output folder ") + request.outputDir);
        return false;
    }
    return true;
}

// The batch's tally, kept from the run's threads as files are taken and end.
class BatchBook
{
public:
    BatchBook(BatchRun &batch, AlbumPlan &albums, PlaylistSources &playlists)
        : m_batch(batch), m_albums(albums), m_playlists(playlists)
    {
        m_batch.setAlbums(m_albums.trackCounts(), m_albums.albumInputs());
    }

    // The next file to convert in the list's order; what is skipped or refused on the way is
    // counted, and told to its album.
    std::optional<BatchFile> nextToConvert(BatchQueue &queue)
    {
        while (std::optional<BatchQueue::Item> item = queue.next()) {
            if (!item->input.error.isEmpty()) {
                const std::lock_guard lock(m_mutex);
                m_tally.failed.emplace_back(item->input.sheet, item->input.error);
                ++m_ended;
                continue;
            }
            if (!item->input.skipped.isEmpty()) {
                const std::lock_guard lock(m_mutex);
                ++m_tally.skipped;
                ++m_ended;
                m_playlists.add(item->input, {});
                say(QStringLiteral("skipped %1: %2").arg(item->input.path, item->input.skipped));
                continue;
            }
            for (const QString &note : item->input.note.split(u'\n', Qt::SkipEmptyParts))
                say(QStringLiteral("%1: %2").arg(item->input.sheet, note));
            const AlbumPlan::Place place = m_albums.place(item->input);
            if (place.album >= 0 && item->choice.kind != OutputChoice::Kind::Convert)
                m_batch.albumTrackPresent(place.album, place.track,
                                          item->choice.kind == OutputChoice::Kind::Exists ? item->input.path
                                                                                         : QString(),
                                          item->input.range);
            const std::lock_guard lock(m_mutex);
            const bool own = item->choice.kind == OutputChoice::Kind::Convert || item->choice.kind == OutputChoice::Kind::Exists;
            m_playlists.add(item->input, own ? item->choice.path : QString());
            switch (item->choice.kind) {
            case OutputChoice::Kind::Convert:
                return BatchFile {.input = item->input.path,
                                  .output = item->choice.path,
                                  .album = place.album,
                                  .albumTrack = place.track,
                                  .sheet = item->input.sheet,
                                  .track = item->input.track,
                                  .range = item->input.range};
            case OutputChoice::Kind::Exists:
                ++m_tally.skipped;
                break;
            case OutputChoice::Kind::Taken:
                ++m_tally.skipped;
                say(QStringLiteral("skipped %1: %2 is the MP3 of an earlier input (--existing=rename keeps both)")
                        .arg(item->input.path, item->choice.path));
                break;
            case OutputChoice::Kind::IsInput:
                m_tally.failed.emplace_back(item->input.path, QStringLiteral("Its MP3 would replace it."));
                break;
            }
            ++m_ended;
        }
        return std::nullopt;
    }

    void done(const BatchResult &result)
    {
        const std::lock_guard lock(m_mutex);
        if (result.outcome.kind == Outcome::Kind::Stopped)
            return;
        ++m_ended;
        const qsizetype warned = m_voice.warn(result);
        if (result.outcome) {
            ++m_tally.converted;
            m_tally.warned += warned == 0 ? 0 : 1;
            m_tally.seconds += result.seconds;
            return;
        }
        m_tally.failed.emplace_back(result.file.input, result.outcome.message);
        if (m_voice.stopOnFullDisk(result))
            m_tally.stoppedStarting = result.outcome.message;
    }

    // Files converted, skipped or failed so far.
    int ended()
    {
        const std::lock_guard lock(m_mutex);
        return m_ended;
    }

    // Once the run has ended.
    const Tally &tally() const { return m_tally; }

private:
    BatchRun &m_batch;
    AlbumPlan &m_albums;
    PlaylistSources &m_playlists;
    BatchVoice m_voice {m_batch};
    std::mutex m_mutex; // guards the two below
    Tally m_tally;
    int m_ended = 0;
};

} // namespace

ExitStatus runBatchCommand(const BatchRequest &request)
{
    if (!usable(request))
        return ExitStatus::WrongUsage;
    if (request.listing != BatchRequest::Listing::None)
        return listBatch(request);

    catchStopSignals();
    allowOpenFiles();
    QElapsedTimer elapsed;
    elapsed.start();
    AlbumPlan albums(request);
    BatchQueue queue(request);
    BatchRun batch(request.settings, request.jobs, stopRequested());
    PlaylistSources playlists(playlistRoots(request));
    BatchBook book(batch, albums, playlists);
    BatchProgress progress(request, batch, elapsed, [&book] { return book.ended(); });

    batch.run([&] { return book.nextToConvert(queue); }, [&book](const BatchResult &result) { book.done(result); });

    progress.stop();
    // What lies below them was not converted: the batch is not whole.
    for (const UnreadPlace &place : queue.unread())
        say(QStringLiteral("%1 cannot be read (%2): skipped").arg(place.path, place.reason));
    const int stopSignal = stopSignalCaught();
    const bool playlistsWritten = stopSignal || !writesPlaylists(request) || writeBatchPlaylists(request, playlists);
    const Tally &tally = book.tally();
    printSummary(tally, elapsed.nsecsElapsed() / 1e9, stopSignal);
    if (stopSignal)
        return stoppedBy(stopSignal);
    const bool whole = tally.failed.empty() && tally.stoppedStarting.isEmpty() && queue.unread().empty();
    return whole && playlistsWritten ? ExitStatus::Success : ExitStatus::Failed;
}
