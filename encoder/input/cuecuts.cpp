#include "cuecuts.h"

qint64 cueSampleFrame(qint64 sheetFrames, int rate)
{
    return sheetFrames * rate / kCueFramesPerSecond;
}

Result<std::vector<CueCut>> cueCuts(const CueSheet &sheet, qint64 frames, int rate, Pregap pregap)
{
    // Below 75 Hz two sheet frames could fall on one sample frame, and a track be empty.
    if (rate < kCueFramesPerSecond)
        return Outcome::failure(QStringLiteral("The CUE sheet's audio has no usable sample rate (%1 Hz).").arg(rate));
    for (const CueTrack &track : sheet.tracks) {
        for (const CueIndex *index : {track.pregap ? &*track.pregap : nullptr, &track.start}) {
            if (index && cueSampleFrame(index->at, rate) >= frames)
                return Outcome::failure(
                    QStringLiteral("line %1: INDEX %2 at %3 lies at or past the end of the audio (%4 s)")
                        .arg(index->line)
                        .arg(index == &track.start ? QStringLiteral("01") : QStringLiteral("00"),
                             cueTimeText(index->at))
                        .arg(double(frames) / rate, 0, 'f', 3));
        }
    }

    std::vector<CueCut> cuts;
    if (sheet.tracks.empty())
        return cuts;
    if (const qint64 first = cueSampleFrame(sheet.tracks.front().start.at, rate); first > 0)
        cuts.push_back({CueTrack {}, 0, first});
    for (std::size_t i = 0; i < sheet.tracks.size(); ++i) {
        const CueTrack &track = sheet.tracks[i];
        CueCut cut {track, cueSampleFrame(track.start.at, rate), frames};
        if (pregap == Pregap::Next && i > 0 && track.pregap)
            cut.begin = cueSampleFrame(track.pregap->at, rate);
        if (i + 1 < sheet.tracks.size()) {
            const CueTrack &next = sheet.tracks[i + 1];
            const bool gapAfter = pregap != Pregap::Previous && next.pregap;
            cut.end = cueSampleFrame(gapAfter ? next.pregap->at : next.start.at, rate);
        }
        cuts.push_back(std::move(cut));
    }
    return cuts;
}
