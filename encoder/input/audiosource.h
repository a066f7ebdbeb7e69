#pragma once

#include "downmix.h"
#include "encoder/core/framerange.h"
#include "encoder/core/outcome.h"

#include <QString>
#include <QtGlobal>

#include <sndfile.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

class PatchedFile;

// What the encoder is fed.
struct InputInfo
{
    int channels = 0;       // 1 or 2: more are down-mixed to stereo
    int sourceChannels = 0; // as stored
    int sampleRate = 0;
    qint64 frames = 0;      // as the header claims, a 'fact' count ending padded blocks; a range's length
    bool fitsShort = false; // 16-bit reading loses nothing
    qint64 missingFrames = 0; // announced by the header, but past the end of the file; 0 in a range
};

// A WAVE, FLAC or AIFF file (or headerless PCM) read block by block through libsndfile.
class AudioSource
{
public:
    AudioSource();
    AudioSource(const AudioSource &) = delete;
    AudioSource &operator=(const AudioSource &) = delete;
    ~AudioSource();

    // Raw input is 16-bit signed stereo at 44,100 Hz, little-endian unless bigEndian; a
    // trailing partial frame is dropped. Otherwise only a file of a SourceFormat
    // (sourceformat.h) is opened, at 1 kHz to 10 MHz. Opened with a range, the source is those
    // frames alone: info() and the reads are the range's, the frames of its other files (then)
    // following its own, which are to be of the same rate and channels. A range that does not
    // end within the audio the file holds is refused. A range of raw CD audio opens it raw.
    Outcome open(const QString &path, bool raw, bool bigEndian, const FrameRange &range = {});
    const InputInfo &info() const { return m_info; }

    // Fill out with up to maxFrames interleaved frames of info().channels. Returns the frames
    // read, 0 at the end, or -1 on a read error (see readError()). The short form only when
    // info().fitsShort. Float samples come clipped to -1..1, NaN as 0.
    qint64 read(short *out, qint64 maxFrames);
    qint64 read(float *out, qint64 maxFrames);
    QString readError() const;

    // Goes to frame (of the source: a range's own count), forward or back, where the format
    // seeks to the very sample (PCM and FLAC) and the frame is there; false otherwise, where the
    // frames up to it are to be read instead.
    bool seek(qint64 frame);

private:
    struct FileCloser
    {
        void operator()(SNDFILE *file) const { sf_close(file); }
    };

    qint64 checked(sf_count_t frames, qint64 wanted);
    qint64 withinFact(qint64 frames) const { return m_left >= 0 ? std::min(frames, m_left) : frames; }
    void readAhead();
    // The frames from here to the end, read and dropped; then back at the start. Nothing after
    // a read error.
    std::optional<qint64> countFrames(int channels);
    // The source made the range, positioned at its start.
    Outcome narrow(const FrameRange &range);
    // The range's files after the first, read on after its own frames (audiosourcepieces.cpp).
    Outcome openThen(const std::vector<FramePiece> &pieces);
    qint64 readOwn(short *out, qint64 maxFrames);
    qint64 readOwn(float *out, qint64 maxFrames);
    bool seekOwn(qint64 frame);
    bool seeksAll() const { return m_seeksExactly && (!m_then || m_then->seeksAll()); }

    QString m_path;
    int m_fd = -1; // closed after m_file
    std::unique_ptr<PatchedFile> m_patched; // what m_file reads, if the header needed mending
    std::unique_ptr<SNDFILE, FileCloser> m_file;
    qint64 m_left = -1; // frames up to the 'fact' count; -1: to the end
    qint64 m_first = 0; // of the range, in the file
    bool m_seeksExactly = false;
    qint64 m_readAheadTo = 0; // the file's bytes up to here have been asked for
    InputInfo m_info;
    Downmix m_downmix;
    std::vector<float> m_wide; // one block of all source channels, for the down-mix
    qint64 m_ownFrames = 0; // of this file, before m_then's
    std::unique_ptr<AudioSource> m_then;
    bool m_thenFailed = false;
};
