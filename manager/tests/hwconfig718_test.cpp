// Hardware configuration through the manager: model 718s on simulated
// boards with their installed catalogue, test-driver instruments (one
// stand-alone, two modules on the 718s' sites) and the application's own
// instrument. The test driver and the application instrument log into one
// file, so their lines show the order of the configuration; the boards'
// register-write logs show which 718 was reset.
#include <cstring>
#include <string>
#include <vector>

#include "fixture.h"
#include "support/simvisa_testenv.h"
#include "tq718.h"

using namespace mtest;

namespace
{

constexpr const char *kBoard1 = "PXI1::11::INSTR";
constexpr const char *kBoard2 = "PXI1::12::INSTR";
constexpr const char *kBoard3 = "PXI1::13::INSTR";

struct Rig : AppDb {
    Rig()
    {
        EXPECT_TRUE(tq::test::layOutVisa(tq::test::bindingDirectory()));
        EXPECT_EQ(std::system(("VPNPPATH='" + testDir() + "' '" TQ_BIN_DIR "/tq718install' insert >/dev/null").c_str()),
                  0);
        setenv("TQ_TESTDRIVER_LOG", d.appLog().c_str(), 1);
        model718 = std::stoll(d.value("select model_id from model where model=" + std::to_string(0x718)));
        analog = d.value("select category.category_id from category,ui where ui.category_id=category.category_id and "
                         "ui.model_id=" +
                         std::to_string(model718) + " and category.name='Analog Channel'");
        global = d.value("select category.category_id from category,ui where ui.category_id=category.category_id and "
                         "ui.model_id=" +
                         std::to_string(model718) + " and category.name='Global'");
        nameItem718 = std::stoll(d.value("select ui_item_id from ui_item,model_options where "
                                         "ui_item.category_id=model_options.category_id and property='InstrumentName' "
                                         "and model_options.model_id=" +
                                         std::to_string(model718)));

        // The test driver's model: a category with a real item, one the
        // driver does not know and a virtual rank.
        testModel = d.addTestModel({"reset", "start", "stop"});
        nameItemTest = d.addInstrumentNameOption(testModel);
        channel = std::to_string(d.insert("insert into category (name) values ('Channel')"));
        d.exec("insert into ui (model_id,category_id) values (" + std::to_string(testModel) + "," + channel + ")");
        for (const char *item : {"'Gain',0", "'UnknownProp',0", "'Rank',1"})
            d.exec("insert into ui_item (category_id,type,dflt,property,isvirtual) values (" + channel + ",'int','0'," +
                   item + ")");
        // The application's own resource stores its instrument name.
        own = std::to_string(d.insert("insert into category (name) values ('Application')"));
        d.exec("insert into ui (model_id,category_id) values (" + std::to_string(appModel) + "," + own + ")");
        d.exec("insert into ui_item (category_id,type,property) values (" + own + ",'textbox','InstrumentName')");
        systemId = std::stoll(d.value("select vresource_id from vresource where name='system'"));
        config(systemId, own, "InstrumentName", nullptr, "system");

        b1 = board("b1", kBoard1);
        b2 = board("b2", kBoard2);
        off = board("off", kBoard3, 0);
        t1 = instrument("t1");
        modX = instrument("modX");
        modY = instrument("modY");
        mount(modX, b2, 1);
        mount(modY, b1, 2);

        config(b1, analog, "AnalogChannelEnable", "1", "1");
        config(b2, analog, "AnalogChannelEnable", "2", "1");
        config(off, analog, "AnalogChannelEnable", "3", "1");
        config(b1, global, "ScanClockRate", nullptr, "1000");
        config(b1, analog, "AnalogChannelExpression", "1", "1 ''V''"); // virtual
        config(b1, global, "Rank", nullptr, "3");                    // virtual
        config(t1, channel, "Gain", "1", "3");
        config(t1, channel, "Rank", nullptr, "1"); // virtual
        config(t1, channel, "Gain", "1", "9", 2);
        config(modY, channel, "Gain", "1", "4");
        config(modX, channel, "Gain", "1", "5");
    }
    int64_t board(const std::string &name, const char *rsrc, int enable = 1)
    {
        const int64_t v = d.addVresource(name, model718);
        d.setInstrumentName(v, nameItem718, name);
        d.addMember(dbId, v, enable);
        d.exec("insert into presource (name,model_id,vresource_id) values ('" + std::string(rsrc) + "'," +
               std::to_string(model718) + "," + std::to_string(v) + ")");
        return v;
    }
    int64_t instrument(const std::string &name)
    {
        const int64_t v = d.addVresource(name, testModel);
        d.setInstrumentName(v, nameItemTest, name);
        d.addMember(dbId, v);
        return v;
    }
    void mount(int64_t module, int64_t carrier, int site)
    {
        d.exec("insert into vadapter (frontend_id,backend_id,connector_index) values (" + std::to_string(module) + "," +
               std::to_string(carrier) + "," + std::to_string(site) + ")");
    }
    void config(int64_t v, const std::string &category, const char *property, const char *index, const char *value,
                int seq = 1)
    {
        d.exec("insert into configs (db_id,vresource_id,category_id,property,property_index,seq_id,value) values (" +
               std::to_string(dbId) + "," + std::to_string(v) + "," + category + ",'" + property + "'," +
               (index ? index : "NULL") + "," + std::to_string(seq) + ",'" + value + "')");
    }
    ViStatus open(ViSession &s)
    {
        const ViStatus st = AppDb::open(s);
        if (st < VI_SUCCESS || !sim.load())
            return st < VI_SUCCESS ? st : VI_ERROR_SYSTEM_ERROR;
        sim.simvisa_reset();
        for (const char *b : {kBoard1, kBoard2, kBoard3})
            EXPECT_EQ(sim.simvisa_addInstrument(b, "board=tq718; manf=0x3c5a; model=0x718"), VI_SUCCESS);
        return st;
    }
    // Resets a board saw since the last look.
    int resets(const char *board)
    {
        std::vector<SimVisaWrite> log(16384);
        ViUInt32 count = 0;
        EXPECT_EQ(sim.simvisa_getWriteLog(board, log.data(), static_cast<ViUInt32>(log.size()), &count), VI_SUCCESS);
        sim.simvisa_clearWriteLog(board);
        int n = 0;
        for (ViUInt32 i = 0; i < count; ++i)
            n += log[i].offset == 0xE0 && (log[i].value & 1);
        return n;
    }
    // What the configuration told the instruments that log, in order.
    std::vector<std::string> told(size_t from)
    {
        std::vector<std::string> out;
        const auto lines = readLines(d.appLog());
        for (size_t i = from; i < lines.size(); ++i) {
            const std::string &l = lines[i];
            if (l.find("setPropertyByName") != std::string::npos || l.find(" reset ") != std::string::npos ||
                l.find("setSimulationMode") != std::string::npos || l.rfind("doOperation reset", 0) == 0)
                out.push_back(l);
        }
        return out;
    }
    // Names of the formula output stream's channels. (A listing left
    // unfinished is dropped when the session closes.)
    std::vector<std::string> formulas(ViSession s)
    {
        char text[4096] = "";
        ViUInt32 length = 0;
        std::vector<std::string> out;
        if (tqdaq_listStreams(s, text, sizeof text, &length) < VI_SUCCESS)
            return {"listing failed"};
        // The output stream comes first.
        const std::string xml = text;
        const std::string key = "<handle>";
        const size_t at = xml.find(key);
        if (at == std::string::npos)
            return {"no output stream"};
        TQStream *stream = tqstream_streamOfValue(static_cast<uint32_t>(std::stoul(xml.substr(at + key.size()))));
        if (!stream)
            return {"no stream"};
        for (int32_t i = 0;; ++i) {
            TQStreamChannel *c = stream->streamGetChannelByIndex(stream, i);
            if (!c)
                break;
            out.emplace_back(c->name);
        }
        return out;
    }
    bool enabled(ViSession s, const char *name, ViInt16 channel)
    {
        ViSession vi = 0;
        ViBoolean on = VI_FALSE;
        return tqdaq_getVresourceSession(s, name, &vi) == VI_SUCCESS &&
               tq718_getAnalogChannelEnable(vi, channel, &on) == VI_SUCCESS && on == VI_TRUE;
    }

    tq::test::SimVisa sim;
    int64_t model718 = 0, nameItem718 = 0, testModel = 0, nameItemTest = 0, systemId = 0;
    int64_t b1 = 0, b2 = 0, off = 0, t1 = 0, modX = 0, modY = 0;
    std::string analog, global, channel, own;
};

// Where the stand-alone members' order decides what was told.
const std::vector<std::string> kAnyOrder = {"*"};

struct HwCase {
    const char *what;
    const char *arrange; // SQL run after the session opened, or null
    ViUInt16 first, last;
    bool withMessage;
    ViStatus expected;
    const char *message; // the text, or its beginning when it ends in '*'
    std::vector<int> resets; // of b1, b2, off; -1: depends on the order
    std::vector<std::string> told;
    std::vector<std::string> formulas;
};

class ConfigureHW : public ::testing::TestWithParam<HwCase>
{
};

TEST_P(ConfigureHW, ConfiguresInOrder)
{
    const HwCase &k = GetParam();
    Rig r;
    ViSession s = 0;
    ASSERT_EQ(r.open(s), VI_SUCCESS);
    // Streams first, so that the formula build has channels to name.
    ASSERT_EQ(tqdaq_createStreams(s, "", 1, 0), VI_SUCCESS);
    for (const char *b : {kBoard1, kBoard2, kBoard3})
        r.resets(b);
    const size_t from = readLines(r.d.appLog()).size();
    if (k.arrange)
        r.d.exec(k.arrange);

    char message[256] = "junk";
    EXPECT_EQ(tqdaq_configureHW(s, k.first, k.last, k.withMessage ? message : nullptr), k.expected) << k.what;
    if (k.withMessage) {
        const std::string want = k.message;
        if (!want.empty() && want.back() == '*')
            EXPECT_EQ(std::string(message).rfind(want.substr(0, want.size() - 1), 0), 0u) << k.what << ": " << message;
        else
            EXPECT_EQ(std::string(message), want) << k.what;
    }
    const int resets[] = {r.resets(kBoard1), r.resets(kBoard2), r.resets(kBoard3)};
    for (size_t i = 0; i < 3; ++i) {
        if (k.resets[i] >= 0) {
            EXPECT_EQ(resets[i], k.resets[i]) << k.what << ": board " << i + 1;
        }
    }
    if (k.told != kAnyOrder) {
        EXPECT_EQ(r.told(from), k.told) << k.what;
    }
    if (k.expected >= VI_SUCCESS) {
        EXPECT_EQ(r.formulas(s), k.formulas) << k.what;
        // The stored values reached the boards.
        EXPECT_EQ(r.enabled(s, "b1", 1), k.first == 1) << k.what;
        EXPECT_FALSE(r.enabled(s, "b1", 2)) << k.what;
        EXPECT_EQ(r.enabled(s, "b2", 2), k.first == 1) << k.what;
    }
    // The disabled member was never even opened.
    EXPECT_EQ(r.d.value("select deviceHandle from vresource where name='off'"), "NULL") << k.what;
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
    EXPECT_EQ(r.sim.simvisa_openSessionCount(), 0u) << k.what;
}

// Stand-alone members first (t1 among the 718s), reset and switched to the
// session's mode at step 1; then the modules by carrier (b1's modY before
// b2's modX), never reset; the database's own instrument last, never reset.
const std::vector<std::string> kStepOne = {"t1 reset NULL",
                                           "t1 setSimulationMode 0",
                                           "t1 setPropertyByName Gain 1,3",
                                           "modY setPropertyByName Gain 1,4",
                                           "modX setPropertyByName Gain 1,5",
                                           "setPropertyByName InstrumentName system"};

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigureHW,
    ::testing::Values(
        HwCase{"step 1", nullptr, 1, 1, true, VI_SUCCESS, "Success", {1, 1, 0}, kStepOne,
               {"b1_AnalogChannel1", "b2_AnalogChannel2"}},
        HwCase{"no message buffer", nullptr, 1, 1, false, VI_SUCCESS, "", {1, 1, 0}, kStepOne,
               {"b1_AnalogChannel1", "b2_AnalogChannel2"}},
        HwCase{"from step 2: nobody reset, no mode sent, only that step's values", nullptr, 2, 2, true, VI_SUCCESS,
               "Success", {0, 0, 0}, {"t1 setPropertyByName Gain 1,9"}, {}},
        HwCase{"steps 1 to 2", nullptr, 1, 2, true, VI_SUCCESS, "Success", {1, 1, 0},
               {"t1 reset NULL", "t1 setSimulationMode 0", "t1 setPropertyByName Gain 1,3",
                "t1 setPropertyByName Gain 1,9", "modY setPropertyByName Gain 1,4", "modX setPropertyByName Gain 1,5",
                "setPropertyByName InstrumentName system"},
               {}},
        HwCase{"a property the driver does not know ends everything",
               "insert into configs (db_id,vresource_id,category_id,property,property_index,seq_id,value) select "
               "db_id,vresource_id,category_id,'UnknownProp',NULL,1,'1' from configs where property='Gain' and "
               "property_index=1 and seq_id=1 and value='3'",
               1, 1, true, VI_ERROR_NSUP_OPER, "Unable to configure property UnknownProp (1) on instrument t1",
               {-1, -1, 0}, {"t1 reset NULL", "t1 setSimulationMode 0", "t1 setPropertyByName Gain 1,3",
                             "t1 setPropertyByName UnknownProp 1"},
               {}},
        // Stored values that cannot be read are not sent; the members are
        // still reset, and the formula build that follows reports its own
        // failure on the broken tables.
        HwCase{"stored values that cannot be read: the members are reset, nothing is sent",
               "alter table ui_item rename column isvirtual to isvirtual_gone", 1, 1, true, -1,
               "Expression for b2_AnalogChannel2:*", {1, 1, 0}, {"t1 reset NULL", "t1 setSimulationMode 0"}, {}},
        HwCase{"the values query itself cannot be made: the members are reset, nothing is sent",
               "alter table configs rename column seq_id to seq_gone", 1, 1, true, TQDAQ_ERROR_STATEMENT,
               "Internal error query*", {1, 1, 0}, {"t1 reset NULL", "t1 setSimulationMode 0"}, {}},
        HwCase{"a walk that cannot be made", "alter table vadapter rename to vadapter_gone", 1, 1, true,
               TQDAQ_ERROR_STATEMENT, "Unable to query instruments", {0, 0, 0}, {}, {}},
        HwCase{"a member whose mark another writer cleared is still this session's instance",
               "update vresource set deviceHandle=NULL where name='b2'; "
               "update presource set name='PXI9::9::INSTR' where name='PXI1::12::INSTR'",
               1, 1, true, VI_SUCCESS, "Success", {1, 1, 0}, kAnyOrder, {"b1_AnalogChannel1", "b2_AnalogChannel2"}}));

} // namespace
