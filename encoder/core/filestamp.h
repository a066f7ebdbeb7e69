#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <optional>

#include <sys/stat.h>

// A file's size and modification time to the nanosecond, as stat gives them: what tells whether a
// file changed without reading it.
struct FileStamp
{
    qint64 size = 0;
    qint64 mtimeNs = 0;

    bool operator==(const FileStamp &) const = default;
    // "size time", for a digest.
    QByteArray text() const { return QByteArray::number(size) + ' ' + QByteArray::number(mtimeNs); }
};

inline FileStamp fileStampOf(const struct stat &st)
{
    return {st.st_size, qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

// Links followed; nothing where the file cannot be asked.
inline std::optional<FileStamp> fileStamp(const QString &path)
{
    struct stat st = {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return fileStampOf(st);
}
