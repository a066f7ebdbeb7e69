#include "playlists.h"

#include "diskprobe.h"
#include "messages.h"
#include "mirrorfolder.h"
#include "mp3length.h"
#include "paths.h"

#include "encoder/input/cuesheet.h"
#include "encoder/playlist/playlisttext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

#include <dirent.h>
#include <sys/stat.h>

namespace {

struct Walk
{
    QString skip;
    std::vector<UnreadPlace> *unread;
    std::set<std::pair<dev_t, ino_t>> searched;
    std::vector<FoundPlaylist> found;

    void folder(const QString &path, int root, const QString &below)
    {
        DIR *dir = ::opendir(QFile::encodeName(path).constData());
        if (!dir) {
            unread->push_back({path, QString::fromLocal8Bit(std::strerror(errno))});
            return;
        }
        struct stat self {};
        if (::fstat(::dirfd(dir), &self) == 0 && !searched.insert({self.st_dev, self.st_ino}).second) {
            ::closedir(dir);
            return;
        }
        std::vector<std::pair<QString, unsigned char>> entries;
        while (const dirent *entry = ::readdir(dir)) {
            const QString name = QFile::decodeName(entry->d_name);
            if (name != QLatin1String(".") && name != QLatin1String("..") && !name.startsWith(QLatin1String(".sonovert-")))
                entries.emplace_back(name, entry->d_type);
        }
        ::closedir(dir);
        std::sort(entries.begin(), entries.end());
        for (auto &[name, type] : entries) {
            const QString child = path + QLatin1Char('/') + name;
            const QString childBelow = below.isEmpty() ? name : below + QLatin1Char('/') + name;
            if (type == DT_LNK || type == DT_UNKNOWN) {
                struct stat st {};
                if (::stat(QFile::encodeName(child).constData(), &st) != 0)
                    continue;
                type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
            }
            if (type == DT_DIR && child != skip && name != QLatin1String("lost+found"))
                folder(child, root, childBelow);
            else if (type == DT_REG && isPlaylistFileName(name))
                found.push_back({child, root, childBelow});
        }
    }
};

} // namespace

bool writesPlaylists(const BatchRequest &request)
{
    return request.playlists && !request.outputDir.isEmpty() && request.subfolders
        && request.listing == BatchRequest::Listing::None && !request.dryRun;
}

bool isJobOutput(const QString &outputDir)
{
    // As the listing names them: absolute (a "./out" given by hand is none).
    if (!outputDir.startsWith(u'/'))
        return false;
    const QStringList names = outputDir.split(u'/');
    return names.indexOf(QStringLiteral("."), 1) > 0 || names.contains(MirrorFolder::kIncoming);
}

QStringList playlistRoots(const BatchRequest &request)
{
    QStringList roots;
    for (const QString &input : request.inputs)
        roots << (QFileInfo(input).isDir() ? absolute(input) : QString());
    return roots;
}

void PlaylistSources::add(const QString &source, const QString &sheet, int track, const QString &mp3)
{
    m_met.push_back({source, sheet, track, mp3});
}

PlaylistLibrary PlaylistSources::library()
{
    PlaylistLibrary library(m_roots);
    for (const Met &met : m_met) {
        const QString source = absolute(met.source);
        if (met.mp3.isEmpty() || !QFileInfo(met.mp3).isFile()) {
            library.addWithoutMp3(source);
            continue;
        }
        const PlaylistTarget target {absolute(met.mp3), met.sheet.isEmpty() ? QString() : trackInfo(met.sheet, met.track)};
        library.add(source, target);
        // An entry may name the sheet rather than its image.
        if (!met.sheet.isEmpty() && absolute(met.sheet) != source)
            library.add(absolute(met.sheet), target);
    }
    return library;
}

QString PlaylistSources::trackInfo(const QString &sheet, int track)
{
    auto texts = m_sheets.find(sheet);
    if (texts == m_sheets.end()) {
        texts = m_sheets.insert(sheet, {});
        if (const Result<CueSheet> read = readCueSheet(sheet)) {
            for (const CueTrack &cue : read->tracks) {
                const QString performer = cue.performer.isEmpty() ? read->performer : cue.performer;
                const QString title =
                    cue.title.isEmpty() ? QStringLiteral("Track %1").arg(cue.number, 2, 10, QLatin1Char('0')) : cue.title;
                texts->insert(cue.number, performer.isEmpty() ? title : performer + QStringLiteral(" - ") + title);
            }
        }
    }
    return texts->value(track, QStringLiteral("Track %1").arg(track, 2, 10, QLatin1Char('0')));
}

std::vector<FoundPlaylist> findPlaylists(const QStringList &roots, const QString &skip,
                                         std::vector<UnreadPlace> *unread)
{
    Walk walk {absolute(skip), unread, {}, {}};
    for (int root = 0; root < roots.size(); ++root)
        if (!roots[root].isEmpty())
            walk.folder(roots[root], root, QString());
    return std::move(walk.found);
}

QString playlistPlace(const FoundPlaylist &found, const QString &outputDir, const DiskNames &names)
{
    return absolute(outputDir) + QLatin1Char('/') + fitBelow(found.below, names.mode);
}

MadePlaylist makePlaylist(const FoundPlaylist &found, const PlaylistLibrary &library, const QString &place)
{
    MadePlaylist made;
    QFile file(found.path);
    if (!file.open(QIODevice::ReadOnly)) {
        made.failure = file.errorString();
        return made;
    }
    PlaylistText text = readPlaylistText(file.readAll(), isM3u8FileName(found.path));
    if (file.error() != QFileDevice::NoError) {
        made.failure = file.errorString();
        return made;
    }
    const RewrittenPlaylist rewritten =
        rewritePlaylist(text.lines, QFileInfo(found.path).path(), library, QFileInfo(place).path(),
                        [](const QString &mp3) -> std::optional<qint64> {
                            const std::optional<Mp3Length> length = readMp3Length(mp3);
                            if (!length || length->sampleRate <= 0)
                                return std::nullopt;
                            return (length->samples + length->sampleRate / 2) / length->sampleRate;
                        });
    text.lines = rewritten.lines;
    made.dropped = rewritten.dropped;
    made.bytes = playlistBytes(text, &made.asUtf8);
    return made;
}

QString writePlaylist(const QString &place, const QByteArray &bytes)
{
    if (!QDir().mkpath(QFileInfo(place).path()))
        return QStringLiteral("cannot make the folder %1").arg(QFileInfo(place).path());
    QSaveFile file(place);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return file.errorString();
    return {};
}

bool PlaylistPlaces::holds(const QString &path) const
{
    const QString claimed = m_places.value(key(path));
    if (claimed.isEmpty() || claimed == path)
        return !claimed.isEmpty();
    // Names apart in letter case alone are one file only where the disk says so.
    struct stat a {}, b {};
    return ::stat(QFile::encodeName(path).constData(), &a) == 0 && ::stat(QFile::encodeName(claimed).constData(), &b) == 0
        && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void sayPlaceTaken(const FoundPlaylist &found, const QString &place)
{
    say(QStringLiteral("%1: not written, as an earlier playlist is written as %2").arg(found.path, place));
}

void sayMade(const QString &place, const MadePlaylist &made)
{
    if (made.dropped > 0)
        say(QStringLiteral("%1: %2 %3 no MP3, left out")
                .arg(place)
                .arg(made.dropped)
                .arg(made.dropped == 1 ? QStringLiteral("entry names") : QStringLiteral("entries name")));
    if (made.asUtf8)
        say(QStringLiteral("%1: written as UTF-8, as a name does not fit Windows-1252").arg(place));
}

bool writeBatchPlaylists(const BatchRequest &request, PlaylistSources &sources)
{
    // Folders that cannot be read are named by the batch's walk.
    std::vector<UnreadPlace> unread;
    const std::vector<FoundPlaylist> found = findPlaylists(sources.roots(), request.outputDir, &unread);
    const PlaylistLibrary library = sources.library();
    NamesOfDisks disks(request.names);
    const DiskNames names = disks.at(absolute(request.outputDir));
    PlaylistPlaces places(names.caseless);
    bool ok = true;
    for (const FoundPlaylist &playlist : found) {
        const QString place = playlistPlace(playlist, request.outputDir, names);
        if (!places.claim(place)) {
            sayPlaceTaken(playlist, place);
            continue;
        }
        const MadePlaylist made = makePlaylist(playlist, library, place);
        QString failure = made.failure;
        if (failure.isEmpty()) {
            QFile there(place);
            // A playlist already as it would be written is left alone.
            if (there.open(QIODevice::ReadOnly) && there.readAll() == made.bytes)
                continue;
            failure = writePlaylist(place, made.bytes);
        }
        if (!failure.isEmpty()) {
            say(QStringLiteral("%1: %2").arg(playlist.path, failure));
            ok = false;
            continue;
        }
        sayMade(place, made);
    }
    return ok;
}
