// The model 718 as the resource manager drives it: the library loaded by
// name, its PnP handle, properties set and read as text, operations, and
// crossCheck of the stored configuration.
#include <functional>

#include "fixture718.h"
#include "tq/platform/dynlib.h"

namespace tq718test
{
namespace
{

TQGetPnPHandleFn loadDriver()
{
    static tq::platform::LibraryHandle lib = tq::platform::loadLibrary("tqp718_32.dll");
    if (!lib)
        return nullptr;
    return reinterpret_cast<TQGetPnPHandleFn>(tq::platform::findSymbol(lib, "tq718_getPnPHandle"));
}

class ByName : public Board718Test
{
  protected:
    void SetUp() override
    {
        Board718Test::SetUp();
        TQGetPnPHandleFn get = loadDriver();
        ASSERT_NE(get, nullptr);
        ASSERT_EQ(get("", &handle_), VI_SUCCESS);
        ASSERT_NE(handle_, nullptr);
        vi_ = handle_->session;
    }
    void TearDown() override
    {
        if (handle_) {
            EXPECT_EQ(handle_->release(&handle_), VI_SUCCESS);
        }
        EXPECT_EQ(handle_, nullptr);
        Board718Test::TearDown();
    }
    ViStatus set(const char *name, const char *value) { return handle_->setPropertyByName(vi_, name, value); }
    ViStatus get(const char *name, const char *index, std::string &out)
    {
        char text[256] = "untouched";
        ViStatus status = handle_->getPropertyByName(vi_, name, index, text, sizeof text);
        out = text;
        return status;
    }
    std::string get(const char *name, const char *index = "")
    {
        std::string out;
        EXPECT_EQ(get(name, index, out), VI_SUCCESS) << name;
        return out;
    }

    TQPnPHandle *handle_ = nullptr;
    ViSession vi_ = VI_NULL;
};

struct Row {
    const char *name;
    const char *value;
    const char *index; // for the read back
    const char *printed;
};

std::ostream &operator<<(std::ostream &o, const Row &r)
{
    return o << r.name << "=" << r.value;
}

class Properties : public ByName, public ::testing::WithParamInterface<Row>
{
};

TEST_P(Properties, SetAndReadBackAsText)
{
    const Row &r = GetParam();
    ASSERT_EQ(set(r.name, r.value), VI_SUCCESS);
    EXPECT_EQ(get(r.name, r.index), r.printed);
}

INSTANTIATE_TEST_SUITE_P(
    Each, Properties,
    ::testing::Values(
        Row{"InstrumentName", "Rig 7", "", "Rig 7"}, Row{"InstrumentName", "left,right", "", "left"},
        Row{"ScanClockSource", "4", "", "4"}, Row{"ScanClockRate", "1000", "ignored", "1000.000000"},
        Row{"RefreshRate", "5", "", "5"}, Row{"BufferDuration", "9", "", "9"}, Row{"StartCondition", "11", "", "11"},
        Row{"StopCondition", "3", "", "3"}, Row{"TransientCondition", "12", "", "12"},
        Row{"TransientNumScans", "70000", "", "70000"}, Row{"TriggerMode", "1", "", "1"}, Row{"AcqMode", "2", "", "2"},
        Row{"TransformType", "3", "", "3"}, Row{"ScanClockToPXILine", "8", "", "8"},
        Row{"LimitViolationToPXILine", "1", "", "1"}, Row{"VerboseEnable", "1", "", "1"},
        Row{"VerboseEnable", "-1", "", "65535"}, Row{"IOInputInversion", "2,1", "2", "1"},
        Row{"IOInputRoute", "1,5", "1", "5"}, Row{"IOOutputInversion", "1,1", "1", "1"},
        Row{"IOOutputRoute", "2,10", "2", "10"}, Row{"AnalogChannelEnable", "2,1", "2", "1"},
        Row{"AnalogChannelName", "3,Strain_3", "3", "Strain_3"},
        Row{"AnalogChannelInputVoltageRange", "4,13", "4", "13"}, Row{"AnalogChannelBufferSource", "1,2", "1", "2"},
        Row{"AnalogChannelLimitCheckMode", "2,3", "2", "3"},
        Row{"AnalogChannelLimitCheckMinLvl", "2,-1.5", "2", "-1.500000"},
        Row{"AnalogChannelLimitCheckMaxSlope", "3,0.25", "3", "0.250000"},
        Row{"AnalogChannelSensorType", "1,2", "1", "2"}, Row{"AnalogChannelFilter", "4,2", "4", "2"},
        Row{"AnalogChannelExcitation", "1,7.5", "1", "7.500000"}, Row{"AnalogChannelExcitationType", "1,3", "1", "3"},
        Row{"AnalogChannelSense", "2,1", "2", "1"}, Row{"AnalogChannelBridgeConfiguration", "3,4", "3", "4"},
        Row{"AnalogChannelBridgeBalanceEnable", "4,1", "4", "1"}, Row{"AnalogChannelShuntCalPolarity", "2,4", "2", "4"},
        Row{"AnalogChannelPositiveShuntedPcnt", "1,12.5", "1", "12.500000"},
        Row{"AnalogChannelNegativeShuntedPcnt", "1,-3", "1", "-3.000000"},
        Row{"DemoAnalogChannelType", "3,4", "3", "4"}, Row{"DemoAnalogChannelScale", "3,2", "3", "2.000000"},
        Row{"DemoAnalogChannelOffset", "4,-0.5", "4", "-0.500000"}, Row{"EventEnable", "17,1", "17", "1"},
        Row{"EventChannelEnable", "15,1", "15", "1"}, Row{"EventChannelName", "15,Door", "15", "Door"}),
    [](const ::testing::TestParamInfo<Row> &info) {
        return std::string(info.param.name) + std::to_string(info.index);
    });

TEST_F(ByName, ReadOnlyUnknownAndMalformed)
{
    std::string out;
    EXPECT_EQ(set("AnalogChannelEnable", "x"), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(set("analogchannelenable", "2,1"), VI_ERROR_NSUP_OPER) << "names are compared exactly";
    EXPECT_EQ(set("AnalogChannelEnable", "2,7"), VI_ERROR_INV_PARAMETER) << "the setter's own answer";
    for (const char *readOnly : {"AnalogChannelCount", "FilterReady", "FilterOption", "FilterType"}) {
        EXPECT_EQ(set(readOnly, "1"), VI_ERROR_NSUP_OPER) << readOnly;
        EXPECT_EQ(set(readOnly, ""), VI_ERROR_INV_PARAMETER) << readOnly;
    }
    EXPECT_EQ(set("AnalogChannelConnector", "1,1"), VI_ERROR_NSUP_OPER) << "read by name only";
    EXPECT_EQ(set("ScanClock", "1"), VI_ERROR_NSUP_OPER) << "reached through its export only";
    EXPECT_EQ(set("AnalogChannelMux", "1,2"), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(get("InterruptEnable", "", out), VI_ERROR_NSUP_OPER) << "set by name only";
    EXPECT_EQ(get("DemoAnalogChannelNoise", "1", out), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(set("DemoAnalogChannelNoise", "1,0.5"), VI_SUCCESS);
    EXPECT_EQ(set("InterruptEnable", "1"), VI_SUCCESS);
    EXPECT_EQ(get("AnalogChannelName", "", out), VI_ERROR_INV_PARAMETER) << "an index is needed";
    EXPECT_EQ(out, "untouched");
    EXPECT_EQ(get("AnalogChannelName", "9", out), VI_ERROR_INV_PARAMETER) << "the getter's own answer";
    EXPECT_EQ(out, "untouched");
}

TEST_F(ByName, ReadOnlyValuesAndConnectors)
{
    EXPECT_EQ(get("AnalogChannelCount"), "4");
    EXPECT_EQ(get("FilterReady"), "1");
    EXPECT_EQ(get("FilterOption"), "0");
    EXPECT_EQ(get("FilterType"), "0");
    EXPECT_EQ(get("AnalogChannelConnector", "3"), "3");
    EXPECT_EQ(get("ScanClockRate", "anything"), "100.000000");
    EXPECT_EQ(get("InstrumentName"), "");
}

TEST_F(ByName, ResetIsTheOneOperationYet)
{
    ASSERT_EQ(set("AnalogChannelEnable", "1,1"), VI_SUCCESS);
    EXPECT_EQ(handle_->doOperation(vi_, "reset", ""), VI_SUCCESS);
    EXPECT_EQ(get("AnalogChannelEnable", "1"), "0");
    EXPECT_EQ(handle_->doOperation(vi_, "Reset", ""), VI_ERROR_NSUP_OPER);
}

TEST_F(ByName, TheHandleReachesABoard)
{
    addBoard();
    TQPnPHandle *board = nullptr;
    ASSERT_EQ(loadDriver()(kBoard, &board), VI_SUCCESS);
    ASSERT_EQ(board->setPropertyByName(board->session, "AnalogChannelInputVoltageRange", "2,5"), VI_SUCCESS);
    EXPECT_EQ(reg(0x10) & 0xF0, 4u << 4);
    char text[256] = "";
    ASSERT_EQ(board->getPropertyByName(board->session, "AnalogChannelInputVoltageRange", "2", text, sizeof text),
              VI_SUCCESS);
    EXPECT_STREQ(text, "5");
    ASSERT_EQ(board->setPropertyByName(board->session, "TriggerMode", "7"), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(board->release(&board), VI_SUCCESS);
    EXPECT_EQ(board, nullptr);
}

// ---- crossCheck ------------------------------------------------------------------------

struct CheckCase {
    const char *label;
    std::function<void(TQPnPHandle *, ViSession)> configure;
    ViStatus status;
    const char *message;
};

std::ostream &operator<<(std::ostream &o, const CheckCase &c)
{
    return o << c.label;
}

class CrossCheck : public ByName, public ::testing::WithParamInterface<CheckCase>
{
};

TEST_P(CrossCheck, ReportsTheFirstFailure)
{
    const CheckCase &c = GetParam();
    c.configure(handle_, vi_);
    char message[256] = "";
    EXPECT_EQ(handle_->crossCheck(vi_, message), c.status);
    EXPECT_STREQ(message, c.message);
}

void setAll(TQPnPHandle *h, ViSession vi, std::initializer_list<std::pair<const char *, const char *>> settings)
{
    for (const auto &[name, value] : settings)
        ASSERT_EQ(h->setPropertyByName(vi, name, value), VI_SUCCESS) << name << "=" << value;
}

const std::string k127(127, 'x');

INSTANTIATE_TEST_SUITE_P(
    Cases, CrossCheck,
    ::testing::Values(CheckCase{"nothingEnabled", [](TQPnPHandle *, ViSession) {}, VI_SUCCESS, ""},
                      CheckCase{"validChannels",
                                [](TQPnPHandle *h, ViSession vi) {
                                    setAll(h, vi,
                                           {{"AnalogChannelEnable", "1,1"},
                                            {"AnalogChannelEnable", "4,1"},
                                            {"EventChannelEnable", "15,1"},
                                            {"AnalogChannelName", "1,Load_1"}});
                                    ASSERT_EQ(tq718_setAnalogChannelName(vi, 4, k127.c_str()), VI_SUCCESS);
                                },
                                VI_SUCCESS, ""},
                      CheckCase{"duplicateNamesReportedForTheLowerChannel",
                                [](TQPnPHandle *h, ViSession vi) {
                                    setAll(h, vi,
                                           {{"AnalogChannelEnable", "1,1"},
                                            {"AnalogChannelEnable", "2,1"},
                                            {"AnalogChannelName", "1,Same"},
                                            {"AnalogChannelName", "2,Same"}});
                                },
                                VI_ERROR_INV_PARAMETER, "Channel 1 name 'Same' not unique"},
                      CheckCase{"analogAndEventNamesShareOneList",
                                [](TQPnPHandle *h, ViSession vi) {
                                    setAll(h, vi,
                                           {{"AnalogChannelEnable", "2,1"},
                                            {"EventChannelEnable", "5,1"},
                                            {"AnalogChannelName", "2,Gate"},
                                            {"EventChannelName", "5,Gate"}});
                                },
                                VI_ERROR_INV_PARAMETER, "Channel 5 name 'Gate' not unique"},
                      CheckCase{"disabledChannelsAreNotChecked",
                                [](TQPnPHandle *h, ViSession vi) {
                                    setAll(h, vi, {{"AnalogChannelName", "1,Same"}, {"AnalogChannelName", "2,Same"}});
                                },
                                VI_SUCCESS, ""},
                      CheckCase{"emptyName",
                                [](TQPnPHandle *h, ViSession vi) {
                                    setAll(h, vi, {{"AnalogChannelEnable", "3,1"}});
                                    ASSERT_EQ(tq718_setAnalogChannelName(vi, 3, ""), VI_SUCCESS);
                                },
                                VI_ERROR_INV_PARAMETER, "Channel 3 must be assigned a name"},
                      CheckCase{"illegalCharacters",
                                [](TQPnPHandle *h, ViSession vi) {
                                    setAll(h, vi, {{"AnalogChannelEnable", "2,1"}, {"AnalogChannelName", "2,9lives"}});
                                },
                                VI_ERROR_INV_PARAMETER, "Channel 2 name contains illegal characters"},
                      CheckCase{"highestChannelFirst",
                                [](TQPnPHandle *h, ViSession vi) {
                                    setAll(h, vi,
                                           {{"AnalogChannelEnable", "1,1"},
                                            {"AnalogChannelEnable", "4,1"},
                                            {"AnalogChannelName", "1,bad name"},
                                            {"AnalogChannelName", "4,also bad"}});
                                },
                                VI_ERROR_INV_PARAMETER, "Channel 4 name contains illegal characters"},
                      CheckCase{"eventChannelName",
                                [](TQPnPHandle *h, ViSession vi) {
                                    setAll(h, vi, {{"EventChannelEnable", "12,1"}, {"EventChannelName", "12,_x"}});
                                },
                                VI_ERROR_INV_PARAMETER, "Channel 12 name contains illegal characters"},
                      CheckCase{"limitMaxNotAboveMin",
                                [](TQPnPHandle *h, ViSession vi) {
                                    setAll(h, vi,
                                           {{"AnalogChannelEnable", "1,1"},
                                            {"AnalogChannelLimitCheckMode", "1,2"},
                                            {"AnalogChannelLimitCheckMinLvl", "1,2"},
                                            {"AnalogChannelLimitCheckMaxSlope", "1,1"}});
                                },
                                VI_ERROR_SYSTEM_ERROR,
                                "Channel 1 limit check max (1.000000) does not exceed min (2.000000)"},
                      CheckCase{"limitMaxOutOfRange",
                                [](TQPnPHandle *h, ViSession vi) {
                                    setAll(h, vi,
                                           {{"AnalogChannelEnable", "2,1"},
                                            {"AnalogChannelLimitCheckMode", "2,2"},
                                            {"AnalogChannelInputVoltageRange", "2,4"},
                                            {"AnalogChannelLimitCheckMinLvl", "2,-0.5"},
                                            {"AnalogChannelLimitCheckMaxSlope", "2,1.5"}});
                                },
                                VI_ERROR_SYSTEM_ERROR, "Channel 2 limit check max (1.500000) out of input range"},
                      CheckCase{"limitMinOutOfRange",
                                [](TQPnPHandle *h, ViSession vi) {
                                    setAll(h, vi,
                                           {{"AnalogChannelEnable", "2,1"},
                                            {"AnalogChannelLimitCheckMode", "2,2"},
                                            {"AnalogChannelInputVoltageRange", "2,13"},
                                            {"AnalogChannelLimitCheckMinLvl", "2,-0.0011"},
                                            {"AnalogChannelLimitCheckMaxSlope", "2,0.001"}});
                                },
                                VI_ERROR_SYSTEM_ERROR, "Channel 2 limit check min (-0.001100) out of input range"},
                      CheckCase{"levelAndSlopeAreNotComparedAsMinAndMax",
                                [](TQPnPHandle *h, ViSession vi) {
                                    setAll(h, vi,
                                           {{"AnalogChannelEnable", "1,1"},
                                            {"AnalogChannelLimitCheckMode", "1,3"},
                                            {"AnalogChannelLimitCheckMinLvl", "1,20"},
                                            {"AnalogChannelLimitCheckMaxSlope", "1,1"}});
                                },
                                VI_SUCCESS, ""},
                      CheckCase{"filteringWithoutAFilterOption",
                                [](TQPnPHandle *h, ViSession vi) {
                                    setAll(h, vi, {{"AnalogChannelEnable", "3,1"}, {"AnalogChannelFilter", "3,6"}});
                                },
                                VI_ERROR_SYSTEM_ERROR, "Channel 3: filtering not supported on this model"},
                      CheckCase{"triggeredWithoutStart",
                                [](TQPnPHandle *h, ViSession vi) {
                                    setAll(h, vi, {{"AcqMode", "2"}, {"StopCondition", "1"}});
                                },
                                VI_ERROR_SYSTEM_ERROR, "ACQ Mode set to Triggered, but start condition disabled."},
                      CheckCase{"triggeredWithoutStop",
                                [](TQPnPHandle *h, ViSession vi) {
                                    setAll(h, vi, {{"AcqMode", "2"}, {"StartCondition", "1"}});
                                },
                                VI_ERROR_SYSTEM_ERROR, "ACQ Mode set to Triggered, but stop condition disabled."},
                      CheckCase{"triggered",
                                [](TQPnPHandle *h, ViSession vi) {
                                    setAll(h, vi, {{"AcqMode", "2"}, {"StartCondition", "1"}, {"StopCondition", "11"}});
                                },
                                VI_SUCCESS, ""},
                      CheckCase{"internalClockTooSlow",
                                [](TQPnPHandle *h, ViSession vi) {
                                    setAll(h, vi,
                                           {{"ScanClockSource", "3"},
                                            {"ScanClockRate", "0.001"},
                                            {"ScanClockSource", "1"},
                                            {"AcqMode", "2"}});
                                },
                                VI_ERROR_SYSTEM_ERROR, "Unsupported clock rate for internal clock: too low"}),
    [](const ::testing::TestParamInfo<CheckCase> &info) { return std::string(info.param.label); });

} // namespace
} // namespace tq718test
