#include "cuecuts.h"

#include <algorithm>

namespace {

// The sheet's files laid end to end: where each starts.
class Timeline
{
public:
    explicit Timeline(const std::vector<CueFileAudio> &files) : m_files(files)
    {
        m_starts.push_back(0);
        for (const CueFileAudio &file : files)
            m_starts.push_back(m_starts.back() + file.frames);
    }

    qint64 end() const { return m_starts.back(); }

    // An index's frame; one past its file's end (a data track's) is its file's end.
    qint64 at(const CueIndex &index) const
    {
        const auto file = static_cast<std::size_t>(index.file);
        const qint64 within = m_files[file].rate > 0 ? cueSampleFrame(index.at, m_files[file].rate) : 0;
        return m_starts[file] + std::min(within, m_files[file].frames);
    }

    std::vector<CuePiece> pieces(qint64 begin, qint64 end) const
    {
        std::vector<CuePiece> made;
        for (std::size_t file = 0; file < m_files.size(); ++file) {
            const qint64 from = std::max(begin, m_starts[file]);
            const qint64 to = std::min(end, m_starts[file + 1]);
            if (from < to)
                made.push_back({int(file), from - m_starts[file], to - m_starts[file]});
        }
        return made;
    }

private:
    const std::vector<CueFileAudio> &m_files;
    std::vector<qint64> m_starts;
};

Outcome checkIndexes(const CueSheet &sheet, const std::vector<CueFileAudio> &files)
{
    for (const CueTrack &track : sheet.tracks) {
        if (!track.audio())
            continue;
        for (const CueIndex *index : {track.pregap ? &*track.pregap : nullptr, &track.start}) {
            if (!index)
                continue;
            const CueFileAudio &file = files[static_cast<std::size_t>(index->file)];
            // Below 75 Hz two sheet frames could fall on one sample frame, and a track be empty.
            if (file.rate < kCueFramesPerSecond)
                return Outcome::failure(QStringLiteral("line %1: the audio of %2 has no usable sample rate (%3 Hz)")
                                            .arg(sheet.files[static_cast<std::size_t>(index->file)].line)
                                            .arg(sheet.files[static_cast<std::size_t>(index->file)].name)
                                            .arg(file.rate));
            if (cueSampleFrame(index->at, file.rate) >= file.frames)
                return Outcome::failure(
                    QStringLiteral("line %1: INDEX %2 at %3 lies at or past the end of the audio (%4 s)")
                        .arg(index->line)
                        .arg(index == &track.start ? QStringLiteral("01") : QStringLiteral("00"),
                             cueTimeText(index->at))
                        .arg(double(file.frames) / file.rate, 0, 'f', 3));
        }
    }
    return Outcome::success();
}

} // namespace

qint64 cueSampleFrame(qint64 sheetFrames, int rate)
{
    return sheetFrames * rate / kCueFramesPerSecond;
}

Result<std::vector<CueCut>> cueCuts(const CueSheet &sheet, const std::vector<CueFileAudio> &files, Pregap pregap)
{
    if (files.size() != sheet.files.size())
        return Outcome::failure(QStringLiteral("The CUE sheet's files were not all read."));
    if (const Outcome checked = checkIndexes(sheet, files); !checked)
        return checked;
    std::vector<CueCut> cuts;
    if (sheet.tracks.empty())
        return cuts;
    const Timeline timeline(files);
    const auto add = [&](CueCut cut) {
        cut.pieces = timeline.pieces(cut.begin, cut.end);
        if (cut.begin < cut.end)
            cuts.push_back(std::move(cut));
    };
    if (sheet.tracks.front().audio())
        add({CueTrack {}, 0, timeline.at(sheet.tracks.front().start), {}});
    for (std::size_t i = 0; i < sheet.tracks.size(); ++i) {
        const CueTrack &track = sheet.tracks[i];
        if (!track.audio())
            continue;
        CueCut cut {track, timeline.at(track.start), timeline.end(), {}};
        if (pregap == Pregap::Next && i > 0 && track.pregap)
            cut.begin = timeline.at(*track.pregap);
        if (i + 1 < sheet.tracks.size()) {
            const CueTrack &next = sheet.tracks[i + 1];
            // A data track's gap is no audio of the track before it.
            const bool gapAfter = (pregap != Pregap::Previous || !next.audio()) && next.pregap;
            cut.end = timeline.at(gapAfter ? *next.pregap : next.start);
        }
        add(std::move(cut));
    }
    return cuts;
}

Result<std::vector<CueCut>> cueCuts(const CueSheet &sheet, qint64 frames, int rate, Pregap pregap)
{
    return cueCuts(sheet, std::vector<CueFileAudio>(sheet.files.size(), {frames, rate}), pregap);
}
