// Stored configuration values and the configuration transaction, through the
// library, on test-driver members with a small catalogue of their own. The
// test driver and the application instrument log into one file, so the log
// shows what every instrument was told, in order.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fixture.h"

using namespace mtest;

namespace
{

struct Item {
    const char *property;
    const char *type;
    const char *dflt;             // null: no default
    const char *postResetUnknown; // null: not said
    int isvirtual;
};

// The test model's catalogue: one category "Channel" with these items.
const std::vector<Item> kItems = {
    {"Gain", "int", "5", "0", 0},
    {"Offset", "real", "5.0", "0", 0},
    {"Label", "textbox", "ch$@#", "0", 0},
    {"Plain", "textbox", "ch#", "0", 0},
    {"Thermo", "menu", "(none)", nullptr, 0},
    {"Mode", "menu", "2", "1", 0},
    {"NoDefault", "menu", nullptr, "0", 0},
    {"Rank", "int", "0", "0", 1},
    {"UnknownProp", "menu", "0", "0", 0},
    {"RefusedGain", "int", "0", "0", 0},
};

struct Cfg : AppDb {
    explicit Cfg(bool spy = false) : AppDb(spy)
    {
        setenv("TQ_TESTDRIVER_LOG", d.appLog().c_str(), 1);
        // Older catalogues left ispostresetunknown unsaid: the column takes
        // NULL here as it did in their files.
        d.exec("alter table ui_item rename to ui_item_old");
        d.exec("create table ui_item (ui_item_id INTEGER PRIMARY KEY AUTOINCREMENT, category_id INTEGER NOT NULL, "
               "type TEXT NOT NULL, width INTEGER DEFAULT NULL, label TEXT NOT NULL DEFAULT '', min NUMERIC, max "
               "NUMERIC, dflt TEXT, property TEXT NOT NULL, description TEXT NOT NULL DEFAULT '', tooltip TEXT NOT "
               "NULL DEFAULT '', orderseq INTEGER NOT NULL DEFAULT 65535, ispostresetunknown TEXT DEFAULT '0', "
               "isvirtual INTEGER NOT NULL DEFAULT 0)");
        d.exec("insert into ui_item select * from ui_item_old");
        d.exec("drop table ui_item_old");

        testModel = d.addTestModel({"reset", "start", "stop"});
        nameItem = d.addInstrumentNameOption(testModel);
        channel = d.insert("insert into category (name) values ('Channel')");
        d.exec("insert into ui (model_id,category_id) values (" + std::to_string(testModel) + "," +
               std::to_string(channel) + ")");
        d.exec("insert into category_attributes (category_id,name,value) values (" + std::to_string(channel) +
               ",'rankProperty','Rank')");
        const int64_t amp = d.insert("insert into category (name) values ('A &amp; B')");
        d.exec("insert into ui (model_id,category_id) values (" + std::to_string(testModel) + "," +
               std::to_string(amp) + ")");
        d.exec("insert into category_attributes (category_id,name,value) values (" + std::to_string(amp) +
               ",'enableProperty','Both')");
        for (const Item &i : kItems)
            d.exec(std::string("insert into ui_item (category_id,type,dflt,property,ispostresetunknown,isvirtual) "
                               "values (") +
                   std::to_string(channel) + ",'" + i.type + "'," + sq(i.dflt) + ",'" + i.property + "'," +
                   sq(i.postResetUnknown) + "," + std::to_string(i.isvirtual) + ")");
    }
    static std::string sq(const char *text) { return text ? "'" + std::string(text) + "'" : "NULL"; }
    int64_t member(const std::string &name, int enable = 1)
    {
        const int64_t v = d.addVresource(name, testModel);
        d.setInstrumentName(v, nameItem, name);
        d.addMember(dbId, v, enable);
        return v;
    }
    // A stored value written behind the session's back.
    void seed(const std::string &name, const char *property, const char *index, int seq, const char *value)
    {
        d.exec("insert into configs (db_id,vresource_id,category_id,property,property_index,seq_id,value) values (" +
               std::to_string(dbId) + ",(select vresource_id from vresource where name='" + name + "')," +
               std::to_string(channel) + ",'" + property + "'," + (index ? index : "NULL") + "," +
               std::to_string(seq) + ",'" + value + "')");
    }
    // The stored value, "ABSENT" without a row.
    std::string stored(const std::string &name, const char *property, const char *index, int seq = 1)
    {
        const std::string count = d.value(
            "select count(*) from configs where vresource_id=(select vresource_id from vresource where name='" +
            name + "') and property='" + property + "' and seq_id=" + std::to_string(seq) + " and " +
            (index ? "property_index=" + std::string(index) : std::string("property_index is null")));
        if (count == "0")
            return "ABSENT";
        EXPECT_EQ(count, "1") << property;
        return d.value("select value from configs where vresource_id=(select vresource_id from vresource where "
                       "name='" +
                       name + "') and property='" + property + "' and seq_id=" + std::to_string(seq) + " and " +
                       (index ? "property_index=" + std::string(index) : std::string("property_index is null")));
    }
    std::vector<std::string> logFrom(size_t from)
    {
        auto lines = readLines(d.appLog());
        return std::vector<std::string>(lines.begin() + static_cast<long>(std::min(from, lines.size())), lines.end());
    }
    size_t logSize() { return readLines(d.appLog()).size(); }
    // Whether another connection can write now (it does not wait).
    bool othersCanWrite()
    {
        sqlite3 *other = nullptr;
        sqlite3_open_v2(d.file().c_str(), &other, SQLITE_OPEN_READWRITE, nullptr);
        const bool ok = sqlite3_exec(other, "insert into appdata (key,value,db_id) values ('probe','1',0); delete "
                                            "from appdata where key='probe'",
                                     nullptr, nullptr, nullptr) == SQLITE_OK;
        sqlite3_close(other);
        return ok;
    }
    int64_t testModel = 0, nameItem = 0, channel = 0;
};

int count(const std::vector<std::string> &lines, const std::string &line)
{
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

// ---- Stored rows against the item's default ---------------------------------

struct StoreCase {
    const char *what;
    const char *member;
    const char *property;
    const char *index;
    int seq;
    const char *seeded; // row stored before, or null
    const char *value;
    const char *expected; // "ABSENT": no row
    const char *storedIndex;
};

const std::vector<StoreCase> kStoreCases = {
    {"an int read as the same number is the default", "m1", "Gain", "1", 1, "7", "5.0", "ABSENT", "1"},
    {"a real read as the same number is the default", "m1", "Offset", "1", 1, "7", "5", "ABSENT", "1"},
    {"a value that is no number is never the default", "m1", "Gain", "2", 1, "7", "five", "five", "2"},
    {"'$' is the index and '#' the site", "mod", "Label", "3", 1, "x", "ch3@2", "ABSENT", "3"},
    {"'#' alone is kept as it is", "mod", "Plain", "1", 1, "x", "ch2", "ch2", "1"},
    {"'#' alone compares as written", "mod", "Plain", "2", 1, "x", "ch#", "ABSENT", "2"},
    {"no site: '#' stands for nothing", "m1", "Label", "4", 1, "x", "ch4@", "ABSENT", "4"},
    {"an item that does not say what a reset leaves is taken at its default", "m1", "Thermo", "1", 1, "typek",
     "(none)", "ABSENT", "1"},
    {"an item whose value after a reset is unknown keeps its row", "m1", "Mode", "1", 1, "3", "2", "2", "1"},
    {"another step keeps its row", "m1", "Gain", "3", 2, "7", "5", "5", "3"},
    {"no default to compare with: updated", "m1", "NoDefault", "1", 1, "1", "0", "0", "1"},
    {"no row yet: inserted even at the default", "m1", "Gain", "5", 1, nullptr, "5", "5", "5"},
    {"the same value: left alone", "m1", "Gain", "6", 1, "9", "9", "9", "6"},
    {"an empty index is no index", "m1", "Mode", "", 1, nullptr, "3", "3", nullptr},
    {"an index is a number", "m1", "Mode", "07", 1, nullptr, "4", "4", "7"},
};

TEST(SetConfigs, DefaultsDropTheirRows)
{
    Cfg c;
    const int64_t m1 = c.member("m1");
    const int64_t mod = c.member("mod");
    c.d.exec("insert into vadapter (frontend_id,backend_id,connector_index) values (" + std::to_string(mod) + "," +
             std::to_string(m1) + ",2)");
    for (const StoreCase &k : kStoreCases)
        if (k.seeded)
            c.seed(k.member, k.property, k.index, k.seq, k.seeded);
    ViSession s = 0;
    ASSERT_EQ(c.open(s), VI_SUCCESS);
    for (const StoreCase &k : kStoreCases) {
        char message[256] = "";
        EXPECT_EQ(tqdaq_setConfigs(s, k.member, static_cast<ViUInt16>(k.seq), "Channel", k.index, k.property, k.value,
                                   message),
                  VI_SUCCESS)
            << k.what << ": " << message;
    }
    char message[256] = "junk";
    ASSERT_EQ(tqdaq_crossCheck(s, nullptr, 1, message), VI_SUCCESS) << message;
    EXPECT_STREQ(message, "");
    for (const StoreCase &k : kStoreCases)
        EXPECT_EQ(c.stored(k.member, k.property, k.storedIndex, k.seq), k.expected) << k.what;
    // Each value went to its instrument as "index,value" (the index as a number) or the value.
    const auto log = c.logFrom(0);
    EXPECT_EQ(count(log, "m1 setPropertyByName Mode 7,4"), 1);
    EXPECT_EQ(count(log, "m1 setPropertyByName Mode 3"), 1);
    EXPECT_EQ(count(log, "mod setPropertyByName Label 3,ch3@2"), 1);
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

// ---- The transaction ----------------------------------------------------------

TEST(ConfigTransaction, FirstEditReloadsInSimulationAndHoldsTheWriteLock)
{
    Cfg c;
    c.member("m1");
    c.member("m2");
    c.member("off", 0);
    const int64_t m1 = std::stoll(c.d.value("select vresource_id from vresource where name='m1'"));
    for (int seq = 1; seq <= 3; ++seq)
        c.seed("m1", "Gain", "1", seq, std::to_string(10 + seq).c_str());
    c.seed("m1", "Rank", nullptr, 1, "4"); // virtual: never sent
    ViSession s = 0;
    ASSERT_EQ(c.open(s), VI_SUCCESS);
    size_t from = c.logSize();

    char message[256] = "";
    ASSERT_EQ(tqdaq_setConfigs(s, "m1", 2, "Channel", "2", "Gain", "6", message), VI_SUCCESS) << message;
    auto log = c.logFrom(from);
    // Every enabled member reset and switched to simulation, the steps up to
    // the edited one sent, then the edit itself; the database's own
    // instrument is configured, never reset; the disabled member untouched.
    const std::vector<std::string> reload = {"m1 reset NULL",
                                             "m1 setSimulationMode 1",
                                             "m1 setPropertyByName Gain 1,11",
                                             "m1 setPropertyByName Gain 1,12",
                                             "m2 reset NULL",
                                             "m2 setSimulationMode 1",
                                             "m1 setPropertyByName Gain 2,6"};
    std::vector<std::string> seen;
    for (const std::string &line : log)
        if (line.rfind("m1 ", 0) == 0 || line.rfind("m2 ", 0) == 0 || line.rfind("off ", 0) == 0 ||
            line.find("reset") != std::string::npos || line.rfind("setSimulationMode", 0) == 0)
            if (line.find(" init") == std::string::npos && line.find("registerStreamMsg") == std::string::npos)
                seen.push_back(line);
    EXPECT_EQ(seen, reload);
    EXPECT_FALSE(c.othersCanWrite()) << "the transaction holds the write lock";

    from = c.logSize();
    ASSERT_EQ(tqdaq_setConfigs(s, "m1", 1, "Channel", "3", "Gain", "7", message), VI_SUCCESS) << message;
    EXPECT_EQ(c.logFrom(from), std::vector<std::string>{"m1 setPropertyByName Gain 3,7"}) << "no second reload";

    ASSERT_EQ(tqdaq_crossCheck(s, "", 1, message), VI_SUCCESS) << message;
    EXPECT_TRUE(c.othersCanWrite());
    EXPECT_EQ(c.stored("m1", "Gain", "2", 2), "6");
    EXPECT_EQ(c.stored("m1", "Gain", "3", 1), "7");
    EXPECT_EQ(c.d.value("select count(*) from configs where vresource_id=" + std::to_string(m1)), "6");
    EXPECT_EQ(tqdaq_abortConfigs(s), VI_ERROR_INV_SETUP) << "the check ended the transaction";

    // The next edit opens a new transaction with a new reload.
    from = c.logSize();
    ASSERT_EQ(tqdaq_setConfigs(s, "m1", 1, "Channel", "3", "Gain", "8", message), VI_SUCCESS) << message;
    EXPECT_EQ(count(c.logFrom(from), "m1 reset NULL"), 1);
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS) << "closing commits";
    EXPECT_EQ(c.stored("m1", "Gain", "3", 1), "8");
}

struct EndCase {
    const char *what;
    const char *refusing;  // member whose crossCheck refuses, or null
    int how;               // 0 crossCheck, 1 abort, 2 a refused edit
    ViStatus expected;
    const char *message;
    bool kept;             // the edits are stored afterwards
    bool resetAfter;       // the refusing member was reset
};

class EndTransaction : public ::testing::TestWithParam<EndCase>
{
};

TEST_P(EndTransaction, CommitsOrDiscardsEveryEdit)
{
    const EndCase &k = GetParam();
    Cfg c;
    c.member("m1");
    if (k.refusing)
        c.member(k.refusing);
    ViSession s = 0;
    ASSERT_EQ(c.open(s), VI_SUCCESS);
    char message[256] = "";
    ASSERT_EQ(tqdaq_setConfigs(s, "m1", 1, "Channel", "1", "Gain", "1", message), VI_SUCCESS);
    ASSERT_EQ(tqdaq_setConfigs(s, "m1", 1, "Channel", nullptr, "Mode", "3", message), VI_SUCCESS);
    const size_t from = c.logSize();
    ViStatus st = VI_SUCCESS;
    if (k.how == 0)
        st = tqdaq_crossCheck(s, nullptr, 1, message);
    else if (k.how == 1)
        st = tqdaq_abortConfigs(s);
    else
        st = tqdaq_setConfigs(s, "m1", 1, "Channel", "1", "RefusedGain", "3", message);
    EXPECT_EQ(st, k.expected) << k.what;
    if (k.message) {
        EXPECT_STREQ(message, k.message) << k.what;
    }
    EXPECT_EQ(c.stored("m1", "Gain", "1"), k.kept ? "1" : "ABSENT") << k.what;
    EXPECT_EQ(c.stored("m1", "Mode", nullptr), k.kept ? "3" : "ABSENT") << k.what;
    EXPECT_EQ(c.d.value("select count(*) from configs where property='RefusedGain'"), "0") << k.what;
    EXPECT_TRUE(c.othersCanWrite()) << k.what;
    if (k.refusing) {
        EXPECT_EQ(count(c.logFrom(from), std::string(k.refusing) + " reset NULL"), k.resetAfter ? 1 : 0) << k.what;
    }
    EXPECT_EQ(tqdaq_abortConfigs(s), VI_ERROR_INV_SETUP) << k.what << ": nothing left open";
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EndTransaction,
    ::testing::Values(EndCase{"the check commits", nullptr, 0, VI_SUCCESS, "", true, false},
                      EndCase{"a driver refusing its settings rolls back and is reset", "reject1", 0,
                              VI_ERROR_INV_SETUP, "reject1 rejects its settings", false, true},
                      EndCase{"abort rolls back", nullptr, 1, VI_SUCCESS, nullptr, false, false},
                      EndCase{"a refused value rolls back every edit", nullptr, 2, VI_ERROR_INV_PARAMETER,
                              "failure in update property RefusedGain to 1,3 in m1", false, false}));

TEST(ConfigTransaction, ChecksAndAbortsWithoutATransaction)
{
    Cfg c;
    c.member("m1");
    ViSession s = 0;
    ASSERT_EQ(c.open(s), VI_SUCCESS);
    char message[256] = "left over";
    EXPECT_EQ(tqdaq_crossCheck(s, nullptr, 1, message), VI_SUCCESS);
    EXPECT_STREQ(message, "");
    EXPECT_EQ(tqdaq_crossCheck(s, nullptr, 1, nullptr), VI_SUCCESS);
    EXPECT_EQ(count(c.logFrom(0), "m1 crossCheck"), 0) << "nothing to check";
    EXPECT_EQ(tqdaq_abortConfigs(s), VI_ERROR_INV_SETUP);

    ASSERT_EQ(tqdaq_setConfigs(s, "m1", 1, "Channel", "1", "Gain", "1", nullptr), VI_SUCCESS);
    EXPECT_EQ(tqdaq_abortConfigs(s), VI_SUCCESS);
    EXPECT_EQ(tqdaq_abortConfigs(s), VI_ERROR_INV_SETUP);
    EXPECT_EQ(tqdaq_abortConfigs(0x1234), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

// ---- Edits refused before anything happens, and text kept intact ---------------

struct RefuseCase {
    const char *what;
    const char *name;
    const char *category;
    const char *index;
    const char *property;
    const char *value;
    ViStatus expected;
    const char *message;
    bool rolledBack; // an open transaction was discarded
};

TEST(SetConfigs, NamesNeverReachAStatement)
{
    Cfg c;
    c.member("m1");
    c.seed("m1", "Gain", "9", 1, "kept");
    ViSession s = 0;
    ASSERT_EQ(c.open(s), VI_SUCCESS);
    const std::vector<RefuseCase> cases = {
        {"a quoted resource name", "m1' or '1'='1", "Channel", "1", "Gain", "1", TQDAQ_ERROR_STATEMENT,
         "System Failure", false},
        {"an unknown resource", "nosuch", "Channel", "1", "Gain", "1", TQDAQ_ERROR_UNKNOWN_VRSRC, "System Failure",
         false},
        {"an index that is no number", "m1", "Channel", "1 or 1=1", "Gain", "1", TQDAQ_ERROR_STATEMENT,
         "Invalid index 1 or 1=1", false},
        {"an index with SQL", "m1", "Channel", "1); delete from configs; --", "Gain", "1", TQDAQ_ERROR_STATEMENT,
         "Invalid index 1); delete from configs; --", false},
        {"no value", "m1", "Channel", "1", "Gain", nullptr, TQDAQ_ERROR_STATEMENT, "System Failure", false},
        {"a quoted category", "m1", "Channel' or '1'='1", "8", "Gain", "1", TQDAQ_ERROR_STATEMENT, "system failure",
         true},
    };
    for (const RefuseCase &k : cases) {
        char message[256] = "";
        // An edit that stands, so that a discarded transaction shows.
        ASSERT_EQ(tqdaq_setConfigs(s, "m1", 1, "Channel", "1", "Gain", "2", message), VI_SUCCESS) << message;
        EXPECT_EQ(tqdaq_setConfigs(s, k.name, 1, k.category, k.index, k.property, k.value, message), k.expected)
            << k.what;
        EXPECT_STREQ(message, k.message) << k.what;
        EXPECT_EQ(tqdaq_abortConfigs(s), k.rolledBack ? VI_ERROR_INV_SETUP : VI_SUCCESS) << k.what;
        EXPECT_EQ(c.d.value("select group_concat(property || '=' || value) from configs"), "Gain=kept") << k.what;
    }
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

TEST(SetConfigs, QuotesAreStoredAndSentIntact)
{
    Cfg c;
    c.member("m1");
    ViSession s = 0;
    ASSERT_EQ(c.open(s), VI_SUCCESS);
    const std::vector<std::string> values = {"it's", "''", "a' , 'b", "x'); delete from configs; --", "\"dq\""};
    char message[256] = "";
    for (size_t i = 0; i < values.size(); ++i)
        ASSERT_EQ(tqdaq_setConfigs(s, "m1", 1, "Channel", std::to_string(i + 1).c_str(), "Gain", values[i].c_str(),
                                   message),
                  VI_SUCCESS)
            << values[i] << ": " << message;
    // The same text again is no change; another one is.
    ASSERT_EQ(tqdaq_setConfigs(s, "m1", 1, "Channel", "1", "Gain", "it's", message), VI_SUCCESS);
    ASSERT_EQ(tqdaq_crossCheck(s, nullptr, 1, message), VI_SUCCESS) << message;
    const auto log = c.logFrom(0);
    for (size_t i = 0; i < values.size(); ++i) {
        const std::string index = std::to_string(i + 1);
        EXPECT_EQ(c.stored("m1", "Gain", index.c_str()), values[i]);
        EXPECT_EQ(count(log, "m1 setPropertyByName Gain " + index + "," + values[i]), i == 0 ? 2 : 1) << values[i];
    }
    // What was stored goes out again unchanged.
    const size_t from = c.logSize();
    ASSERT_EQ(tqdaq_configureHW(s, 1, 1, message), VI_SUCCESS) << message;
    EXPECT_EQ(count(c.logFrom(from), "m1 setPropertyByName Gain 4,x'); delete from configs; --"), 1);
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

TEST(SetConfigs, UnknownPropertyIsStoredAndTheTraceTellsTheOutcome)
{
    Cfg c(true);
    c.member("m1");
    ViSession s = 0;
    ASSERT_EQ(c.open(s), VI_SUCCESS);
    char message[256] = "";
    EXPECT_EQ(tqdaq_setConfigs(s, "m1", 1, "Channel", "1", "UnknownProp", "3", message), VI_SUCCESS);
    EXPECT_STREQ(message, "Success") << "the reload's text";
    EXPECT_EQ(tqdaq_setConfigs(s, "m1", 1, "Channel", "1", "UnknownProp", "4", message), VI_SUCCESS);
    EXPECT_STREQ(message, "success");
    EXPECT_EQ(tqdaq_setConfigs(s, "m1", 1, "Channel", "1", "RefusedGain", "3", message), VI_ERROR_INV_PARAMETER);
    ASSERT_EQ(tqdaq_setConfigs(s, "m1", 1, "Channel", "1", "UnknownProp", "4", message), VI_SUCCESS);
    ASSERT_EQ(tqdaq_crossCheck(s, "m1", 1, message), VI_SUCCESS);
    EXPECT_EQ(c.stored("m1", "UnknownProp", "1"), "4");

    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "%#lx(operator)", static_cast<unsigned long>(s));
    const auto lines = readLines(c.d.debugLog());
    const std::string p = prefix;
    EXPECT_EQ(count(lines, "tqdaq_setConfigs(" + p + ",m1,0x1,Channel,1,UnknownProp,4,NULL) retVal=0"), 2);
    EXPECT_EQ(count(lines, "tqdaq_setConfigs(" + p +
                               ",m1,0x1,Channel,1,RefusedGain,NULL,failure in update property RefusedGain to 1,3 in "
                               "m1) retVal=0xbfff0078"),
              1);
    EXPECT_EQ(count(lines, "tqdaq_crossCheck(" + p + ",m1,0x1,NULL) retVal=0"), 1);
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

// A message buffer of the size callers give, with a guard after it.
struct Bounded {
    char message[TQDAQ_MESSAGE_SIZE];
    char guard[32];
    Bounded()
    {
        std::memset(message, 'x', sizeof message);
        std::memset(guard, 'G', sizeof guard);
    }
    bool guardIntact() const
    {
        for (char g : guard)
            if (g != 'G')
                return false;
        return true;
    }
};

TEST(Messages, LongTextsAreCutToTheCallersBuffer)
{
    Cfg c;
    c.member("m1");
    const std::string longValue(400, 'v');
    ViSession s = 0;
    ASSERT_EQ(c.open(s), VI_SUCCESS);
    {
        Bounded b;
        EXPECT_EQ(tqdaq_setConfigs(s, "m1", 1, "Channel", "1", "RefusedGain", longValue.c_str(), b.message),
                  VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(std::strlen(b.message), TQDAQ_MESSAGE_SIZE - 1u);
        EXPECT_EQ(std::string(b.message).rfind("failure in update property RefusedGain to 1,vvv", 0), 0u);
        EXPECT_TRUE(b.guardIntact());
    }
    c.seed("m1", "UnknownProp", "1", 1, longValue.c_str());
    {
        Bounded b;
        EXPECT_EQ(tqdaq_configureHW(s, 1, 1, b.message), VI_ERROR_NSUP_OPER);
        EXPECT_EQ(std::strlen(b.message), TQDAQ_MESSAGE_SIZE - 1u);
        EXPECT_EQ(std::string(b.message).rfind("Unable to configure property UnknownProp (1,vvv", 0), 0u);
        EXPECT_TRUE(b.guardIntact());
    }
    EXPECT_EQ(tqdaq_configureHW(s, 1, 1, nullptr), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

// ---- Clearing stored values ------------------------------------------------------

struct ClearCase {
    const char *what;
    const char *name;
    const char *category;
    ViStatus expected;
    const char *left; // properties left, in id order
};

class ClearConfigs : public ::testing::TestWithParam<ClearCase>
{
};

TEST_P(ClearConfigs, DeletesOnlyWhatItNames)
{
    const ClearCase &k = GetParam();
    Cfg c;
    c.member("m1");
    c.member("m2");
    c.seed("m1", "Gain", "1", 1, "1");
    c.seed("m1", "Mode", "1", 1, "1");
    c.seed("m2", "Gain", "1", 1, "1");
    // An item the controller may not change keeps its value.
    c.d.exec("insert into ui_item_unavail (ui_item_id,user_id) values ((select ui_item_id from ui_item where "
             "property='Mode'),(select user_id from system))");
    // Values of another database are never touched.
    const int64_t other = c.d.addDatabase("other", c.appModel, false);
    c.d.exec("insert into configs (db_id,vresource_id,category_id,property,seq_id,value) values (" +
             std::to_string(other) + ",(select vresource_id from vresource where name='m2')," +
             std::to_string(c.channel) + ",'Offset',1,'1')");
    ViSession s = 0;
    ASSERT_EQ(c.open(s), VI_SUCCESS);
    EXPECT_EQ(tqdaq_clearConfigs(s, k.name, k.category), k.expected) << k.what;
    EXPECT_EQ(c.d.value("select group_concat(x) from (select v.name || '.' || property as x from configs, "
                        "vresource v where v.vresource_id=configs.vresource_id order by configs_id)"),
              k.left)
        << k.what;
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClearConfigs,
    ::testing::Values(ClearCase{"everything", nullptr, nullptr, VI_SUCCESS, "m1.Mode,m2.Offset"},
                      ClearCase{"everything (empty name)", "", "Channel", VI_SUCCESS, "m1.Mode,m2.Offset"},
                      ClearCase{"one member", "m1", nullptr, VI_SUCCESS, "m1.Mode,m2.Gain,m2.Offset"},
                      ClearCase{"one member's category", "m2", "Channel", VI_SUCCESS,
                                "m1.Gain,m1.Mode,m2.Offset"},
                      ClearCase{"an unknown member", "nosuch", nullptr, TQDAQ_ERROR_STATEMENT,
                                "m1.Gain,m1.Mode,m2.Gain,m2.Offset"},
                      ClearCase{"an unknown category", "m1", "nosuch", TQDAQ_ERROR_STATEMENT,
                                "m1.Gain,m1.Mode,m2.Gain,m2.Offset"},
                      ClearCase{"a quoted name", "m1' or '1'='1", nullptr, TQDAQ_ERROR_STATEMENT,
                                "m1.Gain,m1.Mode,m2.Gain,m2.Offset"},
                      ClearCase{"a quoted category", "m1", "x' or '1'='1", TQDAQ_ERROR_STATEMENT,
                                "m1.Gain,m1.Mode,m2.Gain,m2.Offset"}));

TEST(ClearConfigsGate, OnlyTheController)
{
    Cfg c;
    c.member("m1");
    c.seed("m1", "Gain", "1", 1, "1");
    ViSession s = 0;
    ASSERT_EQ(c.open(s), VI_SUCCESS);
    c.d.exec("update system set user_id=(select users_id from users where username='other')");
    EXPECT_EQ(tqdaq_clearConfigs(s, nullptr, nullptr), TQDAQ_ERROR_NOT_CONTROLLER);
    EXPECT_EQ(c.d.value("select count(*) from configs"), "1");
    c.d.exec("update system set user_id=(select users_id from users where username='operator')");
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

// ---- Category attributes ---------------------------------------------------------

TEST(CategoryAttribute, ReadsByTheUnescapedName)
{
    Cfg c;
    c.member("m1");
    ViSession s = 0;
    ASSERT_EQ(c.open(s), VI_SUCCESS);
    struct Case {
        const char *name, *category, *attribute;
        ViStatus expected;
        const char *value;
    };
    for (const Case &k : {
             Case{"m1", "Channel", "rankProperty", VI_SUCCESS, "Rank"},
             Case{"m1", "A & B", "enableProperty", VI_SUCCESS, "Both"},
             Case{"m1", "Channel", "enableProperty", VI_ERROR_NSUP_ATTR, ""},
             Case{"m1", "Channel' or '1'='1", "rankProperty", VI_ERROR_NSUP_ATTR, ""},
             Case{"m1", "Channel", "x' or '1'='1", VI_ERROR_NSUP_ATTR, ""},
             Case{"m1' or '1'='1", "Channel", "rankProperty", TQDAQ_ERROR_STATEMENT, ""},
             Case{"system", "Channel", "rankProperty", VI_ERROR_NSUP_ATTR, ""},
         }) {
        char value[TQDAQ_NAME_SIZE] = "junk";
        EXPECT_EQ(tqdaq_getCategoryAttribute(s, k.name, k.category, k.attribute, value), k.expected)
            << k.category << "/" << k.attribute;
        EXPECT_STREQ(value, k.value);
    }
    EXPECT_EQ(tqdaq_getCategoryAttribute(s, "m1", "Channel", "rankProperty", nullptr), VI_SUCCESS);
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

// ---- Another process writing meanwhile --------------------------------------------

// Runs the 718 installer in a child process; its exit status and what it
// printed on standard error come back.
struct Installer {
    pid_t pid = -1;
    std::string errFile;
    void start(const std::string &root)
    {
        errFile = root + "/installer.err";
        pid = fork();
        if (pid == 0) {
            const std::string cmd = "VPNPPATH='" + root + "' '" TQ_BIN_DIR "/tq718install' insert >/dev/null 2>'" +
                                    errFile + "'";
            execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
    }
    // -1 while it runs.
    int poll(bool wait)
    {
        int status = 0;
        if (waitpid(pid, &status, wait ? 0 : WNOHANG) != pid)
            return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    }
};

TEST(ConfigTransaction, AnInstallerWaitsForTheCommit)
{
    Cfg c;
    c.member("m1");
    ViSession s = 0;
    ASSERT_EQ(c.open(s), VI_SUCCESS);
    char message[256] = "";
    ASSERT_EQ(tqdaq_setConfigs(s, "m1", 1, "Channel", "1", "Gain", "1", message), VI_SUCCESS);

    Installer installer;
    installer.start(testDir());
    ASSERT_GT(installer.pid, 0);
    // It cannot write while the transaction is open; it waits for it.
    usleep(300 * 1000);
    EXPECT_EQ(installer.poll(false), -1) << "the installer finished inside the transaction";
    ASSERT_EQ(tqdaq_setConfigs(s, "m1", 1, "Channel", "2", "Gain", "2", message), VI_SUCCESS);
    ASSERT_EQ(tqdaq_crossCheck(s, nullptr, 1, message), VI_SUCCESS) << message;
    EXPECT_EQ(installer.poll(true), 0);
    EXPECT_NE(c.d.value("select count(*) from model where model=" + std::to_string(0x718)), "0");
    EXPECT_EQ(c.stored("m1", "Gain", "1"), "1");
    EXPECT_EQ(c.stored("m1", "Gain", "2"), "2");
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

TEST(ConfigTransaction, AnInstallerThatWaitsTooLongReportsAndWritesNothing)
{
    Cfg c;
    c.member("m1");
    ViSession s = 0;
    ASSERT_EQ(c.open(s), VI_SUCCESS);
    char message[256] = "";
    ASSERT_EQ(tqdaq_setConfigs(s, "m1", 1, "Channel", "1", "Gain", "1", message), VI_SUCCESS);
    Installer installer;
    installer.start(testDir());
    ASSERT_GT(installer.pid, 0);
    EXPECT_EQ(installer.poll(true), 1);
    EXPECT_EQ(readLines(installer.errFile), std::vector<std::string>{"failure to open transaction."});
    ASSERT_EQ(tqdaq_crossCheck(s, nullptr, 1, message), VI_SUCCESS) << message;
    EXPECT_EQ(c.d.value("select count(*) from model where model=" + std::to_string(0x718)), "0");
    EXPECT_EQ(c.stored("m1", "Gain", "1"), "1");
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

} // namespace
