// BatchRun's albums: an album's MP3s wait, written whole, until its last track has ended; then
// its figures go into their tags and they are put in place together.
#include "batchrun.h"

#include "encoder/appliedgain.h"
#include "encoder/encoderun.h"

#include <algorithm>

void BatchRun::setAlbums(std::vector<int> trackCounts, std::vector<std::vector<BatchInput>> inputs)
{
    const std::lock_guard lock(m_albumMutex);
    m_albumInputs = std::move(inputs);
    m_albums.clear();
    for (const int count : trackCounts) {
        Album album;
        album.tracks.resize(static_cast<std::size_t>(std::max(count, 0)));
        for (AlbumTrack &track : album.tracks)
            track.album = static_cast<int>(m_albums.size());
        album.toEnd = count;
        m_albums.push_back(std::move(album));
    }
}

void BatchRun::albumTrackPresent(int album, int track, const QString &input, const FrameRange &range)
{
    {
        const std::lock_guard lock(m_albumMutex);
        if (album < 0 || album >= static_cast<int>(m_albums.size()))
            return;
        std::vector<AlbumTrack> &tracks = m_albums[static_cast<std::size_t>(album)].tracks;
        if (track >= 0 && track < static_cast<int>(tracks.size())) {
            tracks[static_cast<std::size_t>(track)].present = input;
            tracks[static_cast<std::size_t>(track)].presentRange = range;
        }
    }
    // Called from next(), under m_mutex, where waiting for the committer could block it: the
    // thread that asked finishes the album once it has let go.
    if (std::optional<std::vector<AlbumTrack>> whole = trackEnded(album)) {
        const std::lock_guard lock(m_albumMutex);
        m_wholeAlbums.push_back(std::move(*whole));
    }
}

void BatchRun::finishWholeAlbums()
{
    for (;;) {
        std::vector<AlbumTrack> tracks;
        {
            const std::lock_guard lock(m_albumMutex);
            if (m_wholeAlbums.empty())
                return;
            tracks = std::move(m_wholeAlbums.back());
            m_wholeAlbums.pop_back();
        }
        finishAlbum(tracks);
    }
}

bool BatchRun::holdForAlbum(Finished &finished)
{
    const int album = finished.result.file.album;
    {
        const std::lock_guard lock(m_albumMutex);
        if (album < 0 || album >= static_cast<int>(m_albums.size()))
            return false;
        std::vector<AlbumTrack> &tracks = m_albums[static_cast<std::size_t>(album)].tracks;
        const int track = finished.result.file.albumTrack;
        if (track < 0 || track >= static_cast<int>(tracks.size()))
            return false;
        // A stopped track never ends its album: the album's MP3s are dropped with it.
        if (finished.result.outcome.kind == Outcome::Kind::Stopped)
            return true;
        if (finished.result.outcome.kind == Outcome::Kind::DiskFull)
            m_albums[static_cast<std::size_t>(album)].noRoom = true;
        if (finished.output) {
            tracks[static_cast<std::size_t>(track)].meters = std::move(finished.meters);
            tracks[static_cast<std::size_t>(track)].waiting = std::move(finished);
        }
    }
    if (std::optional<std::vector<AlbumTrack>> whole = trackEnded(album))
        finishAlbum(*whole);
    return true;
}

// Called once for each track of the album: the last one gives the album whole.
std::optional<std::vector<BatchRun::AlbumTrack>> BatchRun::trackEnded(int album)
{
    const std::lock_guard lock(m_albumMutex);
    Album &ended = m_albums[static_cast<std::size_t>(album)];
    if (--ended.toEnd > 0 || ended.done)
        return std::nullopt;
    ended.done = true;
    if (ended.noRoom) {
        // Whole or not at all: its MP3s written go with their temporary files, each told.
        for (AlbumTrack &track : ended.tracks) {
            track.meters.clear();
            track.present.clear();
            if (!track.waiting)
                continue;
            track.waiting->output.reset();
            m_finished.fetch_sub(track.waiting->result.seconds);
            track.waiting->result.outcome = Outcome::failure(
                QStringLiteral("Not put in place: another track of its album found the disk full."),
                Outcome::Kind::DiskFull);
        }
    }
    return std::move(ended.tracks);
}

// The album's figures from its tracks' meters taken together, in the album's order, so they
// do not depend on which track ended first; written over each waiting MP3's tag.
void BatchRun::finishAlbum(std::vector<AlbumTrack> &tracks)
{
    std::vector<const LoudnessMeter *> meters;
    for (AlbumTrack &track : tracks) {
        if (!track.present.isEmpty() && m_settings.replayGain) {
            EncoderSettings settings = m_settings;
            settings.inputFile = track.present;
            settings.range = track.presentRange;
            // Measured as scaled, as its MP3 was where the album's gain did not change.
            if (settings.device.applyGain == DeviceSettings::Gain::Album)
                settings.device.appliedDb = albumAppliedDb(track.album);
            else
                settings = withTrackGainApplied(settings, m_abort);
            track.meters = measureLoudness(settings, m_abort);
        }
        for (const std::unique_ptr<LoudnessMeter> &meter : track.meters)
            meters.push_back(meter.get());
    }
    const std::optional<TrackGain> albumGain = meters.empty() ? std::nullopt : LoudnessMeter::figures(meters);
    for (AlbumTrack &track : tracks) {
        track.meters.clear();
        if (!track.waiting)
            continue;
        if (!albumGain) {
            enqueue(std::move(*track.waiting));
            continue;
        }
        Finished &finished = *track.waiting;
        const QByteArray tag = finished.tags.id3v2Final(finished.result.trackGain, albumGain);
        // No tag to hold the figures: the MP3 is put in place as it is.
        if (tag.isEmpty()) {
            enqueue(std::move(finished));
            continue;
        }
        if (Outcome written = finished.output->writeAt(0, reinterpret_cast<const unsigned char *>(tag.constData()),
                                                       static_cast<std::size_t>(tag.size()));
            !written)
            finished.result.outcome = written;
        else
            finished.result.albumGain = albumGain;
        enqueue(std::move(finished));
    }
}

void BatchRun::dropUnfinishedAlbums(const Done &done)
{
    std::vector<Album> albums;
    {
        const std::lock_guard lock(m_albumMutex);
        albums = std::move(m_albums);
        m_albums.clear();
    }
    finishWholeAlbums();
    const bool stopped = m_abort.load() || m_stopStarting.load();
    for (Album &album : albums) {
        if (album.done)
            continue;
        // Without a stop every track has ended: the list held fewer than were counted.
        if (!stopped) {
            finishAlbum(album.tracks);
            continue;
        }
        for (AlbumTrack &track : album.tracks) {
            if (!track.waiting)
                continue;
            BatchResult result = std::move(track.waiting->result);
            const int order = track.waiting->order;
            track.waiting.reset(); // its temporary file goes with it
            m_finished.fetch_sub(result.seconds);
            result.outcome = Outcome::stopped();
            settle(order, result.outcome);
            const std::lock_guard lock(m_mutex);
            done(result);
        }
    }
}

double BatchRun::albumAppliedDb(int album)
{
    std::promise<double> measuring;
    {
        const std::lock_guard lock(m_gainMutex);
        const auto known = m_albumGains.find(album);
        if (known != m_albumGains.end()) {
            const std::shared_future<double> gain = known->second;
            return gain.get();
        }
        m_albumGains.emplace(album, measuring.get_future().share());
    }
    std::vector<EncoderSettings> tracks;
    if (album >= 0 && album < static_cast<int>(m_albumInputs.size())) {
        for (const BatchInput &input : m_albumInputs[static_cast<std::size_t>(album)]) {
            EncoderSettings &track = tracks.emplace_back(m_settings);
            track.inputFile = input.path;
            track.range = input.range;
        }
    }
    const double gain = appliedGainOf(tracks, m_abort);
    measuring.set_value(gain);
    return gain;
}
