#pragma once

#include "albums.h"
#include "manifest.h"
#include "mirrorsteps.h"

#include "encoder/batch/batchinput.h"
#include "encoder/batch/unreadplace.h"
#include "encoder/core/encodersettings.h"

#include <QString>
#include <QStringList>

#include <vector>

// A mirror's plan: what becomes of each source's MP3 and of each record no source claimed.

// One source of the mirror and what becomes of its MP3.
struct MirrorItem
{
    BatchInput input; // copy: an MP3, copied as it is
    AlbumPlan::Place place;
    MirrorRecord record; // as it will be written once its MP3 is in place
    // What it was before: a record of this source, or of a source gone whose audio this is (one
    // of the plan's records).
    const MirrorRecord *before = nullptr;
    Steps steps; // with Move, before's MP3 goes to record.mp3 first
    // The MP3 another machine made of it (a mirror job of a folder listed), to be taken rather
    // than made here: its record there tells the same audio, settings and tags.
    QString elsewhere;

    bool encodes() const { return steps.encodes(); }
};

// A record no source claimed, and what becomes of its MP3.
struct MirrorGone
{
    MirrorRecord record;
    Steps steps; // Trash, or Stay
    QString unreadPlace; // with Stay: the place below which nothing could be read, if any
};

// What a mirror run does: the sources in the order the batch lists them, and the MP3s whose sources
// are gone. Moved, never copied: its items point into its records.
struct MirrorPlan
{
    MirrorPlan() = default;
    MirrorPlan(MirrorPlan &&) = default;
    MirrorPlan &operator=(MirrorPlan &&) = default;

    std::vector<MirrorRecord> records; // as they were before the run
    EncoderSettings settings; // the run's
    bool withAlbums = false; // album figures
    std::vector<MirrorItem> items;
    std::vector<MirrorGone> gone;
    QStringList emptyRoots; // roots with no input: nothing may be trashed
    QStringList skipped; // sources whose MP3 an earlier source takes
    QStringList refused; // CD images whose sheet cannot be used, and why
    QStringList lossy; // lossy sources other than MP3s, and why they are not converted
    QStringList unlisted; // sources there that could not be read: their MP3s stay
    std::vector<UnreadPlace> unread; // the places the walk could not read, and why
    QStringList remade; // recorded MP3s changed on the mirror, to be made again, and why
    qsizetype recorded = 0; // MP3s of the mirror before the run
    std::vector<int> albumTracks; // each album's tracks, by album index
    // Whether the album's tracks are all and only those of one other machine's job, which then
    // measured its figures over it (markMadeElsewhere); by album index.
    std::vector<bool> albumsMadeWhole;
};

// What an MP3 copied as it is records for its settings, tags and stamp.
const QByteArray &copiedAsItIs();

// The run's settings for an item's source.
EncoderSettings itemSettings(const MirrorPlan &plan, const MirrorItem &item);

// Each album's inputs, by album index, for a gain applied to the whole album's samples.
std::vector<std::vector<BatchInput>> albumInputsOf(const MirrorPlan &plan);
