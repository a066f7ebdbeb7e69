#include "folders.h"

#include "syserror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>

#include <sys/stat.h>

Outcome makeFolders(const QString &folder, std::vector<QString> *made)
{
    QStringList missing;
    for (QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath()); !QFileInfo::exists(path);
         path = QFileInfo(path).path())
        missing.prepend(path);
    for (const QString &path : std::as_const(missing)) {
        if (::mkdir(QFile::encodeName(path).constData(), 0777) != 0 && errno != EEXIST) {
            // A full disk stops the run as a full disk, not as one file that failed.
            const int error = errno;
            return Outcome::failure(QStringLiteral("Cannot make the folder %1: %2.").arg(path, systemError(error)),
                                    error == ENOSPC || error == EDQUOT ? Outcome::Kind::DiskFull : Outcome::Kind::Failure);
        }
        if (made)
            made->push_back(path);
    }
    return Outcome::success();
}
