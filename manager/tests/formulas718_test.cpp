// Formula building over a real driver: model 718 on the simulated board,
// with its installed catalogue. The formulas built for its enabled channels
// parse, and the session's output stream computes exactly what the channels
// read.
#include <cmath>
#include <cstring>

#include "fixture.h"
#include "manager.h"
#include "support/simvisa_testenv.h"

using namespace mtest;
using namespace tq::manager;

namespace
{

constexpr const char *kBoard = "PXI1::14::INSTR";

TEST(Formulas718, BuiltFormulasComputeTheChannels)
{
    ASSERT_TRUE(tq::test::layOutVisa(tq::test::bindingDirectory()));
    AppDb app;
    ASSERT_EQ(std::system(("VPNPPATH='" + testDir() + "' '" TQ_BIN_DIR "/tq718install' insert >/dev/null").c_str()),
              0);
    const std::string model = app.d.value("select model_id from model where model=" + std::to_string(0x718));
    ASSERT_FALSE(model.empty());
    const int64_t v = app.d.addVresource("daq", std::stoll(model));
    app.d.addMember(app.dbId, v);
    app.d.exec("insert into presource (name,model_id,vresource_id) values ('" + std::string(kBoard) + "'," + model +
               "," + std::to_string(v) + ")");
    const std::string analog = app.d.value("select category_id from category where name='Analog Channel'");
    auto config = [&](const std::string &property, int index, const std::string &value) {
        app.d.exec("insert into configs (db_id,vresource_id,category_id,property,property_index,value) values (" +
                   std::to_string(app.dbId) + "," + std::to_string(v) + "," + analog + ",'" + property + "'," +
                   std::to_string(index) + ",'" + value + "')");
    };
    config("AnalogChannelEnable", 1, "1");
    config("AnalogChannelEnable", 2, "1");
    // Stored escaped, as the configuration screens store channel references.
    config("AnalogChannelExpression", 2, "&lt;daq-AnalogChannel1&gt; * 2 ''volts''");

    ViSession handle = 0;
    ASSERT_EQ(app.open(handle), VI_SUCCESS);
    tq::test::SimVisa sim;
    ASSERT_TRUE(sim.load());
    sim.simvisa_reset();
    ASSERT_EQ(sim.simvisa_addInstrument(kBoard, "board=tq718; manf=0x3c5a; model=0x718"), VI_SUCCESS);

    Session *s = findSession(handle);
    ASSERT_NE(s, nullptr);
    OpenResource *r = nullptr;
    ASSERT_EQ(getVresource(s, "daq", true, &r), VI_SUCCESS);
    ASSERT_EQ(r->pnp->getStream(r->pnp->session, "daq", &r->stream), VI_SUCCESS);
    s->engine->formulaEngineRegisterStream(s->engine, r->stream);
    // What the hardware set-up sends the driver before it builds.
    for (const char *value : {"1,1", "2,1"})
        ASSERT_EQ(r->pnp->setPropertyByName(r->pnp->session, "AnalogChannelEnable", value), VI_SUCCESS);

    char message[kMessageSize] = "";
    ASSERT_EQ(buildFormulas(s, nullptr, 1, message), VI_SUCCESS) << message;
    ASSERT_EQ(s->engine->inputCount, 2);
    TQStream *out = s->formulaStream;
    TQStreamChannel *plain = out->streamGetChannelByIndex(out, 0);
    TQStreamChannel *twice = out->streamGetChannelByIndex(out, 1);
    ASSERT_TRUE(plain && twice);
    EXPECT_STREQ(plain->name, "daq_AnalogChannel1");
    EXPECT_STREQ(twice->name, "daq_AnalogChannel2");
    EXPECT_STREQ(twice->eu, "volts");

    TQStream *stream = r->stream;
    TQReader *raw = stream->streamNewReader(stream, 0, TQ_WHENCE_OLDEST);
    TQReader *computed = out->streamNewReader(out, 0, TQ_WHENCE_OLDEST);
    ASSERT_TRUE(raw && computed);
    ASSERT_EQ(r->pnp->doOperation(r->pnp->session, "start", nullptr), VI_SUCCESS);

    TQStreamChannel *ch1 = stream->streamGetChannel(stream, "AnalogChannel1");
    ASSERT_NE(ch1, nullptr);
    const uint16_t scanSize = stream->streamGetScanSize(stream);
    std::vector<uint8_t> scan(scanSize);
    int compared = 0;
    for (int spins = 0; compared < 200 && spins < 2000; ++spins) {
        double row[2];
        while (compared < 200 && computed->readerRead(computed, row, 1) == 1) {
            ASSERT_EQ(raw->readerRead(raw, scan.data(), 1), 1);
            const double value = ch1->streamChannelEval(ch1, scan.data());
            EXPECT_EQ(row[0], value) << "scan " << compared;
            EXPECT_EQ(row[1], value * 2) << "scan " << compared;
            ++compared;
        }
        usleep(5000);
    }
    EXPECT_EQ(compared, 200);
    r->pnp->doOperation(r->pnp->session, "stop", nullptr);
    computed->readerRelease(&computed);
    raw->readerRelease(&raw);
    EXPECT_EQ(tqdaq_closeHandle(handle), VI_SUCCESS);
}

} // namespace
