#include "batchrun.h"

#include "encoder/core/scopeexit.h"
#include "encoder/encoderun.h"
#include "encoder/input/audiosource.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <thread>

BatchRun::BatchRun(const EncoderSettings &settings, int jobs, const std::atomic_bool &abort)
    : m_settings(settings),
      m_jobs(jobs > 0 ? jobs : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()))),
      m_abort(abort), m_running(static_cast<std::size_t>(m_jobs))
{
}

void BatchRun::run(const Next &next, const Done &done)
{
    const ScopeExit tidy([this] { removeEmptyFolders(); });
    std::jthread committer([this, &done] { commitAll(done); });
    // Set before the committer is joined even where a thread fails to start and throws.
    const ScopeExit encodingDone([this] {
        const std::lock_guard lock(m_commitMutex);
        m_encodingDone = true;
        m_commitChanged.notify_all();
    });
    {
        std::vector<std::jthread> threads;
        for (int slot = 0; slot < m_jobs; ++slot)
            threads.emplace_back([this, slot, &next, &done] { work(slot, next, done); });
    }
    dropUnfinishedAlbums(done);
}

void BatchRun::setAlbums(std::vector<int> trackCounts)
{
    const std::lock_guard lock(m_albumMutex);
    m_albums.clear();
    for (const int count : trackCounts) {
        Album album;
        album.tracks.resize(static_cast<std::size_t>(std::max(count, 0)));
        album.toEnd = count;
        m_albums.push_back(std::move(album));
    }
}

void BatchRun::albumTrackPresent(int album, int track, const QString &input, const FrameRange &range)
{
    {
        const std::lock_guard lock(m_albumMutex);
        if (album < 0 || album >= static_cast<int>(m_albums.size()))
            return;
        std::vector<AlbumTrack> &tracks = m_albums[static_cast<std::size_t>(album)].tracks;
        if (track >= 0 && track < static_cast<int>(tracks.size())) {
            tracks[static_cast<std::size_t>(track)].present = input;
            tracks[static_cast<std::size_t>(track)].presentRange = range;
        }
    }
    // Called from next(), under m_mutex, where waiting for the committer could block it: the
    // thread that asked finishes the album once it has let go.
    if (std::optional<std::vector<AlbumTrack>> whole = trackEnded(album)) {
        const std::lock_guard lock(m_albumMutex);
        m_wholeAlbums.push_back(std::move(*whole));
    }
}

void BatchRun::finishWholeAlbums()
{
    for (;;) {
        std::vector<AlbumTrack> tracks;
        {
            const std::lock_guard lock(m_albumMutex);
            if (m_wholeAlbums.empty())
                return;
            tracks = std::move(m_wholeAlbums.back());
            m_wholeAlbums.pop_back();
        }
        finishAlbum(tracks);
    }
}

bool BatchRun::holdForAlbum(Finished &finished)
{
    const int album = finished.result.file.album;
    {
        const std::lock_guard lock(m_albumMutex);
        if (album < 0 || album >= static_cast<int>(m_albums.size()))
            return false;
        std::vector<AlbumTrack> &tracks = m_albums[static_cast<std::size_t>(album)].tracks;
        const int track = finished.result.file.albumTrack;
        if (track < 0 || track >= static_cast<int>(tracks.size()))
            return false;
        // A stopped track never ends its album: the album's MP3s are dropped with it.
        if (finished.result.outcome.kind == Outcome::Kind::Stopped)
            return true;
        if (finished.output) {
            tracks[static_cast<std::size_t>(track)].meters = std::move(finished.meters);
            tracks[static_cast<std::size_t>(track)].waiting = std::move(finished);
        }
    }
    if (std::optional<std::vector<AlbumTrack>> whole = trackEnded(album))
        finishAlbum(*whole);
    return true;
}

// Called once for each track of the album: the last one gives the album whole.
std::optional<std::vector<BatchRun::AlbumTrack>> BatchRun::trackEnded(int album)
{
    const std::lock_guard lock(m_albumMutex);
    Album &ended = m_albums[static_cast<std::size_t>(album)];
    if (--ended.toEnd > 0 || ended.done)
        return std::nullopt;
    ended.done = true;
    return std::move(ended.tracks);
}

// The album's figures from its tracks' meters taken together, in the album's order, so they
// do not depend on which track ended first; written over each waiting MP3's tag.
void BatchRun::finishAlbum(std::vector<AlbumTrack> &tracks)
{
    std::vector<const LoudnessMeter *> meters;
    for (AlbumTrack &track : tracks) {
        if (!track.present.isEmpty() && m_settings.replayGain) {
            EncoderSettings settings = m_settings;
            settings.inputFile = track.present;
            settings.range = track.presentRange;
            track.meters = measureLoudness(settings, m_abort);
        }
        for (const std::unique_ptr<LoudnessMeter> &meter : track.meters)
            meters.push_back(meter.get());
    }
    const std::optional<TrackGain> albumGain = meters.empty() ? std::nullopt : LoudnessMeter::figures(meters);
    for (AlbumTrack &track : tracks) {
        track.meters.clear();
        if (!track.waiting)
            continue;
        if (!albumGain) {
            enqueue(std::move(*track.waiting));
            continue;
        }
        Finished &finished = *track.waiting;
        const QByteArray tag = finished.tags.id3v2Final(finished.result.trackGain, albumGain);
        if (tag.isEmpty())
            continue;
        if (Outcome written = finished.output->writeAt(0, reinterpret_cast<const unsigned char *>(tag.constData()),
                                                       static_cast<std::size_t>(tag.size()));
            !written)
            finished.result.outcome = written;
        else
            finished.result.albumGain = albumGain;
        enqueue(std::move(finished));
    }
}

void BatchRun::enqueue(Finished finished)
{
    std::unique_lock lock(m_commitMutex);
    m_commitChanged.wait(lock, [this] { return m_toCommit.size() < static_cast<std::size_t>(m_jobs); });
    m_toCommit.push_back(std::move(finished));
    m_commitChanged.notify_all();
}

void BatchRun::dropUnfinishedAlbums(const Done &done)
{
    std::vector<Album> albums;
    {
        const std::lock_guard lock(m_albumMutex);
        albums = std::move(m_albums);
        m_albums.clear();
    }
    finishWholeAlbums();
    const bool stopped = m_abort.load() || m_stopStarting.load();
    for (Album &album : albums) {
        if (album.done)
            continue;
        // Without a stop every track has ended: the list held fewer than were counted.
        if (!stopped) {
            finishAlbum(album.tracks);
            continue;
        }
        for (AlbumTrack &track : album.tracks) {
            if (!track.waiting)
                continue;
            BatchResult result = std::move(track.waiting->result);
            track.waiting.reset(); // its temporary file goes with it
            m_finished.fetch_sub(result.seconds);
            result.outcome = Outcome::stopped();
            const std::lock_guard lock(m_mutex);
            done(result);
        }
    }
}

bool BatchRun::makeFolder(const QString &folder)
{
    const std::lock_guard lock(m_folderMutex);
    for (QString missing = QDir::cleanPath(folder); !QFileInfo::exists(missing);
         missing = QFileInfo(missing).path())
        m_madeFolders.push_back(missing);
    return QDir().mkpath(folder);
}

// Once every thread has ended: the deepest first, and only where empty.
void BatchRun::removeEmptyFolders()
{
    std::sort(m_madeFolders.begin(), m_madeFolders.end(),
              [](const QString &a, const QString &b) { return a.size() > b.size(); });
    for (const QString &folder : m_madeFolders)
        QDir().rmdir(folder);
}

// The MP3s written whole are put in place even after an interrupt: they are finished.
void BatchRun::commitAll(const Done &done)
{
    for (;;) {
        std::unique_lock lock(m_commitMutex);
        m_commitChanged.wait(lock, [this] { return !m_toCommit.empty() || m_encodingDone; });
        if (m_toCommit.empty())
            return;
        Finished finished = std::move(m_toCommit.front());
        m_toCommit.pop_front();
        m_commitChanged.notify_all();
        lock.unlock();
        if (Outcome committed = finished.output->finishCommit(); !committed) {
            finished.result.outcome = committed;
            m_finished.fetch_sub(finished.result.seconds);
        }
        finished.output.reset();
        const std::lock_guard doneLock(m_mutex);
        done(finished.result);
    }
}

double BatchRun::secondsDone() const
{
    double seconds = m_finished.load();
    for (const std::atomic<double> &running : m_running)
        seconds += running.load();
    return seconds;
}

void BatchRun::work(int slot, const Next &next, const Done &done)
{
    for (;;) {
        std::optional<BatchFile> file;
        {
            const std::lock_guard lock(m_mutex);
            if (!m_stopStarting && !m_abort.load())
                file = next();
        }
        finishWholeAlbums();
        if (!file)
            break;
        Finished finished = convert(slot, *file);
        const bool written = finished.output != nullptr;
        BatchResult result = written ? BatchResult {} : finished.result;
        if (holdForAlbum(finished)) {
            if (written)
                continue;
        } else if (written) {
            enqueue(std::move(finished));
            continue;
        }
        const std::lock_guard lock(m_mutex);
        done(result);
    }
    m_cores.lend();
}

double BatchRun::audioSeconds(const QString &input, const FrameRange &range) const
{
    // Only a regular file: opening a FIFO would block.
    if (!QFileInfo(input).isFile())
        return 0;
    AudioSource source;
    if (!source.open(input, m_settings.rawPcm, m_settings.rawPcm && m_settings.forceByteSwap, range)
        || source.info().sampleRate <= 0)
        return 0;
    return double(source.info().frames) / source.info().sampleRate;
}

BatchRun::Finished BatchRun::convert(int slot, const BatchFile &file)
{
    Finished finished;
    BatchResult &result = finished.result;
    result.file = file;
    std::atomic<double> &running = m_running[static_cast<std::size_t>(slot)];
    // Only a regular file: opening a FIFO would block.
    const QFileInfo input(file.input);
    if (!input.exists()) {
        result.outcome = Outcome::failure(QStringLiteral("No such file."));
        return finished;
    }
    if (!input.isFile()) {
        result.outcome = Outcome::failure(QStringLiteral("Not a regular file."));
        return finished;
    }
    int rate = 1;
    {
        // For the audio's length; the run opens the input again on its own.
        AudioSource source;
        if (Outcome opened = source.open(file.input, m_settings.rawPcm, m_settings.rawPcm && m_settings.forceByteSwap, file.range);
            !opened) {
            result.outcome = opened;
            return finished;
        }
        rate = std::max(1, source.info().sampleRate);
        result.seconds = double(source.info().frames) / rate;
    }
    const QString folder = QFileInfo(file.output).absolutePath();
    if (!makeFolder(folder)) {
        result.outcome = Outcome::failure(QStringLiteral("Cannot make the folder %1.").arg(folder));
        return finished;
    }

    EncoderSettings settings = m_settings;
    settings.inputFile = file.input;
    settings.outputFile = file.output;
    settings.albumRoom = file.album >= 0;
    settings.range = file.range;
    settings.cueSheet = file.sheet;
    settings.cueTrack = file.track;
    // The thread encodes the file's chunks one after another, helped by the cores other threads
    // lend once they run dry.
    ParallelPlan plan;
    plan.workers = m_jobs;
    plan.cores = &m_cores;
    plan.leaveUncommitted = true;
    RunReport report;
    result.outcome = runEncode(
        settings, plan, m_abort, [&running, rate](int, qint64 frames) { running.store(double(frames) / rate); },
        &report, [&result](const QString &warning) { result.warnings << warning; });
    running.store(0);
    result.trackGain = report.trackGain;
    finished.output = std::move(report.uncommitted);
    finished.tags = std::move(report.tags);
    finished.meters = std::move(report.meters);
    if (result.outcome)
        m_finished.fetch_add(result.seconds);
    return finished;
}
