#pragma once

#include "batchfile.h"

#include <deque>
#include <functional>
#include <optional>

// Decides which files of a batch are cut into chunks that idle cores share. While enough audio
// follows a file to keep the other cores busy, one instance encodes it whole, which saves the
// extra frames every seam costs; the files near the end of the list are split, so no core
// idles there; the audio left from a split file to the end of the list sets its chunks' length,
// so the last files come in pieces short enough that the cores end together. Decided from the
// list alone, never from the cores or the timing, so each MP3 is the same whatever --jobs is.
class SplitPlanner
{
public:
    // The next file to convert, or nothing at the end; its audio length in seconds (0 where it
    // cannot be read).
    using Pull = std::function<std::optional<BatchFile>()>;
    using Length = std::function<double(const BatchFile &)>;

    SplitPlanner(Pull pull, Length length) : m_pull(std::move(pull)), m_length(std::move(length)) {}

    // The next file with BatchFile::split set. Reads ahead only as far as the decision needs.
    std::optional<BatchFile> next();

    // A file is split where the audio after it is less than this many times its own: enough for
    // up to five cores to stay busy while one instance encodes a file whole.
    static constexpr double kTailFactor = 4;
    // A split file's chunks hold this share of the audio left from it to the end of the list.
    static constexpr double kTailShare = 0.25;

private:
    struct Ahead
    {
        BatchFile file;
        double seconds;
    };
    bool pullOne();

    Pull m_pull;
    Length m_length;
    std::deque<Ahead> m_ahead;
    double m_aheadSeconds = 0; // of m_ahead
    bool m_end = false;
};
