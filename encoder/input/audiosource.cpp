#include "audiosource.h"
#include "sourceformat.h"
#include "waveheader.h"

#include "encoder/core/syserror.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>

namespace {

// At most this many samples of all source channels are held at once, so a file claiming
// hundreds of channels cannot make one block huge.
constexpr qint64 kWideSamples = 1 << 16;

// An MP3 holds 8 to 48 kHz and lame resamples any rate, but far outside that a run goes
// wild: from 1 Hz one input frame becomes 8,000 output samples (hours of work and gigabytes
// of buffer for a small file), and at a claimed gigahertz lame's final flush feeds millions
// of silent samples per output frame.
constexpr int kLowestRate = 1000;
constexpr int kHighestRate = 10000000;

// The file is asked for this far ahead of the reads: a quarter of a second of encoding at
// CD quality, so the reads find it in memory rather than wait on the disk.
constexpr qint64 kReadAheadBytes = 4 << 20;

// Held from an open until its failure's reason has been read.
std::mutex g_openMutex;

// What the file is by how it starts: anything else is kept away from libsndfile's other parsers.
std::optional<SourceFormat> formatOf(int fd)
{
    return sourceFormatOf([fd](qint64 at, void *out, std::size_t size) {
        return ::pread(fd, out, size, at) == static_cast<ssize_t>(size);
    });
}

// Float samples are stored as they are: NaN, infinities and values far beyond full scale make
// libmp3lame's psychoacoustic model fail an assertion. Players clip them; so does this.
void clipSamples(float *samples, qint64 count)
{
    for (qint64 i = 0; i < count; ++i) {
        const float s = samples[i];
        samples[i] = std::isnan(s) ? 0.0f : std::clamp(s, -1.0f, 1.0f);
    }
}

} // namespace

AudioSource::AudioSource() = default;

AudioSource::~AudioSource()
{
    m_file.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

Outcome AudioSource::open(const QString &path, bool raw, bool bigEndian, const FrameRange &range)
{
    m_path = path;
    if (range.raw != RawCd::No) {
        raw = true;
        bigEndian = range.raw == RawCd::BigEndian;
    }
    // Opening by descriptor reads any path the file system holds, whatever its characters, and
    // keeps libsndfile from guessing a headerless format from the file name.
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (m_fd < 0)
        return Outcome::failure(QStringLiteral("Cannot read %1: %2").arg(path, systemError(errno)));
    struct stat status {};
    if (::fstat(m_fd, &status) != 0 || !S_ISREG(status.st_mode))
        return Outcome::failure(QStringLiteral("%1 is not a file.").arg(path));

    SourceFormat format = SourceFormat::Wave;
    if (!raw) {
        const std::optional<SourceFormat> found = formatOf(m_fd);
        if (!found)
            return Outcome::failure(QStringLiteral("The input %1 is not a WAVE, FLAC or AIFF file.").arg(path));
        format = *found;
    }
    const QLatin1String formatName(sourceFormatName(format));

    SF_INFO info {};
    if (raw) {
        info.format = SF_FORMAT_RAW | SF_FORMAT_PCM_16 | (bigEndian ? SF_ENDIAN_BIG : SF_ENDIAN_LITTLE);
        info.channels = 2;
        info.samplerate = 44100;
    }
    const WaveHeader header = raw ? WaveHeader() : readWaveHeader(m_fd, status.st_size);
    QString reason;
    {
        // A failed open leaves its reason in libsndfile's one process-wide slot, which an open
        // on another worker would overwrite before it is read.
        const std::lock_guard<std::mutex> lock(g_openMutex);
        if (header.unfinished()) {
            m_patched = std::make_unique<PatchedFile>(m_fd, status.st_size, header.patches);
            m_file.reset(sf_open_virtual(PatchedFile::io(), SFM_READ, &info, m_patched.get()));
        } else {
            // libsndfile closes the descriptor of an open that fails, whatever close_desc says,
            // so it gets a copy of its own: closing m_fd again could close another thread's file.
            const int copy = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
            if (copy < 0)
                return Outcome::failure(QStringLiteral("Cannot read %1: %2").arg(path, systemError(errno)));
            m_file.reset(sf_open_fd(copy, SFM_READ, &info, SF_TRUE));
        }
        if (!m_file)
            reason = QString::fromUtf8(sf_strerror(nullptr));
    }
    if (!m_file) {
        if (raw)
            return Outcome::failure(QStringLiteral("Cannot read %1 as raw PCM: %2").arg(path, reason));
        if (const std::optional<QString> why = unsupportedFormat(header))
            return Outcome::failure(*why);
        return Outcome::failure(
            QStringLiteral("The input is not a %1 file libsndfile can read: %2").arg(formatName, reason));
    }
    if (!raw && !isSndfileFormatOf(format, info.format & SF_FORMAT_TYPEMASK))
        return Outcome::failure(QStringLiteral("The input %1 is not a %2 file.").arg(path, formatName));
    if (info.channels < 1 || info.samplerate < 1)
        return Outcome::failure(QStringLiteral("The input %1 has no usable audio format.").arg(path));
    if (info.samplerate < kLowestRate || info.samplerate > kHighestRate)
        return Outcome::failure(QStringLiteral("The input %1 claims a sample rate of %2 Hz; only %3 Hz to %4 Hz "
                                               "can be made into an MP3.")
                                    .arg(path)
                                    .arg(info.samplerate)
                                    .arg(kLowestRate)
                                    .arg(kHighestRate));

    // A FLAC written to a pipe could not go back to state its length.
    if (info.frames == SF_COUNT_MAX) {
        const std::optional<qint64> counted = countFrames(info.channels);
        if (!counted)
            return Outcome::failure(readError());
        info.frames = *counted;
    }

    m_info.sourceChannels = info.channels;
    m_info.channels = info.channels > 2 ? 2 : info.channels;
    m_info.sampleRate = info.samplerate;
    m_info.frames = info.frames;
    // Block codecs pad their last block; the 'fact' chunk counts the frames meant.
    if (header.factFrames > 0 && header.factFrames < info.frames)
        m_info.frames = m_left = header.factFrames;
    m_info.fitsShort = info.channels <= 2 && isShortExact(info.format);
    if (header.blockAlign > 0)
        m_info.missingFrames = header.missingBytes / header.blockAlign * std::max(1, header.framesPerBlock);
    if (info.channels > 2)
        m_downmix = Downmix(m_file.get(), info.channels);
    m_seeksExactly = seeksExactly(info.format);
    if (const Outcome narrowed = narrow(range); !narrowed)
        return narrowed;
    return openThen(range.then);
}

bool AudioSource::seekOwn(qint64 frame)
{
    if (!m_seeksExactly || frame < 0 || frame > m_ownFrames
        || sf_seek(m_file.get(), m_first + frame, SEEK_SET) != m_first + frame)
        return false;
    if (m_left >= 0)
        m_left = m_ownFrames - frame;
    m_readAheadTo = 0;
    return true;
}

Outcome AudioSource::narrow(const FrameRange &range)
{
    if (range.whole())
        return Outcome::success();
    const qint64 held = m_info.frames;
    const qint64 count = range.count.value_or(std::max<qint64>(0, held - range.first));
    const auto pastEnd = [&] {
        QString why = QStringLiteral("The frames %1 to %2 of the input %3 are not all there: it holds %4 frames.")
                          .arg(range.first)
                          .arg(range.first + count)
                          .arg(m_path)
                          .arg(held);
        if (m_info.missingFrames > 0)
            why += QStringLiteral(" Its header announces %1 more, but the file is cut short.")
                       .arg(m_info.missingFrames);
        return Outcome::failure(why);
    };
    if (range.first < 0 || count < 0)
        return Outcome::failure(
            QStringLiteral("No range of frames starts at frame %1 and holds %2.").arg(range.first).arg(count));
    if (range.first > held || count > held - range.first)
        return pastEnd();
    // The file holds the whole range: what it lacks after it is no part of it.
    m_info.frames = count;
    m_info.missingFrames = 0;
    if (m_seeksExactly) {
        if (sf_seek(m_file.get(), range.first, SEEK_SET) != range.first)
            return Outcome::failure(readError());
    } else {
        const qint64 step = std::max<qint64>(1, kWideSamples / m_info.sourceChannels);
        std::vector<float> dropped(static_cast<size_t>(step * m_info.sourceChannels));
        for (qint64 left = range.first; left > 0;) {
            readAhead();
            const qint64 want = std::min(step, left);
            const qint64 got = checked(sf_readf_float(m_file.get(), dropped.data(), want), want);
            if (got < 0)
                return Outcome::failure(readError());
            if (got < want)
                return pastEnd();
            left -= got;
        }
    }
    m_first = range.first;
    m_left = count;
    return Outcome::success();
}

std::optional<qint64> AudioSource::countFrames(int channels)
{
    const qint64 step = std::max<qint64>(1, kWideSamples / channels);
    std::vector<int> dropped(static_cast<size_t>(step * channels));
    qint64 frames = 0;
    for (qint64 got; (got = checked(sf_readf_int(m_file.get(), dropped.data(), step), step)) != 0; frames += got) {
        if (got < 0)
            return std::nullopt;
        readAhead();
    }
    if (sf_seek(m_file.get(), 0, SEEK_SET) != 0)
        return std::nullopt;
    return frames;
}

qint64 AudioSource::checked(sf_count_t frames, qint64 wanted)
{
    // A short count is the end of the data unless libsndfile records an error.
    if (frames < wanted && (sf_error(m_file.get()) != SF_ERR_NO_ERROR || (m_patched && m_patched->error() != 0)))
        return -1;
    if (m_left >= 0 && frames > 0)
        m_left -= frames;
    return frames;
}

void AudioSource::readAhead()
{
    const qint64 at = m_patched ? m_patched->position() : ::lseek(m_fd, 0, SEEK_CUR);
    if (at < 0 || at + kReadAheadBytes / 2 < m_readAheadTo)
        return;
    const qint64 from = std::max(at, m_readAheadTo);
    // Only a hint: where it fails the reads still work, a little slower.
    ::posix_fadvise(m_fd, from, kReadAheadBytes, POSIX_FADV_WILLNEED);
    m_readAheadTo = from + kReadAheadBytes;
}

qint64 AudioSource::readOwn(short *out, qint64 maxFrames)
{
    readAhead();
    maxFrames = withinFact(maxFrames);
    return checked(sf_readf_short(m_file.get(), out, maxFrames), maxFrames);
}

qint64 AudioSource::readOwn(float *out, qint64 maxFrames)
{
    readAhead();
    maxFrames = withinFact(maxFrames);
    if (m_info.sourceChannels <= 2) {
        const qint64 frames = checked(sf_readf_float(m_file.get(), out, maxFrames), maxFrames);
        if (frames > 0)
            clipSamples(out, frames * m_info.channels);
        return frames;
    }
    const qint64 step = std::max<qint64>(1, kWideSamples / m_info.sourceChannels);
    m_wide.resize(static_cast<size_t>(std::min(step, maxFrames) * m_info.sourceChannels));
    qint64 done = 0;
    while (done < maxFrames) {
        const qint64 want = std::min(step, maxFrames - done);
        const qint64 frames = checked(sf_readf_float(m_file.get(), m_wide.data(), want), want);
        if (frames < 0)
            return -1;
        m_downmix.apply(m_wide.data(), out + done * 2, frames);
        done += frames;
        if (frames < want)
            break;
    }
    clipSamples(out, done * 2);
    return done;
}

QString AudioSource::readError() const
{
    if (m_thenFailed)
        return m_then->readError();
    const QString reason = m_patched && m_patched->error() != 0 ? systemError(m_patched->error())
                                                                  : QString::fromUtf8(sf_strerror(m_file.get()));
    return QStringLiteral("Cannot read %1: %2").arg(m_path, reason);
}
