#include "mirrorkeys.h"

#include "encoder/core/filestamp.h"
#include "encoder/core/sourcesclock.h"
#include "encoder/encoderun.h"
#include "encoder/input/audiosource.h"
#include "encoder/input/cuesheetfiles.h"
#include "encoder/input/riffchunks.h"
#include "encoder/input/sourceformat.h"
#include "encoder/tags/coverfile.h"
#include "encoder/tags/coverpixels.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QFile>

#include <ebur128.h>
#include <lame/lame.h>
#include <soxr.h>

#include <algorithm>
#include <vector>

namespace {

// The data chunk's place, or the whole file where it is no RIFF family WAVE.
std::pair<qint64, qint64> sampleBytes(QFile &file)
{
    const qint64 size = file.size();
    RiffChunks chunks(
        [&file](qint64 at, void *out, std::size_t bytes) {
            return file.seek(at) && file.read(static_cast<char *>(out), qint64(bytes)) == qint64(bytes);
        },
        size);
    while (std::optional<RiffChunk> chunk = chunks.next()) {
        if (chunk->is("data"))
            return {chunk->body(), std::min<qint64>(qint64(chunk->size), size - chunk->body())};
    }
    return {0, size};
}

// A file by its size and time; "-" where it is not there. settled: false where the time is too
// recent to prove anything (SourcesClock).
QByteArray stampText(const QString &path, bool *settled = nullptr)
{
    const std::optional<FileStamp> stamp = fileStamp(path);
    if (settled && stamp && !SourcesClock::settled(stamp->mtimeNs))
        *settled = false;
    return stamp ? stamp->text() : QByteArrayLiteral("-");
}

} // namespace

QByteArray storedAudioDigest(const QString &path, const FrameRange &range)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const auto [at, length] = sampleBytes(file);
    if (!file.seek(at))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (qint64 left = length; left > 0;) {
        const qint64 got = file.read(block.data(), std::min<qint64>(left, block.size()));
        if (got <= 0)
            return {};
        hash.addData(QByteArrayView(block.constData(), got));
        left -= got;
    }
    QByteArray cut;
    QDataStream stream(&cut, QIODevice::WriteOnly);
    stream << range.first << range.count.value_or(-1);
    if (range.raw != RawCd::No) // only then, so an earlier release's digests of other files still compare
        stream << int(range.raw);
    hash.addData(cut);
    // A track that goes on into the next file of its sheet.
    for (const FramePiece &piece : range.then) {
        FrameRange rest;
        rest.first = piece.first;
        rest.count = piece.count;
        const QByteArray more = audioDigest(piece.file, rest);
        if (more.isEmpty())
            return {};
        hash.addData(more);
    }
    return hash.result();
}

bool isSamplesDigest(const QByteArray &digest)
{
    return digest.size() == 33 && digest.front() == 'S';
}

QByteArray audioDigest(const QString &path, const FrameRange &range)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const std::optional<SourceFormat> format = sourceFormatOf([&file](qint64 at, void *out, std::size_t bytes) {
        return file.seek(at) && file.read(static_cast<char *>(out), qint64(bytes)) == qint64(bytes);
    });
    file.close();
    if (format != SourceFormat::Flac && format != SourceFormat::Aiff)
        return storedAudioDigest(path, range);
    // Their tags live among the audio's bytes: a tag edit must not read as new audio.
    AudioSource source;
    if (!source.open(path, false, false, range))
        return {};
    const int channels = source.info().channels;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArray::number(source.info().sourceChannels) + ' ' + QByteArray::number(source.info().sampleRate));
    std::vector<float> block(std::size_t(4096 * channels));
    for (;;) {
        const qint64 got = source.read(block.data(), 4096);
        if (got < 0)
            return {};
        if (got == 0)
            break;
        hash.addData(QByteArrayView(reinterpret_cast<const char *>(block.data()), qsizetype(got * channels * sizeof(float))));
    }
    return 'S' + hash.result();
}

QByteArray tagsDigest(const EncoderSettings &settings)
{
    const Result<Mp3Tags> tags = runTags(settings);
    if (!tags)
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(tags->id3v2());
    hash.addData(QByteArrayLiteral("\0ID3v1"));
    hash.addData(tags->id3v1());
    return hash.result();
}

QByteArray settingsDigest(const EncoderSettings &s)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << QByteArray(get_lame_version()) << s.bitrate << s.vbrRate << s.voiceMode << s.useVbr << s.fixQuality
        << s.fastMode << s.rawPcm << s.forceByteSwap << s.mono << s.copyrighted << s.original << s.skipTags
        << s.writeInfoTag << s.replayGain << s.albumRoom;
    // A device's settings only where given, so that the MP3s made without them stay as recorded;
    // each with the library that then shapes the audio.
    const DeviceSettings plain;
    if (s.device.maxRate != plain.maxRate)
        out << QByteArray("max-rate") << s.device.maxRate << QByteArray(soxr_version());
    if (s.device.applyGain != plain.applyGain) {
        int major = 0;
        int minor = 0;
        int patch = 0;
        ebur128_get_version(&major, &minor, &patch);
        out << QByteArray("apply-gain") << int(s.device.applyGain) << major << minor << patch;
    }
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

TagInputs::TagInputs(const EncoderSettings &s, const QByteArray &extra)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << extra << s.tagTitle << s.tagArtist << s.tagAlbum << s.tagYear << s.tagGenre << s.skipTags << s.sourceTags
        << s.folderCover << s.coverFile << stampText(s.coverFile, &m_settled);
    // Tag forms and cover sizes only where given, so that the stamps of runs without them stay;
    // the image libraries' versions with a cover size, as they make those covers' bytes.
    const DeviceSettings plain;
    if (s.device.id3Version != plain.id3Version || s.device.id3v1 != plain.id3v1)
        out << QByteArray("id3") << s.device.id3Version << s.device.id3v1;
    if (s.device.coverSize != plain.coverSize)
        out << QByteArray("cover-size") << s.device.coverSize << imageLibraryVersions();
    m_command = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

QByteArray TagInputs::digest(const EncoderSettings &settings)
{
    const qsizetype slash = settings.inputFile.lastIndexOf(QLatin1Char('/'));
    const QStringView folderView =
        slash < 0 ? QStringView(u".") : QStringView(settings.inputFile).left(std::max<qsizetype>(slash, 1));
    // The sources of a folder come one after another.
    if (folderView == m_lastFolder && settings.cueSheet.isEmpty())
        return m_lastDigest;
    const QString folder = folderView.toString();
    auto known = m_folders.constFind(folder);
    if (known == m_folders.constEnd()) {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(m_command);
        const std::optional<QByteArray> covers =
            settings.folderCover ? folderCoverStamp(folder) : std::optional<QByteArray>(QByteArray());
        if (covers)
            hash.addData(*covers);
        // A cover changed too recently: nothing, so that the next run reads the tags again.
        known = m_folders.insert(folder, covers && m_settled ? hash.result() : QByteArray());
    }
    m_lastFolder = folder;
    m_lastDigest = *known;
    if (settings.cueSheet.isEmpty() || known->isEmpty())
        return *known;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(*known);
    hash.addData(settings.cueSheet.toUtf8());
    bool settled = true;
    const QByteArray sheetStamp = stampText(settings.cueSheet, &settled);
    if (!settled)
        return {};
    hash.addData(sheetStamp);
    hash.addData(cueCharset());
    // Which files a sheet takes depends on what is there, and a track may go on into the next
    // file: each file's name and stamp.
    const QString sheetKey = settings.cueSheet + QString::fromLatin1(sheetStamp);
    auto files = m_sheetFiles.constFind(sheetKey);
    if (files == m_sheetFiles.constEnd()) {
        QCryptographicHash filesHash(QCryptographicHash::Sha256);
        for (const QString &file : cueSheetFiles(settings.cueSheet)) {
            filesHash.addData(file.toUtf8());
            filesHash.addData(stampText(file));
        }
        files = m_sheetFiles.insert(sheetKey, filesHash.result());
    }
    hash.addData(*files);
    return hash.result();
}
