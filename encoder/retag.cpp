#include "retag.h"

#include "encoder/core/folders.h"
#include "encoder/encoderun.h"
#include "encoder/input/sourceformat.h"
#include "encoder/mp3/frames.h"
#include "encoder/output/mp3output.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

Mp3Gains readMp3Gains(const QString &mp3)
{
    QFile file(mp3);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray header = file.read(10);
    return readGains(header + file.read(id3v2TagSize(header) - 10));
}

Outcome retagMp3(const EncoderSettings &settings, const QString &mp3,
                 const std::optional<std::optional<TrackGain>> &albumGain, const QString &temporaryFolder)
{
    const QByteArray old = readAll(mp3);
    const qsizetype audioStart = id3v2TagSize(old);
    if (old.isEmpty() || audioStart >= old.size())
        return Outcome::failure(QStringLiteral("Cannot read %1.").arg(mp3));
    // The frames end where the ID3v1 tag starts, if there is one.
    std::size_t scanned = 0;
    scanFrames(reinterpret_cast<const unsigned char *>(old.constData()) + audioStart,
               static_cast<std::size_t>(old.size() - audioStart), &scanned);
    const qsizetype audioEnd = audioStart + qsizetype(scanned);
    const qsizetype rest = old.size() - audioEnd;
    if (scanned == 0 || !(rest == 0 || (rest == 128 && old.mid(audioEnd, 3) == "TAG")))
        return Outcome::failure(QStringLiteral("%1 is not an MP3 as a run writes it.").arg(mp3));

    const Result<Mp3Tags> tags = runTags(settings);
    if (!tags)
        return tags.failure();
    const Mp3Gains gains = readGains(old.first(audioStart));
    const QByteArray id3v2 = settings.replayGain && !tags->id3v2WithRoom().isEmpty()
                                 ? tags->id3v2Final(gains.track, albumGain.value_or(gains.album))
                                 : tags->id3v2();
    if (id3v2 == old.first(audioStart) && tags->id3v1() == old.sliced(audioEnd))
        return Outcome::success();
    Mp3Output output(mp3, temporaryFolder);
    if (Outcome opened = output.open(); !opened)
        return opened;
    for (const QByteArray &part : {id3v2, old.mid(audioStart, audioEnd - audioStart), tags->id3v1()}) {
        if (Outcome written = output.write(part); !written)
            return written;
    }
    return output.commit();
}

Outcome copyMp3(const QString &from, const QString &to, const QString &temporaryFolder)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return Outcome::failure(QStringLiteral("It cannot be read: %1").arg(source.errorString()));
    if (Outcome made = makeFolders(QFileInfo(to).path()); !made)
        return made;
    Mp3Output output(to, temporaryFolder);
    if (Outcome opened = output.open(); !opened)
        return opened;
    for (;;) {
        const QByteArray block = source.read(1 << 20);
        if (block.isEmpty())
            break;
        if (Outcome written = output.write(block); !written)
            return written;
    }
    if (source.error() != QFileDevice::NoError)
        return Outcome::failure(QStringLiteral("It cannot be read: %1").arg(source.errorString()));
    return output.commit();
}
