#include "diskprobe.h"
#include "mirrorplan.h"
#include "mirrorroots.h"

#include "outputnaming.h"
#include "paths.h"
#include "version.h"

#include "encoder/core/sourcesclock.h"
#include "encoder/mirrorkeys.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QHash>

#include <sys/stat.h>

BatchRequest absoluteRequest(const BatchRequest &given)
{
    BatchRequest request = given;
    request.outputDir = absolute(request.outputDir);
    for (QString &input : request.inputs)
        input = absolute(input);
    if (!request.names)
        request.names = probeNames(request.outputDir);
    return request;
}

// Which root a source is below, or -1; its path below it.
int rootOf(const QStringList &roots, const QString &path)
{
    for (int root = 0; root < roots.size(); ++root) {
        const QString &folder = roots[root];
        if (path.startsWith(folder) && (path.size() == folder.size() || path[folder.size()] == QLatin1Char('/')))
            return root;
    }
    return -1;
}

QString belowRoot(const QStringList &roots, int root, const QString &path)
{
    return path == roots[root] ? QFileInfo(path).fileName() : path.mid(roots[root].size() + 1);
}

// What every MP3 depends on beside its source, its folder's covers and its sheet.
TagInputs tagInputsOf(const BatchRequest &request)
{
    QByteArray extra = QByteArrayLiteral(SONOVERT_VERSION);
    if (request.name)
        extra += '\0' + request.name->text().toUtf8();
    if (request.names && *request.names != DiskNames())
        extra += "\0names " + namesText(*request.names).toUtf8();
    return TagInputs(request.settings, extra);
}


std::vector<BatchInput> mirrorSources(const BatchRequest &given, const std::function<const std::vector<MirrorRecord> &()> &recorded,
                                      std::vector<UnreadPlace> *unread)
{
    const BatchRequest request = absoluteRequest(given);
    std::vector<BatchInput> inputs;
    InputList list(request.inputs, request.subfolders, request.pregap);
    list.withMp3s();
    list.withSizes();
    // A mirror inside its sources is not one of them: each run would copy the last one's MP3s.
    list.passOver(request.outputDir);
    // A CD image as it was recorded (its size, time and stamp) has a track 0 where it had one: the
    // audio before track 1 is not read again to tell.
    struct Image
    {
        const MirrorRecord *first = nullptr;
        bool same = true; // every track's record has the first's size, time and stamp
        bool track0 = false;
    };
    QHash<SourceKey, Image> images;
    bool indexed = false;
    TagInputs tagInputs = tagInputsOf(request);
    list.withPregapsKnown([&](const QString &sheet, const QString &image) -> std::optional<bool> {
        if (!indexed) {
            indexed = true;
            for (const MirrorRecord &record : recorded()) {
                if (record.track < 0)
                    continue;
                Image &known = images[{record.root, -1, record.source}]; // the image, whatever its track
                if (!known.first)
                    known.first = &record;
                known.same = known.same && record.size == known.first->size &&
                             record.mtimeNs == known.first->mtimeNs && record.stamp == known.first->stamp;
                known.track0 = known.track0 || record.track == 0;
            }
        }
        const int root = rootOf(request.inputs, image);
        if (root < 0)
            return std::nullopt;
        const auto found = images.constFind({root, -1, belowRoot(request.inputs, root, image)});
        if (found == images.constEnd() || !found->same || found->first->stamp.isEmpty()
            || fileStamp(image) != FileStamp {found->first->size, found->first->mtimeNs})
            return std::nullopt;
        EncoderSettings settings = request.settings;
        settings.inputFile = image;
        settings.cueSheet = sheet;
        if (tagInputs.digest(settings) != found->first->stamp)
            return std::nullopt;
        return !found->track0;
    });
    while (std::optional<BatchInput> input = list.next())
        inputs.push_back(std::move(*input));
    if (unread)
        *unread = list.unread();
    return inputs;
}


void readSourcesClock(const BatchRequest &request, MirrorSeen &seen, QString *why)
{
    for (const QString &root : request.inputs) {
        if (!QFileInfo(root).isDir())
            continue;
        QTemporaryFile probe(root + QStringLiteral("/.sonovert-clock-XXXXXX"));
        struct stat st {};
        if (probe.open() && ::fstat(probe.handle(), &st) == 0) {
            seen.sourcesNowNs = fileStampOf(st).mtimeNs;
            seen.racyNs = 2'000'000'000;
            // The covers and sheets, read by their times too, by the same clock.
            SourcesClock::set(seen.sourcesNowNs - QDateTime::currentMSecsSinceEpoch() * 1'000'000, seen.racyNs);
            return;
        }
    }
    seen.sourcesNowNs = QDateTime::currentMSecsSinceEpoch() * 1'000'000;
    seen.racyNs = 60'000'000'000;
    SourcesClock::set(0, seen.racyNs);
    *why = QStringLiteral("the sources cannot be written, so their clock is taken to be this machine's: what "
                          "changed in the last minute is read again by the next run");
}

namespace {

// The mount points a table lists in its second field (fstab's and /proc/self/mounts' layout),
// with space, tab, newline and backslash in octal.
void addMountPoints(const char *table, QSet<QString> &found)
{
    QFile file(QString::fromLatin1(table));
    if (!file.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 2 || fields[0].startsWith('#'))
            continue;
        QByteArray point = fields[1];
        point.replace("\\040", " ").replace("\\011", "\t").replace("\\012", "\n").replace("\\134", "\\");
        found.insert(QDir::cleanPath(QFile::decodeName(point)));
    }
}

} // namespace

QSet<QString> mountedNow()
{
    QSet<QString> found;
    addMountPoints("/proc/self/mounts", found);
    return found;
}

QSet<QString> mountPoints()
{
    QSet<QString> found = mountedNow();
    addMountPoints("/etc/fstab", found);
    return found;
}

QString emptyMountPointAbove(const QSet<QString> &points, const QString &root, const QString &source)
{
    QString folder = QFileInfo(source).path();
    while (folder.size() > root.size() && !QFileInfo::exists(folder))
        folder = QFileInfo(folder).path();
    if (!points.contains(folder)
        || !QDir(folder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
        return {};
    return folder;
}
