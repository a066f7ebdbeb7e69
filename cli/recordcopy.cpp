#include "recordcopy.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

QString newCopyOf(const QString &path)
{
    return path + QStringLiteral(".new");
}

Outcome failed(sqlite3 *db, const QString &what)
{
    return Outcome::failure(QStringLiteral("The mirror's record: %1: %2").arg(what, QString::fromUtf8(sqlite3_errmsg(db))));
}

Outcome systemFailure(const QString &what, const QString &path)
{
    return Outcome::failure(
        QStringLiteral("The mirror's record: cannot %1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(errno))));
}

// Syncs a file or folder; a file system that cannot sync a folder (EINVAL) has nothing to sync.
bool synced(const QString &path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL;
    return ::close(fd) == 0 && ok;
}

bool removed(const QString &path)
{
    return ::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT;
}

} // namespace

Outcome loadRecord(const QString &path, sqlite3 *memory)
{
    // A copy a killed save left is not the record: that is the file it was to replace.
    if (!removed(newCopyOf(path)))
        return systemFailure(QStringLiteral("remove"), newCopyOf(path));
    if (!QFileInfo::exists(path))
        return Outcome::success();
    sqlite3 *opened = nullptr;
    // Read-write, so a journal a killed writer left is rolled back; exclusive, so a write-ahead
    // log left beside it is read without shared memory.
    const int result = sqlite3_open_v2(QFile::encodeName(path).constData(), &opened,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3 *)> file(opened, sqlite3_close);
    if (result != SQLITE_OK
        || sqlite3_exec(file.get(), "PRAGMA locking_mode=EXCLUSIVE; SELECT count(*) FROM sqlite_master;", nullptr,
                        nullptr, nullptr)
               != SQLITE_OK)
        return failed(file.get(), QStringLiteral("cannot read it"));
    sqlite3_backup *backup = sqlite3_backup_init(memory, "main", file.get(), "main");
    if (!backup)
        return failed(memory, QStringLiteral("cannot read it"));
    sqlite3_backup_step(backup, -1);
    if (sqlite3_backup_finish(backup) != SQLITE_OK)
        return failed(memory, QStringLiteral("cannot read it"));
    return Outcome::success();
}

Outcome saveRecord(sqlite3 *memory, const QString &path)
{
    const QString copy = newCopyOf(path);
    if (!removed(copy))
        return systemFailure(QStringLiteral("remove"), copy);
    sqlite3_stmt *statement = nullptr;
    const QByteArray name = QFile::encodeName(copy);
    if (sqlite3_prepare_v2(memory, "VACUUM INTO ?1", -1, &statement, nullptr) != SQLITE_OK)
        return failed(memory, QStringLiteral("cannot write it"));
    sqlite3_bind_text(statement, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
    const int written = sqlite3_step(statement);
    sqlite3_finalize(statement);
    if (written != SQLITE_DONE) {
        const Outcome why = failed(memory, QStringLiteral("cannot write %1").arg(copy));
        removed(copy);
        return why;
    }
    if (!synced(copy, O_RDWR)) {
        const Outcome why = systemFailure(QStringLiteral("sync"), copy);
        removed(copy);
        return why;
    }
    // A write-ahead log left beside the old record would be read into the new one.
    for (const char *beside : {"-wal", "-shm"})
        if (!removed(path + QLatin1String(beside)))
            return systemFailure(QStringLiteral("remove"), path + QLatin1String(beside));
    if (::rename(name.constData(), QFile::encodeName(path).constData()) != 0)
        return systemFailure(QStringLiteral("replace"), path);
    synced(QFileInfo(path).path(), O_RDONLY | O_DIRECTORY);
    return Outcome::success();
}
