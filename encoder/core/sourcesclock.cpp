#include "sourcesclock.h"

#include <atomic>
#include <ctime>

namespace {

std::atomic<qint64> offset = 0;
std::atomic<qint64> window = 2'000'000'000;

} // namespace

void SourcesClock::set(qint64 offsetNs, qint64 windowNs)
{
    offset = offsetNs;
    window = windowNs;
}

bool SourcesClock::settled(qint64 mtimeNs)
{
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const qint64 nowNs = qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec + offset.load();
    return mtimeNs < nowNs - window.load();
}
