#pragma once

#include "encoder/core/result.h"

#include <QByteArray>
#include <QHashFunctions>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;

// The record's table of the playlists written (playlistrecord.h).
inline constexpr char kPlaylistsTable[] = "CREATE TABLE IF NOT EXISTS playlists (root INTEGER NOT NULL, source TEXT "
                                          "NOT NULL, playlist TEXT NOT NULL UNIQUE, digest BLOB, PRIMARY KEY (root, source))";

// Which source an MP3 was made of: a SRC in the order given, the path below it, a CD image's
// track (-1 for a whole file).
struct SourceKey
{
    int root = 0;
    int track = -1;
    QString source;
    bool operator==(const SourceKey &) const = default;
};

inline size_t qHash(const SourceKey &key, size_t seed = 0)
{
    return qHashMulti(seed, key.root, key.track, key.source);
}

// One MP3 a mirror made and what it was made of. Paths are relative (the source to its root, the
// MP3 to the mirror's folder), so a copy of the mirror on another disk still knows its files.
struct MirrorRecord
{
    int root = 0; // which SRC, in the order given
    QString source; // relative to its root
    int track = -1; // a CD image's track, -1 for a whole file
    qint64 size = 0; // the source's, as last seen
    qint64 mtimeNs = 0;
    QByteArray audio; // audioDigest
    QByteArray tags; // tagsDigest
    QByteArray settings; // settingsDigest
    QString mp3; // relative to the mirror's folder
    qint64 mp3Size = 0;
    qint64 mp3MtimeNs = 0;
    QByteArray stamp; // TagInputs' digest: where it and the source's size and time are the same, so are the tags
    // SHA-256 of the MP3's bytes as made: an MP3 whose time alone changed (a copied mirror) is
    // compared with it rather than made again. Empty in records of earlier releases.
    QByteArray mp3Digest;

    SourceKey key() const { return {root, track, source}; }
};

// The mirror's record of its MP3s: an SQLite database in the mirror's folder. Each change is one
// transaction, written once its MP3 is in place, so an interrupt at any moment leaves at worst a
// record whose MP3 is gone or MP3s without their records, all mended by the next run. Where the
// disk takes no write-ahead log, the changes of the last seconds are those an interrupt loses.
class Manifest
{
public:
    Manifest();
    ~Manifest();
    // ReadOnly: on a read-only disk, where nothing can change it (a dry run).
    enum class Access { ReadWrite, ReadOnly };
    Outcome open(const QString &path, Access access = Access::ReadWrite);
    Result<std::vector<MirrorRecord>> records() const;
    // Replaces any record of the same source or the same MP3.
    Outcome put(const MirrorRecord &record);
    Outcome remove(const QString &mp3);
    // Where the disk is full, the changes wait, in their order, until it has room again (the MP3s
    // a stopped run drops free theirs); this writes those waiting, and a record held in memory,
    // or says why it cannot.
    Outcome flush();
    // For the record's other tables (playlistrecord.h).
    sqlite3 *database() const { return m_db.get(); }

private:
    struct Change
    {
        std::optional<MirrorRecord> put;
        QString removed; // without put
    };
    Outcome change(Change change);
    Outcome write(const Change &change);
    bool diskFull() const;
    Outcome save(bool whenDue);
    Outcome exec(const char *sql) const;
    Outcome failure() const;
    struct Close
    {
        void operator()(sqlite3 *db) const;
    };
    std::unique_ptr<sqlite3, Close> m_db;
    std::vector<Change> m_waiting;
    // Where the disk cannot take the write-ahead log, the record is held in memory and written
    // whole (recordcopy.h) to this path, at most every kSaveEvery while a run changes it.
    QString m_held;
    static constexpr std::chrono::seconds kSaveEvery {2};
    qint64 m_saved = 0; // the database's count of changed rows when last written, -1 for never
    std::chrono::steady_clock::time_point m_savedAt;
    std::chrono::steady_clock::duration m_saving {}; // how long the last write took
};
