// The device database module: where the file lives, how a connection is
// opened, and statements with bound values. The resource manager and the
// installers carry it alike.
//
// A connection never creates the file (scripts/setup-devicedb does), waits
// for other writers instead of failing at once, and accepts double-quoted
// text as string literals (the listing statements use them). Outside text
// enters SQL only as a bound value.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tq::devicedb
{

// How long a statement waits for another connection's write lock.
constexpr int kBusyTimeoutMs = 5000;
// Longest path of the file, as the system has always allowed.
constexpr size_t kMaxPath = 255;

// <root>/winnt/<subPath> with the root from VPNPPATH, else VXIPNPPATH, else
// /usr/local/vxipnp; '\\' in subPath becomes '/'. Empty when the path would
// be longer than kMaxPath.
std::string databasePath(const char *subPath);

// Opens the file for reading and writing; null when it does not exist or
// cannot be opened (nothing is created).
sqlite3 *openDeviceDatabase(const char *subPath = "tqdaq/device");
void closeDeviceDatabase(sqlite3 *db);

// Exactly one signed decimal 64-bit number and nothing else.
std::optional<int64_t> parseInt64(const char *text);

// Prepared statements kept for reuse on one connection, found by the address
// of their text: only for statement texts that live as long as the program
// (literals). A statement that is in use when asked for again is prepared
// afresh for the second user, so nested users never share one.
class StatementCache
{
  public:
    StatementCache() = default;
    ~StatementCache() { clear(); }
    StatementCache(const StatementCache &) = delete;
    StatementCache &operator=(const StatementCache &) = delete;

    // A statement of sql on db ready to bind, marked in use; null when it is
    // in use already or cannot be prepared (*rc says which: SQLITE_OK for in
    // use, else the prepare's error).
    sqlite3_stmt *take(sqlite3 *db, const char *sql, int *rc);
    // Hands a taken statement back: reset, bindings cleared, free again.
    void give(sqlite3_stmt *stmt);
    // Finalizes every statement (before their connection is closed).
    void clear();

  private:
    struct Entry {
        sqlite3 *db;
        const char *sql;
        sqlite3_stmt *stmt;
        bool inUse;
    };
    std::vector<Entry> entries_;
};

// One prepared statement. Values are bound by position (1-based) in the order
// they are given; a null const char* binds NULL.
class Statement
{
  public:
    Statement(sqlite3 *db, const char *sql);
    // Borrowed from the cache when it holds a free one for sql (a literal).
    Statement(StatementCache &cache, sqlite3 *db, const char *sql);
    template <typename... Values>
    Statement(StatementCache &cache, sqlite3 *db, const char *sql, const Values &...values) : Statement(cache, db, sql)
    {
        int index = 1;
        (bindOne(index++, values), ...);
    }
    template <typename... Values> Statement(sqlite3 *db, const char *sql, const Values &...values) : Statement(db, sql)
    {
        int index = 1;
        (bindOne(index++, values), ...);
    }
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // Prepared and every value bound.
    bool ok() const { return stmt_ != nullptr && bindRc_ == SQLITE_OK; }
    // The result of preparing (SQLITE_OK when prepared) or of a failed bind.
    int prepareResult() const { return prepareRc_ != SQLITE_OK ? prepareRc_ : bindRc_; }
    // SQLITE_ROW, SQLITE_DONE or an error; SQLITE_MISUSE when not ok().
    int step();

    bool isNull(int column) const;
    // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB or SQLITE_NULL.
    int type(int column) const { return stmt_ ? sqlite3_column_type(stmt_, column) : SQLITE_NULL; }
    // The column's value when it is stored as an integer, else nullopt.
    std::optional<int64_t> integer(int column) const
    {
        if (type(column) != SQLITE_INTEGER)
            return std::nullopt;
        return sqlite3_column_int64(stmt_, column);
    }
    // Column text; null for NULL.
    const char *text(int column) const;
    // The column's text parsed as one 64-bit number; nullopt for NULL or text
    // that does not parse.
    std::optional<int64_t> int64(int column) const;

  private:
    void bindOne(int index, const char *value);
    void bindOne(int index, const std::string &value) { bindText(index, value); }
    void bindOne(int index, std::string_view value) { bindText(index, value); }
    template <typename T, std::enable_if_t<std::is_integral_v<T>, int> = 0> void bindOne(int index, T value)
    {
        bindInt64(index, static_cast<int64_t>(value));
    }
    void bindOne(int index, double value) { bindDouble(index, value); }
    void bindText(int index, std::string_view value);
    void bindInt64(int index, int64_t value);
    void bindDouble(int index, double value);

    sqlite3_stmt *stmt_ = nullptr;
    StatementCache *cache_ = nullptr; // the lender of stmt_, or null
    int prepareRc_ = SQLITE_OK;
    int bindRc_ = SQLITE_OK;
};

// How many statements on this thread gave up waiting for another
// connection's lock (SQLITE_BUSY or SQLITE_LOCKED); callers compare it before
// and after a call to tell a busy database from a failed statement.
uint64_t busyCount();

// Prepares, binds, steps once and finalizes: the step's result (SQLITE_DONE
// for a change that went through), or the prepare's error.
template <typename... Values> int execStatement(sqlite3 *db, const char *sql, const Values &...values)
{
    Statement s(db, sql, values...);
    if (!s.ok())
        return s.prepareResult() != SQLITE_OK ? s.prepareResult() : SQLITE_ERROR;
    return s.step();
}

} // namespace tq::devicedb
