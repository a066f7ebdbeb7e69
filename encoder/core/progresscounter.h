#pragma once

#include <QtGlobal>

#include <algorithm>
#include <functional>

using ProgressReport = std::function<void(int percent, qint64 frames)>;

// Turns frames read into percent reports: 0 once, then each of 1..99 exactly once and in
// order, however far one block jumps, and 100 only from finish().
class ProgressCounter
{
public:
    ProgressCounter(const ProgressReport &report, qint64 totalFrames)
        : m_report(report), m_total(totalFrames)
    {
    }

    void start() { m_report(0, 0); }

    void advance(qint64 frames)
    {
        // More frames than the header claimed stay at 99 until the end.
        const qint64 reached = m_total > 0 ? std::min<qint64>(99, frames * 100 / m_total) : 99;
        while (m_last < reached)
            m_report(++m_last, frames);
    }

    // An input shorter than its header claimed still counts up to 100 at a successful end.
    void finish(qint64 frames)
    {
        while (m_last < 99)
            m_report(++m_last, frames);
        m_report(100, frames);
    }

private:
    const ProgressReport &m_report;
    const qint64 m_total;
    int m_last = 0;
};
