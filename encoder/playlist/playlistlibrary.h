#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

// One MP3 a playlist's entry becomes: a whole file's, or one of a CD image's tracks in order.
struct PlaylistTarget
{
    QString mp3; // absolute
    QString info; // a track's #EXTINF text ("Performer - Title"); empty: the entry's own is kept
};

// The sources below the roots (SRC) whose MP3s are there, by absolute path, and what each one
// became; other files below them that give no MP3 (a lossy file) are known too, so that an entry
// naming one is not taken for another file of the same name elsewhere.
class PlaylistLibrary
{
public:
    explicit PlaylistLibrary(QStringList roots);

    void add(const QString &source, const PlaylistTarget &target);
    void addWithoutMp3(const QString &source);

    // The source an entry of a playlist in folder names, as people write them: relative (with
    // "..") to the playlist, absolute below a root, a file:// URL, with Windows backslashes; an
    // absolute path not below a root (a drive letter, an old home folder) by its longest tail
    // that names a file below one; a name that matches no file exactly by the one file that
    // matches it ignoring letter case. Empty where it names no file below a root.
    QString resolve(const QString &entry, const QString &folder) const;

    // What a source became; empty for a file without an MP3.
    std::vector<PlaylistTarget> targets(const QString &source) const { return m_targets.value(source); }
    const QStringList &roots() const { return m_roots; }

private:
    QString known(const QString &path) const;
    bool belowRoot(const QString &path) const;

    QStringList m_roots;
    QHash<QString, std::vector<PlaylistTarget>> m_targets;
    QHash<QString, QStringList> m_folded; // by path in lower case: the paths known
};

// A playlist written for the MP3s: each entry that names a source with an MP3 as that MP3,
// relative to the playlist's new folder with forward slashes, a CD image as its tracks with an
// #EXTINF each; an #EXTINF's duration that of its MP3, its text kept; other lines as they were.
// dropped counts the entries that name nothing with an MP3 (and lose their #EXTINF).
struct RewrittenPlaylist
{
    QStringList lines;
    int dropped = 0;
};
using Mp3Seconds = std::function<std::optional<qint64>(const QString &mp3)>;
RewrittenPlaylist rewritePlaylist(const QStringList &lines, const QString &sourceFolder,
                                  const PlaylistLibrary &library, const QString &playlistFolder,
                                  const Mp3Seconds &seconds);
