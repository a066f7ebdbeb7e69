#pragma once

#include "batchrequest.h"
#include "mirrorplan.h"

#include <QString>

// What a run adds to the mirror's disk against the room there, estimated before anything is
// written: each MP3 to make by its source's length and the bit rate (its old MP3 replaced
// frees its size), each MP3 deleted frees its size, one moved to a trash on another disk too;
// a trash on the mirror's own disk frees nothing.
struct MirrorRoom
{
    qint64 needed = 0; // bytes, the freed ones taken off
    qint64 free = -1; // bytes free to this user; -1: not known
    bool fits() const { return free < 0 || needed <= free; }
};
MirrorRoom roomFor(const BatchRequest &request, const MirrorPlan &plan, const QString &mirror);

// "12.5 MB"
QString roomText(qint64 bytes);
