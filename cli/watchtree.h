#pragma once

#include "watchplan.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <sys/types.h>

// The source folders under inotify: every folder below each root, folders added as they appear,
// and each root's parent for the root's name alone, so that a root moved away, deleted or
// unmounted and back again is seen.
class WatchTree
{
public:
    // Nothing below skip is watched: a mirror's folder inside a source would wake its own watch.
    WatchTree(const QStringList &roots, const QString &skip);
    ~WatchTree();
    WatchTree(const WatchTree &) = delete;
    WatchTree &operator=(const WatchTree &) = delete;

    // The inotify descriptor, to poll; -1 where inotify could not be had (said then).
    int fd() const { return m_fd; }
    // Watches every root that is there and not watched yet (or on another disk than when it was),
    // with every folder below it: whether one was.
    bool watchRoots();
    // Reads the events waiting into pending (at most what one read gives, as poll() says more).
    void read(WatchPending &pending, qint64 nowMs);
    // The number of folders watched.
    qsizetype size() const { return m_folders.size(); }

private:
    void watchBelow(const QString &folder);
    void forgetBelow(const QString &folder);

    int m_fd = -1;
    QStringList m_roots;
    QString m_skip;
    QHash<int, QString> m_folders;   // by watch descriptor
    QHash<int, QString> m_parents;   // the roots' parents, by watch descriptor
    QHash<QString, dev_t> m_devices; // each root's disk, as watched
    bool m_limitSaid = false;
};
