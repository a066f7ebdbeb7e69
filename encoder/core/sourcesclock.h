#pragma once

#include <QtGlobal>

// The clock of the sources' file system, as far as this process knows it. A file changed within
// the window before its now may change again in the same tick of that clock, its size and time
// as they were: such a time proves nothing. By default this machine's clock and 2 s; a run that
// measured the sources' own clock (the mirror) sets it once, before it reads them.
namespace SourcesClock {
// offsetNs: how far the sources' clock is ahead of this machine's; windowNs: the window.
void set(qint64 offsetNs, qint64 windowNs);
// Whether a time of the sources' file system is older than the window, so it can be trusted.
bool settled(qint64 mtimeNs);
} // namespace SourcesClock
