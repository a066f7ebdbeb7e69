#pragma once

#include "batchrequest.h"
#include "manifest.h"
#include "mirrorplan.h"
#include "mirrorfiles.h"
#include "mirrorsteps.h"

#include "encoder/core/trackgain.h"

#include <QDir>
#include <QHash>
#include <QSet>
#include <QString>

#include <optional>
#include <vector>

// Carries a mirror's plan out, step by step, and counts what it did; the plan is not changed.
// An item whose step failed (named on standard error) has none of its later steps done.
class MirrorRun
{
public:
    MirrorRun(const BatchRequest &request, Manifest &manifest, const MirrorPlan &plan);

    void trash();
    void move();
    // The MP3s the mirror jobs of other machines made (markMadeElsewhere), moved into place.
    void takeMadeElsewhere();
    void encode();
    void copy();
    void retag();
    // Folders an MP3 left, and those above them up to the mirror's folder, where empty.
    void removeEmptiedFolders() const { removeEmptyFolders(m_mirror, m_emptied); }
    bool failed() const { return m_failed; }
    // What was done, for the run's last line.
    QString summary() const;

private:
    QString pathOf(const QString &mp3) const { return m_mirror.filePath(mp3); }
    // The record of an MP3 now in place, with its size and time.
    void record(MirrorRecord record);
    // The item's MP3 in place, converted or encoded again: recorded and counted.
    void made(const MirrorItem &item);
    // An MP3 there without its record is the mirror's only where it is the one made now (made).
    bool adoptable(const MirrorItem &item, const QString &made);
    // Whether the item is still to be encoded or copied here.
    bool encodesHere(std::size_t item) const { return m_plan.items[item].encodes() && !m_settled[item]; }
    // Whether each album has a track still to be encoded here, by album index.
    std::vector<bool> albumsEncodedHere() const;
    void fail(const QString &what);
    std::optional<TrackGain> measureAlbum(int album);

    const BatchRequest &m_request;
    Manifest &m_manifest;
    const MirrorPlan &m_plan;
    const QDir m_mirror;
    // Where the MP3s are written before they are put in place: no album folder holds a
    // temporary file, on any file system.
    const QString m_work;
    bool m_failed = false;
    StepCounts m_done;
    int m_taken = 0; // of those converted or encoded again
    // By item: nothing more is done (a step failed, or its MP3 was taken from another machine).
    std::vector<bool> m_settled;
    // By item: taken from another machine into an album whose figures are made here.
    std::vector<bool> m_albumRetagHere;
    QSet<QString> m_emptied; // folders an MP3 left
    QHash<int, std::optional<TrackGain>> m_albumGains; // of the albums changed, by index
};
