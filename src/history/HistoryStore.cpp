// The store is one SQLite database in write-ahead-log mode:
//
//   pages(id, key UNIQUE)           a page, known by its address
//   versions(id AUTOINCREMENT, page, time, status, accepted_time, size,
//            change_size, hash, kind, base, data)
//
// `hash` is the SHA-256 of the version's bytes, `size` their length. `kind`
// 0 (whole): `data` is a zstd frame of the bytes alone, `base` NULL. `kind`
// 1 (delta): `data` is a zstd frame against the bytes of version `base`,
// the page's version before it, as a raw prefix. Every kWholeEvery-th
// version of a page is whole, so reading one decodes at most kWholeEvery
// frames. Version ids are never reused (AUTOINCREMENT), so an id names the
// same bytes for as long as it exists, which the cache of newest versions
// relies on.
//
// synchronous=NORMAL in WAL mode: a process killed at any moment loses at
// most the transaction it was in, and the database stays whole; only a
// power loss may take the last commits as well.
#include "history/HistoryStore.h"

#include <sqlite3.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <mutex>
#include <optional>
#include <set>
#include <utility>

#include "history/HistoryDatabase.h"
#include "history/VersionCodec.h"

namespace tallyhawk {

namespace {

using historydb::CConnection;
using historydb::CQuery;
using historydb::CSqliteError;
using historydb::CStatement;
using historydb::CTransaction;
using historydb::Sqlite;

constexpr std::int32_t kApplicationId = 0x54484B48;  // "THKH"
constexpr int kSchemaVersion = 1;
// Operations are short, pruning steps too; a writer that holds the store
// longer is another program.
constexpr int kBusyTimeoutMs = 3000;
constexpr std::size_t kWholeEvery = 32;
constexpr std::size_t kPruneStep = 200;  // versions removed per transaction
// The newest version of recently changed pages, so that appending does not
// decode a chain each time; a page larger than a quarter of it is not kept.
constexpr std::size_t kCacheBytes = std::size_t{64} << 20;
constexpr int kAppendAttempts = 3;

constexpr const char* kSchema = R"(
CREATE TABLE pages(
  id INTEGER PRIMARY KEY,
  key TEXT NOT NULL UNIQUE);
CREATE TABLE versions(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  page INTEGER NOT NULL REFERENCES pages(id),
  time INTEGER NOT NULL,
  status INTEGER NOT NULL,
  accepted_time INTEGER NOT NULL DEFAULT 0,
  size INTEGER NOT NULL,
  change_size INTEGER NOT NULL,
  hash BLOB NOT NULL,
  kind INTEGER NOT NULL CHECK (kind IN (0, 1)),
  base INTEGER REFERENCES versions(id),
  data BLOB NOT NULL,
  CHECK ((kind = 0) = (base IS NULL)));
CREATE INDEX versions_by_page ON versions(page, id);
CREATE INDEX versions_by_base ON versions(base);
)";

enum EVersionKind : std::int64_t { kWhole = 0, kDelta = 1 };

// A file that is no store of ours, or a damaged one: set aside by Open.
struct CNotAStore {
    std::string reason;
};

// A version that cannot be read back; `reason` says why.
class CDamagedVersion : public CHistoryError {
public:
    using CHistoryError::CHistoryError;
};

// The newest version of recently appended pages, most recent first.
class CNewestCache {
public:
    struct CEntry {
        std::int64_t page = 0;
        std::int64_t version = 0;
        std::size_t depth = 0;  // deltas between it and a whole version (at most)
        std::shared_ptr<const std::string> bytes;
    };
    std::optional<CEntry> Find(std::int64_t page, std::int64_t version) const {
        for (const CEntry& entry : entries)
            if (entry.page == page && entry.version == version) return entry;
        return std::nullopt;
    }
    void Put(CEntry entry) {
        Forget(entry.page);
        bytes += entry.bytes->size();
        entries.insert(entries.begin(), std::move(entry));
        while (bytes > kCacheBytes) {
            bytes -= entries.back().bytes->size();
            entries.pop_back();
        }
    }
    void Forget(std::int64_t page) {
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            if (it->page != page) continue;
            bytes -= it->bytes->size();
            entries.erase(it);
            return;
        }
    }

private:
    std::vector<CEntry> entries;
    std::size_t bytes = 0;
};

// One stored record of a chain, its frame copied out of SQLite.
struct CLink {
    std::int64_t id = 0;
    std::uint64_t size = 0;
    std::string hash;
    std::string frame;
};

std::string FileName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 || errno != ENOENT;
}

// Renames `from` to `to` unless `to` exists. False when `to` exists.
bool RenameNew(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno == EEXIST) return false;
    if (errno == EINVAL || errno == ENOSYS) {  // a file system without it: link, which never replaces
        if (::link(from.c_str(), to.c_str()) == 0) {
            ::unlink(from.c_str());
            return true;
        }
        if (errno == EEXIST) return false;
    }
    throw CHistoryError("The history " + from + " is damaged and could not be set aside: " + std::strerror(errno));
}

// Renames the damaged store at `path` and its log files aside; returns the
// new name of the store.
std::string SetAside(const std::string& path) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    for (int counter = 1; counter < 1000; ++counter) {
        std::string aside = path + ".damaged-" + stamp + (counter > 1 ? "-" + std::to_string(counter) : "");
        if (Exists(aside) || Exists(aside + "-wal") || Exists(aside + "-shm")) continue;
        if (!RenameNew(path, aside)) continue;
        // A log left beside a new store would be replayed into it.
        for (const char* suffix : {"-wal", "-shm"}) {
            if (Exists(path + suffix) && !RenameNew(path + suffix, aside + suffix))
                throw CHistoryError("The history " + path + " is damaged and its " + suffix +
                                    " file could not be set aside.");
        }
        return aside;
    }
    throw CHistoryError("The history " + path + " is damaged and no free name was found to set it aside.");
}

class CSqliteHistoryStore final : public CHistoryStore {
public:
    // Throws CNotAStore for a file to set aside, CHistoryError otherwise.
    explicit CSqliteHistoryStore(const std::string& path);

    bool Append(const std::string& pageKey, std::int64_t time, std::int32_t status,
                std::string_view bytes) override;
    void MarkAccepted(const std::string& pageKey, std::string_view bytes, std::int64_t time) override;
    std::vector<CHistoryVersion> List(const std::string& pageKey) const override;
    std::string Read(std::int64_t id) const override;
    std::vector<std::string> Pages() const override;
    std::int64_t Prune(const CHistoryRetention& retention, std::int64_t now) override;

private:
    struct CStatements;
    // The page's newest version, to compare with and to encode against.
    struct CNewest {
        std::int64_t id = 0;  // 0: the page has none
        bool same = false;    // it holds the bytes being appended
        std::shared_ptr<const std::string> bytes;  // null when it cannot be read back
        std::size_t depth = 0;                     // deltas between it and a whole version
    };
    // A version ready to go in.
    struct CRecord {
        std::int64_t time = 0;
        std::int32_t status = 0;
        std::string_view hash;
        bool delta = false;
        std::size_t depth = 0;
        std::string frame;
        std::uint64_t changeSize = 0;
    };
    void CheckAndPrepare();
    // Takes the lock for reading the records only.
    CNewest Newest(const std::string& pageKey, std::string_view hash, std::size_t size) const;
    // Inserts the record, unless the page's newest version is no longer
    // `previous` (another Append came between): then false.
    bool Insert(const std::string& pageKey, std::int64_t previous, const CRecord& record, std::string_view bytes);
    // The records from version `id` back to its whole version, newest first.
    // Requires `lock`. Throws CDamagedVersion.
    std::vector<CLink> Chain(std::int64_t id) const;
    // Decodes a chain; needs no lock. Throws CDamagedVersion.
    std::string DecodeChain(const std::vector<CLink>& chain) const;
    // Removes up to kPruneStep versions of `page`; returns how many, 0 when
    // the page keeps all it has. Requires `lock`.
    std::int64_t PruneStep(std::int64_t page, const CHistoryRetention& retention, std::int64_t now);

    mutable std::mutex lock;  // guards everything below
    CConnection connection;
    std::unique_ptr<CStatements> statements;
    mutable CNewestCache cache;
};

struct CSqliteHistoryStore::CStatements {
    explicit CStatements(const CConnection& c)
        : newest(c, "SELECT id, hash, size, page FROM versions WHERE page = (SELECT id FROM pages WHERE key = ?1) "
                    "ORDER BY id DESC LIMIT 1"),
          row(c, "SELECT page, kind, base, size, hash, data FROM versions WHERE id = ?1"),
          addPage(c, "INSERT INTO pages(key) VALUES (?1) ON CONFLICT(key) DO NOTHING"),
          pageId(c, "SELECT id FROM pages WHERE key = ?1"),
          insert(c, "INSERT INTO versions(page, time, status, size, change_size, hash, kind, base, data) "
                    "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)"),
          accept(c, "UPDATE versions SET accepted_time = ?1 WHERE id = (SELECT id FROM versions WHERE page = "
                    "(SELECT id FROM pages WHERE key = ?2) AND hash = ?3 AND size = ?4 ORDER BY id DESC LIMIT 1)"),
          list(c, "SELECT id, time, status, accepted_time, size, change_size FROM versions "
                  "WHERE page = (SELECT id FROM pages WHERE key = ?1) ORDER BY id"),
          pages(c, "SELECT key FROM pages WHERE EXISTS (SELECT 1 FROM versions WHERE page = pages.id) ORDER BY key"),
          pageIds(c, "SELECT id FROM pages ORDER BY id"),
          times(c, "SELECT id, time FROM versions WHERE page = ?1 ORDER BY id"),
          children(c, "SELECT id FROM versions WHERE base = ?1"),
          makeWhole(c, "UPDATE versions SET kind = 0, base = NULL, data = ?2 WHERE id = ?1"),
          remove(c, "DELETE FROM versions WHERE id = ?1"),
          removePage(c, "DELETE FROM pages WHERE id = ?1 AND NOT EXISTS (SELECT 1 FROM versions WHERE page = ?1)") {}
    CStatement newest, row, addPage, pageId, insert, accept, list, pages, pageIds, times, children, makeWhole,
        remove, removePage;
};

CSqliteHistoryStore::CSqliteHistoryStore(const std::string& path) {
    connection.path = path;
    sqlite3* raw = nullptr;
    const int rc = Sqlite().open_v2(path.c_str(), &raw,
                                    SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    connection.db.reset(raw);
    if (rc != SQLITE_OK) {
        if (!raw) throw CHistoryError("Out of memory opening the history " + path);
        connection.Raise(rc);
    }
    sqlite3* db = connection.db.get();
    Sqlite().extended_result_codes(db, 1);
    Sqlite().busy_timeout(db, kBusyTimeoutMs);
    // Our own file, but nothing in it may run code of its own.
    Sqlite().db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    Sqlite().db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    Sqlite().db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    Sqlite().db_config(db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    Sqlite().db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    Sqlite().limit(db, SQLITE_LIMIT_ATTACHED, 0);
    try {
        CheckAndPrepare();
    } catch (const CSqliteError& e) {
        const int code = e.code & 0xFF;
        if (code == SQLITE_CORRUPT || code == SQLITE_NOTADB || code == SQLITE_ERROR || code == SQLITE_SCHEMA)
            throw CNotAStore{e.Message()};
        throw;
    }
}

void CSqliteHistoryStore::CheckAndPrepare() {
    auto number = [this](const char* sql) {
        CStatement statement(connection, sql);
        CQuery query(statement);
        return query.Step() ? query.Int(0) : 0;
    };
    const std::int64_t applicationId = number("PRAGMA application_id");
    const std::int64_t version = number("PRAGMA user_version");
    const std::int64_t objects = number("SELECT count(*) FROM sqlite_schema");
    const bool empty = applicationId == 0 && version == 0 && objects == 0;
    if (!empty && applicationId != kApplicationId) throw CNotAStore{"it is not a history of Tallyhawk"};
    if (version > kSchemaVersion)
        throw CHistoryError("The history " + connection.path +
                            " was written by a newer Tallyhawk; no versions are kept by this one.");
    if (!empty) {
        CStatement check(connection, "PRAGMA quick_check(1)");
        CQuery query(check);
        if (!query.Step() || query.Blob(0) != "ok") throw CNotAStore{"it fails SQLite's check"};
    }
    {
        CStatement mode(connection, "PRAGMA journal_mode = WAL");
        CQuery query(mode);
        if (!query.Step() || query.Blob(0) != "wal")
            throw CHistoryError("The history " + connection.path + " cannot keep a write-ahead log.");
    }
    connection.Exec("PRAGMA synchronous = NORMAL");
    connection.Exec("PRAGMA foreign_keys = ON");
    if (empty) {
        CTransaction transaction(connection);
        connection.Exec(kSchema);
        connection.Exec(("PRAGMA application_id = " + std::to_string(kApplicationId)).c_str());
        connection.Exec(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
        transaction.Commit();
    } else if (version != kSchemaVersion) {
        throw CNotAStore{"its tables are of no known layout"};
    }
    statements = std::make_unique<CStatements>(connection);  // fails on tables not ours
}

std::vector<CLink> CSqliteHistoryStore::Chain(std::int64_t id) const {
    std::vector<CLink> chain;
    std::int64_t page = 0;
    for (std::int64_t next = id;;) {
        CQuery query(statements->row);
        query.Bind(1, next);
        if (!query.Step())
            throw CDamagedVersion(chain.empty() ? "it is no longer kept"
                                                : "the version " + std::to_string(next) + " it is based on is missing");
        if (!chain.empty() && query.Int(0) != page) throw CDamagedVersion("it is based on another page's version");
        page = query.Int(0);
        const std::int64_t kind = query.Int(1);
        if (kind != kWhole && kind != kDelta) throw CDamagedVersion("its record is of no known kind");
        if (query.Int(3) < 0) throw CDamagedVersion("its record has a negative size");
        chain.push_back({next, static_cast<std::uint64_t>(query.Int(3)), std::string(query.Blob(4)),
                         std::string(query.Blob(5))});
        if (kind == kWhole) return chain;
        const std::int64_t base = query.Int(2);
        if (query.IsNull(2) || base >= next) throw CDamagedVersion("it is based on no earlier version");
        if (chain.size() >= kWholeEvery) throw CDamagedVersion("its chain of versions is too long");
        next = base;
    }
}

std::string CSqliteHistoryStore::DecodeChain(const std::vector<CLink>& chain) const {
    std::string bytes;
    for (auto link = chain.rbegin(); link != chain.rend(); ++link) {
        try {
            bytes = Decode(link->frame, bytes, link->size);
        } catch (const CHistoryError& e) {
            throw CDamagedVersion(link->id == chain.front().id
                                      ? e.Message()
                                      : "the version " + std::to_string(link->id) + " it is based on is damaged: " +
                                            e.Message());
        }
    }
    const CVersionHash hash = HashOf(bytes);
    if (chain.front().hash != std::string_view(reinterpret_cast<const char*>(hash.data()), hash.size()))
        throw CDamagedVersion("its bytes do not match their recorded hash");
    return bytes;
}

std::string CSqliteHistoryStore::Read(std::int64_t id) const {
    try {
        std::vector<CLink> chain;
        {
            std::lock_guard guard(lock);
            chain = Chain(id);
        }
        return DecodeChain(chain);
    } catch (const CDamagedVersion& e) {
        throw CHistoryError("The version " + std::to_string(id) + " in the history " + connection.path +
                            " cannot be read: " + e.Message() + ".");
    }
}

CSqliteHistoryStore::CNewest CSqliteHistoryStore::Newest(const std::string& pageKey, std::string_view hash,
                                                          std::size_t size) const {
    CNewest newest;
    std::vector<CLink> chain;
    {
        std::lock_guard guard(lock);
        CQuery query(statements->newest);
        query.BindText(1, pageKey);
        if (!query.Step()) return newest;
        newest.id = query.Int(0);
        newest.same = query.Blob(1) == hash && static_cast<std::uint64_t>(query.Int(2)) == size;
        if (newest.same) return newest;
        if (const auto cached = cache.Find(query.Int(3), newest.id)) {
            newest.bytes = cached->bytes;
            newest.depth = cached->depth;
            return newest;
        }
        try {
            chain = Chain(newest.id);
        } catch (const CDamagedVersion&) {
            return newest;
        }
    }
    try {
        newest.bytes = std::make_shared<const std::string>(DecodeChain(chain));
        newest.depth = chain.size() - 1;
    } catch (const CDamagedVersion&) {
    }
    return newest;
}

bool CSqliteHistoryStore::Insert(const std::string& pageKey, std::int64_t previous, const CRecord& record,
                                 std::string_view bytes) {
    std::lock_guard guard(lock);
    CTransaction transaction(connection);
    {
        CQuery query(statements->newest);
        query.BindText(1, pageKey);
        if ((query.Step() ? query.Int(0) : 0) != previous) return false;
    }
    CQuery(statements->addPage).BindText(1, pageKey).Run();
    std::int64_t page = 0;
    {
        CQuery query(statements->pageId);
        query.BindText(1, pageKey);
        if (!query.Step()) connection.Raise(SQLITE_INTERNAL);
        page = query.Int(0);
    }
    CQuery insert(statements->insert);
    insert.Bind(1, page).Bind(2, record.time).Bind(3, record.status);
    insert.Bind(4, static_cast<std::int64_t>(bytes.size())).Bind(5, static_cast<std::int64_t>(record.changeSize));
    insert.BindBlob(6, record.hash).Bind(7, record.delta ? kDelta : kWhole).BindBlob(9, record.frame);
    if (record.delta) insert.Bind(8, previous);
    else insert.BindNull(8);
    insert.Run();
    transaction.Commit();
    if (bytes.size() <= kCacheBytes / 4)
        cache.Put({page, Sqlite().last_insert_rowid(connection.db.get()), record.depth,
                   std::make_shared<const std::string>(bytes)});
    else
        cache.Forget(page);
    return true;
}

bool CSqliteHistoryStore::Append(const std::string& pageKey, std::int64_t time, std::int32_t status,
                                 std::string_view bytes) {
    if (bytes.size() > kMaxVersionSize)
        throw CHistoryError("A version of " + std::to_string(bytes.size()) + " bytes is too large for the history.");
    const CVersionHash hash = HashOf(bytes);
    const std::string_view hashBytes(reinterpret_cast<const char*>(hash.data()), hash.size());
    // The encoding, the long part, is done without the lock; the newest
    // version is checked again before the record goes in.
    for (int attempt = 0; attempt < kAppendAttempts; ++attempt) {
        const CNewest newest = Newest(pageKey, hashBytes, bytes.size());
        if (newest.same) return false;
        CRecord record;
        record.time = time;
        record.status = status;
        record.hash = hashBytes;
        record.delta = newest.bytes && newest.depth + 1 < kWholeEvery;
        record.depth = record.delta ? newest.depth + 1 : 0;
        record.frame = record.delta ? EncodeDelta(bytes, *newest.bytes) : EncodeWhole(bytes);
        // After a newest version that cannot be read back, all of it is new.
        record.changeSize = newest.id == 0 ? 0 : newest.bytes ? ChangeSize(*newest.bytes, bytes) : bytes.size();
        if (Insert(pageKey, newest.id, record, bytes)) return true;
    }
    throw CHistoryError("The history " + connection.path + " kept changing while a version of " + pageKey +
                        " was appended; it was not kept.");
}

void CSqliteHistoryStore::MarkAccepted(const std::string& pageKey, std::string_view bytes, std::int64_t time) {
    const CVersionHash hash = HashOf(bytes);
    std::lock_guard guard(lock);
    CQuery query(statements->accept);
    query.Bind(1, time).BindText(2, pageKey);
    query.BindBlob(3, std::string_view(reinterpret_cast<const char*>(hash.data()), hash.size()));
    query.Bind(4, static_cast<std::int64_t>(bytes.size())).Run();
}

std::vector<CHistoryVersion> CSqliteHistoryStore::List(const std::string& pageKey) const {
    std::lock_guard guard(lock);
    CQuery query(statements->list);
    query.BindText(1, pageKey);
    std::vector<CHistoryVersion> versions;
    while (query.Step()) {
        versions.push_back({query.Int(0), query.Int(1), static_cast<std::int32_t>(query.Int(2)), query.Int(3),
                            static_cast<std::uint64_t>(query.Int(4)), static_cast<std::uint64_t>(query.Int(5))});
    }
    return versions;
}

std::vector<std::string> CSqliteHistoryStore::Pages() const {
    std::lock_guard guard(lock);
    CQuery query(statements->pages);
    std::vector<std::string> keys;
    while (query.Step()) keys.emplace_back(query.Blob(0));
    return keys;
}

std::int64_t CSqliteHistoryStore::PruneStep(std::int64_t page, const CHistoryRetention& retention,
                                            std::int64_t now) {
    std::vector<std::pair<std::int64_t, std::int64_t>> versions;  // id, time; oldest first
    {
        CQuery query(statements->times);
        query.Bind(1, page);
        while (query.Step()) versions.emplace_back(query.Int(0), query.Int(1));
    }
    std::set<std::int64_t> doomed;
    const std::size_t count = versions.size();
    std::int64_t oldest = 0;  // the oldest time kept
    if (retention.maxAgeSeconds > 0 && __builtin_sub_overflow(now, retention.maxAgeSeconds, &oldest))
        oldest = std::numeric_limits<std::int64_t>::min();
    for (std::size_t i = 0; i < count && doomed.size() < kPruneStep; ++i) {
        const bool tooMany = retention.maxVersions > 0 && count - i > static_cast<std::size_t>(retention.maxVersions);
        const bool tooOld = retention.maxAgeSeconds > 0 && versions[i].second < oldest;
        if (tooMany || tooOld) doomed.insert(versions[i].first);
    }
    CTransaction transaction(connection);
    std::int64_t removed = 0;
    // A version based on one about to go is made whole first; one that
    // cannot be read back goes with it, as it could never be read again,
    // and then the versions based on it are looked at in turn.
    std::vector<std::int64_t> pending(doomed.begin(), doomed.end());
    while (!pending.empty()) {
        std::vector<std::int64_t> orphans;
        {
            CQuery query(statements->children);
            query.Bind(1, pending.back());
            while (query.Step())
                if (!doomed.count(query.Int(0))) orphans.push_back(query.Int(0));
        }
        pending.pop_back();
        for (const std::int64_t orphan : orphans) {
            try {
                const std::string frame = EncodeWhole(DecodeChain(Chain(orphan)));
                CQuery(statements->makeWhole).Bind(1, orphan).BindBlob(2, frame).Run();
            } catch (const CDamagedVersion&) {
                doomed.insert(orphan);
                pending.push_back(orphan);
            }
        }
    }
    for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) {  // newest first: a base outlives its deltas
        CQuery(statements->remove).Bind(1, *it).Run();
        removed += Sqlite().changes(connection.db.get());
    }
    CQuery(statements->removePage).Bind(1, page).Run();
    transaction.Commit();
    if (!doomed.empty()) cache.Forget(page);
    return removed;
}

std::int64_t CSqliteHistoryStore::Prune(const CHistoryRetention& retention, std::int64_t now) {
    std::vector<std::int64_t> pages;
    {
        std::lock_guard guard(lock);
        CQuery query(statements->pageIds);
        while (query.Step()) pages.push_back(query.Int(0));
    }
    std::int64_t removed = 0;
    for (const std::int64_t page : pages) {
        // One step per lock, so that an Append waits for one step at most.
        for (;;) {
            std::lock_guard guard(lock);
            const std::int64_t step = PruneStep(page, retention, now);
            removed += step;
            if (step == 0) break;
        }
    }
    return removed;
}

}  // namespace

std::unique_ptr<CHistoryStore> CHistoryStore::Open(const std::string& path, std::string* notice) {
    std::string error;
    if (!historydb::LoadSqlite(&error)) throw CHistoryError("SQLite could not be loaded: " + error);
    try {
        return std::make_unique<CSqliteHistoryStore>(path);
    } catch (const CNotAStore&) {
    }
    const std::string aside = SetAside(path);
    try {
        auto store = std::make_unique<CSqliteHistoryStore>(path);
        if (notice)
            *notice = "The history " + path + " was damaged; it was set aside as " + FileName(aside) +
                      " and a new history begun.";
        return store;
    } catch (const CNotAStore& e) {
        throw CHistoryError("The history " + path + " was damaged and a new one could not be begun: " + e.reason);
    }
}

}  // namespace tallyhawk
