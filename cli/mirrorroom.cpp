#include "mirrorroom.h"

#include "encoder/input/audiosource.h"

#include <QFile>
#include <QStandardPaths>

#include <sys/stat.h>
#include <sys/statvfs.h>

namespace {

// About what lame's VBR levels average on music, on the high side, in kbit/s.
constexpr int kVbrRates[] = {260, 230, 200, 180, 170, 140, 120, 110, 90, 70};
// An MP3's tags and frames beside its audio, generously.
constexpr qint64 kPerFile = 16 * 1024;

qint64 estimatedMp3(const MirrorItem &item, const EncoderSettings &settings)
{
    if (item.input.copy)
        return item.record.size;
    AudioSource source;
    if (!source.open(item.input.path, settings.rawPcm, false, item.input.range) || source.info().sampleRate <= 0)
        return kPerFile;
    const double seconds = double(source.info().frames) / source.info().sampleRate;
    const int kbps = settings.useVbr ? kVbrRates[std::clamp(settings.vbrRate, 0, 9)] : settings.bitrate;
    return qint64(seconds * kbps * 125) + kPerFile;
}

std::optional<dev_t> deviceOf(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return st.st_dev;
}

} // namespace

MirrorRoom roomFor(const BatchRequest &request, const MirrorPlan &plan, const QString &mirror)
{
    MirrorRoom room;
    struct statvfs fs {};
    // A file system that tells no size (some FUSE ones give 0 blocks) is not known to be full.
    if (::statvfs(QFile::encodeName(mirror).constData(), &fs) == 0 && fs.f_blocks > 0)
        room.free = qint64(fs.f_bavail) * qint64(fs.f_frsize);
    for (const MirrorItem &item : plan.items) {
        if (!item.encodes())
            continue;
        room.needed += estimatedMp3(item, itemSettings(plan, item));
        if (item.steps.has(Step::EncodeAgain) && item.before)
            room.needed -= item.before->mp3Size;
    }
    const std::optional<dev_t> trashDevice =
        deviceOf(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    const bool trashElsewhere = trashDevice && trashDevice != deviceOf(mirror);
    for (const MirrorGone &gone : plan.gone) {
        if (gone.steps.has(Step::Delete) || (gone.steps.has(Step::Trash) && trashElsewhere))
            room.needed -= gone.record.mp3Size;
    }
    (void)request;
    return room;
}

QString roomText(qint64 bytes)
{
    return QStringLiteral("%1 MB").arg(double(bytes) / 1e6, 0, 'f', 1);
}
