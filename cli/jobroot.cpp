#include "jobroot.h"

#include "diskprobe.h"
#include "manifest.h"
#include "mirrorfolder.h"
#include "paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSysInfo>
#include <QUuid>

#include <algorithm>

namespace {

const QString kRootMark = QStringLiteral(".sonovert-root");
const QString kNames = QStringLiteral(".sonovert-names"); // a mirror listing's, for its jobs

// The part of an absolute path before its first component cond, or nothing.
std::optional<QString> before(const QString &path, const QString &component)
{
    if (!path.startsWith(QLatin1Char('/')))
        return std::nullopt;
    const QStringList parts = path.split(QLatin1Char('/'));
    const qsizetype at = parts.indexOf(component, 1);
    if (at < 0)
        return std::nullopt;
    return QStringLiteral("/") + parts.mid(1, at - 1).join(QLatin1Char('/'));
}

// The mark's lines: its id, then the names the listing run gave the MP3s.
QStringList markLines(const QString &root)
{
    QFile mark(QDir(root).filePath(kRootMark));
    if (!mark.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(mark.read(256)).split(QLatin1Char('\n'));
}

bool holdsMark(const QString &root)
{
    return !QUuid::fromString(markLines(root).value(0).trimmed()).isNull();
}

} // namespace

Outcome markListedRoot(const BatchRequest &request)
{
    // Inputs that are not there are the run's to refuse, before anything is made.
    if (request.outputDir.isEmpty()
        || !std::all_of(request.inputs.begin(), request.inputs.end(), [](const QString &input) { return QFileInfo::exists(input); }))
        return Outcome::success();
    const QString root = absolute(request.outputDir);
    if (!QDir().mkpath(root))
        return Outcome::failure(QStringLiteral("cannot make the output folder %1").arg(root));
    // Its jobs name their MP3s as this run does, without asking the disk.
    const QString names = namesText(request.names ? *request.names : probeNames(root));
    if (request.mirror) {
        // A mirror job takes DST's record as its mark; opening it makes an empty one. The names
        // go beside what the jobs make, which the next run takes and removes.
        Manifest record;
        if (Outcome opened = record.open(QDir(root).filePath(MirrorFolder::kRecord)); !opened)
            return opened;
        const QString incoming = QDir(root).filePath(MirrorFolder::kIncoming);
        QSaveFile kept(QDir(incoming).filePath(kNames));
        if (!QDir().mkpath(incoming) || !kept.open(QIODevice::WriteOnly) || kept.write(names.toUtf8() + '\n') < 0
            || !kept.commit())
            return Outcome::failure(QStringLiteral("cannot write %1: %2").arg(kept.fileName(), kept.errorString()));
        return Outcome::success();
    }
    const QStringList lines = markLines(root);
    if (holdsMark(root) && lines.value(1) == names)
        return Outcome::success();
    const QByteArray id =
        holdsMark(root) ? lines[0].trimmed().toLatin1() : QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    QSaveFile mark(QDir(root).filePath(kRootMark));
    if (!mark.open(QIODevice::WriteOnly) || mark.write(id + '\n' + names.toUtf8() + '\n') < 0 || !mark.commit())
        return Outcome::failure(QStringLiteral("cannot write %1, the mark a job of the list checks: %2")
                                    .arg(mark.fileName(), mark.errorString()));
    return Outcome::success();
}

QString rootedOutput(const BatchRequest &request, const QString &output)
{
    if (request.outputDir.isEmpty() || request.mirror)
        return output;
    const QString root = absolute(request.outputDir);
    if (output == root)
        return root + QStringLiteral("/.");
    if (!output.startsWith(root + QLatin1Char('/')))
        return output;
    return root + QStringLiteral("/.") + output.mid(root.size());
}

Outcome takeJobRoot(BatchRequest &request)
{
    const QString &output = request.outputDir;
    if (request.mirror) {
        const std::optional<QString> mirror = before(output, MirrorFolder::kIncoming);
        if (!mirror)
            return Outcome::success();
        if (!QFileInfo(QDir(*mirror).filePath(MirrorFolder::kRecord)).isFile())
            return Outcome::failure(QStringLiteral("%1 holds no mirror record (%2): is the mirror's share mounted on "
                                                   "%3? Nothing was made")
                                        .arg(*mirror, MirrorFolder::kRecord, QSysInfo::machineHostName()));
        if (QFile kept(QDir(*mirror).filePath(MirrorFolder::kIncoming + QLatin1Char('/') + kNames));
            !request.names && kept.open(QIODevice::ReadOnly))
            request.names = namesFromText(QString::fromUtf8(kept.read(64)));
    } else {
        const std::optional<QString> root = before(output, QStringLiteral("."));
        if (!root)
            return Outcome::success();
        if (!holdsMark(*root))
            return Outcome::failure(QStringLiteral("%1 lacks %2, the mark the listing run left there: is the output "
                                                   "share mounted on %3? Nothing was made")
                                        .arg(*root, kRootMark, QSysInfo::machineHostName()));
        if (!request.names)
            request.names = namesFromText(markLines(*root).value(1));
        request.outputDir = absolute(output);
    }
    // One job a folder: a temporary file in it is a stopped job's of the same folder.
    const bool ownFolder = !request.subfolders && !request.name && request.inputs.size() == 1
                           && QFileInfo(request.inputs[0]).isDir();
    if (ownFolder) {
        const QDir folder(request.outputDir);
        for (const QString &left : folder.entryList({QStringLiteral(".sonovert-*.part")}, QDir::Files | QDir::Hidden))
            QFile::remove(folder.filePath(left));
    }
    return Outcome::success();
}
