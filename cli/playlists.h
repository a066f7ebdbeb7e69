#pragma once

#include "batchrequest.h"

#include "encoder/batch/batchinput.h"
#include "encoder/batch/unreadplace.h"
#include "encoder/playlist/playlistlibrary.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>
#include <vector>

// The M3U playlists of a batch's or a mirror's folders, written for the MP3s (encoder/playlist/).

// Whether a run writes playlists: asked for, into an output folder of its own (beside the
// sources the new one would replace the old), from folders searched through.
bool writesPlaylists(const BatchRequest &request);
// Whether an output folder is a job's of a listed run (ROOT/./REST, or below a mirror's
// .sonovert-incoming): a playlist spans folders, so a job writes none.
bool isJobOutput(const QString &outputDir);

// The folders given (SRC), absolute: the roots playlists and their entries are found below.
QStringList playlistRoots(const BatchRequest &request);

// The sources a run met with their MP3s, a CD image's tracks each with its sheet's text.
class PlaylistSources
{
public:
    explicit PlaylistSources(QStringList roots) : m_roots(std::move(roots)) {}
    // mp3 empty: a source that gives none (a lossy file, one whose MP3 is another's).
    void add(const BatchInput &input, const QString &mp3) { add(input.path, input.sheet, input.track, mp3); }
    void add(const QString &source, const QString &sheet, int track, const QString &mp3);
    // What they became; an MP3 that is not there (a conversion failed) is none.
    PlaylistLibrary library();
    const QStringList &roots() const { return m_roots; }

private:
    QString trackInfo(const QString &sheet, int track);
    struct Met
    {
        QString source;
        QString sheet;
        int track = -1;
        QString mp3;
    };
    QStringList m_roots;
    std::vector<Met> m_met;
    QHash<QString, QHash<int, QString>> m_sheets; // each sheet's tracks' texts, read once
};

// A playlist below a root: its absolute path, its root (in the order given) and its path below it.
struct FoundPlaylist
{
    QString path;
    int root = 0;
    QString below;
};
// Every playlist below the roots in name order, but in skip (the output folder) and the
// program's own folders; the folders that could not be read go to unread.
std::vector<FoundPlaylist> findPlaylists(const QStringList &roots, const QString &skip,
                                         std::vector<UnreadPlace> *unread);

// A playlist as written for the MP3s, at its place below the output folder.
struct MadePlaylist
{
    QByteArray bytes;
    int dropped = 0;
    bool asUtf8 = false; // read as Windows-1252, written as UTF-8: a name does not fit
    QString failure; // it could not be read
};
MadePlaylist makePlaylist(const FoundPlaylist &found, const PlaylistLibrary &library, const QString &place);

// Its place below outputDir (absolute), each name fitted for the disk.
QString playlistPlace(const FoundPlaylist &found, const QString &outputDir, const DiskNames &names);

// The places this run gives playlists, so that two playlists never take one file (two roots',
// or twins in letter case on a disk that tells none), and none removes one given this run.
class PlaylistPlaces
{
public:
    explicit PlaylistPlaces(bool caseless) : m_caseless(caseless) {}
    // False where an earlier playlist has it.
    bool claim(const QString &place) { return !has(place) && (m_places.insert(key(place), place), true); }
    bool has(const QString &place) const { return m_places.contains(key(place)); }
    // Whether the file at path is one given this run (under any letter case the disk takes as one).
    bool holds(const QString &path) const;

private:
    QString key(const QString &place) const { return m_caseless ? place.toCaseFolded() : place; }
    bool m_caseless;
    QHash<QString, QString> m_places; // as claimed, by key
};
// Said of a playlist whose place an earlier one has.
void sayPlaceTaken(const FoundPlaylist &found, const QString &place);

// Written whole at place (its folder made), or why not.
QString writePlaylist(const QString &place, const QByteArray &bytes);
// Said once for a playlist: the entries dropped, a change of encoding.
void sayMade(const QString &place, const MadePlaylist &made);

// After a batch's run: every playlist of the folders given written for the MP3s there; false
// where one could not be read or written.
bool writeBatchPlaylists(const BatchRequest &request, PlaylistSources &sources);
