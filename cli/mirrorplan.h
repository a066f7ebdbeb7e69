#pragma once

#include "albums.h"
#include "batchrequest.h"
#include "manifest.h"
#include "mirrorsteps.h"

#include "encoder/batch/batchinput.h"
#include "encoder/batch/unreadplace.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

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

// The run's settings for an item's source.
EncoderSettings itemSettings(const MirrorPlan &plan, const MirrorItem &item);

// The sources as the batch walks them, with the MP3s among them (copied as they are), and the size
// and time of each file found in a folder.
// recorded: the mirror's records, asked for (and waited for) where a CD image is found.
// unread: where the places that could not be read go.
std::vector<BatchInput> mirrorSources(const BatchRequest &request,
                                      const std::function<const std::vector<MirrorRecord> &()> &recorded,
                                      std::vector<UnreadPlace> *unread = nullptr);

// Compares the sources with the records; records whose MP3 is gone are left out (the caller drops them). Reads
// what it must to tell: the tags of a source where it or what its tags are made of changed, the
// audio where its size or time changed; nothing of a source as it was.
// What the plan is told beside the sources and the records.
struct MirrorSeen
{
    QHash<QString, FileStamp> files; // the records' MP3s there on the mirror
    qint64 granularityNs = 1; // of the mirror's file system's times
    // The sources' clock now, and how recent a change is too recent for a time to prove it.
    qint64 sourcesNowNs = 0;
    qint64 racyNs = 2'000'000'000;
    std::vector<UnreadPlace> unread; // the places the walk could not read
};

// The sources' clock: the time of a file made and removed at once in the first root that can be
// written, with a window of 2 s; where none can, this machine's with a window of 60 s (told in
// why).
void readSourcesClock(const BatchRequest &request, MirrorSeen &seen, QString *why);

MirrorPlan planMirror(const BatchRequest &request, std::vector<BatchInput> sources, std::vector<MirrorRecord> records,
                      MirrorSeen seen);

// Each album's inputs, by album index, for a gain applied to the whole album's samples.
std::vector<std::vector<BatchInput>> albumInputsOf(const MirrorPlan &plan);
