#include "batchrun.h"

#include "encoder/core/folders.h"
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

void BatchRun::enqueue(Finished finished)
{
    std::unique_lock lock(m_commitMutex);
    m_commitChanged.wait(lock, [this] { return m_toCommit.size() < static_cast<std::size_t>(m_jobs); });
    m_toCommit.push_back(std::move(finished));
    m_commitChanged.notify_all();
}

Outcome BatchRun::makeFolder(const QString &folder)
{
    const std::lock_guard lock(m_folderMutex);
    return makeFolders(folder, &m_madeFolders);
}

// Once every thread has ended: the deepest first, and only where empty.
void BatchRun::removeEmptyFolders()
{
    std::sort(m_madeFolders.begin(), m_madeFolders.end(),
              [](const QString &a, const QString &b) { return a.size() > b.size(); });
    for (const QString &folder : m_madeFolders)
        QDir().rmdir(folder);
}

void BatchRun::settle(int order, const Outcome &outcome)
{
    if (m_temporaryFolder.isEmpty() || order < 0)
        return;
    Finished ended;
    ended.order = order;
    ended.result.outcome = outcome;
    ended.placeholder = true;
    const std::lock_guard lock(m_commitMutex);
    m_held.emplace(order, std::move(ended));
    m_commitChanged.notify_all();
}

std::optional<BatchRun::Finished> BatchRun::nextToCommit()
{
    std::unique_lock lock(m_commitMutex);
    for (;;) {
        if (!m_toCommit.empty() && m_temporaryFolder.isEmpty()) {
            Finished finished = std::move(m_toCommit.front());
            m_toCommit.pop_front();
            m_commitChanged.notify_all();
            return finished;
        }
        // In order: each waits until those before it have ended (all have, once encoding is done).
        for (; !m_toCommit.empty(); m_toCommit.pop_front()) {
            m_toCommit.front().tags = Mp3Tags(); // written: its cover need not wait with it
            m_held.emplace(m_toCommit.front().order, std::move(m_toCommit.front()));
        }
        m_commitChanged.notify_all();
        const auto first = m_held.begin();
        if (first != m_held.end() && (first->first <= m_nextInOrder || m_encodingDone)) {
            Finished finished = std::move(first->second);
            m_held.erase(first);
            m_nextInOrder = finished.order + 1;
            if (finished.output || !finished.placeholder)
                return finished;
            m_orderBroken = m_orderBroken || finished.result.outcome.kind == Outcome::Kind::Stopped;
            continue;
        }
        if (m_encodingDone && m_toCommit.empty() && m_held.empty())
            return std::nullopt;
        m_commitChanged.wait(lock);
    }
}

// The MP3s written whole are put in place even after an interrupt: they are finished. Put in
// order, those behind one stopped are dropped instead, so that the next run's comes before them.
void BatchRun::commitAll(const Done &done)
{
    while (std::optional<Finished> next = nextToCommit()) {
        Finished &finished = *next;
        // Without its output: dropped with its album, its failure told as it stands.
        if (finished.output) {
            Outcome committed = Outcome::success();
            const QString folder = QFileInfo(finished.result.file.output).absolutePath();
            if (m_orderBroken)
                committed = Outcome::stopped();
            else if (!m_temporaryFolder.isEmpty())
                committed = makeFolder(folder);
            if (committed)
                committed = finished.output->finishCommit();
            if (!committed) {
                finished.result.outcome = committed;
                m_finished.fetch_sub(finished.result.seconds);
            }
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
        int order = -1;
        {
            const std::lock_guard lock(m_mutex);
            if (!m_stopStarting && !m_abort.load())
                file = next();
            if (file)
                order = m_given++;
        }
        finishWholeAlbums();
        if (!file)
            break;
        Finished finished = convert(slot, *file);
        finished.order = order;
        const bool written = finished.output != nullptr;
        BatchResult result = written ? BatchResult {} : finished.result;
        if (holdForAlbum(finished)) {
            if (written)
                continue;
        } else if (written) {
            enqueue(std::move(finished));
            continue;
        }
        settle(order, result.outcome);
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
    // Put in order, its folder is made when it is put in place (commitAll).
    const QString folder = QFileInfo(file.output).absolutePath();
    if (Outcome made = m_temporaryFolder.isEmpty() ? makeFolder(folder) : Outcome::success(); !made) {
        result.outcome = made;
        return finished;
    }

    EncoderSettings settings = m_settings;
    settings.inputFile = file.input;
    settings.outputFile = file.output;
    settings.albumRoom = file.album >= 0;
    settings.range = file.range;
    settings.cueSheet = file.sheet;
    settings.cueTrack = file.track;
    if (settings.device.applyGain == DeviceSettings::Gain::Album && file.album >= 0)
        settings.device.appliedDb = albumAppliedDb(file.album);
    // The thread encodes the file's chunks one after another, helped by the cores other threads
    // lend once they run dry.
    ParallelPlan plan;
    plan.workers = m_jobs;
    plan.cores = &m_cores;
    plan.leaveUncommitted = true;
    plan.temporaryFolder = m_temporaryFolder;
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
