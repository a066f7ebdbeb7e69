#pragma once

#include "encoder/core/outcome.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <utility>
#include <vector>

// The MP3 being written: a temporary file beside the output, or in temporaryFolder where one is
// given (a folder on the output's file system, so that the album folders of a FAT stick get no
// entries but the MP3s'), put in the output's place only by commit(). Destroyed without a
// commit, it leaves nothing behind and an existing output untouched. An output that is a
// symbolic link is replaced at the file its links end at.
class Mp3Output
{
public:
    explicit Mp3Output(const QString &path, const QString &temporaryFolder = QString());
    Mp3Output(const Mp3Output &) = delete;
    Mp3Output &operator=(const Mp3Output &) = delete;
    ~Mp3Output();

    Outcome open();
    Outcome write(const unsigned char *data, std::size_t size);
    Outcome write(const QByteArray &data)
    {
        return write(reinterpret_cast<const unsigned char *>(data.constData()),
                     static_cast<std::size_t>(data.size()));
    }
    // Over bytes already written, e.g. the info frame over its placeholder.
    Outcome writeAt(qint64 offset, const unsigned char *data, std::size_t size);
    Outcome commit();
    // After this, commit() only checks that the file was written whole, and finishCommit()
    // puts it in place: a batch leaves that to a thread of its own, so that the cores go on
    // encoding while the disk catches up.
    void deferCommit() { m_deferred = true; }
    Outcome finishCommit();

private:
    Outcome failure(int error) const;
    // Makes the writes kept in m_patches through a handle of their own, then closes the file.
    int writePatches();
    // Links the open file under a fresh short name in the temporary files' folder.
    bool linkTemporary(QByteArray &name) const;

    QString m_path;
    QByteArray m_final;     // where the MP3 goes, the link resolved
    QByteArray m_folder;    // where its temporary file is made
    QByteArray m_temporary; // the named temporary file, when the folder takes no unnamed one
    int m_fd = -1;
    qint64 m_end = 0; // where write() appends
    // On a named temporary file, the writes over bytes already written (the info frame, the tag's
    // figures), made at the end through a handle of their own: a FUSE FAT driver (fusefat) puts
    // such a write through the handle that appended elsewhere in the file.
    std::vector<std::pair<qint64, QByteArray>> m_patches;
    int m_error = 0; // the first write error, kept so later writes report it
    bool m_deferred = false;
};
