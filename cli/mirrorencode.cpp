// MirrorRun's encodes: the batch over the sources to convert or encode again, their MP3s made
// in the mirror's working folder and put in place by name.
#include "mirrorapply.h"

#include "batchprogress.h"
#include "batchvoice.h"
#include "mirrorfiles.h"
#include "mirrorfolder.h"
#include "stopsignals.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <numeric>

void MirrorRun::encode()
{
    // An MP3 there without its record is adopted only if it is the one made now.
    const auto outputOf = [this](const MirrorItem &item) {
        return pathOf(item.steps.has(Step::Adopt) ? MirrorFolder::kCheckFolder + QLatin1Char('/') + item.record.mp3
                                                  : item.record.mp3);
    };
    QHash<QString, std::size_t> byOutput;
    for (std::size_t i = 0; i < m_plan.items.size(); ++i) {
        if (encodesHere(i) && !m_plan.items[i].input.copy)
            byOutput.insert(outputOf(m_plan.items[i]), i);
    }
    if (byOutput.isEmpty())
        return;
    BatchRun batch(m_request.settings, m_request.jobs, stopRequested());
    batch.setAlbums(m_plan.albumTracks, albumInputsOf(m_plan));
    batch.putInOrder(m_work);
    // By name, in which the MP3s are put in place: a fresh copy's folders list them so.
    std::vector<std::size_t> byName(m_plan.items.size());
    std::iota(byName.begin(), byName.end(), std::size_t(0));
    std::stable_sort(byName.begin(), byName.end(), [this](std::size_t a, std::size_t b) {
        return nameOrderLess(m_plan.items[a].record.mp3, m_plan.items[b].record.mp3);
    });
    const std::vector<bool> albumEncodes = albumsEncodedHere();
    std::size_t next = 0;
    // The batch's voice: its warnings, a full disk, its progress line over what is encoded here.
    BatchVoice voice(batch);
    BatchRequest encoded = m_request;
    encoded.inputs.clear();
    for (const std::size_t item : std::as_const(byOutput))
        encoded.inputs << m_plan.items[item].input.path;
    encoded.inputs.removeDuplicates();
    std::atomic<int> ended = 0;
    QElapsedTimer elapsed;
    elapsed.start();
    BatchProgress progress(encoded, batch, elapsed, [&ended] { return ended.load(); });
    batch.run(
        [&]() -> std::optional<BatchFile> {
            while (next < byName.size()) {
                const std::size_t i = byName[next++];
                const MirrorItem &item = m_plan.items[i];
                const int album = item.place.album;
                if (item.input.copy)
                    continue;
                if (encodesHere(i)) {
                    return BatchFile {.input = item.input.path,
                                      .output = outputOf(item),
                                      .album = album,
                                      .albumTrack = item.place.track,
                                      .sheet = item.input.sheet,
                                      .track = item.input.track,
                                      .range = item.input.range};
                }
                if (album >= 0)
                    batch.albumTrackPresent(album, item.place.track,
                                            albumEncodes[std::size_t(album)] ? item.input.path : QString(),
                                            item.input.range);
            }
            return std::nullopt;
        },
        [&](const BatchResult &result) {
            const auto found = byOutput.constFind(result.file.output);
            if (found == byOutput.constEnd() || result.outcome.kind == Outcome::Kind::Stopped)
                return;
            ++ended;
            const MirrorItem &item = m_plan.items[*found];
            voice.warn(result);
            if (!result.outcome) {
                fail(QStringLiteral("%1: %2").arg(result.file.input, result.outcome.message));
                if (voice.stopOnFullDisk(result))
                    fail(QStringLiteral("no new MP3 is started: ") + result.outcome.message);
                return;
            }
            if (item.place.album >= 0)
                m_albumGains.insert(item.place.album, result.albumGain);
            if (item.steps.has(Step::Adopt)) {
                const bool same = adoptable(item, result.file.output);
                QFile::remove(result.file.output);
                if (!same)
                    return;
            }
            made(item);
        });
    progress.stop();
    QDir(pathOf(MirrorFolder::kCheckFolder)).removeRecursively();
}
