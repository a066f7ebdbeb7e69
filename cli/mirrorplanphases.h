#pragma once

#include "batchrequest.h"
#include "mirrordecisions.h"
#include "mirroritems.h"

#include "encoder/batch/batchinput.h"
#include "encoder/batch/unreadplace.h"
#include "encoder/mirrorkeys.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <future>
#include <utility>
#include <vector>

// The plan's phases around the sources' own.

// What the sources' tags are made of beside them, each folder's cover files read once, on
// another thread while the records are indexed: tags is not to be used until it is done.
std::future<void> readFoldersAhead(TagInputs &tags, const BatchRequest &request, const std::vector<BatchInput> &inputs);

// Then, once every source with a record of its own has its steps:

// The sources without a record of their own (fresh: by item, what they are now), in their order:
// a source whose audio is that of a record no source claimed (used: by record) is its MP3 moved;
// one whose MP3 is already there is checked against it. byMp3: the records by MP3.
void planNew(MirrorPlan &plan, std::vector<std::pair<std::size_t, SourceNow>> &fresh, std::vector<bool> &used,
             const QHash<QString, qsizetype> &byMp3, const QString &mirror);

// The records no source claimed (used: by record, in plan.records): gone, still there though not
// listed, kept below a place that could not be read (added to unread where it is an empty mount
// point), or a CD image's track whose sheet was refused (refusedImages: their folders, with a
// slash). request: absolute.
void planGone(MirrorPlan &plan, const BatchRequest &request, const std::vector<bool> &used,
              const QStringList &refusedImages, std::vector<UnreadPlace> &unread);

// An album whose audio changed gets its figures again: each of its tracks not encoded is retagged,
// or encoded again where the album's gain is applied to its samples.
void planAlbums(MirrorPlan &plan, const BatchRequest &request);
