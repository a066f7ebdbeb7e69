#pragma once

#include "encoder/batch/batchfile.h"
#include "encoder/batch/batchinput.h"
#include "encoder/core/encodersettings.h"
#include "encoder/core/outcome.h"
#include "encoder/core/trackgain.h"
#include "encoder/input/loudnessmeter.h"
#include "encoder/output/mp3output.h"
#include "encoder/parallel/chunkplan.h"
#include "encoder/tags/id3render.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// What became of it: seconds is the input's audio length where it could be read; warnings, what
// was left out of the MP3 (a damaged tag chunk); trackGain, the loudness figures it was given.
struct BatchResult
{
    BatchFile file;
    Outcome outcome = Outcome::success();
    double seconds = 0;
    QStringList warnings;
    std::optional<TrackGain> trackGain;
    std::optional<TrackGain> albumGain; // of the album it belongs to, where measured
};

// Converts many files on jobs threads, one a thread while files remain; the last files' chunks
// are shared by the threads that ran dry, and a thread of its own puts the finished MP3s in
// place. Each MP3 is the same whatever jobs is (the design and its measurements: docs/batch.md).
class BatchRun
{
public:
    // Gives the next file, or nothing at the end; called on one thread at a time.
    using Next = std::function<std::optional<BatchFile>()>;
    // Told each file's end; called on one thread at a time.
    using Done = std::function<void(const BatchResult &)>;

    // jobs 0: one per core.
    BatchRun(const EncoderSettings &settings, int jobs, const std::atomic_bool &abort);

    // Returns once every file has ended, or abort was set and the runs going have stopped.
    void run(const Next &next, const Done &done);
    // After this no file is started; those running end as they would.
    void stopStarting() { m_stopStarting = true; }
    // Audio read so far, in seconds, of the files finished and running; from any thread.
    double secondsDone() const;
    int jobs() const { return m_jobs; }
    // Before run(): each MP3 is written in temporaryFolder (on the outputs' file system) and put
    // in place, its folder made then, in the order next() gave the files; one that ends first
    // waits for those before it. A FAT stick's folders then list their MP3s in that order, the
    // one many car stereos play. After an interrupt, the MP3s behind one not made are dropped.
    void putInOrder(const QString &temporaryFolder) { m_temporaryFolder = temporaryFolder; }

    // The albums of the batch by the number of tracks each has in the list, before run(). The
    // MP3s of an album wait, written whole, until every track of it has ended; then the album's
    // loudness figures go into their tags and they are put in place together. A track whose MP3
    // is already there is measured again; after an interrupt, or where a track of it found the
    // disk full, an album's waiting MP3s are dropped, so an album's MP3s are there all together
    // or not at all.
    // With each album's inputs, by index: where the settings apply the album's gain to the
    // samples, it is measured over them all before the album's first track.
    void setAlbums(std::vector<int> trackCounts, std::vector<std::vector<BatchInput>> inputs = {});
    // A track of an album that is not converted: its MP3 already there (input is measured for
    // the album's figures, the range of it a CD image's track is), or left out, with an empty
    // input (an input refused, or whose MP3 an earlier input took).
    void albumTrackPresent(int album, int track, const QString &input, const FrameRange &range = {});
    // The audio length of an input in seconds with these settings; 0 where it cannot be read.
    double audioSeconds(const QString &input, const FrameRange &range = {}) const;

private:
    // An MP3 written whole, waiting to be put in place.
    struct Finished
    {
        int order = -1; // of the files next() gave
        BatchResult result;
        std::unique_ptr<Mp3Output> output;
        Mp3Tags tags;
        std::vector<std::unique_ptr<LoudnessMeter>> meters;
        bool placeholder = false; // holds a file's place in the order only: already told
    };

    struct AlbumTrack
    {
        std::vector<std::unique_ptr<LoudnessMeter>> meters;
        std::optional<Finished> waiting;
        int album = -1; // its index
        QString present; // the input of a track whose MP3 is already there
        FrameRange presentRange;
    };
    struct Album
    {
        std::vector<AlbumTrack> tracks;
        int toEnd = 0; // tracks not yet ended or reported
        bool done = false;
        bool noRoom = false; // a track failed for a full disk: none of its MP3s is put in place
    };

    void work(int slot, const Next &next, const Done &done);
    // Keeps an album track's MP3 until the album is whole; false for a file of no album.
    bool holdForAlbum(Finished &finished);
    std::optional<std::vector<AlbumTrack>> trackEnded(int album);
    void finishWholeAlbums();
    // The gain applied to the album's samples, measured by the first of its tracks to ask.
    double albumAppliedDb(int album);
    // Writes the album's figures into its waiting MP3s and hands them to the committer.
    void finishAlbum(std::vector<AlbumTrack> &tracks);
    void enqueue(Finished finished);
    // A file that ended without an MP3 to put in place, for the order's sake.
    void settle(int order, const Outcome &outcome);
    // The next MP3 to put in place, waited for; none once every file has ended.
    std::optional<Finished> nextToCommit();
    // Once no file is left: the MP3s of albums not whole (an interrupt) are dropped.
    void dropUnfinishedAlbums(const Done &done);
    Finished convert(int slot, const BatchFile &file);
    void commitAll(const Done &done);
    // Makes the folder an MP3 goes into, noting the folders made, so that those a failed or
    // stopped file leaves empty are taken away at the end.
    Outcome makeFolder(const QString &folder);
    void removeEmptyFolders();

    const EncoderSettings m_settings;
    const int m_jobs;
    const std::atomic_bool &m_abort;
    std::atomic_bool m_stopStarting = false;
    CoreShare m_cores;
    std::mutex m_mutex; // next() and done() one at a time
    std::vector<std::atomic<double>> m_running; // seconds read of each thread's file
    std::atomic<double> m_finished = 0;

    std::mutex m_commitMutex; // guards the two below
    std::condition_variable m_commitChanged;
    std::deque<Finished> m_toCommit; // at most m_jobs, so a slow disk holds back the encoding
    bool m_encodingDone = false;
    QString m_temporaryFolder; // where not empty: the MP3s are put in place in order
    int m_given = 0; // files next() gave, under m_mutex
    std::map<int, Finished> m_held; // by order: ended, waiting for those before
    int m_nextInOrder = 0;
    bool m_orderBroken = false; // a file was stopped: those after it are dropped

    std::mutex m_folderMutex;
    std::vector<QString> m_madeFolders;

    std::mutex m_albumMutex; // guards m_albums
    std::vector<Album> m_albums;
    std::vector<std::vector<AlbumTrack>> m_wholeAlbums; // made whole by a track already there

    std::vector<std::vector<BatchInput>> m_albumInputs;
    std::mutex m_gainMutex; // guards m_albumGains
    std::map<int, std::shared_future<double>> m_albumGains;
};
