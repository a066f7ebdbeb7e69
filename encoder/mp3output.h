#pragma once

#include "outcome.h"

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <cstddef>

// The MP3 being written: a temporary file beside the output, put in the output's place only by
// commit(). Destroyed without a commit, it removes the temporary file and leaves an existing
// output untouched.
class Mp3Output
{
public:
    explicit Mp3Output(const QString &path);

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

private:
    Outcome failure();

    QString m_path;
    QSaveFile m_file;
};
