// Streams of the members in the session's formula engine, capture by
// template and into capture directories, and the replay of those directories.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "inside_session.h"

using namespace mtest;
using namespace tq::manager;

extern "C" TQStream *tqmtest_stream(const char *name);
extern "C" int tqmtest_record(const char *name, const double *values, int count);

namespace
{

bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string replaceAll(std::string text, const std::string &from, const std::string &to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// ---- tqdaq_createStreams ----------------------------------------------------

struct Member {
    const char *name;
    int enable;
};

struct CreateCase {
    const char *what;
    std::vector<Member> members;
    const char *name;
    ViUInt16 mode, flag;
    ViStatus expected;
    int registered;
    std::vector<std::string> getStreams; // driver log lines, in order
};

class CreateStreams : public ::testing::TestWithParam<CreateCase>
{
};

TEST_P(CreateStreams, TakesAndRegistersTheMembersStreams)
{
    const CreateCase &c = GetParam();
    InsideSession in;
    for (const Member &m : c.members)
        in.member(m.name, m.enable);
    EXPECT_EQ(tqdaq_createStreams(in.s.handle, c.name, c.mode, c.flag), c.expected);
    EXPECT_EQ(in.registered(), c.registered);
    EXPECT_EQ(in.calls("getStream"), c.getStreams);
    // A serial member is never even opened.
    for (const std::string &line : readLines(in.d.driverLog()))
        EXPECT_NE(line.rfind("ASRL", 0), 0u) << line;
}

INSTANTIATE_TEST_SUITE_P(
    Members, CreateStreams,
    ::testing::Values(
        CreateCase{"enabled members",
                   {{"a", 1}, {"b", 1}, {"c", 0}},
                   "",
                   1,
                   0,
                   VI_SUCCESS,
                   2,
                   {"a getStream a", "b getStream b"}},
        CreateCase{"null name", {{"a", 1}, {"c", 0}}, nullptr, 1, 0, VI_SUCCESS, 1, {"a getStream a"}},
        CreateCase{"named disabled member", {{"a", 1}, {"c", 0}}, "c", 1, 0, VI_SUCCESS, 1, {"c getStream c"}},
        CreateCase{"serial member", {{"ASRL1::INSTR", 1}, {"a", 1}}, "", 1, 0, VI_SUCCESS, 1, {"a getStream a"}},
        CreateCase{"mode 0 registers nothing", {{"a", 1}}, "", 0, 0, VI_SUCCESS, 0, {"a getStream a"}},
        CreateCase{"mode 0 with engine flag 1", {{"a", 1}}, "", 0, 1, VI_ERROR_INV_PARAMETER, 0, {}},
        CreateCase{
            "driver without getStream", {{"nostream1", 1}, {"a", 1}}, "", 1, 0, VI_SUCCESS, 1, {"a getStream a"}},
        CreateCase{"named driver without getStream", {{"nostream1", 1}}, "nostream1", 1, 0, VI_ERROR_NSUP_OPER, 0, {}},
        CreateCase{"getStream fails",
                   {{"badstream1", 1}},
                   "",
                   1,
                   0,
                   VI_ERROR_INV_SETUP,
                   0,
                   {"badstream1 getStream badstream1"}},
        CreateCase{"unknown name", {{"a", 1}}, "zz", 1, 0, VI_SUCCESS, 0, {}}),
    [](const auto &info) {
        std::string n = info.param.what;
        for (char &ch : n)
            if (!isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return n;
    });

TEST(CreateStreams, RegistersEachStreamOnceAndANamedCallLeavesOnlyThatOne)
{
    InsideSession in;
    in.member("a");
    in.member("b");
    ASSERT_EQ(tqdaq_createStreams(in.s.handle, "", 1, 0), VI_SUCCESS);
    ASSERT_EQ(tqdaq_createStreams(in.s.handle, "", 1, 0), VI_SUCCESS);
    EXPECT_EQ(in.registered(), 2);
    // The streams were taken once; the second call used what the records hold.
    EXPECT_EQ(in.calls("getStream").size(), 2u);
    ASSERT_EQ(tqdaq_createStreams(in.s.handle, "b", 1, 0), VI_SUCCESS);
    EXPECT_EQ(in.registered(), 1);
}

TEST(CreateStreams, MakesTheEngineWhenTheSessionHasNoneAndRefusesAStreamWithoutEngine)
{
    InsideSession in;
    in.member("a");
    in.s.formulaStream->streamRelease(&in.s.formulaStream);
    formulaEngineOps()->release(&in.s.engine);
    ASSERT_EQ(tqdaq_createStreams(in.s.handle, "", 1, 0), VI_SUCCESS);
    ASSERT_NE(in.s.engine, nullptr);
    ASSERT_NE(in.s.formulaStream, nullptr);
    EXPECT_EQ(in.registered(), 1);

    FormulaEngine *engine = in.s.engine;
    in.s.engine = nullptr;
    EXPECT_EQ(tqdaq_createStreams(in.s.handle, "", 1, 0), VI_ERROR_INV_SETUP);
    in.s.engine = engine;
}

TEST(CloseStreams, LetsEveryMembersStreamGoAndCreateTakesThemAgain)
{
    InsideSession in;
    in.member("a");
    in.member("b", 0);
    in.member("c"); // never opened
    ASSERT_EQ(tqdaq_createStreams(in.s.handle, "a", 1, 0), VI_SUCCESS);
    ASSERT_EQ(tqdaq_createStreams(in.s.handle, "b", 2, 0), VI_SUCCESS);
    EXPECT_EQ(tqdaq_closeStreams(in.s.handle), VI_SUCCESS);
    EXPECT_EQ(in.registered(), 0);
    for (const char *name : {"a", "b"}) {
        OpenResource *r = nullptr;
        ASSERT_EQ(getVresource(&in.s, name, false, &r), VI_SUCCESS);
        EXPECT_EQ(r->stream, nullptr) << name;
    }
    ASSERT_EQ(tqdaq_createStreams(in.s.handle, "a", 1, 0), VI_SUCCESS);
    EXPECT_EQ(in.calls("getStream").size(), 3u);
    EXPECT_EQ(in.registered(), 1);
    // A mark that is not a number is reported.
    in.d.exec("update vresource set deviceHandle='x' where name='c'");
    EXPECT_EQ(tqdaq_closeStreams(in.s.handle), TQDAQ_ERROR_STATEMENT);
}

// Selecting another database lets the old one's streams go with its
// instruments and registers the new one's.
TEST(SetDB, ReplacesTheRegisteredStreamsWithTheNewDatabases)
{
    InsideSession in;
    in.member("a1");
    const int64_t other = in.d.addDatabase("bench", in.appModel, false);
    const int64_t b1 = in.d.addVresource("b1", in.testModel);
    in.d.setInstrumentName(b1, in.nameItem, "b1");
    in.d.addMember(other, b1);
    ASSERT_EQ(tqdaq_createStreams(in.s.handle, "", 1, 0), VI_SUCCESS);
    ASSERT_EQ(in.registered(), 1);
    ASSERT_EQ(setDB(&in.s, "bench"), VI_SUCCESS);
    EXPECT_EQ(in.calls("getStream"), (std::vector<std::string>{"a1 getStream a1", "b1 getStream b1"}));
    EXPECT_EQ(in.calls("release"), std::vector<std::string>{"a1 release"});
    ASSERT_EQ(in.registered(), 1);
    auto *member = static_cast<TQReader *>(in.s.engine->collection->members.first);
    EXPECT_STREQ(member->readerGetStream(member)->name, "b1");
    EXPECT_STREQ(in.s.formulaStream->name, "bench");
}

// ---- tqdaq_captureOpen / tqdaq_captureClose -----------------------------------

struct TemplateCase {
    const char *what;
    std::vector<Member> members;
    const char *name;
    const char *fileTemplate; // %D stands for the test's capture directory
    ViStatus expected;
    std::vector<std::string> opened; // captureOpen log lines, %D likewise
};

class CaptureOpen : public ::testing::TestWithParam<TemplateCase>
{
};

TEST_P(CaptureOpen, NamesTheFilesFromTheTemplate)
{
    const TemplateCase &c = GetParam();
    InsideSession in;
    for (const Member &m : c.members)
        in.member(m.name, m.enable);
    const std::string dir = testDir() + "/capture";
    ASSERT_EQ(mkdir(dir.c_str(), 0777), 0);
    ASSERT_EQ(tqdaq_createStreams(in.s.handle, "", 1, 0), VI_SUCCESS);
    EXPECT_EQ(tqdaq_captureOpen(in.s.handle, c.name, replaceAll(c.fileTemplate, "%D", dir).c_str(), 0), c.expected);
    std::vector<std::string> opened;
    for (const std::string &line : c.opened)
        opened.push_back(replaceAll(line, "%D", dir));
    EXPECT_EQ(in.calls("captureOpen"), opened);
    tqdaq_captureClose(in.s.handle, c.name);
}

INSTANTIATE_TEST_SUITE_P(
    Templates, CaptureOpen,
    ::testing::Values(
        TemplateCase{"each enabled member",
                     {{"dev1", 1}, {"dev2", 1}, {"dev3", 0}},
                     "",
                     "%D/$.stm",
                     VI_SUCCESS,
                     {"dev1 captureOpen %D/dev1.stm 0", "dev2 captureOpen %D/dev2.stm 0"}},
        TemplateCase{
            "two dollars", {{"dev1", 1}}, "dev1", "%D/$_$.stm", VI_SUCCESS, {"dev1 captureOpen %D/dev1_dev1.stm 0"}},
        // The stream library takes no '-' in a file name: a refusal other
        // than "does not capture" fails the call.
        TemplateCase{"dollar dash dollar",
                     {{"dev1", 1}},
                     "dev1",
                     "%D/$-$.stm",
                     VI_ERROR_IO,
                     {"dev1 captureOpen %D/dev1-dev1.stm 0"}},
        TemplateCase{
            "no dollar for all members", {{"dev1", 1}, {"dev2", 1}}, "", "%D/one.stm", VI_ERROR_INV_PARAMETER, {}},
        TemplateCase{"no dollar for a named member",
                     {{"dev1", 1}, {"dev2", 1}},
                     "dev2",
                     "%D/one.stm",
                     VI_SUCCESS,
                     {"dev2 captureOpen %D/one.stm 0"}},
        TemplateCase{"stream that does not capture",
                     {{"nocap1", 1}, {"dev2", 1}},
                     "",
                     "%D/$.stm",
                     VI_SUCCESS,
                     {"nocap1 captureOpen %D/nocap1.stm 0", "dev2 captureOpen %D/dev2.stm 0"}},
        TemplateCase{"serial member",
                     {{"ASRL2::INSTR", 1}, {"dev2", 1}},
                     "",
                     "%D/$.stm",
                     VI_SUCCESS,
                     {"dev2 captureOpen %D/dev2.stm 0"}},
        TemplateCase{"driver without stream",
                     {{"nostream1", 1}, {"dev2", 1}},
                     "",
                     "%D/$.stm",
                     VI_SUCCESS,
                     {"dev2 captureOpen %D/dev2.stm 0"}},
        TemplateCase{"template too long",
                     {{"dev1", 1}},
                     "",
                     "%D/$aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
                     "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
                     "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
                     "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
                     "aaaaaaaaaaaaaaaaaaaa.stm",
                     VI_ERROR_INV_PARAMETER,
                     {}}),
    [](const auto &info) {
        std::string n = info.param.what;
        for (char &ch : n)
            if (!isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return n;
    });

TEST(CaptureOpen, AMemberWithoutStreamEndsTheWalk)
{
    InsideSession in;
    in.member("dev1");
    EXPECT_EQ(tqdaq_captureOpen(in.s.handle, "", (testDir() + "/$.stm").c_str(), 0), TQDAQ_ERROR_STATEMENT);
    EXPECT_TRUE(in.calls("captureOpen").empty());
}

TEST(CaptureClose, VisitsEveryMemberAndReportsTheLastFailure)
{
    InsideSession in;
    in.member("dev1");
    in.member("nocap2");
    in.member("dev3");
    in.member("nostream4"); // has nothing to close, and is no failure
    ASSERT_EQ(tqdaq_createStreams(in.s.handle, "", 1, 0), VI_SUCCESS);
    ASSERT_EQ(tqdaq_captureOpen(in.s.handle, "", (testDir() + "/$.stm").c_str(), 0), VI_SUCCESS);
    EXPECT_EQ(tqdaq_captureClose(in.s.handle, ""), VI_ERROR_IO);
    EXPECT_EQ(in.calls("captureClose"),
              (std::vector<std::string>{"dev1 captureClose", "nocap2 captureClose", "dev3 captureClose"}));
    EXPECT_TRUE(exists(testDir() + "/dev1.stm"));
    EXPECT_TRUE(exists(testDir() + "/dev3.stm"));
    // Nothing is open any more; a member whose streams were never taken
    // has nothing to close.
    in.member("dev4");
    EXPECT_EQ(tqdaq_captureClose(in.s.handle, "dev4"), TQDAQ_ERROR_STATEMENT);
}

// ---- tqdaq_captureOpenDB -------------------------------------------------------

struct ZoneGuard {
    explicit ZoneGuard(const char *zone)
    {
        if (const char *old = getenv("TZ"))
            saved = old, had = true;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneGuard()
    {
        if (had)
            setenv("TZ", saved.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    std::string saved;
    bool had = false;
};

std::string stampAt(time_t t)
{
    struct tm local {
    };
    localtime_r(&t, &local);
    return captureStamp(local);
}

TEST(CaptureStamp, NamesEveryMonthAndPadsEveryField)
{
    static const char *const kWords[12] = {"jan", "feb", "mar", "apl", "may", "jun",
                                           "jul", "aug", "sep", "oct", "nov", "dec"};
    for (int month = 0; month < 12; ++month) {
        struct tm t {
        };
        t.tm_mon = month;
        t.tm_mday = 7;
        t.tm_hour = 9;
        t.tm_min = 30;
        t.tm_sec = 5;
        t.tm_year = 2026 - 1900;
        EXPECT_EQ(captureStamp(t), std::string(kWords[month]) + "07_0930052026/");
    }
    struct tm late {
    };
    late.tm_mon = 11;
    late.tm_mday = 31;
    late.tm_hour = 23;
    late.tm_min = 59;
    late.tm_sec = 59;
    late.tm_year = 999 - 1900;
    EXPECT_EQ(captureStamp(late), "dec31_2359590999/");
}

TEST(CaptureOpenDB, RecordsIntoANewDatedDirectoryWithTheLayoutAndFormulas)
{
    ZoneGuard zone("UTC");
    InsideSession in;
    in.member("dev1");
    in.member("nocap2");
    in.member("nostream3");
    in.member("ASRL4::INSTR");
    in.member("dev5", 0);
    ASSERT_EQ(tqdaq_createStreams(in.s.handle, "", 1, 0), VI_SUCCESS);
    const std::string data = testDir() + "/data";
    char dir[TQDAQ_NAME_SIZE] = "untouched";
    const time_t before = time(nullptr);
    ASSERT_EQ(tqdaq_captureOpenDB(in.s.handle, "", data.c_str(), 0, dir), VI_SUCCESS);
    const time_t after = time(nullptr);
    const std::string made = dir;
    bool named = false;
    for (time_t t = before; t <= after; ++t)
        named = named || made == data + "/rig/" + stampAt(t);
    EXPECT_TRUE(named) << made;
    EXPECT_EQ(in.calls("captureOpen"), (std::vector<std::string>{"dev1 captureOpen " + made + "dev1.stm 0",
                                                                 "nocap2 captureOpen " + made + "nocap2.stm 0"}));
    EXPECT_TRUE(exists(made + "graph.xml"));
    EXPECT_TRUE(exists(made + "formulae.xml"));
    EXPECT_EQ(tqdaq_captureClose(in.s.handle, ""), VI_ERROR_IO); // nocap2's close answers "does not capture"
    EXPECT_TRUE(exists(made + "dev1.stm"));
}

TEST(CaptureOpenDB, ADirectoryThatExistsIsRecordedInto)
{
    ZoneGuard zone("UTC");
    InsideSession in;
    in.member("dev1");
    ASSERT_EQ(tqdaq_createStreams(in.s.handle, "", 1, 0), VI_SUCCESS);
    const std::string data = testDir() + "/data";
    // The directory of each of the next seconds is there already (a
    // recording started again within the same second).
    const time_t now = time(nullptr);
    ASSERT_EQ(mkdir(data.c_str(), 0777), 0);
    ASSERT_EQ(mkdir((data + "/rig").c_str(), 0777), 0);
    for (time_t t = now; t <= now + 3; ++t)
        ASSERT_EQ(mkdir((data + "/rig/" + stampAt(t)).c_str(), 0777), 0);
    char dir[TQDAQ_NAME_SIZE];
    ASSERT_EQ(tqdaq_captureOpenDB(in.s.handle, "", data.c_str(), 0, dir), VI_SUCCESS);
    EXPECT_EQ(in.calls("captureOpen"), (std::vector<std::string>{"dev1 captureOpen " + std::string(dir) + "dev1.stm 0"}));
    EXPECT_TRUE(exists(std::string(dir) + "graph.xml"));
    EXPECT_EQ(tqdaq_captureClose(in.s.handle, ""), VI_SUCCESS);
}

TEST(CaptureOpenDB, ADataPathThatIsAFileRecordsNothing)
{
    InsideSession in;
    in.member("dev1");
    ASSERT_EQ(tqdaq_createStreams(in.s.handle, "", 1, 0), VI_SUCCESS);
    const std::string file = testDir() + "/plainfile";
    std::ofstream(file) << "x";
    char dir[TQDAQ_NAME_SIZE];
    EXPECT_EQ(tqdaq_captureOpenDB(in.s.handle, "", file.c_str(), 0, dir), VI_ERROR_IO);
    EXPECT_TRUE(in.calls("captureOpen").empty());
}

TEST(CaptureOpenDB, ADatabaseNamedOutsideTheDataPathRecordsNothing)
{
    InsideSession in;
    in.member("dev1");
    ASSERT_EQ(tqdaq_createStreams(in.s.handle, "", 1, 0), VI_SUCCESS);
    // A name written into the file before names were checked.
    in.d.exec("update vresource set name='../../escaped' where name='rig'");
    const std::string data = testDir() + "/deep/data";
    char dir[TQDAQ_NAME_SIZE];
    EXPECT_EQ(tqdaq_captureOpenDB(in.s.handle, "", data.c_str(), 0, dir), VI_ERROR_IO);
    EXPECT_TRUE(in.calls("captureOpen").empty());
    EXPECT_FALSE(exists(testDir() + "/escaped"));
}

TEST(CaptureOpenDB, WithoutDatabaseTheLevelIsEmpty)
{
    ZoneGuard zone("UTC");
    InsideSession in;
    in.d.exec("update system set db_id=NULL where system_id=1");
    const std::string data = testDir() + "/data";
    char dir[TQDAQ_NAME_SIZE];
    const time_t before = time(nullptr);
    ASSERT_EQ(tqdaq_captureOpenDB(in.s.handle, "", data.c_str(), 0, dir), VI_SUCCESS);
    const time_t after = time(nullptr);
    bool named = false;
    for (time_t t = before; t <= after; ++t)
        named = named || std::string(dir) == data + "//" + stampAt(t);
    EXPECT_TRUE(named) << dir;
    EXPECT_TRUE(exists(std::string(dir) + "graph.xml"));
}

TEST(CaptureOpenDB, RefusesMembersWithoutStreamsAndPathsThatDoNotFit)
{
    InsideSession in;
    in.member("dev1");
    char dir[TQDAQ_NAME_SIZE];
    // Streams never taken: the recording would miss this member.
    EXPECT_EQ(tqdaq_captureOpenDB(in.s.handle, "", (testDir() + "/data").c_str(), 0, dir), TQDAQ_ERROR_STATEMENT);
    EXPECT_EQ(tqdaq_captureOpenDB(in.s.handle, "", std::string(300, 'x').c_str(), 0, dir), VI_ERROR_IO);
    EXPECT_STREQ(dir, "");
    EXPECT_EQ(tqdaq_captureOpenDB(in.s.handle, "", nullptr, 0, dir), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tqdaq_captureOpenDB(in.s.handle, "", "x", 0, nullptr), VI_ERROR_INV_PARAMETER);
}

// ---- tqdaq_openDataFiles ------------------------------------------------------------

// Values read back through the engine's output stream: one row per scan.
std::vector<std::vector<double>> outputRows(TQFormulaEngine *engine, size_t columns)
{
    TQStream *out = nullptr;
    engine->formulaEngineGetStream(engine, nullptr, &out);
    std::vector<std::vector<double>> rows;
    TQReader *reader = out ? out->streamNewReader(out, 0, TQ_WHENCE_OLDEST) : nullptr;
    std::vector<double> row(columns);
    while (reader && reader->readerRead(reader, row.data(), 1) == 1)
        rows.push_back(row);
    if (reader)
        reader->readerRelease(&reader);
    if (out)
        out->streamRelease(&out);
    return rows;
}

std::string outputName(TQFormulaEngine *engine)
{
    TQStream *out = nullptr;
    engine->formulaEngineGetStream(engine, nullptr, &out);
    const std::string name = out ? out->streamGetName(out) : "";
    if (out)
        out->streamRelease(&out);
    return name;
}

TEST(OpenDataFiles, ReplaysARecordingWithItsValuesAndFormulas)
{
    ZoneGuard zone("UTC");
    InsideSession in;
    in.member("dev1");
    in.member("dev2");
    ASSERT_EQ(tqdaq_createStreams(in.s.handle, "", 1, 0), VI_SUCCESS);
    ASSERT_EQ(in.s.engine->formulaEngineAddFormula(in.s.engine, "twice", "=", "<dev1-value> * 2 'V'"), 0);
    char message[TQ_FORMULA_MESSAGE_SIZE] = "";
    ASSERT_GE(in.s.engine->parseFormulas(in.s.engine, message), 0) << message;
    char dir[TQDAQ_NAME_SIZE];
    ASSERT_EQ(tqdaq_captureOpenDB(in.s.handle, "", (testDir() + "/data").c_str(), 0, dir), VI_SUCCESS);
    const double one[] = {1.5, -2.25, 1e-7, 4e9};
    const double two[] = {10, 20, 30, 40};
    ASSERT_EQ(tqmtest_record("dev1", one, 4), 0);
    ASSERT_EQ(tqmtest_record("dev2", two, 4), 0);
    ASSERT_EQ(tqdaq_captureClose(in.s.handle, ""), VI_SUCCESS);

    std::string path = dir;
    path.pop_back(); // as callers name it, without the final separator
    TQFormulaEngine *engine = nullptr;
    ASSERT_EQ(tqdaq_openDataFiles(0, path.c_str(), 0, &engine), VI_SUCCESS);
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(engine->collection->memberCount, 2);
    EXPECT_EQ(outputName(engine), path.substr(path.rfind('/') + 1));
    // The defaults dev1_value and dev2_value, then the recorded "twice".
    const auto rows = outputRows(engine, 3);
    ASSERT_EQ(rows.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(rows[i][0], one[i]);
        EXPECT_EQ(rows[i][1], two[i]);
        EXPECT_EQ(rows[i][2], one[i] * 2);
    }
    engine->formulaEngineRelease(&engine);

    // With a session, the output stream is named after its database.
    ASSERT_EQ(tqdaq_openDataFiles(in.s.handle, path.c_str(), 0, &engine), VI_SUCCESS);
    EXPECT_EQ(outputName(engine), "rig");
    engine->formulaEngineRelease(&engine);
}

struct ReplayCase {
    const char *what;
    std::vector<std::pair<std::string, std::string>> files; // name, content ("" for none)
    bool session;
    int32_t expected; // < 0: any negative result
    int streams;
    std::vector<std::string> messages;
};

class OpenDataFiles : public ::testing::TestWithParam<ReplayCase>
{
};

TEST_P(OpenDataFiles, ReplaysWhatTheDirectoryHolds)
{
    const ReplayCase &c = GetParam();
    InsideSession in;
    in.giveSink();
    const std::string dir = testDir() + "/replay";
    ASSERT_EQ(mkdir(dir.c_str(), 0777), 0);
    for (const auto &[name, content] : c.files)
        std::ofstream(dir + "/" + name) << content;
    TQFormulaEngine *engine = nullptr;
    const ViStatus st = tqdaq_openDataFiles(c.session ? in.s.handle : 0, dir.c_str(), 0, &engine);
    if (c.expected < 0)
        EXPECT_LT(st, 0);
    else
        EXPECT_EQ(st, c.expected);
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(engine->collection ? engine->collection->memberCount : 0, c.streams);
    std::vector<std::string> messages;
    for (const std::string &m : c.messages)
        messages.push_back(replaceAll(m, "%D", dir));
    EXPECT_EQ(in.messages(), messages);
    engine->formulaEngineRelease(&engine);
}

INSTANTIATE_TEST_SUITE_P(
    Directories, OpenDataFiles,
    ::testing::Values(ReplayCase{"empty directory", {}, true, 0, 0, {}},
                      ReplayCase{"no session", {{"notes.txt", "x"}}, false, 0, 0, {}},
                      ReplayCase{"not a stream file", {{"bad.stm", "not a stream file"}}, true, 0, 0, {}},
                      ReplayCase{
                          "formulas that do not parse",
                          {{"formulae.xml", "<?xml version=\"1.0\"?><formulae><formula><name>x</name><expression>((("
                                            "</expression></formula></formulae>"}},
                          true,
                          0,
                          0,
                          {"Unable to parse formulae %D/formulae.xml"}},
                      ReplayCase{"layout that does not parse",
                                 {{"graph.xml", "<stream><window"}},
                                 true,
                                 -1,
                                 0,
                                 {"Unable to open datafiles in %D"}},
                      ReplayCase{"no message without a session", {{"graph.xml", "<stream><window"}}, false, -1, 0, {}}),
    [](const auto &info) {
        std::string n = info.param.what;
        for (char &ch : n)
            if (!isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return n;
    });

TEST(OpenDataFiles, SkipsABadStreamFileAndNamesTheOutputWithoutSession)
{
    ZoneGuard zone("UTC");
    InsideSession in;
    in.member("dev1");
    ASSERT_EQ(tqdaq_createStreams(in.s.handle, "", 1, 0), VI_SUCCESS);
    char dir[TQDAQ_NAME_SIZE];
    ASSERT_EQ(tqdaq_captureOpenDB(in.s.handle, "", (testDir() + "/data").c_str(), 0, dir), VI_SUCCESS);
    const double v[] = {3, 4};
    ASSERT_EQ(tqmtest_record("dev1", v, 2), 0);
    ASSERT_EQ(tqdaq_captureClose(in.s.handle, ""), VI_SUCCESS);
    std::ofstream(std::string(dir) + "aaa.stm") << "FORM not really";

    // A trailing separator does not hide the last component.
    TQFormulaEngine *engine = nullptr;
    ASSERT_EQ(tqdaq_openDataFiles(0, dir, 0, &engine), VI_SUCCESS);
    EXPECT_EQ(engine->collection->memberCount, 1);
    std::string last = dir;
    last.pop_back();
    EXPECT_EQ(outputName(engine), last.substr(last.rfind('/') + 1));
    EXPECT_EQ(outputRows(engine, 1), (std::vector<std::vector<double>>{{3}, {4}}));
    engine->formulaEngineRelease(&engine);

    // A relative path without a separator names it "system".
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(testDir().c_str()), 0);
    EXPECT_EQ(tqdaq_openDataFiles(0, "data", 0, &engine), VI_SUCCESS);
    EXPECT_EQ(outputName(engine), "system");
    engine->formulaEngineRelease(&engine);
    ASSERT_EQ(chdir(cwd), 0);

    EXPECT_EQ(tqdaq_openDataFiles(0, nullptr, 0, &engine), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(engine, nullptr);
    EXPECT_EQ(tqdaq_openDataFiles(0x7777, dir, 0, &engine), VI_ERROR_INV_OBJECT);
}

} // namespace
