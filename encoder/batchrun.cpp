#include "batchrun.h"

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
    std::vector<std::jthread> threads;
    for (int slot = 0; slot < m_jobs; ++slot)
        threads.emplace_back([this, slot, &next, &done] { work(slot, next, done); });
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
        if (!file)
            break;
        const BatchResult result = convert(slot, *file);
        const std::lock_guard lock(m_mutex);
        done(result);
    }
    m_cores.lend();
}

double BatchRun::audioSeconds(const QString &input) const
{
    // Only a regular file: opening a FIFO would block.
    if (!QFileInfo(input).isFile())
        return 0;
    AudioSource source;
    if (!source.open(input, m_settings.rawPcm, m_settings.rawPcm && m_settings.forceByteSwap)
        || source.info().sampleRate <= 0)
        return 0;
    return double(source.info().frames) / source.info().sampleRate;
}

BatchResult BatchRun::convert(int slot, const BatchFile &file)
{
    BatchResult result;
    result.file = file;
    std::atomic<double> &running = m_running[static_cast<std::size_t>(slot)];
    // Only a regular file: opening a FIFO would block.
    const QFileInfo input(file.input);
    if (!input.exists()) {
        result.outcome = Outcome::failure(QStringLiteral("No such file."));
        return result;
    }
    if (!input.isFile()) {
        result.outcome = Outcome::failure(QStringLiteral("Not a regular file."));
        return result;
    }
    int rate = 1;
    {
        // For the audio's length; the run opens the input again on its own.
        AudioSource source;
        if (Outcome opened = source.open(file.input, m_settings.rawPcm, m_settings.rawPcm && m_settings.forceByteSwap);
            !opened) {
            result.outcome = opened;
            return result;
        }
        rate = std::max(1, source.info().sampleRate);
        result.seconds = double(source.info().frames) / rate;
    }
    const QString folder = QFileInfo(file.output).absolutePath();
    if (!QDir().mkpath(folder)) {
        result.outcome = Outcome::failure(QStringLiteral("Cannot make the folder %1.").arg(folder));
        return result;
    }

    EncoderSettings settings = m_settings;
    settings.inputFile = file.input;
    settings.outputFile = file.output;
    ParallelPlan plan;
    plan.workers = 1;
    if (file.split) {
        plan.workers = m_jobs;
        plan.chunkFrames = kChunkFrames;
        plan.fixedLayout = true;
        plan.cores = &m_cores;
    }
    RunReport report;
    result.outcome = runEncode(
        settings, plan, m_abort, [&running, rate](int, qint64 frames) { running.store(double(frames) / rate); },
        &report, [&result](const QString &warning) { result.warnings << warning; });
    running.store(0);
    result.trackGain = report.trackGain;
    if (result.outcome)
        m_finished.fetch_add(result.seconds);
    return result;
}
