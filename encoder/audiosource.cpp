#include "audiosource.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

QString osError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool isShortExact(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        return true;
    default:
        return false;
    }
}

} // namespace

AudioSource::~AudioSource()
{
    m_file.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

Outcome AudioSource::open(const QString &path, bool raw, bool bigEndian)
{
    m_path = path;
    // Opening by descriptor reads any path the file system holds, whatever its characters, and
    // keeps libsndfile from guessing a headerless format from the file name.
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (m_fd < 0)
        return Outcome::failure(QStringLiteral("Cannot read %1: %2").arg(path, osError(errno)));
    struct stat status {};
    if (::fstat(m_fd, &status) != 0 || !S_ISREG(status.st_mode))
        return Outcome::failure(QStringLiteral("%1 is not a file.").arg(path));

    SF_INFO info {};
    if (raw) {
        info.format = SF_FORMAT_RAW | SF_FORMAT_PCM_16 | (bigEndian ? SF_ENDIAN_BIG : SF_ENDIAN_LITTLE);
        info.channels = 2;
        info.samplerate = 44100;
    }
    m_file.reset(sf_open_fd(m_fd, SFM_READ, &info, SF_FALSE));
    if (!m_file) {
        const QString reason = QString::fromUtf8(sf_strerror(nullptr));
        if (raw)
            return Outcome::failure(QStringLiteral("Cannot read %1 as raw PCM: %2").arg(path, reason));
        return Outcome::failure(
            QStringLiteral("The input is not a WAVE file libsndfile can read: %1").arg(reason));
    }
    if (info.channels < 1 || info.samplerate < 1)
        return Outcome::failure(QStringLiteral("The input %1 has no usable audio format.").arg(path));

    m_info.sourceChannels = info.channels;
    m_info.channels = info.channels > 2 ? 2 : info.channels;
    m_info.sampleRate = info.samplerate;
    m_info.frames = info.frames;
    m_info.fitsShort = info.channels <= 2 && isShortExact(info.format);
    if (info.channels > 2)
        m_downmix = Downmix(m_file.get(), info.channels);
    return Outcome::success();
}

qint64 AudioSource::checked(sf_count_t frames, qint64 wanted)
{
    // A short count is the end of the data unless libsndfile records an error.
    if (frames < wanted && sf_error(m_file.get()) != SF_ERR_NO_ERROR)
        return -1;
    return frames;
}

qint64 AudioSource::read(short *out, qint64 maxFrames)
{
    return checked(sf_readf_short(m_file.get(), out, maxFrames), maxFrames);
}

qint64 AudioSource::read(float *out, qint64 maxFrames)
{
    if (m_info.sourceChannels <= 2)
        return checked(sf_readf_float(m_file.get(), out, maxFrames), maxFrames);
    m_wide.resize(static_cast<size_t>(maxFrames) * m_info.sourceChannels);
    const qint64 frames = checked(sf_readf_float(m_file.get(), m_wide.data(), maxFrames), maxFrames);
    if (frames > 0)
        m_downmix.apply(m_wide.data(), out, frames);
    return frames;
}

QString AudioSource::readError() const
{
    return QStringLiteral("Cannot read %1: %2").arg(m_path, QString::fromUtf8(sf_strerror(m_file.get())));
}
