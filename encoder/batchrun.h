#pragma once

#include "encoder/batch/batchfile.h"
#include "encoder/core/encodersettings.h"
#include "encoder/core/outcome.h"
#include "encoder/core/trackgain.h"
#include "encoder/output/mp3output.h"
#include "encoder/parallel/chunkplan.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
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
    // The audio length of an input in seconds with these settings; 0 where it cannot be read.
    double audioSeconds(const QString &input) const;

private:
    // An MP3 written whole, waiting to be put in place.
    struct Finished
    {
        BatchResult result;
        std::unique_ptr<Mp3Output> output;
    };

    void work(int slot, const Next &next, const Done &done);
    BatchResult convert(int slot, const BatchFile &file, std::unique_ptr<Mp3Output> &output);
    void commitAll(const Done &done);
    // Makes the folder an MP3 goes into, noting the folders made, so that those a failed or
    // stopped file leaves empty are taken away at the end.
    bool makeFolder(const QString &folder);
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

    std::mutex m_folderMutex;
    std::vector<QString> m_madeFolders;
};
