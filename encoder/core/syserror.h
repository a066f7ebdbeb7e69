#pragma once

#include <QString>

#include <cstring>

// The system's text for an errno value. strerror_r, as runs read and write on worker threads
// and std::strerror may share one buffer between them.
inline QString systemError(int error)
{
    char buffer[256];
    return QString::fromLocal8Bit(::strerror_r(error, buffer, sizeof buffer)); // the GNU form
}
