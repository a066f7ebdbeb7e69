#include "batchprogress.h"

#include "batchsummary.h"
#include "console.h"
#include "stopsignals.h"

#include "encoder/batch/inputlist.h"
#include "encoder/batchrun.h"

#include <algorithm>

BatchProgress::BatchProgress(const BatchRequest &request, const BatchRun &batch, const QElapsedTimer &elapsed,
                             Ended ended)
    : m_request(request), m_batch(batch), m_elapsed(elapsed), m_ended(std::move(ended))
{
    if (!Console::err().isTerminal())
        return;
    m_counter = std::jthread([this](std::stop_token stop) { countInputs(stop); });
    m_drawer = std::jthread([this](std::stop_token stop) { draw(stop); });
}

BatchProgress::~BatchProgress()
{
    stop();
}

void BatchProgress::stop()
{
    if (m_drawer.joinable()) {
        m_drawer.request_stop();
        m_drawer.join();
    }
    m_counter.request_stop();
}

void BatchProgress::countInputs(const std::stop_token &stop)
{
    InputList inputs(m_request.inputs, m_request.subfolders, m_request.pregap);
    while (!stop.stop_requested() && !stopRequested().load()) {
        const std::optional<BatchInput> input = inputs.next();
        if (!input) {
            m_counted = true;
            return;
        }
        m_seconds.fetch_add(m_batch.audioSeconds(input->path, input->range));
        ++m_files;
    }
}

void BatchProgress::draw(const std::stop_token &stop)
{
    std::unique_lock lock(m_wakeMutex);
    for (;;) {
        m_wake.wait_for(lock, stop, std::chrono::milliseconds(250), [] { return false; });
        if (stop.stop_requested())
            return;
        Console::err().progress(line());
    }
}

QString BatchProgress::line() const
{
    const double seconds = m_elapsed.nsecsElapsed() / 1e9;
    const double audio = m_batch.secondsDone();
    QString line = QStringLiteral("%1/%2 files").arg(m_ended()).arg(
        m_counted ? QString::number(m_files.load()) : QStringLiteral("%1+").arg(m_files.load()));
    if (m_counted && m_seconds.load() > 0) {
        const double share = std::min(1.0, audio / m_seconds.load());
        line += QStringLiteral("  %1 %").arg(int(share * 100), 3);
        line += QStringLiteral("  %1 elapsed").arg(clockTime(seconds));
        if (share > 0.01)
            line += QStringLiteral("  %1 left").arg(clockTime(seconds / share - seconds));
    } else {
        line += QStringLiteral("  %1 elapsed").arg(clockTime(seconds));
    }
    return line;
}
