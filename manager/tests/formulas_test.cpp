// Formula building from the device database, on a session record made by
// hand: what the build hands the engine for each kind of channel, the
// messages of refused configurations, carriers, the decimation, the stored
// formulas; and the stored formulas' exports.
#include <cstring>
#include <fstream>

#include "fixture.h"
#include "manager.h"

using namespace mtest;
using namespace tq::manager;

namespace
{

// An engine that records what the build asks of it.
struct RecordingEngine {
    TQFormulaEngine pub{};
    std::vector<std::string> formulas; // "name|op|expression"
    int removals = 0;
    int parses = 0;
    int32_t parseResult = 0;

    RecordingEngine()
    {
        pub.formulaEngineAddFormula = [](TQFormulaEngine *e, const char *name, const char *op, const char *expr) {
            self(e)->formulas.push_back(std::string(name) + "|" + op + "|" + expr);
            return int32_t{0};
        };
        pub.formulaEngineRmvAllFormulas = [](TQFormulaEngine *e) {
            self(e)->formulas.clear();
            ++self(e)->removals;
            return int32_t{0};
        };
        pub.parseFormulas = [](TQFormulaEngine *e, char *message) {
            ++self(e)->parses;
            if (self(e)->parseResult < 0 && message)
                std::snprintf(message, 256, "parse refused");
            return self(e)->parseResult;
        };
    }
    static RecordingEngine *self(TQFormulaEngine *e) { return reinterpret_cast<RecordingEngine *>(e); }
};

// A model with channels, connectors and a decimation, as catalogues describe
// them; a member "m1" of that model in the selected database "system", and
// its fake driver's properties.
struct Build {
    Build() : d(testDir())
    {
        appModel = d.addAppModel();
        dbId = d.addDatabase("system", appModel);
        model = d.addModel(kVendor, 0x723, "tqmfake", "tqmfakechan", {});
        channels = category("Channels", {{"enableProperty", "ChannelEnable"},
                                         {"channelName", "ChannelName"},
                                         {"formulaProperty", "ChannelExpression"},
                                         {"thermocoupleType", "TcType"},
                                         {"thermocoupleUnits", "TcUnits"},
                                         {"connectorProperty", "Connector"},
                                         {"connectorCatProperty", "Connectors"}});
        for (const char *p : {"ChannelEnable", "ChannelName", "ChannelExpression", "TcType", "TcUnits", "Connector"})
            item(channels, p);
        connectors = category("Connectors", {{"enableProperty", "ConnectorEnable"}, {"isoRefChannelProperty", "IsoRef"}});
        global = category("Global", {{"decimationProperty", "Decimation"}});
        item(global, "Decimation");
        m1 = addMember("m1");

        // Channels ai0..ai3 on connector 1, whose reference is channel 7
        // (unnamed), ai4 on connector 2 with reference "cj2" at channel 8.
        for (int c = 0; c < 16; ++c) {
            props["ChannelName " + std::to_string(c)] = c < 5 ? "ai" + std::to_string(c) : "";
            props["ChannelEnable " + std::to_string(c)] = "0";
            props["Connector " + std::to_string(c)] = c == 4 ? "2" : "1";
            props["Direction " + std::to_string(c)] = c == 3 ? "1" : "0";
        }
        props["ChannelName 8"] = "cj2";
        props["ChannelUnit 0"] = "mV";
        props["IsoRef 1"] = "7";
        props["IsoRef 2"] = "8";
        props["ConnectorEnable 1"] = "0";
        props["ConnectorEnable 2"] = "0";

        setenv("TQ_FAKEDRIVER_PROPS", (d.file() + ".props").c_str(), 1);
        s.db = tq::devicedb::openDeviceDatabase();
        s.modelId = appModel;
        s.userName = "operator";
        s.handle = sessionTable().add(&s);
        s.engine = &engine.pub;
        static TQStreamHandles h;
        tqstream_getHandles(&h);
        output = h.newStream("formulas", 1.0, nullptr);
        s.formulaStream = output;
        destroy = h.destroyStream;
    }
    ~Build()
    {
        s.formulaStream = nullptr;
        s.engine = nullptr;
        unloadRemaining(&s);
        sessionTable().remove(s.handle);
        tq::devicedb::closeDeviceDatabase(s.db);
        destroy(output);
    }

    int64_t category(const std::string &name, const std::vector<std::pair<std::string, std::string>> &attributes)
    {
        const int64_t id = d.insert("insert into category (name) values ('" + name + "')");
        d.exec("insert into ui (model_id,category_id) values (" + std::to_string(model) + "," + std::to_string(id) +
               ")");
        for (const auto &[n, v] : attributes)
            attribute(id, n, v);
        return id;
    }
    void attribute(int64_t category, const std::string &name, const std::string &value)
    {
        d.exec("insert into category_attributes (category_id,name,value) values (" + std::to_string(category) + ",'" +
               name + "','" + value + "')");
    }
    void item(int64_t category, const std::string &property)
    {
        d.exec("insert into ui_item (category_id,type,property) values (" + std::to_string(category) + ",'textbox','" +
               property + "')");
    }
    int64_t addMember(const std::string &name, int enable = 1)
    {
        const int64_t v = d.addVresource(name, model);
        d.addMember(dbId, v, enable);
        return v;
    }
    void config(int64_t v, int64_t cat, const std::string &property, int index, std::string value, int seq = 1)
    {
        for (size_t at = value.find('\''); at != std::string::npos; at = value.find('\'', at + 2))
            value.insert(at, 1, '\'');
        d.exec("insert into configs (db_id,vresource_id,category_id,property,property_index,seq_id,value) values (" +
               std::to_string(dbId) + "," + std::to_string(v) + "," + std::to_string(cat) + ",'" + property + "'," +
               (index < 0 ? std::string("NULL") : std::to_string(index)) + "," + std::to_string(seq) + ",'" + value +
               "')");
    }
    void enable(int64_t v, int channel) { config(v, channels, "ChannelEnable", channel, "1"); }

    // Opens the members as the session's stream step does: each open record
    // gets its driver's stream.
    void giveStreams(const std::vector<std::string> &names = {"m1"})
    {
        std::ofstream f(d.file() + ".props");
        for (const auto &[k, v] : props)
            f << k << " " << v << "\n";
        f.close();
        for (const auto &n : names) {
            OpenResource *r = nullptr;
            ASSERT_EQ(getVresource(&s, n.c_str(), true, &r), VI_SUCCESS) << n;
            ASSERT_EQ(r->pnp->getStream(r->pnp->session, n.c_str(), &r->stream), VI_SUCCESS);
        }
    }
    ViStatus build(const char *name = nullptr, ViUInt16 seq = 1)
    {
        std::memset(message, 0, sizeof message);
        return buildFormulas(&s, name, seq, message);
    }
    std::vector<std::string> driverCalls(const std::string &verb)
    {
        std::vector<std::string> out;
        for (const auto &line : readLines(d.driverLog()))
            if (line.find(" " + verb + " ") != std::string::npos)
                out.push_back(line);
        return out;
    }

    DeviceDb d;
    Session s;
    RecordingEngine engine;
    TQStream *output = nullptr;
    void (*destroy)(TQStream *) = nullptr;
    int64_t appModel = 0, dbId = 0, model = 0, channels = 0, connectors = 0, global = 0, m1 = 0;
    std::map<std::string, std::string> props;
    char message[kMessageSize];
};

// What one channel's configuration rows make of it.
TEST(BuildFormulas, OneChannelByItsRows)
{
    struct Case {
        const char *what;
        std::vector<std::pair<std::string, std::string>> rows; // property, value at channel 0
        const char *direction;                                 // channelDirection attribute, or null
        ViStatus status;
        std::vector<std::string> formulas;
        const char *message;
    };
    const std::vector<Case> cases = {
        {"default input", {}, nullptr, VI_SUCCESS, {"m1_ai0|=|<m1-ai0> 'mV'"}, ""},
        {"default, direction input", {}, "input", VI_SUCCESS, {"m1_ai0|=|<m1-ai0> 'mV'"}, ""},
        {"default, direction output: none", {}, "output", VI_SUCCESS, {}, ""},
        {"default, direction property 0", {}, "Direction", VI_SUCCESS, {"m1_ai0|=|<m1-ai0> 'mV'"}, ""},
        {"default, unknown direction property fails",
         {},
         "NoSuchProperty",
         VI_ERROR_NSUP_OPER,
         {},
         ""},
        {"expression, unescaped",
         {{"ChannelExpression", "&lt;m1-ai1&gt; * 2 &amp;&amp; 1 'V'"}},
         nullptr,
         VI_SUCCESS,
         {"m1_ai0|=|<m1-ai1> * 2 && 1 'V'"},
         ""},
        {"expression, output", {{"ChannelExpression", "sin(t)"}}, "output", VI_SUCCESS, {"<m1-ai0>| <- |sin(t)"}, ""},
        {"expression with type",
         {{"ChannelExpression", "1"}, {"TcType", "typek"}},
         nullptr,
         VI_ERROR_INV_SETUP,
         {},
         "Thermocouple Type or Units not allowed with expression"},
        {"expression with units",
         {{"ChannelExpression", "1"}, {"TcUnits", "kelvin"}},
         nullptr,
         VI_ERROR_INV_SETUP,
         {},
         "Thermocouple Type or Units not allowed with expression"},
        {"expression with both",
         {{"ChannelExpression", "1"}, {"TcType", "typek"}, {"TcUnits", "kelvin"}},
         nullptr,
         VI_ERROR_INV_SETUP,
         {},
         "Thermocouple Type or Units not allowed with expression"},
        {"type alone", {{"TcType", "typek"}}, nullptr, VI_ERROR_INV_SETUP, {}, "Thermocouple Type set but Units unspecified"},
        {"units alone",
         {{"TcUnits", "degrees f"}},
         nullptr,
         VI_ERROR_INV_SETUP,
         {},
         "Thermocouple units set but type unspecified"},
        {"thermocouple, Celsius",
         {{"TcType", "typek"}, {"TcUnits", "degrees c"}},
         "output", // not consulted for thermocouples
         VI_SUCCESS,
         {"m1_ai0|=|thermo(<m1-ai0>,<m1-ref7>,typek) 'degrees_c'"},
         ""},
        {"thermocouple, Fahrenheit",
         {{"TcType", "typej"}, {"TcUnits", "degrees f"}},
         nullptr,
         VI_SUCCESS,
         {"m1_ai0|=|thermo(<m1-ai0>,<m1-ref7>,typej) * 9/5 + 32 'degrees_f'"},
         ""},
        {"thermocouple, kelvin",
         {{"TcType", "typet"}, {"TcUnits", "kelvin"}},
         nullptr,
         VI_SUCCESS,
         {"m1_ai0|=|thermo(<m1-ai0>,<m1-ref7>,typet) - 273.15 'kelvins'"},
         ""},
        {"thermocouple, any other unit",
         {{"TcType", "typek"}, {"TcUnits", "Kelvin"}},
         nullptr,
         VI_SUCCESS,
         {"m1_ai0|=|thermo(<m1-ai0>,<m1-ref7>,typek) 'degrees_c'"},
         ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Build b;
        if (c.direction)
            b.attribute(b.channels, "channelDirection", c.direction);
        b.enable(b.m1, 0);
        for (const auto &[property, value] : c.rows)
            b.config(b.m1, b.channels, property, 0, value);
        b.giveStreams();
        EXPECT_EQ(b.build(), c.status);
        EXPECT_EQ(b.engine.removals, 1);
        EXPECT_EQ(b.engine.formulas, c.formulas);
        EXPECT_STREQ(b.message, c.message);
        // Only a build that went through is parsed.
        EXPECT_EQ(b.engine.parses, c.status < VI_SUCCESS ? 0 : 1);
    }
}

// A reference channel without a name is named "ref<index>" on the driver
// before the formula refers to it; the channel's and the connector's enables
// are switched on. A named reference is used as it is.
TEST(BuildFormulas, ThermocoupleSetsUpItsReference)
{
    Build b;
    b.enable(b.m1, 0);
    b.config(b.m1, b.channels, "TcType", 0, "typek");
    b.config(b.m1, b.channels, "TcUnits", 0, "degrees c");
    b.enable(b.m1, 4);
    b.config(b.m1, b.channels, "TcType", 4, "typee");
    b.config(b.m1, b.channels, "TcUnits", 4, "kelvin");
    b.giveStreams();
    ASSERT_EQ(b.build(), VI_SUCCESS) << b.message;
    EXPECT_EQ(b.engine.formulas, (std::vector<std::string>{
                                     "m1_ai0|=|thermo(<m1-ai0>,<m1-ref7>,typek) 'degrees_c'",
                                     "m1_ai4|=|thermo(<m1-ai4>,<m1-cj2>,typee) - 273.15 'kelvins'",
                                 }));
    EXPECT_EQ(b.driverCalls("set"), (std::vector<std::string>{
                                        "m1 set ChannelName 7,ref7",
                                        "m1 set ChannelEnable 7,1",
                                        "m1 set ConnectorEnable 1,1",
                                        "m1 set ChannelEnable 8,1",
                                        "m1 set ConnectorEnable 2,1",
                                    }));
    // The renamed reference is a channel of the stream now.
    OpenResource *r = nullptr;
    ASSERT_EQ(getVresource(&b.s, "m1", false, &r), VI_SUCCESS);
    EXPECT_NE(r->stream->streamGetChannel(r->stream, "ref7"), nullptr);
}

// The texts built are statements the formula engine accepts: every kind of
// channel, the renamed reference and a stored formula, parsed by the real
// engine over the drivers' streams.
TEST(BuildFormulas, RealEngineParsesWhatIsBuilt)
{
    Build b;
    b.enable(b.m1, 0);
    b.config(b.m1, b.channels, "TcType", 0, "typek");
    b.config(b.m1, b.channels, "TcUnits", 0, "degrees f");
    b.enable(b.m1, 1);
    b.config(b.m1, b.channels, "ChannelExpression", 1, "&lt;m1-ai2&gt; * 2 'V'");
    b.enable(b.m1, 2);
    b.d.exec("insert into formula (db_id,name,operator,expression) values (" + std::to_string(b.dbId) +
             ",'sum','=','<m1-ai0> + <m1-ai1> ''V''')");
    b.giveStreams();

    TQFormulaEngine *engine = NewFormulaEngine(nullptr);
    ASSERT_NE(engine, nullptr);
    TQStream *out = nullptr;
    ASSERT_EQ(engine->formulaEngineGetStream(engine, "formulas", &out), 0);
    OpenResource *r = nullptr;
    ASSERT_EQ(getVresource(&b.s, "m1", false, &r), VI_SUCCESS);
    ASSERT_GE(engine->formulaEngineRegisterStream(engine, r->stream), 0);
    b.s.engine = engine;
    b.s.formulaStream = out;
    EXPECT_EQ(b.build(), VI_SUCCESS) << b.message;
    EXPECT_EQ(engine->inputCount, 4);
    const char *names[] = {"m1_ai0", "m1_ai1", "m1_ai2", "m1_sum"};
    for (int i = 0; i < 4; ++i) {
        TQStreamChannel *ch = out->streamGetChannelByIndex(out, i);
        ASSERT_NE(ch, nullptr);
        EXPECT_STREQ(ch->name, names[i]);
    }
    EXPECT_STREQ(out->streamGetChannelByIndex(out, 0)->eu, "degrees_f");

    b.s.engine = &b.engine.pub;
    b.s.formulaStream = b.output;
    out->streamRelease(&out);
    engine->formulaEngineRelease(&engine);
}

// Driver and catalogue failures around thermocouples fail the channel
// instead of building a formula over a reference nobody named.
TEST(BuildFormulas, ThermocoupleFailures)
{
    struct Case {
        const char *what;
        void (*arrange)(Build &);
        ViStatus status;
        const char *message;
    };
    const std::vector<Case> cases = {
        {"connector unreadable", [](Build &b) { b.props["Connector 0"] = "!bfff0015"; }, VI_ERROR_TMO, ""},
        {"reference index unreadable", [](Build &b) { b.props["IsoRef 1"] = "!bfff0067"; }, VI_ERROR_NSUP_OPER, ""},
        {"connector category unknown",
         [](Build &b) { b.d.exec("update category_attributes set value='Nowhere' where name='connectorCatProperty'"); },
         TQDAQ_ERROR_STATEMENT,
         "Internal error no tuple connector enableProperty failed"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Build b;
        b.enable(b.m1, 0);
        b.config(b.m1, b.channels, "TcType", 0, "typek");
        b.config(b.m1, b.channels, "TcUnits", 0, "kelvin");
        c.arrange(b);
        b.giveStreams();
        EXPECT_EQ(b.build(), c.status);
        EXPECT_TRUE(b.engine.formulas.empty());
        EXPECT_STREQ(b.message, c.message);
        EXPECT_TRUE(b.driverCalls("set").empty());
    }
}

// A failed channel does not stop the member's other channels; the walk ends
// after that member and nothing is parsed; the last failure's message stays.
TEST(BuildFormulas, FailedChannelEndsTheWalkAfterItsMember)
{
    Build b;
    const int64_t m2 = b.addMember("m2");
    b.enable(b.m1, 0);
    b.config(b.m1, b.channels, "TcType", 0, "typek"); // units missing
    b.enable(b.m1, 1);
    b.enable(b.m1, 2);
    b.config(b.m1, b.channels, "TcUnits", 2, "kelvin"); // type missing
    b.enable(m2, 0);
    b.d.exec("insert into formula (db_id,name,operator,expression) values (" + std::to_string(b.dbId) +
             ",'f','=','1')");
    b.giveStreams({"m1", "m2"});
    EXPECT_EQ(b.build(), VI_ERROR_INV_SETUP);
    EXPECT_STREQ(b.message, "Thermocouple units set but type unspecified");
    EXPECT_EQ(b.engine.formulas, std::vector<std::string>{"m1_ai1|=|<m1-ai1> 'V'"});
    EXPECT_EQ(b.engine.parses, 0);
}

// A channel the stream does not have is reported by name.
TEST(BuildFormulas, ChannelMissingFromTheStream)
{
    Build b;
    b.props["ChannelName 0"] = "gone";
    b.props["StreamName 0"] = "ai0";
    b.enable(b.m1, 0);
    b.giveStreams();
    EXPECT_EQ(b.build(), TQDAQ_ERROR_STATEMENT);
    EXPECT_STREQ(b.message, "Internal error: channel gone not found");
}

// Every enabled member, or the named one whatever its enable; stored
// formulas named after the last member's stream, or after the output stream
// when no member stream was read; the engine's parse result is returned.
TEST(BuildFormulas, MembersAndStoredFormulas)
{
    Build b;
    const int64_t off = b.addMember("off", 0);
    const int64_t m2 = b.addMember("m2");
    b.enable(b.m1, 0);
    b.enable(off, 1);
    b.enable(m2, 2);
    b.d.exec("insert into formula (db_id,name,operator,expression) values (" + std::to_string(b.dbId) +
             ",'sum','=','<m1-ai0> + <m2-ai2> ''v''')");
    b.giveStreams({"m1", "off", "m2"});

    ASSERT_EQ(b.build(), VI_SUCCESS) << b.message;
    EXPECT_EQ(b.engine.formulas, (std::vector<std::string>{"m1_ai0|=|<m1-ai0> 'mV'", "m2_ai2|=|<m2-ai2> 'V'",
                                                           "m2_sum|=|<m1-ai0> + <m2-ai2> 'v'"}));
    ASSERT_EQ(b.build("off"), VI_SUCCESS);
    EXPECT_EQ(b.engine.formulas, (std::vector<std::string>{"off_ai1|=|<off-ai1> 'V'", "off_sum|=|<m1-ai0> + <m2-ai2> 'v'"}));

    // No member with a stream: the output stream names the stored formulas.
    b.d.exec("update db_resource set enable=0");
    ASSERT_EQ(b.build(), VI_SUCCESS);
    EXPECT_EQ(b.engine.formulas, std::vector<std::string>{"formulas_sum|=|<m1-ai0> + <m2-ai2> 'v'"});

    b.engine.parseResult = -9;
    EXPECT_EQ(b.build(), -9);
    EXPECT_STREQ(b.message, "parse refused");

    // Without an output stream the build leaves the engine alone.
    const int removals = b.engine.removals;
    b.s.formulaStream = nullptr;
    EXPECT_EQ(b.build(), VI_SUCCESS);
    EXPECT_EQ(b.engine.removals, removals);
    b.s.formulaStream = b.output;

    // A member that cannot be opened ends the build.
    b.d.exec("update db_resource set enable=1");
    b.d.exec("update model set pnplibname='nolib' where model_id=" + std::to_string(b.model));
    b.addMember("closed");
    EXPECT_EQ(b.build(), TQDAQ_ERROR_STATEMENT);
}

// Members mounted on a carrier use the carrier's stream, enabled or not, and
// set its decimation; channel names still come from the member's driver.
TEST(BuildFormulas, MembersOnACarrier)
{
    Build b;
    const int64_t carrier = b.addMember("carrier", 0);
    b.d.exec("insert into vadapter (frontend_id,backend_id) values (" + std::to_string(b.m1) + "," +
             std::to_string(carrier) + ")");
    b.enable(b.m1, 1);
    b.config(b.m1, b.global, "Decimation", -1, "4");
    b.giveStreams({"m1", "carrier"});
    ASSERT_EQ(b.build(), VI_SUCCESS);
    EXPECT_TRUE(b.engine.formulas.empty()) << "carrier not enabled";

    b.d.exec("update db_resource set enable=1 where vresource_id=" + std::to_string(carrier));
    ASSERT_EQ(b.build("m1"), VI_SUCCESS);
    EXPECT_EQ(b.engine.formulas, std::vector<std::string>{"carrier_ai1|=|<carrier-ai1> 'V'"});
    OpenResource *c = nullptr;
    ASSERT_EQ(getVresource(&b.s, "carrier", false, &c), VI_SUCCESS);
    EXPECT_EQ(c->stream->streamGetDecimation(c->stream), 4);
    // The member's own driver named the channel.
    EXPECT_EQ(b.driverCalls("get").front(), "m1 get ChannelName 1");
}

TEST(BuildFormulas, Decimation)
{
    struct Case {
        const char *stored; // null: no row
        int32_t decimation;
    };
    for (const Case &c : {Case{nullptr, 1}, Case{"10", 10}, Case{"abc", 1}, Case{"0", 1}, Case{"-5", 1},
                          Case{"2147483647", 2147483647}, Case{"2147483648", 2147483647},
                          Case{"99999999999999999999", 2147483647}}) {
        SCOPED_TRACE(c.stored ? c.stored : "none");
        Build b;
        if (c.stored)
            b.config(b.m1, b.global, "Decimation", -1, c.stored);
        b.config(b.m1, b.global, "Decimation", -1, "7", 2); // another sequence's value
        b.giveStreams();
        ASSERT_EQ(b.build(), VI_SUCCESS);
        OpenResource *r = nullptr;
        ASSERT_EQ(getVresource(&b.s, "m1", false, &r), VI_SUCCESS);
        EXPECT_EQ(r->stream->streamGetDecimation(r->stream), c.decimation);
    }
}

// Messages quoting a statement are cut at the caller's buffer.
TEST(BuildFormulas, LongMessagesAreCut)
{
    Build b;
    b.enable(b.m1, 0);
    b.giveStreams();
    b.d.exec("drop table formula"); // the stored-formula statement no longer prepares
    EXPECT_EQ(b.build(), TQDAQ_ERROR_STATEMENT);
    EXPECT_STREQ(b.message, "");

    b.d.exec("drop table configs");
    std::memset(b.message, 'x', sizeof b.message);
    EXPECT_EQ(buildFormulas(&b.s, nullptr, 1, b.message), TQDAQ_ERROR_STATEMENT);
    EXPECT_EQ(std::strlen(b.message), sizeof b.message - 1);
    EXPECT_EQ(std::string(b.message).rfind("Internal error query select configs.db_id", 0), 0u);
}

TEST(ChannelDirection, ByAttribute)
{
    Build b;
    b.giveStreams();
    OpenResource *r = nullptr;
    ASSERT_EQ(getVresource(&b.s, "m1", false, &r), VI_SUCCESS);
    struct Case {
        const char *attribute;
        const char *index;
        ViStatus result;
    };
    for (const Case &c : {Case{"input", "0", 0}, Case{"output", "0", 1}, Case{"Output", "0", VI_ERROR_NSUP_OPER},
                          Case{"Direction", "3", 1}, Case{"Direction", "2", 0}, Case{"ChannelName", "0",
                                                                                   TQDAQ_ERROR_STATEMENT},
                          Case{"Nothing", "0", VI_ERROR_NSUP_OPER}}) {
        SCOPED_TRACE(std::string(c.attribute) + " " + c.index);
        EXPECT_EQ(getChannelDirection(r, c.attribute, c.index), c.result);
    }
}

// The stored formulas' exports over a real session.
TEST(StoredFormulas, LinkRelinkUnlink)
{
    AppDb app;
    ViSession s = 0;
    ASSERT_EQ(app.open(s), VI_SUCCESS);
    auto rows = [&] {
        return app.d.value("select group_concat(name||'|'||operator||'|'||expression, ';') from (select * from "
                           "formula order by formula_id)");
    };
    // Units and quotes are stored exactly as given.
    ASSERT_EQ(tqdaq_linkFormula(s, "heat", "=", "<m1-ai0> * 2 'v'"), VI_SUCCESS);
    ASSERT_EQ(tqdaq_linkFormula(s, "it's", " <- ", "a'); drop table formula; --"), VI_SUCCESS);
    EXPECT_EQ(rows(), "heat|=|<m1-ai0> * 2 'v';it's| <- |a'); drop table formula; --");
    // Another operator on relinking: only the expression changes.
    ASSERT_EQ(tqdaq_linkFormula(s, "heat", " <- ", "3 'V'"), VI_SUCCESS);
    EXPECT_EQ(rows(), "heat|=|3 'V';it's| <- |a'); drop table formula; --");
    EXPECT_EQ(app.d.value("select count(*) from formula where db_id=" + std::to_string(app.dbId)), "2");

    EXPECT_EQ(tqdaq_unlinkFormula(s, "nothing"), TQDAQ_ERROR_STATEMENT);
    EXPECT_EQ(tqdaq_unlinkFormula(s, "heat' or '1'='1"), TQDAQ_ERROR_STATEMENT);
    EXPECT_EQ(tqdaq_unlinkFormula(s, "it's"), VI_SUCCESS);
    EXPECT_EQ(rows(), "heat|=|3 'V'");
    EXPECT_EQ(tqdaq_linkFormula(s, nullptr, "=", "1"), TQDAQ_ERROR_STATEMENT);
    EXPECT_EQ(tqdaq_unlinkFormula(s, nullptr), TQDAQ_ERROR_STATEMENT);

    // Another database's formulas are not touched by unlinking all.
    const int64_t other = app.d.addDatabase("other", app.appModel, false);
    app.d.exec("insert into formula (db_id,name) values (" + std::to_string(other) + ",'keep')");
    EXPECT_EQ(tqdaq_unlinkAllFormulae(s), VI_SUCCESS);
    EXPECT_EQ(rows(), "keep|=|");
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

TEST(StoredFormulas, Refusals)
{
    AppDb app;
    ViSession s = 0;
    ASSERT_EQ(app.open(s), VI_SUCCESS);
    EXPECT_EQ(tqdaq_linkFormula(0, "f", "=", "1"), VI_ERROR_INV_OBJECT);

    app.d.exec("update system set db_id=NULL");
    EXPECT_EQ(tqdaq_linkFormula(s, "f", "=", "1"), TQDAQ_ERROR_NO_DATABASE);
    const int64_t foreignModel = app.d.addModel(1, 2, "x", "x", {});
    app.d.addDatabase("foreign", foreignModel);
    EXPECT_EQ(tqdaq_linkFormula(s, "f", "=", "1"), TQDAQ_ERROR_OTHER_MODEL);
    EXPECT_EQ(app.d.value("select count(*) from formula"), "0");

    app.d.exec("update system set db_id=" + std::to_string(app.dbId));
    ASSERT_EQ(tqdaq_linkFormula(s, "f", "=", "1"), VI_SUCCESS);
    app.d.exec("update system set user_id=(select users_id from users where username='other')");
    EXPECT_EQ(tqdaq_linkFormula(s, "f", "=", "2"), TQDAQ_ERROR_NOT_CONTROLLER);
    EXPECT_EQ(tqdaq_unlinkFormula(s, "f"), TQDAQ_ERROR_NOT_CONTROLLER);
    EXPECT_EQ(tqdaq_unlinkAllFormulae(s), TQDAQ_ERROR_NOT_CONTROLLER);
    EXPECT_EQ(app.d.value("select expression from formula"), "1");
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

} // namespace
