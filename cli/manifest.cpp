#include "manifest.h"

#include "recordcopy.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QSet>
#include <QUrl>

#include <sqlite3.h>

#include <sys/vfs.h>

#include <algorithm>
#include <cerrno>

namespace {

// Binds a statement's values, steps it to its end, and finalizes it.
class Statement
{
public:
    Statement(sqlite3 *db, const char *sql)
    {
        m_ok = sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr) == SQLITE_OK;
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    void bind(int at, qint64 value) { keep(sqlite3_bind_int64(m_statement, at, value)); }
    void bind(int at, const QString &text)
    {
        const QByteArray utf8 = text.toUtf8();
        keep(sqlite3_bind_text(m_statement, at, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT));
    }
    void bind(int at, const QByteArray &blob)
    {
        keep(sqlite3_bind_blob(m_statement, at, blob.constData(), int(blob.size()), SQLITE_TRANSIENT));
    }
    // True while a row is there; false at the end or on an error (ok() tells).
    bool step()
    {
        if (!m_ok)
            return false;
        const int stepped = sqlite3_step(m_statement);
        m_ok = stepped == SQLITE_ROW || stepped == SQLITE_DONE;
        return stepped == SQLITE_ROW;
    }
    bool ok() const { return m_ok; }
    qint64 integer(int column) const { return sqlite3_column_int64(m_statement, column); }
    QString text(int column) const
    {
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column)),
                                 sqlite3_column_bytes(m_statement, column));
    }
    QByteArray blob(int column) const
    {
        return QByteArray(static_cast<const char *>(sqlite3_column_blob(m_statement, column)),
                          sqlite3_column_bytes(m_statement, column));
    }

private:
    void keep(int result) { m_ok = m_ok && result == SQLITE_OK; }
    sqlite3_stmt *m_statement = nullptr;
    bool m_ok = false;
};

// Whether the write-ahead log can be used beside the record: it needs shared memory that each
// process using the file sees, which FAT and exFAT through FUSE and the network shares lack.
bool walUsable(const QString &record)
{
    constexpr unsigned long kNoSharedMemory[] = {
        0x4d44, // FAT
        0x2011bab0, // exFAT
        0x65735546, // FUSE
        0x6969, // NFS
        0xff534d42, // CIFS
        0xfe534d42, // SMB2
        0x517b, // SMB
        0x01021997, // 9p
    };
    struct statfs fs {};
    if (::statfs(QFile::encodeName(QFileInfo(record).path()).constData(), &fs) != 0)
        return false;
    const auto type = static_cast<unsigned long>(fs.f_type);
    return std::find(std::begin(kNoSharedMemory), std::end(kNoSharedMemory), type) == std::end(kNoSharedMemory);
}

// A relative path with no empty, "." or ".." name in it: one QDir::cleanPath leaves as it is and
// that leads nowhere out of its folder.
bool isCleanBelow(QStringView path)
{
    if (path.isEmpty() || path.startsWith(QLatin1Char('/')))
        return false;
    for (const QStringView name : path.tokenize(QLatin1Char('/'))) {
        if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
            return false;
    }
    return !path.endsWith(QLatin1Char('/'));
}

} // namespace

void Manifest::Close::operator()(sqlite3 *db) const
{
    sqlite3_close(db);
}

Manifest::Manifest() = default;

Manifest::~Manifest()
{
    // What changed after the last flush (the playlists' rows) is kept; nobody is left to tell.
    if (m_db)
        static_cast<void>(save(false));
}

Outcome Manifest::save(bool whenDue)
{
    const qint64 changes = sqlite3_total_changes64(m_db.get());
    if (m_held.isEmpty() || changes == m_saved)
        return Outcome::success();
    // Each save writes the whole record: often enough that a kill costs few records (the next run
    // mends them from the MP3s), seldom enough to cost at most a tenth of the run.
    const auto now = std::chrono::steady_clock::now();
    if (whenDue && now - m_savedAt < std::max<std::chrono::steady_clock::duration>(kSaveEvery, 10 * m_saving))
        return Outcome::success();
    Outcome saved = saveRecord(m_db.get(), m_held);
    m_savedAt = std::chrono::steady_clock::now();
    m_saving = m_savedAt - now;
    if (saved)
        m_saved = changes;
    return saved;
}

Outcome Manifest::failure() const
{
    return Outcome::failure(QStringLiteral("The mirror's record: %1")
                                .arg(QString::fromUtf8(m_db ? sqlite3_errmsg(m_db.get()) : "cannot open it")));
}

Outcome Manifest::exec(const char *sql) const
{
    return sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr) == SQLITE_OK ? Outcome::success() : failure();
}

Outcome Manifest::open(const QString &path, Access access)
{
    if (access == Access::ReadOnly) {
        // On a read-only disk no lock can be taken nor journal looked for: nothing writes there.
        const QString uri = QStringLiteral("file:") + QString::fromLatin1(QUrl::toPercentEncoding(path, "/"))
                          + QStringLiteral("?immutable=1");
        sqlite3 *db = nullptr;
        const int opened = sqlite3_open_v2(uri.toUtf8().constData(), &db,
                                           SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
        m_db.reset(db);
        return opened == SQLITE_OK ? Outcome::success() : failure();
    }
    // The write-ahead log where the disk can hold its shared memory, so a dry run reads while a
    // run writes. A lost power cut costs at most the last records, which the next run mends from
    // the MP3s there.
    if (walUsable(path)) {
        sqlite3 *db = nullptr;
        const int opened = sqlite3_open_v2(path.toUtf8().constData(), &db,
                                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
        m_db.reset(db);
        if (opened != SQLITE_OK)
            return failure();
        sqlite3_busy_timeout(db, 10000);
        if (!exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; SELECT count(*) FROM sqlite_master;"))
            m_db.reset();
    }
    // Else the record is held in memory and written whole (recordcopy.h): FAT through fusefat
    // loses the pages a file gains once the process that made it has closed it.
    bool leftLog = false;
    if (!m_db) {
        sqlite3 *db = nullptr;
        const int opened = sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
        m_db.reset(db);
        if (opened != SQLITE_OK)
            return failure();
        // A write-ahead log left beside it is folded into the file as it is read: the file is
        // written again whole.
        leftLog = QFileInfo::exists(path + QStringLiteral("-wal"));
        if (Outcome loaded = loadRecord(path, db); !loaded)
            return loaded;
        m_held = path;
    }
    const QByteArray mp3s = "CREATE TABLE IF NOT EXISTS mp3s (root INTEGER NOT NULL, source TEXT NOT NULL, "
                            "track INTEGER NOT NULL, size INTEGER, mtime INTEGER, audio BLOB, tags BLOB, "
                            "settings BLOB, mp3 TEXT NOT NULL UNIQUE, mp3size INTEGER, mp3mtime INTEGER, "
                            "stamp BLOB, mp3digest BLOB, PRIMARY KEY (root, source, track))";
    // A new record gets the playlists' table with it; an earlier release's record gets it with its
    // first playlist (playlistrecord.h).
    const bool fresh = !Statement(m_db.get(), "SELECT 1 FROM mp3s LIMIT 0").ok();
    if (Outcome made = exec((fresh ? "BEGIN; " + mp3s + "; " + kPlaylistsTable + "; COMMIT;" : mp3s).constData());
        !made) {
        static_cast<void>(exec("ROLLBACK")); // the failure told is the first one
        return made;
    }
    // A record of an earlier release: its rows get what they lack as the next runs write them.
    bool widened = false;
    for (const QByteArray column : {"stamp", "mp3digest"}) {
        if (Statement(m_db.get(), ("SELECT " + column + " FROM mp3s LIMIT 0").constData()).ok())
            continue;
        if (Outcome added = exec(("ALTER TABLE mp3s ADD COLUMN " + column + " BLOB").constData()); !added)
            return added;
        widened = true;
    }
    // A record held in memory is written back only once it differs from the disk's.
    m_saved = fresh || widened || leftLog ? -1 : sqlite3_total_changes64(m_db.get());
    m_savedAt = std::chrono::steady_clock::now();
    return Outcome::success();
}

Result<std::vector<MirrorRecord>> Manifest::records() const
{
    Statement select(m_db.get(), "SELECT root, source, track, size, mtime, "
                                 "audio, tags, settings, mp3, mp3size, "
                                 "mp3mtime, stamp, mp3digest FROM mp3s ORDER BY mp3");
    std::vector<MirrorRecord> records;
    // Counted first: a vector grown by doubling holds up to twice its records while it moves.
    if (Statement count(m_db.get(), "SELECT count(*) FROM mp3s"); count.step())
        records.reserve(std::size_t(std::max<qint64>(count.integer(0), 0)));
    // The settings and stamps many records share are held once.
    QSet<QByteArray> shared;
    const auto once = [&shared](QByteArray digest) { return *shared.insert(std::move(digest)); };
    while (select.step()) {
        records.push_back({.root = int(select.integer(0)),
                           .source = select.text(1),
                           .track = int(select.integer(2)),
                           .size = select.integer(3),
                           .mtimeNs = select.integer(4),
                           .audio = select.blob(5),
                           .tags = select.blob(6),
                           .settings = once(select.blob(7)),
                           .mp3 = select.text(8),
                           .mp3Size = select.integer(9),
                           .mp3MtimeNs = select.integer(10),
                           .stamp = once(select.blob(11)),
                           .mp3Digest = select.blob(12)});
        // A record is only ever of a file below the folder it lies in: one naming a path out of
        // it (a damaged or forged record) would have the run move or trash a file not its own.
        if (!isCleanBelow(records.back().mp3))
            records.pop_back();
    }
    if (!select.ok())
        return failure();
    return records;
}

Outcome Manifest::put(const MirrorRecord &record)
{
    return change({record, {}});
}

Outcome Manifest::remove(const QString &mp3)
{
    return change({std::nullopt, mp3});
}

Outcome Manifest::change(Change change)
{
    if (m_waiting.empty()) {
        Outcome written = write(change);
        if (written)
            static_cast<void>(save(true)); // one that fails is tried again, and told by flush()
        if (written || !diskFull())
            return written;
    } else if (flush()) {
        return write(change);
    }
    m_waiting.push_back(std::move(change));
    return Outcome::success();
}

Outcome Manifest::flush()
{
    while (!m_waiting.empty()) {
        if (Outcome written = write(m_waiting.front()); !written)
            return written;
        m_waiting.erase(m_waiting.begin());
    }
    return save(false);
}

bool Manifest::diskFull() const
{
    return (sqlite3_extended_errcode(m_db.get()) & 0xff) == SQLITE_FULL || sqlite3_system_errno(m_db.get()) == ENOSPC;
}

Outcome Manifest::write(const Change &change)
{
    if (!change.put) {
        Statement drop(m_db.get(), "DELETE FROM mp3s WHERE mp3 = ?1");
        drop.bind(1, change.removed);
        drop.step();
        return drop.ok() ? Outcome::success() : failure();
    }
    const MirrorRecord &r = *change.put;
    // REPLACE drops the rows whose source or MP3 the new one takes, in one transaction.
    Statement insert(m_db.get(), "INSERT OR REPLACE INTO mp3s VALUES (?1, ?2, "
                                 "?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)");
    insert.bind(1, qint64(r.root));
    insert.bind(2, r.source);
    insert.bind(3, qint64(r.track));
    insert.bind(4, r.size);
    insert.bind(5, r.mtimeNs);
    insert.bind(6, r.audio);
    insert.bind(7, r.tags);
    insert.bind(8, r.settings);
    insert.bind(9, r.mp3);
    insert.bind(10, r.mp3Size);
    insert.bind(11, r.mp3MtimeNs);
    insert.bind(12, r.stamp);
    insert.bind(13, r.mp3Digest);
    insert.step();
    return insert.ok() ? Outcome::success() : failure();
}
