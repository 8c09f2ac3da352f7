// A real driver bound through the manager: model 718 on the simulated VISA
// library, opened for its physical resource under its instrument name.
#include "fixture.h"
#include "support/simvisa_testenv.h"

using namespace mtest;

namespace
{

constexpr const char *kBoard = "PXI1::14::INSTR";

TEST(Binding718, OpenOperateAndClose)
{
    ASSERT_TRUE(tq::test::layOutVisa(tq::test::bindingDirectory()));
    AppDb app;
    const int64_t model = app.d.addModel(kVendor, 0x718, "tq718", "tqp718_32", {"reset", "start", "stop"});
    const int64_t item = app.d.addInstrumentNameOption(model);
    const int64_t v = app.d.addVresource("bridge1", model);
    app.d.setInstrumentName(v, item, "Bridge One");
    app.d.addMember(app.dbId, v);
    app.d.exec("insert into presource (name,model_id,vresource_id) values ('" + std::string(kBoard) + "'," +
               std::to_string(model) + "," + std::to_string(v) + ")");

    ViSession s = 0;
    ASSERT_EQ(app.open(s), VI_SUCCESS); // binds VISA for the session
    tq::test::SimVisa sim;
    ASSERT_TRUE(sim.load());
    sim.simvisa_reset();
    ASSERT_EQ(sim.simvisa_addInstrument(kBoard, "board=tq718; manf=0x3c5a; model=0x718"), VI_SUCCESS);
    const ViUInt32 baseline = sim.simvisa_openSessionCount();

    ViSession vi = 0;
    ASSERT_EQ(tqdaq_getVresourceSession(s, "bridge1", &vi), VI_SUCCESS);
    EXPECT_NE(vi, 0u);
    EXPECT_GT(sim.simvisa_openSessionCount(), baseline) << "the driver opened the board";
    EXPECT_EQ(tqdaq_doOperation(s, "bridge1", "reset", nullptr), VI_SUCCESS);
    // The walk reaches the driver, which does not know this one: the warning.
    app.d.exec("insert into operation (model_id,operation) values (" + std::to_string(model) + ",'frobnicate')");
    EXPECT_EQ(tqdaq_doOperation(s, "bridge1", "frobnicate", nullptr), TQDAQ_WARN_OPER_UNSUPPORTED);

    EXPECT_EQ(tqdaq_closeVresource(s, "bridge1"), VI_SUCCESS);
    EXPECT_EQ(sim.simvisa_openSessionCount(), baseline) << "the driver closed the board";
    // The instrument name given at opening came back for the notification.
    const auto log = readLines(app.d.appLog());
    EXPECT_NE(std::find(log.begin(), log.end(), "doOperation uiEvent pnpunload;instrument;Bridge One"), log.end());
    EXPECT_EQ(tqdaq_closeHandle(s), VI_SUCCESS);
}

} // namespace
