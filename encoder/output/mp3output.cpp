#include "mp3output.h"

#include "encoder/core/syserror.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <cstdio>

namespace {

// Short, so a temporary name fits beside an output whose own name is near the 255-byte limit.
QByteArray temporaryName(const QByteArray &folder)
{
    return folder + "/.sonovert-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".part";
}

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

} // namespace

Mp3Output::Mp3Output(const QString &path, const QString &temporaryFolder)
    : m_path(path), m_final(QFile::encodeName(path)), m_folder(QFile::encodeName(temporaryFolder))
{
}

Mp3Output::~Mp3Output()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_temporary.isEmpty())
        ::unlink(m_temporary.constData());
}

Outcome Mp3Output::failure(int error) const
{
    return Outcome::failure(QStringLiteral("Cannot write %1: %2").arg(m_path, systemError(error)),
                            error == ENOSPC || error == EDQUOT ? Outcome::Kind::DiskFull : Outcome::Kind::Failure);
}

Outcome Mp3Output::open()
{
    struct stat existing {};
    bool exists = ::lstat(m_final.constData(), &existing) == 0;
    // Along a chain of links to its end: a link on the way would be replaced by the MP3.
    for (int links = 0; exists && S_ISLNK(existing.st_mode); ++links) {
        if (links == 40)
            return failure(ELOOP);
        m_final = QFile::encodeName(QFileInfo(QFile::decodeName(m_final)).symLinkTarget());
        exists = ::lstat(m_final.constData(), &existing) == 0;
    }
    if (!exists)
        existing = {};
    if (exists && S_ISDIR(existing.st_mode))
        return failure(EISDIR);
    if (m_folder.isEmpty())
        m_folder = folderOf(m_final);
    const QByteArray &folder = m_folder;

    // An unnamed file first: a run that dies on the way leaves nothing on disk. The mode goes
    // through the umask like any new file's.
    // commit() names it through /proc; without /proc a named temporary file is used.
    static const bool named = ::access("/proc/self/fd", X_OK) != 0;
    m_fd = named ? -1 : ::open(folder.constData(), O_RDWR | O_TMPFILE | O_CLOEXEC, 0666);
    if (m_fd < 0 && (named || errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        for (int attempt = 0; attempt < 16 && m_fd < 0; ++attempt) {
            m_temporary = temporaryName(folder);
            m_fd = ::open(m_temporary.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_fd < 0 && errno != EEXIST)
                break;
        }
    }
    if (m_fd < 0) {
        const int error = errno;
        m_temporary.clear();
        return failure(error);
    }
    // Replacing a file keeps its permissions.
    if (existing.st_mode != 0 && S_ISREG(existing.st_mode))
        ::fchmod(m_fd, existing.st_mode & 07777);
    return Outcome::success();
}

Outcome Mp3Output::write(const unsigned char *data, std::size_t size)
{
    const Outcome written = writeAt(m_end, data, size);
    if (written)
        m_end += static_cast<qint64>(size);
    return written;
}

Outcome Mp3Output::writeAt(qint64 offset, const unsigned char *data, std::size_t size)
{
    if (m_error != 0)
        return failure(m_error);
    if (m_fd < 0)
        return failure(EBADF);
    if (!m_temporary.isEmpty() && offset + qint64(size) <= m_end) {
        m_patches.emplace_back(offset, QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
        return Outcome::success();
    }
    while (size > 0) {
        const ssize_t written = ::pwrite(m_fd, data, size, offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            // A file-size limit or a full disk: the write that meets it says so.
            m_error = written < 0 ? errno : ENOSPC;
            return failure(m_error);
        }
        data += written;
        size -= static_cast<std::size_t>(written);
        offset += written;
    }
    return Outcome::success();
}

bool Mp3Output::linkTemporary(QByteArray &name) const
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
    for (int attempt = 0; attempt < 16; ++attempt) {
        name = temporaryName(m_folder);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (errno != EEXIST)
            return false;
    }
    return false;
}

Outcome Mp3Output::commit()
{
    if (m_error != 0)
        return failure(m_error);
    if (m_fd < 0)
        return failure(EBADF);
    return m_deferred ? Outcome::success() : finishCommit();
}

Outcome Mp3Output::finishCommit()
{
    if (m_fd < 0)
        return failure(EBADF);
    // On disk before it takes the output's name, so a crash never leaves a cut-off MP3 there.
    if (::fsync(m_fd) != 0)
        return failure(errno);
    if (!m_patches.empty()) {
        if (const int error = writePatches(); error != 0)
            return failure(error);
    }
    if (m_temporary.isEmpty()) {
        QByteArray named;
        if (!linkTemporary(named))
            return failure(errno);
        m_temporary = named; // removed by the destructor if the rename fails
    }
    if (::rename(m_temporary.constData(), m_final.constData()) != 0)
        return failure(errno);
    m_temporary.clear();
    const int fd = m_fd;
    m_fd = -1;
    if (fd >= 0 && ::close(fd) != 0)
        return failure(errno);
    return Outcome::success();
}

int Mp3Output::writePatches()
{
    const int appended = m_fd;
    m_fd = -1;
    if (::close(appended) != 0)
        return errno;
    const int fd = ::open(m_temporary.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    // Each stretch the writes cover written once, in file order, the writes applied in the
    // order they came: fusefat also misplaces a second write over the bytes of the one before.
    std::vector<std::pair<qint64, qint64>> spans;
    for (const auto &[offset, bytes] : m_patches)
        spans.emplace_back(offset, offset + bytes.size());
    std::sort(spans.begin(), spans.end());
    std::vector<std::pair<qint64, QByteArray>> stretches;
    for (const auto &[begin, end] : spans) {
        if (stretches.empty() || begin > stretches.back().first + stretches.back().second.size())
            stretches.emplace_back(begin, QByteArray(end - begin, '\0'));
        else if (QByteArray &last = stretches.back().second; end - stretches.back().first > last.size())
            last.resize(end - stretches.back().first);
    }
    for (const auto &[offset, bytes] : m_patches) {
        const auto stretch = std::prev(std::upper_bound(stretches.begin(), stretches.end(), offset,
                                                        [](qint64 at, const auto &s) { return at < s.first; }));
        std::copy(bytes.cbegin(), bytes.cend(), stretch->second.begin() + (offset - stretch->first));
    }
    int error = 0;
    for (const auto &[offset, bytes] : stretches) {
        for (qsizetype done = 0; done < bytes.size() && error == 0;) {
            const ssize_t written = ::pwrite(fd, bytes.constData() + done, std::size_t(bytes.size() - done), offset + done);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                error = written < 0 ? errno : ENOSPC;
            else
                done += written;
        }
    }
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    m_patches.clear();
    return error;
}
