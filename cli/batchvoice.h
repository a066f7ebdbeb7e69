#pragma once

#include "encoder/batchrun.h"

#include <QString>

// What a run of encodes says of each file ended, the same for the batch and the mirror: its
// warnings (a source cut short, an MP3 that clips), and on a full disk no new file started.
class BatchVoice
{
public:
    explicit BatchVoice(BatchRun &batch) : m_batch(batch) {}

    // Says the result's warnings, each a line naming its input; how many. Called under the
    // caller's lock, one result at a time.
    qsizetype warn(const BatchResult &result);
    // Where the result failed for a full disk, the run starts no new file: true the first time.
    bool stopOnFullDisk(const BatchResult &result);

private:
    BatchRun &m_batch;
    bool m_stopped = false;
};

// An album's MP3s wait in open temporary files until the album is whole: as many as the
// system lets a process have.
void allowOpenFiles();
