#include "mirrorapply.h"

#include "console.h"
#include "messages.h"
#include "mirrorfiles.h"
#include "mirrorfolder.h"
#include "outputnaming.h"
#include "paths.h"
#include "stopsignals.h"

#include "encoder/core/filestamp.h"
#include "encoder/encoderun.h"
#include "encoder/retag.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>

MirrorRun::MirrorRun(const BatchRequest &request, Manifest &manifest, const MirrorPlan &plan)
    : m_request(request), m_manifest(manifest), m_plan(plan), m_mirror(absolute(request.outputDir)),
      m_work(m_mirror.filePath(MirrorFolder::kWork)), m_settled(plan.items.size(), false),
      m_albumRetagHere(plan.items.size(), false)
{
    // Removed at the end of the run, and at the start of the next where a run was stopped.
    QDir().mkpath(m_work);
}

QString MirrorRun::summary() const
{
    return QStringLiteral("converted %1, encoded again %2, retagged %3, moved %4, trashed %5%6%7")
        .arg(m_done[Step::Convert])
        .arg(m_done[Step::EncodeAgain])
        .arg(m_done[Step::Retag])
        .arg(m_done[Step::Move])
        .arg(m_done[Step::Trash])
        .arg(m_done[Step::Delete] ? QStringLiteral(", deleted %1").arg(m_done[Step::Delete]) : QString())
        .arg(m_taken ? QStringLiteral(" (%1 made by other machines)").arg(m_taken) : QString());
}

void MirrorRun::fail(const QString &what)
{
    say(what);
    m_failed = true;
}

void MirrorRun::record(MirrorRecord record)
{
    const QString path = pathOf(record.mp3);
    if (const std::optional<FileStamp> stamp = fileStamp(path)) {
        // The bytes are read again only where the MP3 is not the one whose digest is carried.
        if (record.mp3Digest.isEmpty() || *stamp != FileStamp {record.mp3Size, record.mp3MtimeNs})
            record.mp3Digest = fileDigest(path);
        record.mp3Size = stamp->size;
        record.mp3MtimeNs = stamp->mtimeNs;
    }
    if (Outcome put = m_manifest.put(record); !put)
        fail(put.message);
}

void MirrorRun::made(const MirrorItem &item)
{
    record(item.record);
    m_done.count(item.steps.has(Step::EncodeAgain) ? Step::EncodeAgain : Step::Convert);
}

bool MirrorRun::adoptable(const MirrorItem &item, const QString &made)
{
    if (sameBytes(made, pathOf(item.record.mp3)))
        return true;
    fail(QStringLiteral("%1 is not the mirror's (not %2 %3): left as it is")
             .arg(pathOf(item.record.mp3), item.input.copy ? QStringLiteral("a copy of") : QStringLiteral("the MP3 of"),
                  item.input.path));
    return false;
}

std::vector<bool> MirrorRun::albumsEncodedHere() const
{
    std::vector<bool> here(m_plan.albumTracks.size(), false);
    for (std::size_t i = 0; i < m_plan.items.size(); ++i) {
        const MirrorItem &item = m_plan.items[i];
        if (item.place.album >= 0 && encodesHere(i) && !item.input.copy)
            here[std::size_t(item.place.album)] = true;
    }
    return here;
}

void MirrorRun::trash()
{
    // Qt makes the home trash folder but not the folder it goes in, which a fresh account may
    // not have yet; the freedesktop trash asks for it to be made as needed.
    if (!m_plan.gone.empty())
        QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    for (const MirrorGone &gone : m_plan.gone) {
        if (stopRequested())
            return;
        const QString mp3 = gone.record.mp3;
        if (gone.steps.has(Step::Delete)) {
            if (!QFile::remove(pathOf(mp3))) {
                fail(QStringLiteral("%1: cannot be deleted; it stays").arg(pathOf(mp3)));
                continue;
            }
        } else if (!gone.steps.has(Step::Trash)) {
            continue;
        } else if (!moveToTrash(pathOf(mp3))) {
            fail(QStringLiteral("%1: cannot be moved to the trash; it stays").arg(pathOf(mp3)));
            continue;
        }
        m_emptied.insert(QFileInfo(mp3).path());
        m_done.count(gone.steps.has(Step::Delete) ? Step::Delete : Step::Trash);
        if (Outcome removed = m_manifest.remove(mp3); !removed)
            fail(removed.message);
    }
}

void MirrorRun::move()
{
    for (std::size_t i = 0; i < m_plan.items.size(); ++i) {
        if (stopRequested())
            return;
        const MirrorItem &item = m_plan.items[i];
        if (!item.steps.has(Step::Move))
            continue;
        const QString from = pathOf(item.before->mp3);
        const QString to = pathOf(item.record.mp3);
        if (!renameMp3(from, to, m_work)) {
            fail(QStringLiteral("%1: cannot be moved to %2").arg(from, to));
            m_settled[i] = true;
            continue;
        }
        m_emptied.insert(QFileInfo(item.before->mp3).path());
        // The old record goes first: on a file system that tells no case, its path still names
        // the MP3, which its source gone would have trashed.
        if (Outcome removed = m_manifest.remove(item.before->mp3); !removed)
            fail(removed.message);
        // What it was made of until it is encoded again or retagged.
        MirrorRecord moved = *item.before;
        moved.root = item.record.root;
        moved.source = item.record.source;
        moved.track = item.record.track;
        moved.mp3 = item.record.mp3;
        record(moved);
        m_done.count(Step::Move);
    }
}

void MirrorRun::takeMadeElsewhere()
{
    for (std::size_t i = 0; i < m_plan.items.size(); ++i) {
        if (stopRequested())
            return;
        const MirrorItem &item = m_plan.items[i];
        if (item.elsewhere.isEmpty() || !encodesHere(i))
            continue;
        const QString to = pathOf(item.record.mp3);
        if (item.steps.has(Step::Adopt)) {
            if (!adoptable(item, item.elsewhere)) {
                m_settled[i] = true;
                continue;
            }
        } else if (!QDir().mkpath(QFileInfo(to).path())
                   || ::rename(QFile::encodeName(item.elsewhere).constData(), QFile::encodeName(to).constData()) != 0) {
            continue; // made here instead
        }
        made(item);
        ++m_taken;
        m_settled[i] = true;
        // Its album's figures, as measured where the whole album was converted.
        if (item.place.album >= 0 && m_plan.albumsMadeWhole[std::size_t(item.place.album)]
            && !m_albumGains.contains(item.place.album))
            m_albumGains.insert(item.place.album, readMp3Gains(to).album);
    }
    // An album some of whose tracks are still to be encoded here, or that the job saw otherwise
    // (a track came or went since), gets the figures measured here.
    const std::vector<bool> encodedHere = albumsEncodedHere();
    for (std::size_t i = 0; i < m_plan.items.size(); ++i) {
        const MirrorItem &item = m_plan.items[i];
        const int album = item.place.album;
        if (m_settled[i] && !item.elsewhere.isEmpty() && album >= 0
            && (encodedHere[std::size_t(album)] || !m_plan.albumsMadeWhole[std::size_t(album)])) {
            m_albumGains.remove(album);
            m_albumRetagHere[i] = true;
        }
    }
}

void MirrorRun::copy()
{
    for (std::size_t i = 0; i < m_plan.items.size(); ++i) {
        if (stopRequested())
            return;
        const MirrorItem &item = m_plan.items[i];
        if (!item.input.copy || !encodesHere(i))
            continue;
        if (item.steps.has(Step::Adopt)) {
            if (!adoptable(item, item.input.path))
                continue;
        } else if (Outcome copied = copyMp3(item.input.path, pathOf(item.record.mp3), m_work); !copied) {
            fail(QStringLiteral("%1: %2").arg(item.input.path, copied.message));
            continue;
        }
        made(item);
    }
}

std::optional<TrackGain> MirrorRun::measureAlbum(int album)
{
    std::vector<std::unique_ptr<LoudnessMeter>> meters;
    for (const MirrorItem &item : m_plan.items) {
        if (item.place.album != album)
            continue;
        for (std::unique_ptr<LoudnessMeter> &meter : measureLoudness(itemSettings(m_plan, item), stopRequested()))
            meters.push_back(std::move(meter));
    }
    std::vector<const LoudnessMeter *> all;
    for (const std::unique_ptr<LoudnessMeter> &meter : meters)
        all.push_back(meter.get());
    return all.empty() ? std::nullopt : LoudnessMeter::figures(all);
}

void MirrorRun::retag()
{
    for (std::size_t i = 0; i < m_plan.items.size(); ++i) {
        if (stopRequested())
            return;
        const MirrorItem &item = m_plan.items[i];
        const bool taken = m_albumRetagHere[i];
        if ((item.encodes() || m_settled[i]) && !taken)
            continue;
        std::optional<std::optional<TrackGain>> albumGain;
        if (item.steps.has(Step::AlbumRetag) || taken) {
            const int album = item.place.album;
            if (!m_albumGains.contains(album))
                m_albumGains.insert(album, measureAlbum(album));
            albumGain = m_albumGains.value(album);
        }
        if (item.steps.has(Step::Retag) || albumGain) {
            if (Outcome retagged = retagMp3(itemSettings(m_plan, item), pathOf(item.record.mp3), albumGain, m_work);
                !retagged) {
                fail(QStringLiteral("%1: %2").arg(pathOf(item.record.mp3), retagged.message));
                continue;
            }
            m_done.count(Step::Retag);
        } else if (!item.steps.has(Step::Refresh)) {
            continue;
        }
        record(item.record);
    }
}
