#include "devicedb.h"

#include <cerrno>
#include <cinttypes>
#include <cstdlib>

#include "tq/platform/env.h"

namespace tq::devicedb
{

std::string databasePath(const char *subPath)
{
    std::string root;
    if (auto v = platform::getEnv("VPNPPATH"))
        root = *v;
    else if (auto w = platform::getEnv("VXIPNPPATH"))
        root = *w;
    else
        root = "/usr/local/vxipnp";
    std::string path =
        platform::joinPath(platform::joinPath(root, "winnt"), platform::nativePath(subPath ? subPath : ""));
    if (path.size() > kMaxPath)
        return {};
    return path;
}

sqlite3 *openDeviceDatabase(const char *subPath)
{
    const std::string path = databasePath(subPath);
    if (path.empty())
        return nullptr;
    sqlite3 *db = nullptr;
    // No SQLITE_OPEN_CREATE: a missing file is an error here, never a new empty database.
    const int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // The listing statements write text literals in double quotes; keep that
    // accepted whatever the library's compile-time default.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 1, nullptr);
    return db;
}

void closeDeviceDatabase(sqlite3 *db)
{
    if (db)
        sqlite3_close_v2(db);
}

std::optional<int64_t> parseInt64(const char *text)
{
    if (!text || !*text)
        return std::nullopt;
    const char *p = text;
    if (*p == '-' || *p == '+')
        ++p;
    if (*p < '0' || *p > '9')
        return std::nullopt;
    errno = 0;
    char *end = nullptr;
    const long long v = strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0')
        return std::nullopt;
    return static_cast<int64_t>(v);
}

namespace
{
thread_local uint64_t t_busy = 0;

void noteBusy(int rc)
{
    if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED)
        ++t_busy;
}
} // namespace

Statement::Statement(sqlite3 *db, const char *sql)
{
    if (!db || !sql) {
        prepareRc_ = SQLITE_MISUSE;
        return;
    }
    prepareRc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
    noteBusy(prepareRc_);
    if (prepareRc_ != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    } else if (!stmt_) {
        prepareRc_ = SQLITE_ERROR; // empty statement text
    }
}

Statement::Statement(StatementCache &cache, sqlite3 *db, const char *sql)
{
    if (!db || !sql) {
        prepareRc_ = SQLITE_MISUSE;
        return;
    }
    int rc = SQLITE_OK;
    stmt_ = cache.take(db, sql, &rc);
    if (stmt_) {
        cache_ = &cache;
        return;
    }
    if (rc != SQLITE_OK) {
        noteBusy(rc);
        prepareRc_ = rc;
        return;
    }
    // In use further up the stack: a statement of its own.
    prepareRc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
    if (prepareRc_ != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    } else if (!stmt_) {
        prepareRc_ = SQLITE_ERROR;
    }
}

Statement::~Statement()
{
    if (cache_)
        cache_->give(stmt_);
    else
        sqlite3_finalize(stmt_);
}

sqlite3_stmt *StatementCache::take(sqlite3 *db, const char *sql, int *rc)
{
    *rc = SQLITE_OK;
    for (Entry &e : entries_) {
        if (e.sql != sql)
            continue;
        if (e.inUse)
            return nullptr;
        if (e.db != db) {
            // The connection was replaced: this one belongs to the old.
            sqlite3_finalize(e.stmt);
            e.stmt = nullptr;
            e.db = db;
        }
        if (!e.stmt) {
            *rc = sqlite3_prepare_v2(db, sql, -1, &e.stmt, nullptr);
            if (*rc != SQLITE_OK || !e.stmt) {
                sqlite3_finalize(e.stmt);
                e.stmt = nullptr;
                if (*rc == SQLITE_OK)
                    *rc = SQLITE_ERROR;
                return nullptr;
            }
        }
        e.inUse = true;
        return e.stmt;
    }
    sqlite3_stmt *stmt = nullptr;
    *rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    if (*rc != SQLITE_OK || !stmt) {
        sqlite3_finalize(stmt);
        if (*rc == SQLITE_OK)
            *rc = SQLITE_ERROR;
        return nullptr;
    }
    entries_.push_back({db, sql, stmt, true});
    return stmt;
}

void StatementCache::give(sqlite3_stmt *stmt)
{
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->stmt != stmt)
            continue;
        if (!it->sql) {
            // Cleared while it was lent out.
            sqlite3_finalize(stmt);
            entries_.erase(it);
            return;
        }
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        it->inUse = false;
        return;
    }
    sqlite3_finalize(stmt);
}

void StatementCache::clear()
{
    for (Entry &e : entries_)
        if (!e.inUse)
            sqlite3_finalize(e.stmt);
    // A statement still lent out is finalized by give() when it comes back.
    std::erase_if(entries_, [](const Entry &e) { return !e.inUse; });
    for (Entry &e : entries_)
        e.sql = nullptr;
}

void Statement::bindOne(int index, const char *value)
{
    if (!stmt_ || bindRc_ != SQLITE_OK)
        return;
    bindRc_ = value ? sqlite3_bind_text(stmt_, index, value, -1, SQLITE_TRANSIENT) : sqlite3_bind_null(stmt_, index);
}

void Statement::bindText(int index, std::string_view value)
{
    if (!stmt_ || bindRc_ != SQLITE_OK)
        return;
    bindRc_ = sqlite3_bind_text64(stmt_, index, value.data(), value.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void Statement::bindInt64(int index, int64_t value)
{
    if (!stmt_ || bindRc_ != SQLITE_OK)
        return;
    bindRc_ = sqlite3_bind_int64(stmt_, index, value);
}

void Statement::bindDouble(int index, double value)
{
    if (!stmt_ || bindRc_ != SQLITE_OK)
        return;
    bindRc_ = sqlite3_bind_double(stmt_, index, value);
}

uint64_t busyCount()
{
    return t_busy;
}

int Statement::step()
{
    if (!ok())
        return SQLITE_MISUSE;
    const int rc = sqlite3_step(stmt_);
    noteBusy(rc);
    return rc;
}

bool Statement::isNull(int column) const
{
    return !stmt_ || sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

const char *Statement::text(int column) const
{
    // Null for NULL (sqlite3_column_text says so itself: one call, which
    // matters on a serialized connection where every call takes its lock).
    if (!stmt_)
        return nullptr;
    return reinterpret_cast<const char *>(sqlite3_column_text(stmt_, column));
}

std::optional<int64_t> Statement::int64(int column) const
{
    // A stored integer is taken as it is; anything else must read as one.
    const int kind = type(column);
    if (kind == SQLITE_INTEGER)
        return sqlite3_column_int64(stmt_, column);
    if (kind == SQLITE_NULL)
        return std::nullopt;
    return parseInt64(text(column));
}

} // namespace tq::devicedb
