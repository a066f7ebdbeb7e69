#include "watchcommand.h"

#include "messages.h"
#include "mirrorcommand.h"
#include "paths.h"
#include "stopsignals.h"
#include "watchdestination.h"
#include "watchplan.h"
#include "watchsignals.h"
#include "watchtree.h"

#include "notify/desktopnotice.h"

#include <QDBusConnection>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <chrono>
#include <optional>

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

qint64 nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A state that lasts (a stick out, a source gone) is said when it begins, not at each look.
class Voice
{
public:
    void once(const QString &text)
    {
        if (text != m_last)
            say(text);
        m_last = text;
    }
    void clear() { m_last.clear(); }

private:
    QString m_last;
};

// Where inotify sees only this machine's changes: said once, as those of others wait for a
// full run.
bool sayRemoteSources(const QStringList &roots)
{
    bool remote = false;
    for (const QString &root : roots) {
        struct statfs fs {};
        if (::statfs(QFile::encodeName(root).constData(), &fs) != 0)
            continue;
        const char *kind = nullptr;
        switch (static_cast<unsigned long>(fs.f_type)) {
        case 0x6969UL: kind = "NFS"; break;
        case 0x517BUL:
        case 0xFF534D42UL:
        case 0xFE534D42UL: kind = "SMB"; break;
        case 0x65735546UL: kind = "FUSE"; break;
        case 0x01021997UL: kind = "9p"; break;
        default: break;
        }
        remote = remote || kind;
        if (kind)
            say(QStringLiteral("%1 is on %2: changes made on other machines are seen at the next full run (a mount, "
                               "SIGHUP)")
                    .arg(root, QLatin1String(kind)));
    }
    return remote;
}

// The first root not there or not readable, or none.
QString missingRoot(const QStringList &roots)
{
    for (const QString &root : roots) {
        const QFileInfo info(root);
        if (!info.exists() || !info.isReadable() || (info.isDir() && !info.isExecutable()))
            return root;
    }
    return {};
}

// A descriptor closed with its owner.
class Descriptor
{
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int fd() const { return m_fd; }

private:
    const int m_fd;
};

// The watch between its runs: what it has seen, what it waits for, what it has said.
class Watch
{
public:
    explicit Watch(const BatchRequest &request)
        : m_request(request), m_mirror(absolute(request.outputDir)), m_roots(rootsOf(request)), m_tree(m_roots, m_mirror)
    {
        m_pending.full = true;
    }
    ExitStatus run();

private:
    static QStringList rootsOf(const BatchRequest &request)
    {
        QStringList roots;
        for (const QString &input : request.inputs)
            roots << absolute(input);
        return roots;
    }
    // A run where SRC and DST are there; a status to end the watch with where the command is
    // wrong, else none.
    std::optional<ExitStatus> runMirror();
    void sayWatching();

    BatchRequest m_request;
    const QString m_mirror;
    const QStringList m_roots;
    WatchSignals m_signals;
    WatchTree m_tree;
    WatchPending m_pending;
    Voice m_voice;
    bool m_seenMirror = false; // a run found DST: its absence is a disk out
    bool m_waiting = false;    // for DST or a source: a mount may bring it
    bool m_remote = false;
    bool m_saidWatching = false;
};

ExitStatus Watch::run()
{
    m_signals.install();
    m_remote = sayRemoteSources(m_roots);
    m_tree.watchRoots();
    const Descriptor mounts(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC));
    const qint64 settleMs = qint64(m_request.settleSeconds) * 1000;
    for (;;) {
        if (const int signal = stopSignalCaught())
            return stoppedBy(signal);
        const WatchDecision decision = decideWatch(m_pending, nowMs(), settleMs);
        if (decision.step == WatchStep::Run) {
            if (const std::optional<ExitStatus> wrong = runMirror())
                return *wrong;
            continue;
        }
        // Events wake the watch; the settle deadline is the only timeout.
        pollfd fds[] = {{m_tree.fd(), POLLIN, 0}, {m_signals.fd(), POLLIN, 0}, {mounts.fd(), POLLPRI, 0}};
        if (::poll(fds, std::size(fds), decision.timeoutMs) < 0 && errno != EINTR) {
            say(QStringLiteral("cannot wait for changes (%1)").arg(QString::fromLocal8Bit(std::strerror(errno))));
            return ExitStatus::Failed;
        }
        if ((fds[1].revents & POLLIN) && m_signals.readHangUp()) {
            say(QStringLiteral("SIGHUP: a run over everything"));
            m_pending.full = true;
        }
        if (fds[0].revents & POLLIN)
            m_tree.read(m_pending, nowMs());
        if (fds[2].revents & (POLLPRI | POLLERR)) {
            // A disk mounted or taken away: the one waited for, or a source that moved disks.
            if (m_tree.watchRoots() || m_waiting || m_remote)
                m_pending.full = true;
        }
    }
}

std::optional<ExitStatus> Watch::runMirror()
{
    const bool full = m_pending.full;
    const qsizetype folders = m_pending.folders.size();
    m_pending = {};
    if (const QString missing = missingRoot(m_roots); !missing.isEmpty()) {
        m_voice.once(QStringLiteral("%1 is missing or cannot be read: nothing is changed, nothing trashed; waiting for it")
                         .arg(missing));
        m_waiting = true;
        return std::nullopt;
    }
    const DestinationLook look = lookAtDestination(m_mirror, m_roots, m_seenMirror);
    if (look.state != DestinationState::Ready) {
        m_voice.once(look.state == DestinationState::Missing ? look.why + QStringLiteral(": waiting for it") : look.why);
        m_waiting = true;
        return std::nullopt;
    }
    const bool arrived = m_waiting || !m_seenMirror;
    m_waiting = false;
    m_voice.clear();
    say(full             ? QStringLiteral("a run over everything")
        : folders == 1 ? QStringLiteral("a folder changed: a run")
                       : QStringLiteral("%1 folders changed: a run").arg(folders));
    const ExitStatus status = runMirrorCommand(m_request);
    // The run catches SIGTERM and SIGINT its own way.
    m_signals.install();
    // What the run held is given back to the system for the idle time.
    ::malloc_trim(0);
    if (stopSignalCaught())
        return std::nullopt;
    if (status == ExitStatus::WrongUsage && !m_seenMirror)
        return status;
    if (!QFileInfo(m_mirror).isDir())
        return std::nullopt;
    m_seenMirror = true;
    QString why;
    if (!syncDestination(m_mirror, &why)) {
        say(QStringLiteral("%1 cannot be synced (%2): wait before taking it out").arg(m_mirror, why));
        return std::nullopt;
    }
    if (status != ExitStatus::Success) {
        say(QStringLiteral("the run did not complete: it is tried again at the next change"));
        sayWatching();
        return std::nullopt;
    }
    say(QStringLiteral("written and synced: eject it when you like"));
    sayWatching();
    if (arrived)
        notifyDesktop(QDBusConnection::sessionBus(), QStringLiteral("%1 is up to date").arg(m_mirror),
                      QStringLiteral("Written and synced: eject it when you like."));
    return std::nullopt;
}

void Watch::sayWatching()
{
    if (!m_saidWatching)
        say(QStringLiteral("watching %1 folders: a change is taken once it has had %2 s without another")
                .arg(m_tree.size())
                .arg(m_request.settleSeconds));
    m_saidWatching = true;
}

} // namespace

ExitStatus runMirrorWatch(const BatchRequest &request)
{
    // A fixed trim threshold: glibc's own rises with the largest block freed (up to 64 MB), and
    // malloc_trim() leaves alone the free top of a worker thread's arena, so a run's memory would
    // stay resident for the whole idle time.
    ::mallopt(M_TRIM_THRESHOLD, 128 * 1024);
    Watch watch(request);
    return watch.run();
}
