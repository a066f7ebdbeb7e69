#pragma once

#include "batchrequest.h"
#include "manifest.h"
#include "mirroritems.h"

#include "encoder/batch/batchinput.h"
#include "encoder/batch/unreadplace.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

// The sources as the batch walks them, with the MP3s among them (copied as they are), and the size
// and time of each file found in a folder.
// recorded: the mirror's records, asked for (and waited for) where a CD image is found.
// unread: where the places that could not be read go.
std::vector<BatchInput> mirrorSources(const BatchRequest &request,
                                      const std::function<const std::vector<MirrorRecord> &()> &recorded,
                                      std::vector<UnreadPlace> *unread = nullptr);

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

// Compares the sources with the records; records whose MP3 is gone are left out (the caller drops them). Reads
// what it must to tell: the tags of a source where it or what its tags are made of changed, the
// audio where its size or time changed; nothing of a source as it was.
MirrorPlan planMirror(const BatchRequest &request, std::vector<BatchInput> sources, std::vector<MirrorRecord> records,
                      MirrorSeen seen);
