#include "mirrorplan.h"

#include "mirrordecisions.h"
#include "mirrorfiles.h"
#include "mirrorplanphases.h"
#include "mirrorroots.h"
#include "outputnaming.h"

#include "encoder/mirrorkeys.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <numeric>

namespace {

// The folder part of a path ("A/B" of "A/B/01.mp3"; empty for a name alone).
QStringView folderPart(const QString &path)
{
    return QStringView(path).left(std::max<qsizetype>(path.lastIndexOf(QLatin1Char('/')), 0));
}

// The plan made phase by phase: the records indexed, the names they hold claimed, each source
// decided, then the new sources against the records left, the records no source claimed and
// the albums (mirrorplanphases.h). A source is held once, in its item; what the decisions are
// told of it (SourceNow) is kept only for a source without a record, decided last.
class Planner
{
public:
    Planner(const BatchRequest &given, std::vector<MirrorRecord> records, MirrorSeen seen);
    MirrorPlan make(std::vector<BatchInput> inputs);

private:
    // Which source (by record, or after the records by the first input of its key) claimed a name.
    struct Claim
    {
        QString asked; // empty: as recorded
        qsizetype owner = -1;
    };
    void indexRecords();
    void claimRecordedNames(const std::vector<BatchInput> &inputs);
    void planSource(BatchInput &input, qsizetype known);
    QString mp3Of(const BatchInput &input, const MirrorRecord *before, bool unchanged, QString *asked);
    void checkOnMirror(const MirrorRecord &before, SourceNow &now, MirrorRecord &record);
    qsizetype ownerOf(const SourceKey &key, qsizetype known);
    QString folded(const QString &mp3) const { return foldedName(mp3, m_names.caseless); }

    const BatchRequest &m_given;
    const BatchRequest m_request; // absolute paths throughout: the working folder is asked once
    const QString &m_mirror;
    const QStringList &m_roots;
    MirrorSeen m_seen;
    MirrorPlan m_plan;
    const DiskNames m_names;
    QHash<SourceKey, qsizetype> m_bySource;
    QHash<QString, qsizetype> m_byMp3;
    std::vector<bool> m_used; // by record
    std::vector<qsizetype> m_known; // by input: its record, or -1
    // The MP3s' names: each source's as recorded is its own while it is there (a twin added later
    // gets a number, not its name), the others' asked for in the sources' order.
    QHash<QString, Claim> m_claimed; // by the MP3's path below the mirror, case-folded where caseless
    QHash<SourceKey, qsizetype> m_newOwners; // sources without a record, by key
    FolderSpellings m_folders;
    std::vector<int> m_found; // inputs by root
    QStringList m_refusedImages; // the folders of the images whose sheet cannot be used
    std::optional<AlbumPlan> m_albums;
    std::optional<TagInputs> m_tagInputs;
    QByteArray m_settingsOf[2]; // by albumRoom
    EncoderSettings m_source; // the run's settings with a source's
    std::vector<std::pair<std::size_t, SourceNow>> m_new; // the items without a record of their own
};

Planner::Planner(const BatchRequest &given, std::vector<MirrorRecord> records, MirrorSeen seen)
    : m_given(given), m_request(absoluteRequest(given)), m_mirror(m_request.outputDir), m_roots(m_request.inputs),
      m_seen(std::move(seen)), m_names(m_request.names.value_or(DiskNames())),
      m_found(std::size_t(m_roots.size()), 0), m_source(m_request.settings)
{
    // Moved, so the items' pointers into it stay good.
    m_plan.records = std::move(records);
    m_plan.recorded = qsizetype(m_plan.records.size());
    m_plan.settings = m_request.settings;
    m_plan.withAlbums = m_request.album != BatchRequest::Album::Off && m_request.settings.replayGain;
    m_used.assign(m_plan.records.size(), false);
}

void Planner::indexRecords()
{
    m_bySource.reserve(qsizetype(m_plan.records.size()));
    m_byMp3.reserve(qsizetype(m_plan.records.size()));
    for (std::size_t i = 0; i < m_plan.records.size(); ++i) {
        m_bySource.insert(m_plan.records[i].key(), qsizetype(i));
        m_byMp3.insert(m_plan.records[i].mp3, qsizetype(i));
    }
}

void Planner::claimRecordedNames(const std::vector<BatchInput> &inputs)
{
    m_known.assign(inputs.size(), -1);
    // The folders as recorded, once a folder: the walk gives a folder's sources one after another.
    QStringView lastSpelled;
    QStringView lastBelow;
    bool kept = false;
    for (std::size_t at = 0; at < inputs.size(); ++at) {
        const BatchInput &input = inputs[at];
        const int root = rootOf(m_roots, input.path);
        const auto known = root < 0 ? m_bySource.constEnd()
                                    : m_bySource.constFind({root, input.track, belowRoot(m_roots, root, input.path)});
        if (known == m_bySource.constEnd())
            continue;
        m_known[at] = *known;
        const MirrorRecord &record = m_plan.records[std::size_t(*known)];
        if (const QString name = folded(record.mp3); !m_claimed.contains(name))
            m_claimed.insert(name, {QString(), *known});
        if (m_request.name)
            continue;
        const QStringView spelled = folderPart(record.mp3);
        const QStringView below = folderPart(input.below);
        if (kept && spelled == lastSpelled && below == lastBelow)
            continue;
        m_folders.keep(m_mirror, record.mp3, fitBelow(input.below, m_names.mode), input.below, m_names.caseless);
        kept = true;
        lastSpelled = spelled;
        lastBelow = below;
    }
}

qsizetype Planner::ownerOf(const SourceKey &key, qsizetype known)
{
    if (known >= 0)
        return known;
    auto found = m_newOwners.constFind(key);
    if (found == m_newOwners.constEnd())
        found = m_newOwners.insert(key, qsizetype(m_plan.records.size()) + m_newOwners.size());
    return *found;
}

QString Planner::mp3Of(const BatchInput &input, const MirrorRecord *before, bool unchanged, QString *asked)
{
    if (unchanged)
        return before->mp3;
    *asked = input.copy ? QDir::cleanPath(input.below + QLatin1Char('.') + QFileInfo(input.path).suffix())
                        : wantedOutput(m_request, input).below;
    const QString path = QDir::cleanPath(fittedOutput({m_mirror, *asked}, m_names, m_folders));
    // Below the mirror's folder; the paths here are absolute and clean, so no folder is asked.
    return path.startsWith(m_mirror + QLatin1Char('/')) ? path.mid(m_mirror.size() + 1)
                                                        : QDir(m_mirror).relativeFilePath(path);
}

void Planner::checkOnMirror(const MirrorRecord &before, SourceNow &now, MirrorRecord &record)
{
    const auto onMirror = m_seen.files.constFind(before.mp3);
    if (onMirror == m_seen.files.constEnd())
        return;
    now.onMirror = mp3There(before, *onMirror, m_seen.granularityNs);
    if (now.onMirror == Mp3There::TimeOnly)
        now.mp3Digest = fileDigest(m_mirror + QLatin1Char('/') + before.mp3);
    record.mp3Size = before.mp3Size;
    record.mp3MtimeNs = before.mp3MtimeNs;
    record.mp3Digest = before.mp3Digest;
}

void Planner::planSource(BatchInput &input, qsizetype known)
{
    if (!input.error.isEmpty()) {
        // Nothing of the image is touched: its tracks' MP3s stay until the sheet is mended.
        m_plan.refused << QStringLiteral("%1: %2").arg(input.sheet, input.error);
        m_refusedImages << input.below + QLatin1Char('/');
        return;
    }
    const QString &path = input.path; // until input is moved into its item
    const int root = rootOf(m_roots, path);
    if (root < 0)
        return;
    ++m_found[std::size_t(root)];
    if (!input.skipped.isEmpty()) {
        m_plan.lossy << QStringLiteral("%1: %2").arg(path, input.skipped);
        return;
    }
    const MirrorRecord *before = known >= 0 ? &m_plan.records[std::size_t(known)] : nullptr;
    MirrorRecord record;
    record.root = root;
    // The same text as the record's, held once.
    record.source = before ? before->source : belowRoot(m_roots, root, path);
    record.track = input.track;
    const std::optional<FileStamp> stamp = input.stamp ? input.stamp : fileStamp(path);
    if (!stamp) {
        // Not readable now: its MP3 stays as it is.
        if (before)
            m_used[std::size_t(known)] = true;
        return;
    }
    SourceNow now;
    now.file = *stamp;
    record.size = stamp->size;
    record.mtimeNs = stamp->mtimeNs;

    // The run's settings, but for what is the source's own: one copy for all.
    EncoderSettings &settings = m_source;
    settings.inputFile = path;
    settings.range = input.range;
    settings.cueSheet = input.sheet;
    settings.cueTrack = input.track;
    settings.albumRoom = m_request.settings.albumRoom;
    AlbumPlan::Place place;
    if (input.copy) {
        now.settings = copiedAsItIs();
        now.stamp = copiedAsItIs();
    } else {
        place = m_albums->place(input);
        settings.albumRoom = m_plan.withAlbums && place.album >= 0;
        QByteArray &digest = m_settingsOf[settings.albumRoom ? 1 : 0];
        if (digest.isEmpty())
            digest = settingsDigest(settings);
        now.settings = digest;
        now.stamp = m_tagInputs->digest(settings);
    }
    // Neither the source nor what its tags are made of changed (the stamp holds the name
    // template and this program's version too): its tags and its MP3's name are as they were.
    const bool unchanged = before && tagsAsRecorded(*before, now.file, now.stamp);
    // A source changed in the last moments may change again within its clock's tick, its
    // size and time the same: it is recorded so that the next run reads it again.
    if (now.file.mtimeNs > m_seen.sourcesNowNs - m_seen.racyNs) {
        now.stamp.clear();
        record.mtimeNs = 0;
    }
    QString asked;
    now.mp3 = mp3Of(input, before, unchanged, &asked);
    const QString wanted = now.mp3;
    const qsizetype owner = ownerOf(record.key(), known);
    // Its own MP3 as recorded is never a twin's.
    const auto own = [&] { return known >= 0 && before->mp3 == now.mp3; };
    const auto twin = [&]() -> const Claim * {
        if (own())
            return nullptr;
        const auto at = m_claimed.constFind(folded(now.mp3));
        return at == m_claimed.constEnd() || at->owner == owner ? nullptr : &*at;
    };
    if (const Claim *earlier = twin(); earlier && !asked.isEmpty() && earlier->asked == asked) {
        m_plan.skipped << path;
        return;
    }
    for (int n = 2; twin(); ++n)
        now.mp3 = OutputClaims::numbered(wanted, n);
    // A name as recorded was claimed so by its source already, where no other folds to it.
    if (!own() || !asked.isEmpty() || m_names.caseless)
        m_claimed.insert(folded(now.mp3), {asked, owner});
    if (input.copy)
        now.tags = copiedAsItIs();
    else
        now.tags = unchanged ? before->tags : tagsDigest(settings);

    const std::size_t at = m_plan.items.size();
    MirrorItem &item = m_plan.items.emplace_back();
    item.input = std::move(input);
    item.place = place;
    if (!before) {
        // Decided once every record still in use is known.
        item.record = std::move(record);
        m_new.emplace_back(at, std::move(now));
        return;
    }
    m_used[std::size_t(known)] = true;
    item.before = before;
    // A track that goes on into its sheet's next files is as it was only where they are
    // too, which the stamp (every file of the sheet by size and time) tells.
    const bool sameFiles = item.input.range.then.empty() || before->stamp == now.stamp;
    const QString &source = item.input.path;
    now.audio = sameFile(*before, now.file) && sameFiles ? before->audio : audioDigest(source, item.input.range);
    // A record of an earlier release: its FLAC's digest was of the file's bytes.
    if (isSamplesDigest(now.audio) && !isSamplesDigest(before->audio))
        now.audioEarlierKind = storedAudioDigest(source, item.input.range);
    checkOnMirror(*before, now, record);
    item.steps = stepFor(*before, now);
    if (stepForMp3(*before, now.onMirror, now.mp3Digest).has(Step::EncodeAgain))
        m_plan.remade << QStringLiteral("%1: not the MP3 recorded (%2): made again")
                             .arg(before->mp3, now.onMirror == Mp3There::Changed ? QStringLiteral("its size")
                                                                                 : QStringLiteral("its bytes"));
    record.audio = std::move(now.audio);
    record.settings = std::move(now.settings);
    record.tags = std::move(now.tags);
    record.stamp = std::move(now.stamp);
    record.mp3 = std::move(now.mp3);
    item.record = std::move(record);
}

MirrorPlan Planner::make(std::vector<BatchInput> inputs)
{
    m_tagInputs.emplace(tagInputsOf(m_request));
    std::future<void> folders = readFoldersAhead(*m_tagInputs, m_request, inputs);
    indexRecords();
    claimRecordedNames(inputs);
    m_albums.emplace(m_request, inputs);
    m_plan.albumTracks = m_albums->trackCounts();
    folders.wait();
    // A WAVE and an MP3 of the same name: the MP3 made of the WAVE is the mirror's, not the copy.
    std::vector<std::size_t> order(inputs.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_partition(order.begin(), order.end(), [&inputs](std::size_t i) { return !inputs[i].copy; });
    m_plan.items.reserve(inputs.size());
    for (const std::size_t i : order)
        planSource(inputs[i], m_known[i]);
    inputs = {};
    m_known = {};
    for (std::size_t root = 0; root < m_found.size(); ++root) {
        if (m_found[root] == 0)
            m_plan.emptyRoots << m_given.inputs[qsizetype(root)];
    }
    planNew(m_plan, m_new, m_used, m_byMp3, m_mirror);
    planGone(m_plan, m_request, m_used, m_refusedImages, m_seen.unread);
    m_plan.unread = std::move(m_seen.unread);
    planAlbums(m_plan, m_request);
    return std::move(m_plan);
}

} // namespace

MirrorPlan planMirror(const BatchRequest &given, std::vector<BatchInput> inputs, std::vector<MirrorRecord> records,
                      MirrorSeen seen)
{
    return Planner(given, std::move(records), std::move(seen)).make(std::move(inputs));
}
