#include "splitplanner.h"

bool SplitPlanner::pullOne()
{
    if (m_end)
        return false;
    std::optional<BatchFile> file = m_pull();
    if (!file) {
        m_end = true;
        return false;
    }
    const double seconds = m_length(*file);
    m_aheadSeconds += seconds;
    m_ahead.push_back({std::move(*file), seconds});
    return true;
}

std::optional<BatchFile> SplitPlanner::next()
{
    if (m_ahead.empty() && !pullOne())
        return std::nullopt;
    const double own = m_ahead.front().seconds;
    while (m_aheadSeconds - own < kTailFactor * own && pullOne()) {
    }
    Ahead first = std::move(m_ahead.front());
    m_ahead.pop_front();
    m_aheadSeconds -= first.seconds;
    first.file.split = m_aheadSeconds < kTailFactor * first.seconds;
    // Split, the file was read ahead to the end of the list.
    if (first.file.split)
        first.file.chunkSeconds = kTailShare * (first.seconds + m_aheadSeconds);
    return std::move(first.file);
}
