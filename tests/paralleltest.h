#pragma once

// Shared by the tests of one file on several encoder instances: a run on a given number of
// workers with short chunks, and an MP3's MPEG frames as the frame parser reads them.
#include "encoder/encoderun.h"
#include "encoder/mp3/frames.h"
#include "mp3check.h"

#include <QByteArray>

#include <atomic>
#include <vector>

inline const unsigned char *bytesOf(const QByteArray &data)
{
    return reinterpret_cast<const unsigned char *>(data.constData());
}

inline quint32 big32(const unsigned char *at)
{
    return (quint32(at[0]) << 24) | (quint32(at[1]) << 16) | (quint32(at[2]) << 8) | at[3];
}

// The MPEG frames of an MP3 file: from its first frame to the ID3v1 tag or the end.
struct Stream
{
    QByteArray audio;
    std::vector<FrameEntry> frames;
    bool whole = false; // the frames cover every byte
};

inline Stream streamOf(const Mp3Info &info, const QByteArray &file)
{
    Stream stream;
    const qint64 end = file.size() - (info.hasId3v1 ? 128 : 0);
    stream.audio = file.mid(info.firstFrameAt, end - info.firstFrameAt);
    std::size_t scanned = 0;
    stream.frames = scanFrames(bytesOf(stream.audio), static_cast<std::size_t>(stream.audio.size()), &scanned);
    stream.whole = scanned == static_cast<std::size_t>(stream.audio.size());
    return stream;
}

// workers 1: one instance, as for an input shorter than a chunk; more: chunks of chunkFrames
// MPEG frames (200: about 5 s), several seams in a short input.
inline Outcome encodeOn(const EncoderSettings &settings, int workers, RunReport *report, int chunkFrames,
                        const ProgressReport &progress = [](int, qint64) {}, const std::atomic_bool *abort = nullptr)
{
    static const std::atomic_bool never = false;
    ParallelPlan plan;
    plan.workers = workers;
    plan.chunkFrames = chunkFrames;
    plan.minSeconds = workers > 1 ? 0 : 1e9;
    return runEncode(settings, plan, abort ? *abort : never, progress, report);
}

inline Outcome encodeOn(const EncoderSettings &settings, int workers, RunReport *report = nullptr)
{
    return encodeOn(settings, workers, report, 200);
}
