#include "playlistrecord.h"

#include <sqlite3.h>

#include <memory>

namespace {

struct Finalize
{
    void operator()(sqlite3_stmt *statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

Statement prepared(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
        return nullptr;
    return Statement(statement);
}

QString text(sqlite3_stmt *statement, int column)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, column)),
                             sqlite3_column_bytes(statement, column));
}

void bindText(sqlite3_stmt *statement, int at, const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    sqlite3_bind_text(statement, at, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

Outcome failure(sqlite3 *db)
{
    return Outcome::failure(
        QStringLiteral("The mirror's record of playlists: %1").arg(QString::fromUtf8(db ? sqlite3_errmsg(db) : "not open")));
}

Outcome stepped(sqlite3 *db, sqlite3_stmt *statement)
{
    return statement && sqlite3_step(statement) == SQLITE_DONE ? Outcome::success() : failure(db);
}

} // namespace

Result<std::vector<PlaylistRecord>> playlistRecords(const Manifest &manifest)
{
    sqlite3 *db = manifest.database();
    std::vector<PlaylistRecord> records;
    // An earlier release's record has none until its first playlist.
    const Statement table = prepared(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'playlists'");
    if (const int found = table ? sqlite3_step(table.get()) : SQLITE_ERROR; found != SQLITE_ROW)
        return found == SQLITE_DONE ? Result<std::vector<PlaylistRecord>>(records) : failure(db);
    const Statement select = prepared(db, "SELECT root, source, playlist, digest FROM playlists ORDER BY playlist");
    if (!select)
        return failure(db);
    int result = SQLITE_ROW;
    while ((result = sqlite3_step(select.get())) == SQLITE_ROW) {
        PlaylistRecord record {int(sqlite3_column_int64(select.get(), 0)), text(select.get(), 1),
                               text(select.get(), 2),
                               QByteArray(static_cast<const char *>(sqlite3_column_blob(select.get(), 3)),
                                          sqlite3_column_bytes(select.get(), 3))};
        // Only a file below the mirror's folder is ever its own to replace or remove.
        if (!record.playlist.isEmpty() && !record.playlist.startsWith(u'/') && !record.playlist.startsWith(QLatin1String("../"))
            && !record.playlist.contains(QLatin1String("/../")))
            records.push_back(std::move(record));
    }
    if (result != SQLITE_DONE)
        return failure(db);
    return records;
}

Outcome putPlaylistRecord(const Manifest &manifest, const PlaylistRecord &record)
{
    sqlite3 *db = manifest.database();
    if (sqlite3_exec(db, kPlaylistsTable, nullptr, nullptr, nullptr) != SQLITE_OK)
        return failure(db);
    const Statement insert = prepared(db, "INSERT OR REPLACE INTO playlists VALUES (?1, ?2, ?3, ?4)");
    if (insert) {
        sqlite3_bind_int64(insert.get(), 1, record.root);
        bindText(insert.get(), 2, record.source);
        bindText(insert.get(), 3, record.playlist);
        sqlite3_bind_blob(insert.get(), 4, record.digest.constData(), int(record.digest.size()), SQLITE_TRANSIENT);
    }
    return stepped(db, insert.get());
}

Outcome removePlaylistRecord(const Manifest &manifest, const QString &playlist)
{
    sqlite3 *db = manifest.database();
    const Statement drop = prepared(db, "DELETE FROM playlists WHERE playlist = ?1");
    if (drop)
        bindText(drop.get(), 1, playlist);
    return stepped(db, drop.get());
}

PlaylistStep playlistStep(const PlaylistRecord *recorded, const QString &playlist, const QByteArray &digest,
                          qint64 size, std::optional<qint64> sizeThere)
{
    if (!recorded)
        return PlaylistStep::Write;
    if (recorded->playlist != playlist)
        return PlaylistStep::WriteAndRemoveOld;
    return recorded->digest == digest && sizeThere == size ? PlaylistStep::Keep : PlaylistStep::Write;
}
