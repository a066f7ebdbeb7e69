#pragma once

#include "batchrequest.h"

#include <QElapsedTimer>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class BatchRun;

// On a terminal, one line redrawn four times a second: files ended of the batch's (counted on
// a thread of its own beside the run), the share of its audio done, the time so far and the
// time left. Elsewhere nothing.
class BatchProgress
{
public:
    // Files converted, skipped or failed so far; called on the progress thread.
    using Ended = std::function<int()>;

    BatchProgress(const BatchRequest &request, const BatchRun &batch, const QElapsedTimer &elapsed, Ended ended);
    ~BatchProgress();

    // No line is drawn after this returns.
    void stop();

private:
    void countInputs(const std::stop_token &stop);
    void draw(const std::stop_token &stop);
    QString line() const;

    const BatchRequest &m_request;
    const BatchRun &m_batch;
    const QElapsedTimer &m_elapsed;
    const Ended m_ended;
    // The whole batch's size, as far as counted.
    std::atomic<int> m_files = 0;
    std::atomic<double> m_seconds = 0;
    std::atomic_bool m_counted = false;
    std::mutex m_wakeMutex;
    std::condition_variable_any m_wake;
    std::jthread m_counter;
    std::jthread m_drawer;
};
