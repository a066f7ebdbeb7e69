#include "mp3output.h"

Mp3Output::Mp3Output(const QString &path) : m_path(path), m_file(path)
{
    // Never write straight into the output: a failed run must leave it as it was.
    m_file.setDirectWriteFallback(false);
}

Outcome Mp3Output::failure()
{
    return Outcome::failure(QStringLiteral("Cannot write %1: %2").arg(m_path, m_file.errorString()));
}

Outcome Mp3Output::open()
{
    // Unbuffered: each write reaches the file system at once, so a full disk or a file-size
    // limit is reported by the write that meets it.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failure();
    return Outcome::success();
}

Outcome Mp3Output::write(const unsigned char *data, std::size_t size)
{
    if (size == 0)
        return Outcome::success();
    const qint64 written = m_file.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
    if (written != static_cast<qint64>(size))
        return failure();
    return Outcome::success();
}

Outcome Mp3Output::writeAt(qint64 offset, const unsigned char *data, std::size_t size)
{
    const qint64 end = m_file.pos();
    if (!m_file.seek(offset))
        return failure();
    if (Outcome done = write(data, size); !done)
        return done;
    if (!m_file.seek(end))
        return failure();
    return Outcome::success();
}

Outcome Mp3Output::commit()
{
    if (!m_file.commit())
        return failure();
    return Outcome::success();
}
