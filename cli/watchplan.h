#pragma once

#include <QSet>
#include <QString>

#include <cstdint>

// What the watch decides, apart from inotify and the clock, so that each decision is a small
// function of what was seen.

// What the watch has seen since its last run.
struct WatchPending
{
    bool full = false;       // a run over everything asked: start, lost events, SIGHUP, a mount
    QSet<QString> folders;   // the folders changed, absolute
    QSet<QString> writing;   // files written to and not yet closed
    qint64 lastChangeMs = -1; // when the last change was seen (steady clock), -1: none since
    bool any() const { return full || !folders.isEmpty(); }
};

enum class WatchStep {
    Sleep, // nothing to do until something happens: poll without a timeout
    Wait,  // changes not settled yet: poll until the deadline
    Run,   // run the mirror now
};

struct WatchDecision
{
    WatchStep step = WatchStep::Sleep;
    int timeoutMs = -1; // poll()'s timeout: -1 for none
};

// Whether to run, or how long to wait for more: a run waits until every change has had settleMs
// without another, and a file still open for writing until it is closed or has gone
// kOpenQuietFactor times that without a write.
inline constexpr qint64 kOpenQuietFactor = 6;
WatchDecision decideWatch(const WatchPending &pending, qint64 nowMs, qint64 settleMs);

// What one inotify event (its mask, and the name it carries) does to the watch.
enum class WatchEffect {
    None,        // of no interest (the mirror's own probe files, reads)
    Changed,     // the folder changed
    Writing,     // a file written to: not taken until closed
    Closed,      // a file closed after writing: the folder changed
    FolderAdded, // a folder made or moved in: watched, and changed
    FolderGone,  // a folder removed or moved out: its watches dropped, and changed
    RootGone,    // the watched folder itself went (moved, deleted, unmounted)
    Overflow,    // events were lost: a full run
};
WatchEffect effectOf(std::uint32_t mask, const QString &name);
