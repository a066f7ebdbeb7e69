#pragma once

#include "encoder/core/trackgain.h"
#include "encoder/input/loudnessmeter.h"
#include "encoder/output/mp3output.h"
#include "encoder/tags/id3render.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// What a run did, for tests and the benchmark.
struct RunReport
{
    int instances = 0;               // encoder instances whose frames are in the MP3
    std::vector<std::int64_t> seams; // first frame taken from each later instance
    // Of a parallel run, in seconds of wall time: workers started, the run's length, and summed
    // over the workers the time encoding chunks, waiting (for a chunk to be allowed, or after
    // the last one for the others), and joining and writing (waits for the lock included).
    int workers = 0;
    double parallelSeconds = 0;
    double encodeSeconds = 0;
    double waitSeconds = 0;
    double joinSeconds = 0;
    std::optional<TrackGain> trackGain; // what the MP3 was given; nothing where not measured
    std::unique_ptr<Mp3Output> uncommitted; // with ParallelPlan::leaveUncommitted
    // With leaveUncommitted, what an album's figures are made of: the track's loudness meters
    // in the order of its audio, and its tags, to write them in once the album is whole.
    std::vector<std::unique_ptr<LoudnessMeter>> meters;
    Mp3Tags tags;
};

// Where the workers' time goes, in wall time summed over the workers. Safe to use from every
// worker at once.
class WorkerClock
{
public:
    enum Phase { Encoding, Waiting, Joining };
    using Clock = std::chrono::steady_clock;

    explicit WorkerClock(int workers) : m_start(Clock::now()), m_left(static_cast<std::size_t>(workers), m_start) {}

    // Adds the time from its making to its end to a phase.
    class Lap
    {
    public:
        Lap(WorkerClock &clock, Phase phase) : m_clock(clock), m_phase(phase), m_at(Clock::now()) {}
        Lap(const Lap &) = delete;
        Lap &operator=(const Lap &) = delete;
        ~Lap() { m_clock.m_nanos[m_phase] += nanosSince(m_at); }

    private:
        WorkerClock &m_clock;
        Phase m_phase;
        Clock::time_point m_at;
    };
    Lap lap(Phase phase) { return Lap(*this, phase); }

    // Worker number worker has ended.
    void left(int worker) { m_left[static_cast<std::size_t>(worker)] = Clock::now(); }

    // Once every worker has ended: a worker that left early waited for the others.
    void report(RunReport &report)
    {
        const Clock::time_point end = Clock::now();
        for (const Clock::time_point done : m_left)
            m_nanos[Waiting] += std::chrono::duration_cast<std::chrono::nanoseconds>(end - done).count();
        report.workers = static_cast<int>(m_left.size());
        report.encodeSeconds = double(m_nanos[Encoding]) * 1e-9;
        report.waitSeconds = double(m_nanos[Waiting]) * 1e-9;
        report.joinSeconds = double(m_nanos[Joining]) * 1e-9;
        report.parallelSeconds = double(nanosSince(m_start)) * 1e-9;
    }

private:
    static std::int64_t nanosSince(Clock::time_point start)
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    }

    const Clock::time_point m_start;
    std::vector<Clock::time_point> m_left; // each written by its own worker only
    std::atomic<std::int64_t> m_nanos[3] = {0, 0, 0};
};
