#include "checkcommand.h"

#include "jobroot.h"
#include "manifest.h"
#include "messages.h"
#include "mirrorfiles.h"
#include "mirrorfolder.h"
#include "mirrorplan.h"
#include "mp3length.h"
#include "outputnaming.h"
#include "paths.h"
#include "playlists.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTextStream>

#include <cstdlib>

namespace {

// What a check found; each MP3 not as the run makes it is printed as it is met.
class CheckReport
{
public:
    void ok() { ++m_checked; }
    void missing(const QString &mp3, const QString &input, bool readable = true)
    {
        ++m_checked;
        ++m_missing;
        m_out << "missing: " << mp3 << " (from " << input << (readable ? ")\n" : ", which cannot be read)\n");
    }
    void stale(const QString &mp3, const QString &why)
    {
        ++m_checked;
        ++m_stale;
        m_out << "stale: " << mp3 << " (" << why << ")\n";
    }
    void unusable(const QString &input, const QString &why)
    {
        ++m_unusable;
        m_out << "cannot be converted: " << input << " (" << why << ")\n";
    }
    void leftBehind(const QString &file)
    {
        ++m_left;
        m_out << "left behind: " << file << "\n";
    }

    bool complete() const { return m_missing == 0 && m_stale == 0 && m_unusable == 0; }
    QString summary() const
    {
        QString text = QStringLiteral("checked %1 MP3s: %2 missing, %3 stale")
                           .arg(m_checked)
                           .arg(m_missing)
                           .arg(m_stale);
        if (m_unusable)
            text += QStringLiteral(", %1 inputs that cannot be converted").arg(m_unusable);
        if (m_left)
            text += QStringLiteral("; %1 temporary files left behind by a stopped conversion").arg(m_left);
        if (m_missing || m_stale)
            text += QStringLiteral(" (a stale MP3 is made again once removed; run the list again for what is left)");
        return text;
    }

private:
    QTextStream m_out {stdout};
    int m_checked = 0;
    int m_missing = 0;
    int m_stale = 0;
    int m_unusable = 0;
    int m_left = 0;
};

// Any rate: only whether the input opens is asked.
constexpr int kReadableRate = 44100;

QString seconds(qint64 samples, int rate)
{
    return QString::number(double(samples) / rate, 'f', 3) + QStringLiteral(" s");
}

// An MP3 there: whole, and as long as its input encoded at its rate.
void checkLength(const BatchInput &input, const QString &mp3, CheckReport &report)
{
    const std::optional<Mp3Length> length = readMp3Length(mp3);
    if (!length)
        return report.stale(mp3, QStringLiteral("not an MP3 with a LAME info frame"));
    if (!length->whole)
        return report.stale(mp3, QStringLiteral("damaged: its audio does not end where its info frame says"));
    const std::optional<qint64> expected = expectedSamples(input.path, input.range, length->sampleRate);
    if (!expected)
        return report.unusable(input.path, QStringLiteral("cannot be read"));
    // Within two samples: a resampled input's length is rounded by the resampler.
    if (std::llabs(length->samples - *expected) > 2)
        return report.stale(mp3, QStringLiteral("%1 of audio where %2 holds %3")
                                     .arg(seconds(length->samples, length->sampleRate), input.path,
                                          seconds(*expected, length->sampleRate)));
    report.ok();
}

void checkBatch(const BatchRequest &given, CheckReport &report, PlaylistSources &playlists)
{
    BatchRequest request = given;
    request.existing = ExistingPolicy::Skip;
    BatchQueue queue(request);
    while (std::optional<BatchQueue::Item> item = queue.next()) {
        if (!item->input.error.isEmpty()) {
            report.unusable(item->input.sheet, item->input.error);
            continue;
        }
        playlists.add(item->input, item->choice.kind == OutputChoice::Kind::Exists ? item->choice.path : QString());
        if (!item->input.skipped.isEmpty())
            continue;
        switch (item->choice.kind) {
        case OutputChoice::Kind::Convert:
            // An input that cannot be read is named so: converting it again fails again.
            report.missing(item->choice.path, item->input.path,
                           expectedSamples(item->input.path, item->input.range, kReadableRate).has_value());
            break;
        case OutputChoice::Kind::Exists:
            checkLength(item->input, item->choice.path, report);
            break;
        case OutputChoice::Kind::Taken:
        case OutputChoice::Kind::IsInput:
            break;
        }
    }
}

// The plan of a --mirror run over the record as it stands: what it would do is what is not
// there yet.
bool checkMirror(const BatchRequest &given, CheckReport &report)
{
    BatchRequest request = given;
    request.dryRun = true;
    const QString mirror = absolute(request.outputDir);
    std::vector<MirrorRecord> records;
    const QString recordPath = QDir(mirror).filePath(MirrorFolder::kRecord);
    if (QFileInfo::exists(recordPath)) {
        Manifest manifest;
        const Outcome opened = manifest.open(recordPath);
        Result<std::vector<MirrorRecord>> recorded = opened ? manifest.records() : Result<std::vector<MirrorRecord>>(opened);
        if (!recorded) {
            say(QStringLiteral("%1: %2").arg(recordPath, recorded.failure().message));
            return false;
        }
        records = std::move(*recorded);
    }
    MirrorSeen seen;
    QStringList leftovers;
    seen.files = filesThere(mirror, records, &leftovers);
    seen.granularityNs = timeGranularityNs(mirror);
    seen.sourcesNowNs = QDateTime::currentMSecsSinceEpoch() * 1'000'000;
    // A record whose MP3 is gone counts for nothing: its source is missing.
    std::erase_if(records, [&](const MirrorRecord &record) { return !seen.files.contains(record.mp3); });
    std::vector<BatchInput> sources =
        mirrorSources(request, [&]() -> const std::vector<MirrorRecord> & { return records; }, &seen.unread);
    const MirrorPlan plan = planMirror(request, std::move(sources), std::move(records), std::move(seen));
    for (const QString &refused : plan.refused)
        report.unusable(refused, QStringLiteral("its CD sheet cannot be used"));
    // Nothing is known below a place that cannot be read.
    for (const UnreadPlace &place : plan.unread)
        report.unusable(place.path, QStringLiteral("cannot be read (%1)").arg(place.reason));
    if (!plan.emptyRoots.isEmpty()) {
        say(QStringLiteral("%1 holds no WAVE file").arg(plan.emptyRoots.join(QStringLiteral(", "))));
        return false;
    }
    for (const MirrorItem &item : plan.items) {
        const QString mp3 = QDir(mirror).filePath(item.record.mp3);
        const Steps &steps = item.steps;
        if (steps.has(Step::Convert))
            report.missing(mp3, item.input.path);
        else if (steps.has(Step::EncodeAgain))
            report.stale(mp3, QStringLiteral("its source's audio or the settings changed, or the MP3 itself"));
        else if (steps.has(Step::Adopt))
            report.stale(mp3, QStringLiteral("not in the mirror's record"));
        else if (steps.has(Step::Move))
            report.stale(mp3, QStringLiteral("its source moved"));
        else if (steps.has(Step::Retag))
            report.stale(mp3, QStringLiteral("its source's tags changed"));
        else // an album's figures made again are named by the line of the track that changed
            report.ok();
    }
    for (const MirrorGone &gone : plan.gone) {
        if (gone.steps.has(Step::Trash) || gone.steps.has(Step::Delete))
            report.stale(QDir(mirror).filePath(gone.record.mp3), QStringLiteral("its source is gone"));
    }
    return true;
}

// The temporary files of conversions stopped before their rename (encoder/output/mp3output.cpp
// names them), below the folders the MP3s go into.
void findLeftBehind(const BatchRequest &request, CheckReport &report)
{
    QStringList folders;
    if (!request.outputDir.isEmpty())
        folders << request.outputDir;
    else
        for (const QString &input : request.inputs)
            folders << (QFileInfo(input).isDir() ? input : QFileInfo(input).path());
    for (const QString &folder : std::as_const(folders)) {
        QDirIterator found(folder, {QStringLiteral(".sonovert-*.part")}, QDir::Files | QDir::Hidden | QDir::System,
                           QDirIterator::Subdirectories);
        while (found.hasNext())
            report.leftBehind(found.next());
    }
}

} // namespace

ExitStatus runCheckCommand(const BatchRequest &request)
{
    for (const QString &input : request.inputs) {
        if (!QFileInfo::exists(input))
            return complain(ExitStatus::WrongUsage, QStringLiteral("no input %1").arg(input));
    }
    CheckReport report;
    PlaylistSources playlists(playlistRoots(request));
    if (request.mirror) {
        if (!checkMirror(request, report))
            return ExitStatus::Failed;
    } else {
        checkBatch(request, report, playlists);
    }
    findLeftBehind(request, report);
    say(report.summary());
    // The last run of a listed batch: once every MP3 is there, the playlists are written for them.
    if (!request.mirror && report.complete() && writesPlaylists(request) && !writeBatchPlaylists(request, playlists))
        return ExitStatus::Failed;
    return report.complete() ? ExitStatus::Success : ExitStatus::Failed;
}
