#include "watchplan.h"

#include <algorithm>

#include <sys/inotify.h>

WatchDecision decideWatch(const WatchPending &pending, qint64 nowMs, qint64 settleMs)
{
    if (!pending.any())
        return {};
    // Asked without a change (start, SIGHUP, a mount): nothing to settle.
    if (pending.lastChangeMs < 0)
        return {WatchStep::Run, 0};
    // A file open for writing is taken when it is closed (its IN_CLOSE_WRITE wakes the watch), or
    // once it has not been written to for several settle times: a program that keeps it open
    // when done with it does not hold every run back.
    if (!pending.writing.isEmpty())
        settleMs *= kOpenQuietFactor;
    const qint64 quietMs = nowMs - pending.lastChangeMs;
    if (quietMs >= settleMs)
        return {WatchStep::Run, 0};
    return {WatchStep::Wait, int(settleMs - quietMs)};
}

namespace {

bool unnamedFile(const QString &name)
{
    if (name.size() < 2 || name[0] != QLatin1Char('#'))
        return false;
    return std::all_of(name.cbegin() + 1, name.cend(), [](QChar c) { return c.isDigit(); });
}

} // namespace

WatchEffect effectOf(std::uint32_t mask, const QString &name)
{
    if (mask & IN_Q_OVERFLOW)
        return WatchEffect::Overflow;
    if (mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT))
        return WatchEffect::RootGone;
    // What a run itself makes in a source folder (the probe of its clock), named, or unnamed
    // (O_TMPFILE, which inotify names "#" and its inode number).
    if (name.startsWith(QLatin1String(".sonovert-")) || unnamedFile(name))
        return WatchEffect::None;
    if (mask & IN_ISDIR) {
        if (mask & (IN_CREATE | IN_MOVED_TO))
            return WatchEffect::FolderAdded;
        if (mask & (IN_DELETE | IN_MOVED_FROM))
            return WatchEffect::FolderGone;
        return mask & IN_ATTRIB ? WatchEffect::Changed : WatchEffect::None;
    }
    if (mask & IN_CLOSE_WRITE)
        return WatchEffect::Closed;
    // A link made, or a file made by open(), whose IN_CLOSE_WRITE follows.
    if (mask & IN_MODIFY)
        return WatchEffect::Writing;
    if (mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB))
        return WatchEffect::Changed;
    return WatchEffect::None;
}
