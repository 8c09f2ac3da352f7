// What the installer tests share: a device database made by the set-up
// script in a directory of the test's own, the installer programs run as
// processes on it, and row counts read back.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace itest
{

inline std::string testDir()
{
    const char *base = std::getenv("TQ_TEST_TMPDIR");
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char &c : name)
        if (c == '/')
            c = '_';
    return std::string(base ? base : "/tmp") + "/installers/" + name;
}

inline std::string readFile(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> out;
    std::stringstream s(text);
    std::string line;
    while (std::getline(s, line))
        out.push_back(line);
    return out;
}

struct Run {
    int status = -1; // exit status, -1 when the program did not exit normally
    std::string out;
    std::string err;
};

class DeviceDb
{
  public:
    // Makes the file (unless told not to), points VPNPPATH at it and opens
    // the test's own connection.
    explicit DeviceDb(const std::string &dir, bool create = true) : dir_(dir)
    {
        std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str());
        setenv("VPNPPATH", dir.c_str(), 1);
        if (!create)
            return;
        const std::string cmd = "sh '" TQ_SOURCE_DIR "/scripts/setup-devicedb' --root '" + dir + "' >/dev/null 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        EXPECT_EQ(sqlite3_open_v2(file().c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        sqlite3_busy_timeout(db_, 5000);
    }
    ~DeviceDb() { sqlite3_close(db_); }

    std::string dir() const { return dir_; }
    std::string file() const { return dir_ + "/winnt/tqdaq/device"; }
    sqlite3 *db() const { return db_; }

    // Runs an installer of the build with the given words; its output is kept.
    Run run(const std::string &program, const std::string &words)
    {
        const std::string out = dir_ + "/out.txt", err = dir_ + "/err.txt";
        const std::string cmd = "'" TQ_BIN_DIR "/" + program + "' " + words + " >'" + out + "' 2>'" + err + "'";
        const int raw = std::system(cmd.c_str());
        Run r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = readFile(out);
        r.err = readFile(err);
        return r;
    }

    void exec(const std::string &sql)
    {
        char *error = nullptr;
        ASSERT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << sql << ": " << error;
    }
    int64_t insert(const std::string &sql)
    {
        exec(sql);
        return sqlite3_last_insert_rowid(db_);
    }
    // The first column of the first row as text; "NULL" for NULL, "" without a row.
    std::string value(const std::string &sql)
    {
        sqlite3_stmt *q = nullptr;
        std::string out;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &q, nullptr) == SQLITE_OK && sqlite3_step(q) == SQLITE_ROW)
            out = sqlite3_column_type(q, 0) == SQLITE_NULL ? "NULL"
                                                           : reinterpret_cast<const char *>(sqlite3_column_text(q, 0));
        sqlite3_finalize(q);
        return out;
    }
    long count(const std::string &sql) { return std::stol("0" + value(sql)); }
    // Every column of every row of a query, one line per row.
    std::vector<std::string> rows(const std::string &sql)
    {
        std::vector<std::string> out;
        sqlite3_stmt *q = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &q, nullptr), SQLITE_OK) << sql;
        while (q && sqlite3_step(q) == SQLITE_ROW) {
            std::string row;
            for (int c = 0; c < sqlite3_column_count(q); ++c) {
                const unsigned char *v = sqlite3_column_text(q, c);
                row += (c ? "|" : "") + std::string(v ? reinterpret_cast<const char *>(v) : "NULL");
            }
            out.push_back(row);
        }
        sqlite3_finalize(q);
        return out;
    }
    // Every row of every table: what a refused run must leave alone.
    std::string dump()
    {
        std::string out;
        for (const auto &t : rows("select name from sqlite_master where type='table' and name not like 'sqlite_%' "
                                  "order by name")) {
            out += "[" + t + "]\n";
            for (const auto &r : rows("select * from " + t))
                out += r + "\n";
        }
        return out;
    }

  private:
    std::string dir_;
    sqlite3 *db_ = nullptr;
};

} // namespace itest
