// The CUE sheet parser, the tracks' cuts and their tags on any bytes. Besides the sanitizers: a
// refused sheet says why, a taken one holds what CueSheet promises, and its cuts of an image that
// holds every index lie in order inside it, none empty; an image that ends at the last index
// is refused naming a line.
#include "encoder/input/cuecuts.h"
#include "encoder/input/cuesheet.h"
#include "encoder/tags/cuetags.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void fault(const char *what)
{
    std::fprintf(stderr, "fuzz_cuesheet: %s\n", what);
    std::abort();
}

bool before(const CueIndex &a, const CueIndex &b)
{
    return a.file < b.file || (a.file == b.file && a.at < b.at);
}

void checkSheet(const CueSheet &sheet)
{
    if (sheet.files.empty() || sheet.tracks.empty())
        fault("a sheet without a file or a track");
    if (std::ranges::none_of(sheet.tracks, &CueTrack::audio))
        fault("a sheet without an AUDIO track");
    for (const CueFile &file : sheet.files)
        if (file.name.isEmpty())
            fault("a FILE without a name");
    const CueTrack *previous = nullptr;
    for (const CueTrack &track : sheet.tracks) {
        if (track.number < 1 || track.number > 99 || track.line < 1 || track.start.line <= track.line)
            fault("a track's number or lines out of range");
        if (track.start.file < 0 || std::size_t(track.start.file) >= sheet.files.size())
            fault("an index of no file");
        if (track.pregap && (before(track.start, *track.pregap) || track.pregap->line <= track.line))
            fault("INDEX 00 after INDEX 01");
        if (previous) {
            const CueIndex &first = track.pregap ? *track.pregap : track.start;
            if (track.number <= previous->number || !before(previous->start, first))
                fault("tracks out of order");
        }
        previous = &track;
    }
}

void checkCuts(const CueSheet &sheet, std::size_t size)
{
    qint64 last = 0;
    std::size_t audio = 0;
    for (const CueTrack &track : sheet.tracks) {
        if (track.audio()) {
            last = std::max({last, track.start.at, track.pregap ? track.pregap->at : 0});
            ++audio;
        }
    }
    const bool data = audio < sheet.tracks.size();
    for (const int rate : {kCueFramesPerSecond, 44100, 48000, 32000}) {
        const qint64 frames = cueSampleFrame(last, rate) + 1 + static_cast<qint64>(size % 1000);
        const qint64 total = frames * qint64(sheet.files.size());
        for (const Pregap pregap : {Pregap::Previous, Pregap::Next, Pregap::Drop}) {
            const Result<std::vector<CueCut>> cuts = cueCuts(sheet, frames, rate, pregap);
            if (!cuts)
                fault("an image holding every index refused");
            qint64 end = 0;
            for (const CueCut &cut : *cuts) {
                if (cut.begin < end || cut.begin >= cut.end || cut.end > total)
                    fault("a cut empty, out of order or past the end");
                if (pregap == Pregap::Previous && !data && cut.begin != end)
                    fault("a gap between cuts with the pregaps appended");
                qint64 held = 0;
                for (const CuePiece &piece : cut.pieces) {
                    if (piece.begin < 0 || piece.begin >= piece.end || piece.end > frames)
                        fault("a piece empty or out of its file");
                    held += piece.end - piece.begin;
                }
                if (held != cut.end - cut.begin)
                    fault("a cut's pieces not its length");
                end = cut.end;
            }
            if ((!data && end != total) || cuts->size() < audio)
                fault("the last cut short of the end, or a track without a cut");
            const Result<std::vector<CueCut>> cut = cueCuts(sheet, cueSampleFrame(last, rate), rate, pregap);
            if (cut || !cut.failure().message.startsWith(QLatin1String("line ")))
                fault("an index at the end taken, or refused naming no line");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const Result<CueSheet> sheet
        = parseCueSheet(QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));
    if (!sheet) {
        if (sheet.failure().message.isEmpty())
            fault("a refusal without a reason");
        return 0;
    }
    checkSheet(*sheet);
    checkCuts(*sheet, size);
    for (const CueTrack &track : sheet->tracks) {
        if (!cueTrackTags(*sheet, track).text(TagKey::Track).startsWith(QString::number(track.number) + u'/'))
            fault("a track's number tag");
    }
    return 0;
}
