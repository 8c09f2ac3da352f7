// What the manager's tests share: a device database made by the set-up
// script in a directory of the test's own, the rows each test adds to it,
// and the logs and trace lines the tests read back.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tqdaq.h"

namespace mtest
{

constexpr ViUInt16 kVendor = 0x3c5a;
constexpr ViUInt16 kAppModel = 100;

inline std::string testDir()
{
    const char *base = std::getenv("TQ_TEST_TMPDIR");
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char &c : name)
        if (c == '/')
            c = '_';
    return std::string(base ? base : "/tmp") + "/manager/" + name;
}

inline std::vector<std::string> readLines(const std::string &path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

inline int runScript(const std::string &arguments)
{
    const std::string cmd = "sh '" TQ_SOURCE_DIR "/scripts/setup-devicedb' " + arguments + " >/dev/null 2>&1";
    return std::system(cmd.c_str());
}

class DeviceDb
{
  public:
    // Makes the file with users "operator" (controller) and "other", points
    // VPNPPATH at it and opens the test's own connection.
    explicit DeviceDb(const std::string &dir, bool spy = false) : dir_(dir)
    {
        std::system(("rm -rf '" + dir + "'").c_str());
        EXPECT_EQ(runScript("--root '" + dir + "' --user other --datapath '" + dir + "/data'"), 0);
        setenv("VPNPPATH", dir.c_str(), 1);
        setenv("TQ_DEBUG_LOG", debugLog().c_str(), 1);
        setenv("TQ_APPINSTRUMENT_LOG", appLog().c_str(), 1);
        setenv("TQ_TESTDRIVER_LOG", driverLog().c_str(), 1);
        {
            std::ofstream reg(dir + "/registry");
            reg << "HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmarc\\tqdaq\\Spy=" << (spy ? 1 : 0) << "\n";
        }
        setenv("TQ_REGISTRY", (dir + "/registry").c_str(), 1);
        EXPECT_EQ(sqlite3_open_v2(file().c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        sqlite3_busy_timeout(db_, 5000);
        // The test's own rows need not wait for the disk.
        sqlite3_exec(db_, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    }
    ~DeviceDb() { sqlite3_close(db_); }

    std::string file() const { return dir_ + "/winnt/tqdaq/device"; }
    std::string debugLog() const { return dir_ + "/debug.log"; }
    std::string appLog() const { return dir_ + "/app.log"; }
    std::string driverLog() const { return dir_ + "/driver.log"; }
    sqlite3 *db() const { return db_; }

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
    // Every row of every table, as text: what a call must leave alone.
    std::string dump()
    {
        std::string out;
        sqlite3_stmt *t = nullptr;
        sqlite3_prepare_v2(db_, "select name from sqlite_master where type='table' order by name", -1, &t, nullptr);
        while (sqlite3_step(t) == SQLITE_ROW) {
            const std::string table = reinterpret_cast<const char *>(sqlite3_column_text(t, 0));
            out += "[" + table + "]\n";
            sqlite3_stmt *q = nullptr;
            sqlite3_prepare_v2(db_, ("select * from " + table).c_str(), -1, &q, nullptr);
            while (sqlite3_step(q) == SQLITE_ROW) {
                for (int c = 0; c < sqlite3_column_count(q); ++c) {
                    const unsigned char *v = sqlite3_column_text(q, c);
                    out += v ? reinterpret_cast<const char *>(v) : "NULL";
                    out += "|";
                }
                out += "\n";
            }
            sqlite3_finalize(q);
        }
        sqlite3_finalize(t);
        return out;
    }

    // A model with its operations.
    int64_t addModel(ViUInt16 vendor, ViUInt16 model, const std::string &prefix, const std::string &lib,
                     const std::vector<std::string> &operations)
    {
        const int64_t id = insert("insert into model (vendor,model,platform,prefix,productname,pnplibname) values (" +
                                  std::to_string(vendor) + "," + std::to_string(model) + ",'sys','" + prefix + "','" +
                                  prefix + "','" + lib + "')");
        for (const auto &op : operations)
            exec("insert into operation (model_id,operation) values (" + std::to_string(id) + ",'" + op + "')");
        return id;
    }
    int64_t addAppModel()
    {
        return addModel(kVendor, kAppModel, "appinstrument", "appinstrument", {"uiEvent", "start", "stop"});
    }
    int64_t addTestModel(const std::vector<std::string> &operations = {"start", "stop", "reset"})
    {
        return addModel(kVendor, 200, "tqmtest", "tqmtestdriver", operations);
    }
    int64_t addVresource(const std::string &name, int64_t model)
    {
        return insert("insert into vresource (name,model_id) values ('" + name + "'," + std::to_string(model) + ")");
    }
    // A configuration database of a model, selected when asked.
    int64_t addDatabase(const std::string &name, int64_t model, bool select = true)
    {
        const int64_t v = addVresource(name, model);
        const int64_t id = insert("insert into db (vresource_id) values (" + std::to_string(v) + ")");
        if (select)
            exec("update system set db_id=" + std::to_string(id) + " where system_id=1");
        return id;
    }
    void addMember(int64_t db, int64_t vresource, int enable = 1)
    {
        exec("insert into db_resource (db_id,vresource_id,enable) values (" + std::to_string(db) + "," +
             std::to_string(vresource) + "," + std::to_string(enable) + ")");
    }
    void setConfig(int64_t db, int64_t vresource, const std::string &property, const std::string &value,
                   const std::string &category = "NULL")
    {
        exec("insert into configs (db_id,vresource_id,category_id,property,seq_id,value) values (" +
             std::to_string(db) + "," + std::to_string(vresource) + "," + category + ",'" + property + "',1,'" + value +
             "')");
    }
    // The InstrumentName option of a model, and a resource's value of it.
    int64_t addInstrumentNameOption(int64_t model)
    {
        const int64_t cat = insert("insert into category (name) values ('Options')");
        exec("insert into model_options (model_id,category_id) values (" + std::to_string(model) + "," +
             std::to_string(cat) + ")");
        return insert("insert into ui_item (category_id,type,property) values (" + std::to_string(cat) +
                      ",'textbox','InstrumentName')");
    }
    void setInstrumentName(int64_t vresource, int64_t item, const std::string &name)
    {
        exec("insert into vresource_options (vresource_id,ui_item_id,value) values (" + std::to_string(vresource) +
             "," + std::to_string(item) + ",'" + name + "')");
    }

  private:
    std::string dir_;
    sqlite3 *db_ = nullptr;
};

// A message queue to register as a session's message sink; take() reads
// what was printed to it since the last call.
struct Sink {
    Sink() { StreamMsgCommonCreate(4096, &queue); }
    ~Sink()
    {
        if (queue)
            queue->streamMsgRelease(&queue);
    }
    Sink(const Sink &) = delete;
    Sink &operator=(const Sink &) = delete;
    std::vector<std::string> take()
    {
        std::vector<std::string> lines;
        char buffer[512];
        uint32_t length = 0;
        queue->streamMsgLock(queue, 1000);
        while (queue->streamMsgRead(queue, buffer, sizeof buffer, &length) != 2)
            lines.emplace_back(buffer);
        queue->streamMsgUnlock(queue);
        return lines;
    }
    TQStreamMsg *queue = nullptr;
};

// A database with the application model, its selected database "system"
// and the controller "operator".
struct AppDb {
    explicit AppDb(bool spy = false) : d(testDir(), spy)
    {
        appModel = d.addAppModel();
        dbId = d.addDatabase("system", appModel);
    }
    ViStatus open(ViSession &session, const char *user = "operator")
    {
        return tqdaq_getHandle(&session, user, "pw", kVendor, kAppModel);
    }
    DeviceDb d;
    int64_t appModel = 0;
    int64_t dbId = 0;
};

} // namespace mtest
