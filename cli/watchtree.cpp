#include "watchtree.h"

#include "messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_FROM
                                        | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR
                                        | IN_DONT_FOLLOW;
constexpr std::uint32_t kParentEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR;

void dropWritingBelow(WatchPending &pending, const QString &folder)
{
    const QString inside = folder + QLatin1Char('/');
    pending.writing.removeIf([&inside](const QString &file) { return file.startsWith(inside); });
}

} // namespace

WatchTree::WatchTree(const QStringList &roots, const QString &skip) : m_roots(roots), m_skip(skip)
{
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        say(QStringLiteral("cannot watch the sources (%1): changes are seen at a full run only (SIGHUP, a mount)")
                .arg(QString::fromLocal8Bit(std::strerror(errno))));
}

WatchTree::~WatchTree()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool WatchTree::watchRoots()
{
    if (m_fd < 0)
        return false;
    bool added = false;
    for (const QString &root : std::as_const(m_roots)) {
        const QString parent = QFileInfo(root).path();
        const int parentWatch = ::inotify_add_watch(m_fd, QFile::encodeName(parent).constData(), kParentEvents);
        if (parentWatch >= 0)
            m_parents.insert(parentWatch, parent);
        // A disk mounted on the root, or taken away from it, gives it another device.
        struct stat st {};
        const bool there = ::stat(QFile::encodeName(root).constData(), &st) == 0 && S_ISDIR(st.st_mode);
        const bool watched = m_folders.key(root, -1) >= 0;
        if (watched && there && m_devices.value(root) == st.st_dev)
            continue;
        if (watched)
            forgetBelow(root);
        if (there) {
            m_devices.insert(root, st.st_dev);
            watchBelow(root);
            added = true;
        }
    }
    return added;
}

void WatchTree::watchBelow(const QString &folder)
{
    if (folder == m_skip)
        return;
    const QByteArray path = QFile::encodeName(folder);
    const int watch = ::inotify_add_watch(m_fd, path.constData(), kFolderEvents);
    if (watch < 0) {
        if (errno == ENOSPC && !m_limitSaid) {
            m_limitSaid = true;
            say(QStringLiteral("the limit of folders watched is reached at %1 (the sysctl "
                               "fs.inotify.max_user_watches raises it): changes below the others are seen at the "
                               "next full run (SIGHUP asks for one)")
                    .arg(m_folders.size()));
        }
        return;
    }
    m_folders.insert(watch, folder);
    // Listed after the watch is set: a folder made meanwhile is seen either way.
    DIR *dir = ::opendir(path.constData());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN)
            continue;
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        const QString below = folder + QLatin1Char('/') + QFile::decodeName(entry->d_name);
        if (entry->d_type == DT_DIR || QFileInfo(below).isDir())
            watchBelow(below);
    }
    ::closedir(dir);
}

void WatchTree::forgetBelow(const QString &folder)
{
    const QString inside = folder + QLatin1Char('/');
    for (auto it = m_folders.begin(); it != m_folders.end();) {
        if (it.value() == folder || it.value().startsWith(inside)) {
            ::inotify_rm_watch(m_fd, it.key());
            it = m_folders.erase(it);
        } else {
            ++it;
        }
    }
}

void WatchTree::read(WatchPending &pending, qint64 nowMs)
{
    alignas(inotify_event) char buffer[64 * 1024];
    const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
    for (ssize_t at = 0; at < length;) {
        const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
        at += ssize_t(sizeof(inotify_event) + event->len);
        const QString name = event->len ? QFile::decodeName(event->name) : QString();
        if (event->mask & IN_Q_OVERFLOW) {
            pending.full = true;
            pending.lastChangeMs = nowMs;
            continue;
        }
        if (const auto parent = m_parents.constFind(event->wd); parent != m_parents.cend()) {
            // A root come back (renamed back, made again) or gone.
            const QString path = *parent + QLatin1Char('/') + name;
            if (!m_roots.contains(path))
                continue;
            if (event->mask & (IN_CREATE | IN_MOVED_TO))
                watchBelow(path);
            else
                forgetBelow(path);
            dropWritingBelow(pending, path);
            pending.full = true;
            pending.lastChangeMs = nowMs;
            continue;
        }
        const auto folder = m_folders.constFind(event->wd);
        if (folder == m_folders.cend())
            continue; // a watch removed a moment ago
        const QString where = *folder;
        const QString path = name.isEmpty() ? where : where + QLatin1Char('/') + name;
        switch (effectOf(event->mask, name)) {
        case WatchEffect::None:
            continue;
        case WatchEffect::Overflow:
            pending.full = true;
            break;
        case WatchEffect::RootGone:
            forgetBelow(where);
            dropWritingBelow(pending, where);
            pending.full = pending.full || m_roots.contains(where);
            break;
        case WatchEffect::FolderAdded:
            watchBelow(path);
            pending.folders.insert(path);
            break;
        case WatchEffect::FolderGone:
            forgetBelow(path);
            // Their IN_CLOSE_WRITE is not seen any more.
            dropWritingBelow(pending, path);
            break;
        case WatchEffect::Writing:
            pending.writing.insert(path);
            break;
        case WatchEffect::Closed:
            pending.writing.remove(path);
            break;
        case WatchEffect::Changed:
            // A file removed or moved away is written no more.
            pending.writing.remove(path);
            break;
        }
        pending.folders.insert(where);
        pending.lastChangeMs = nowMs;
    }
}
