// The PnP handle of the test model's driver: its shape and life, properties
// and operations by name through the model's tables, crossCheck, the
// stream and simulation mode through the handle, and the message sinks.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "drivertest/simvisaboard.h"
#include "testmodel.h"
#include "tq/driver/status.h"
#include "tqpnp.h"
#include "tqstream.h"

namespace
{

tq::test::SimVisa sim;

std::string hex(unsigned v)
{
    char text[32];
    snprintf(text, sizeof text, "%#x", v);
    return text;
}

// Everything a message queue holds, oldest first.
std::vector<std::string> drain(TQStreamMsg *q)
{
    std::vector<std::string> lines;
    char text[1024];
    uint32_t length = 0;
    while (q->streamMsgRead(q, text, sizeof text, &length) == 0)
        lines.emplace_back(text, length);
    return lines;
}

class PnP : public ::testing::Test
{
  protected:
    static void SetUpTestSuite() { tq::test::bindDriverToSimulatedVisa(tqtest_init, tqtest_close, sim); }
    void SetUp() override
    {
        sim.simvisa_reset();
        ASSERT_EQ(sim.simvisa_addInstrument("PXI1::5::INSTR", "manf=0x3c5a; model=0x999; alias=bench1"), VI_SUCCESS);
        // The value on entry is not used by a hardware driver.
        h_ = reinterpret_cast<TQPnPHandle *>(0x1234);
        ASSERT_EQ(tqtest_getPnPHandle("", &h_), VI_SUCCESS);
        ASSERT_NE(h_, nullptr);
        vi_ = h_->session;
        ASSERT_EQ(tqtest_setInstrumentName(vi_, "Rig"), VI_SUCCESS);
    }
    void TearDown() override
    {
        if (h_) {
            EXPECT_EQ(h_->release(&h_), VI_SUCCESS);
        }
        EXPECT_EQ(h_, nullptr);
        for (TQStreamMsg *q : queues_) {
            EXPECT_EQ(q->refCount, 1) << "close released the sinks";
            q->streamMsgRelease(&q);
        }
        EXPECT_EQ(sim.simvisa_openSessionCount(), 0u);
    }
    TQStreamMsg *queue()
    {
        TQStreamMsg *q = nullptr;
        EXPECT_EQ(StreamMsgCommonCreate(8192, &q), 0);
        queues_.push_back(q);
        return q;
    }
    ViStatus set(const char *name, const char *value) { return h_->setPropertyByName(vi_, name, value); }
    ViStatus get(const char *name, const char *index, std::string &out, ViInt32 length = 256)
    {
        char text[512];
        memset(text, 'u', sizeof text);
        text[sizeof text - 1] = '\0';
        ViStatus status = h_->getPropertyByName(vi_, name, index, text, length);
        out = text;
        return status;
    }

    TQPnPHandle *h_ = nullptr;
    ViSession vi_ = 0;
    std::vector<TQStreamMsg *> queues_;
};

TEST_F(PnP, HandleCarriesTheSessionAndEveryOperationInOrder)
{
    EXPECT_EQ(h_->refCount, 1);
    EXPECT_EQ(tqtest_getSimulationMode(vi_, nullptr), 1) << "a session of the driver, without hardware";
    // Every word is filled and reaches this session.
    void *const words[] = {
        reinterpret_cast<void *>(h_->addReference),          reinterpret_cast<void *>(h_->release),
        reinterpret_cast<void *>(h_->setPropertyByName),     reinterpret_cast<void *>(h_->getPropertyByName),
        reinterpret_cast<void *>(h_->doOperation),           reinterpret_cast<void *>(h_->registerStreamMsg),
        reinterpret_cast<void *>(h_->registerSpyMsg),        reinterpret_cast<void *>(h_->crossCheck),
        reinterpret_cast<void *>(h_->setSimulationMode),     reinterpret_cast<void *>(h_->getStream),
        reinterpret_cast<void *>(h_->getEventStatus),        reinterpret_cast<void *>(h_->installEventHandler),
        reinterpret_cast<void *>(h_->uninstallEventHandler), reinterpret_cast<void *>(h_->wait),
        reinterpret_cast<void *>(h_->attachBackend)};
    for (void *w : words)
        EXPECT_NE(w, nullptr);
    EXPECT_EQ(h_->setSimulationMode(vi_, 2), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(h_->setSimulationMode(vi_, 0), TQ_ERROR_NO_INSTRUMENT) << "no instrument to go back to";
    EXPECT_EQ(h_->setSimulationMode(vi_, 1), VI_SUCCESS);
    EXPECT_EQ(h_->attachBackend(vi_, h_), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(h_->crossCheck(0x1234, nullptr), VI_ERROR_INV_OBJECT);
    char text[256];
    EXPECT_EQ(h_->wait(vi_, 1, 0, nullptr, text), VI_ERROR_TMO);
    EXPECT_EQ(h_->getEventStatus(vi_, 99, nullptr, 0, nullptr), VI_ERROR_INV_PARAMETER) << "the model's own check";
}

TEST_F(PnP, ReferencesKeepTheSessionUntilTheLastRelease)
{
    TQPnPHandle *copy = h_;
    EXPECT_EQ(h_->addReference(h_), VI_SUCCESS);
    EXPECT_EQ(h_->refCount, 2);
    EXPECT_EQ(copy->release(&copy), VI_SUCCESS);
    EXPECT_EQ(copy, h_) << "the holder's pointer stays while references remain";
    EXPECT_EQ(tqtest_getSimulationMode(vi_, nullptr), 1);
    EXPECT_EQ(h_->release(&h_), VI_SUCCESS);
    EXPECT_EQ(h_, nullptr);
    EXPECT_EQ(tqtest_getSimulationMode(vi_, nullptr), VI_ERROR_INV_OBJECT) << "closed with the last reference";
}

TEST_F(PnP, OpensInstrumentsAndFailsWithoutLeavingAHandle)
{
    TQPnPHandle *hw = nullptr;
    ASSERT_EQ(tqtest_getPnPHandle("bench1", &hw), VI_SUCCESS);
    ViUInt16 mode = 0;
    ViUInt32 option = 0;
    char rsrc[256];
    ASSERT_EQ(tqtest_getState(hw->session, &mode, &option, rsrc), VI_SUCCESS);
    EXPECT_EQ(mode, 1);
    EXPECT_STREQ(rsrc, "bench1");
    EXPECT_EQ(sim.simvisa_openSessionCount(), 2u);
    // The release answers 0 whatever close answers, and closes VISA.
    EXPECT_EQ(hw->release(&hw), VI_SUCCESS);
    EXPECT_EQ(sim.simvisa_openSessionCount(), 0u);

    TQPnPHandle *missing = reinterpret_cast<TQPnPHandle *>(0x1234);
    EXPECT_LT(tqtest_getPnPHandle("PXI9::9::INSTR", &missing), VI_SUCCESS);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(sim.simvisa_openSessionCount(), 0u);
    EXPECT_EQ(tqtest_getPnPHandle("", nullptr), VI_ERROR_INV_PARAMETER);
}

// ---------------------------------------------------------------------------

struct RoundTrip {
    const char *name;
    const char *value;
    const char *index;
    const char *printed;
};

const RoundTrip kRoundTrips[] = {
    {"InstrumentName", "Bench 7", "", "Bench 7"},
    {"Gain", "42", "", "42"},
    {"Rate", "250.5", "", "250.500000"},
    {"Count", "-70000", "ignored", "-70000"},
    {"Verbose", "1", "", "1"},
    {"ChannelEnable", "2,1", "2", "1"},
    {"ChannelEnable", "4,1", "4", "1"},
    {"ChannelScale", "1,0.125", "1", "0.125000"},
    {"ChannelName", "4,Trigger_In", "4", "Trigger_In"},
    {"ChannelName", "1,two words", "1", "two words"},
    {"ChannelRange", "2,13", "2", "13"},
};

class PropertyRoundTrips : public PnP, public ::testing::WithParamInterface<RoundTrip>
{
};

TEST_P(PropertyRoundTrips, SetByNameThenGetByName)
{
    const RoundTrip &c = GetParam();
    ASSERT_EQ(set(c.name, c.value), VI_SUCCESS);
    std::string out;
    ASSERT_EQ(get(c.name, c.index, out), VI_SUCCESS);
    EXPECT_EQ(out, c.printed);
}

INSTANTIATE_TEST_SUITE_P(Table, PropertyRoundTrips, ::testing::ValuesIn(kRoundTrips));

TEST_F(PnP, ValuesReachTheTypedSetters)
{
    ASSERT_EQ(set("ChannelEnable", "4,1"), VI_SUCCESS);
    ViBoolean enable = 0;
    ASSERT_EQ(tqtest_getChannelEnable(vi_, 4, &enable), VI_SUCCESS);
    EXPECT_EQ(enable, 1);
    ASSERT_EQ(set("Rate", "750"), VI_SUCCESS);
    TQStream *stream = nullptr;
    ASSERT_EQ(h_->getStream(vi_, "s", &stream), VI_SUCCESS);
    EXPECT_EQ(stream->streamGetRate(stream), 750.0) << "the setter runs in full";
}

TEST_F(PnP, ReadOnlyWriteOnlyAndUnknownNames)
{
    std::string out;
    EXPECT_EQ(set("ChannelCount", "3"), VI_ERROR_NSUP_OPER) << "read-only after a good scan";
    EXPECT_EQ(set("ChannelCount", ""), VI_ERROR_INV_PARAMETER) << "scanned first";
    EXPECT_EQ(set("ChannelCount", "x"), VI_ERROR_INV_PARAMETER);
    ASSERT_EQ(get("ChannelCount", "", out), VI_SUCCESS);
    EXPECT_EQ(out, "2");

    EXPECT_EQ(set("Trigger", "3"), VI_SUCCESS);
    EXPECT_EQ(get("Trigger", "", out), VI_ERROR_NSUP_OPER) << "set by name only";
    EXPECT_EQ(set("Serial", "3"), VI_ERROR_NSUP_OPER) << "read by name only";
    ASSERT_EQ(get("Serial", "", out), VI_SUCCESS);
    EXPECT_EQ(out, "32768") << "16-bit value printed unsigned";
    ASSERT_EQ(set("Gain", "-3"), VI_ERROR_INV_PARAMETER) << "the setter's own answer";
    ASSERT_EQ(set("Gain", "99"), VI_SUCCESS);
    ASSERT_EQ(get("Gain", "", out), VI_SUCCESS);
    EXPECT_EQ(out, "99");

    for (const char *name : {"gain", "GAIN", "Gain ", "Gai", "", "Unknown"}) {
        EXPECT_EQ(set(name, "1"), VI_ERROR_NSUP_OPER) << name;
        EXPECT_EQ(get(name, "1", out), VI_ERROR_NSUP_OPER) << name;
        EXPECT_EQ(h_->doOperation(vi_, name, nullptr), VI_ERROR_NSUP_OPER) << name;
    }
    EXPECT_EQ(h_->setPropertyByName(vi_, nullptr, "1"), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(h_->getPropertyByName(vi_, nullptr, "1", nullptr, 0), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(h_->doOperation(vi_, nullptr, nullptr), VI_ERROR_NSUP_OPER);
}

TEST_F(PnP, MalformedTextNeverReachesTheSetter)
{
    ASSERT_EQ(set("ChannelEnable", "2,1"), VI_SUCCESS);
    ASSERT_EQ(set("ChannelName", "4,Keep"), VI_SUCCESS);
    struct Case {
        const char *name;
        const char *value;
    } cases[] = {
        {"Gain", "x"},
        {"Gain", ""},
        {"Rate", "fast"},
        {"Count", ","},
        {"ChannelEnable", "2"},
        {"ChannelEnable", "2,"},
        {"ChannelEnable", "2;0"},
        {"ChannelEnable", ",0"},
        {"ChannelScale", "1"},
        {"ChannelName", "4"},
        {"ChannelName", "4,"},
        {"InstrumentName", ""},
        {"InstrumentName", ",x"},
        {"Gain", nullptr},
    };
    for (const Case &c : cases)
        EXPECT_EQ(set(c.name, c.value), VI_ERROR_INV_PARAMETER)
            << c.name << " '" << (c.value ? c.value : "null") << "'";
    std::string out;
    ASSERT_EQ(get("ChannelEnable", "2", out), VI_SUCCESS);
    EXPECT_EQ(out, "1") << "a missing second field left the channel alone";
    ASSERT_EQ(get("ChannelName", "4", out), VI_SUCCESS);
    EXPECT_EQ(out, "Keep");
    ASSERT_EQ(get("InstrumentName", "", out), VI_SUCCESS);
    EXPECT_EQ(out, "Rig");
}

TEST_F(PnP, LongTextsAreCutWhereTheyAreKept)
{
    const std::string longName(300, 'N');
    ASSERT_EQ(set("InstrumentName", longName.c_str()), VI_SUCCESS);
    std::string out;
    ASSERT_EQ(get("InstrumentName", "", out), VI_SUCCESS);
    EXPECT_EQ(out, longName.substr(0, 255));
    ASSERT_EQ(set("ChannelName", ("1," + longName).c_str()), VI_SUCCESS);
    ASSERT_EQ(get("ChannelName", "1", out), VI_SUCCESS);
    EXPECT_EQ(out, longName.substr(0, TQ_CHANNEL_NAME_SIZE - 1));
}

TEST_F(PnP, GetterIndexOutputSizeAndFailures)
{
    std::string out;
    for (const char *bad : {"", "x", ",2"})
        EXPECT_EQ(get("ChannelName", bad, out), VI_ERROR_INV_PARAMETER) << "'" << bad << "'";
    EXPECT_EQ(get("ChannelName", nullptr, out), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(get("Rate", nullptr, out), VI_SUCCESS) << "not indexed: the index text is not read";
    EXPECT_EQ(out, "100.000000");
    // A failing getter: its status, and the text untouched.
    EXPECT_EQ(get("ChannelRange", "5", out), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(out, std::string(511, 'u'));
    EXPECT_EQ(h_->getPropertyByName(0x1234, "Gain", "", nullptr, 0), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(get("Gain", "", out), VI_SUCCESS);
    char text[16];
    EXPECT_EQ(h_->getPropertyByName(0x1234, "Gain", "", text, 16), VI_ERROR_INV_OBJECT) << "the getter's lookup";
    // The caller's size bounds the text; a size of 0 means the usual 256 bytes.
    ASSERT_EQ(set("InstrumentName", "Bench 7"), VI_SUCCESS);
    ASSERT_EQ(get("InstrumentName", "", out, 4), VI_SUCCESS);
    EXPECT_EQ(out, "Ben");
    ASSERT_EQ(get("InstrumentName", "", out, 0), VI_SUCCESS);
    EXPECT_EQ(out, "Bench 7");
}

TEST_F(PnP, OperationsByName)
{
    TQStreamMsg *q = queue();
    ASSERT_EQ(h_->registerStreamMsg(vi_, q), VI_SUCCESS);
    char ok[256], running[256];
    ASSERT_EQ(tqtest_error_message(vi_, VI_SUCCESS, ok), VI_SUCCESS);
    ASSERT_EQ(tqtest_error_message(vi_, TQ_WARN_ALREADY_RUNNING, running), VI_SUCCESS);
    EXPECT_EQ(h_->doOperation(vi_, "start", "ignored"), VI_SUCCESS);
    EXPECT_EQ(h_->doOperation(vi_, "start", nullptr), TQ_WARN_ALREADY_RUNNING) << "warnings come back as they are";
    EXPECT_EQ(h_->doOperation(vi_, "stop", nullptr), VI_SUCCESS);
    EXPECT_EQ(h_->doOperation(vi_, "label", "hello, world"), VI_SUCCESS);
    char label[256];
    ASSERT_EQ(tqtest_getLabel(vi_, label), VI_SUCCESS);
    EXPECT_STREQ(label, "hello, world") << "the argument as given";
    EXPECT_EQ(h_->doOperation(vi_, "label", nullptr), VI_SUCCESS);
    ASSERT_EQ(tqtest_getLabel(vi_, label), VI_SUCCESS);
    EXPECT_STREQ(label, "");
    ASSERT_EQ(set("Gain", "7"), VI_SUCCESS);
    EXPECT_EQ(h_->doOperation(vi_, "reset", nullptr), VI_SUCCESS);
    std::string out;
    ASSERT_EQ(get("Gain", "", out), VI_SUCCESS);
    EXPECT_EQ(out, "1") << "reset set the defaults";
    EXPECT_EQ(h_->doOperation(vi_, "calibrate", nullptr), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(h_->doOperation(0x1234, "start", nullptr), VI_ERROR_INV_OBJECT);
    const std::vector<std::string> expected = {std::string("[Rig]start:") + ok, std::string("[Rig]start:") + running,
                                               std::string("[Rig]stop:") + ok};
    EXPECT_EQ(drain(q), expected);
}

TEST_F(PnP, CrossCheckThroughTheHandle)
{
    char message[256] = "";
    EXPECT_EQ(h_->crossCheck(vi_, message), VI_SUCCESS);
    ASSERT_EQ(set("ChannelEnable", "1,1"), VI_SUCCESS);
    ASSERT_EQ(set("ChannelEnable", "2,1"), VI_SUCCESS);
    ASSERT_EQ(set("ChannelName", "1,Same"), VI_SUCCESS);
    ASSERT_EQ(set("ChannelName", "2,Same"), VI_SUCCESS);
    EXPECT_EQ(h_->crossCheck(vi_, message), VI_ERROR_INV_PARAMETER);
    EXPECT_STREQ(message, "Channel 1 name 'Same' not unique") << "channels are visited from the highest down";
    ASSERT_EQ(set("ChannelName", "1,Other"), VI_SUCCESS);
    ASSERT_EQ(set("ChannelEnable", "3,1"), VI_SUCCESS);
    ASSERT_EQ(set("ChannelName", "3,9lives"), VI_SUCCESS);
    EXPECT_EQ(h_->crossCheck(vi_, message), VI_ERROR_INV_PARAMETER);
    EXPECT_STREQ(message, "Channel 1 name contains illegal characters");
    ASSERT_EQ(set("ChannelEnable", "3,0"), VI_SUCCESS);
    ASSERT_EQ(set("Gain", "60"), VI_SUCCESS);
    ASSERT_EQ(set("Rate", "600"), VI_SUCCESS);
    EXPECT_EQ(h_->crossCheck(vi_, message), VI_ERROR_SYSTEM_ERROR);
    EXPECT_STREQ(message, "Gain 60 too high for rate 600.000000");
    EXPECT_EQ(h_->crossCheck(vi_, nullptr), VI_ERROR_SYSTEM_ERROR) << "no buffer: the status alone";
}

TEST_F(PnP, StreamThroughTheHandleIsNamedAfterTheResource)
{
    TQStream *stream = nullptr;
    ASSERT_EQ(h_->getStream(vi_, "rack1_slot5", &stream), VI_SUCCESS);
    ASSERT_NE(stream, nullptr);
    EXPECT_STREQ(stream->streamGetName(stream), "rack1_slot5");
    TQStream *again = nullptr;
    const std::string longName(100, 'x');
    ASSERT_EQ(h_->getStream(vi_, longName.c_str(), &again), VI_SUCCESS);
    EXPECT_EQ(again, stream) << "one stream per session";
    EXPECT_EQ(std::string(stream->streamGetName(stream)), longName.substr(0, 63));
    EXPECT_EQ(stream->streamGetOwner(stream) != nullptr, true);
    EXPECT_EQ(h_->getStream(0x1234, "x", &again), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(h_->getStream(vi_, "x", nullptr), VI_ERROR_INV_PARAMETER);
}

// ---------------------------------------------------------------------------

TEST_F(PnP, SinksAreReferencedReplacedAndReleased)
{
    TQStreamMsg *a = queue();
    TQStreamMsg *b = queue();
    ASSERT_EQ(h_->registerStreamMsg(vi_, a), VI_SUCCESS);
    EXPECT_EQ(a->refCount, 2);
    ASSERT_EQ(h_->registerStreamMsg(vi_, a), VI_SUCCESS);
    EXPECT_EQ(a->refCount, 2) << "the same sink again: count unchanged";
    ASSERT_EQ(h_->registerStreamMsg(vi_, b), VI_SUCCESS);
    EXPECT_EQ(a->refCount, 1);
    EXPECT_EQ(b->refCount, 2);
    ASSERT_EQ(h_->registerSpyMsg(vi_, a), VI_SUCCESS);
    EXPECT_EQ(a->refCount, 2);
    ASSERT_EQ(h_->registerStreamMsg(vi_, nullptr), VI_SUCCESS);
    EXPECT_EQ(b->refCount, 1);
    EXPECT_EQ(h_->doOperation(vi_, "stop", nullptr), VI_SUCCESS);
    EXPECT_TRUE(drain(b).empty()) << "nothing printed without a sink";
    EXPECT_EQ(h_->registerStreamMsg(0x1234, a), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(h_->registerSpyMsg(0x1234, a), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(a->refCount, 2);
    ASSERT_EQ(h_->registerStreamMsg(vi_, b), VI_SUCCESS);
    // TearDown checks that close released both.
}

TEST_F(PnP, StatusAndTraceLinesExactly)
{
    TQStreamMsg *status = queue();
    TQStreamMsg *spy = queue();
    ASSERT_EQ(h_->registerStreamMsg(vi_, status), VI_SUCCESS);
    ASSERT_EQ(h_->registerSpyMsg(vi_, spy), VI_SUCCESS);
    ASSERT_EQ(set("Gain", "42"), VI_SUCCESS);
    ASSERT_EQ(set("Gain", "500"), VI_ERROR_INV_PARAMETER);
    ASSERT_EQ(set("ChannelEnable", "2,1"), VI_SUCCESS);
    ASSERT_EQ(set("Count", "-5"), VI_SUCCESS);
    const std::string session = hex(vi_) + "(Rig)";
    const std::vector<std::string> traces = {
        "tqtest_setGain(" + session + ",0x2a) retVal=0\n",
        "tqtest_setGain(" + session + ",0x1f4) retVal=0xbfff0078\n",
        "tqtest_setChannelEnable(" + session + ",2,1) retVal=0\n",
        "tqtest_setCount(" + session + ",-5) retVal=0\n",
    };
    EXPECT_EQ(drain(spy), traces);

    int dummy = 0;
    auto handler = [](ViConstString, ViUInt32, void *, ViUInt32 *, ViChar *) -> ViStatus { return 0; };
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(h_->installEventHandler(vi_, 0, handler, &dummy, nullptr), VI_SUCCESS);
    EXPECT_EQ(h_->installEventHandler(vi_, 0, handler, &dummy, nullptr), VI_ERROR_HNDLR_NINSTALLED);
    EXPECT_EQ(h_->setSimulationMode(vi_, 0), TQ_ERROR_NO_INSTRUMENT);
    ViInt16 result;
    char message[256];
    EXPECT_EQ(tqtest_self_test(vi_, &result, message), VI_WARN_NSUP_SELF_TEST);
    char text[256];
    // The text VISA has for the status (a warning for one it does not know).
    ASSERT_GE(tqtest_error_message(vi_, VI_WARN_NSUP_SELF_TEST, text), VI_SUCCESS);
    const std::vector<std::string> lines = {
        "[Rig]Failed to install event handler",
        "[Rig]Failed change simulation mode",
        std::string("[Rig]self_test:") + text + "(ERROR: Self-Test failed!)",
    };
    EXPECT_EQ(drain(status), lines);
    EXPECT_TRUE(drain(spy).empty());
}

// A sink whose print operation was replaced (as the resource manager's spy
// sink is) receives the finished lines through that operation.
std::vector<std::string> *g_printed = nullptr;
int32_t capturePrint(TQStreamMsg *, const char *format, ...)
{
    char line[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    g_printed->push_back(line);
    return 0;
}

TEST_F(PnP, SinksPrintThroughTheirOwnPrintOperation)
{
    std::vector<std::string> printed;
    g_printed = &printed;
    TQStreamMsg *spy = queue();
    spy->streamMsgPrintf = capturePrint;
    ASSERT_EQ(h_->registerSpyMsg(vi_, spy), VI_SUCCESS);
    // A name with a conversion in it is printed as text, never as a format.
    ASSERT_EQ(tqtest_setInstrumentName(vi_, "%s%n%d"), VI_SUCCESS);
    ASSERT_EQ(set("Count", "12"), VI_SUCCESS);
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_EQ(printed[0], "tqtest_setCount(" + hex(vi_) + "(%s%n%d),12) retVal=0\n");
    EXPECT_TRUE(drain(spy).empty());
    g_printed = nullptr;
}

// Lines printed from several threads into one queue arrive whole.
TEST_F(PnP, LinesFromSeveralThreadsArriveWhole)
{
    TQStreamMsg *spy = queue();
    ASSERT_EQ(h_->registerSpyMsg(vi_, spy), VI_SUCCESS);
    constexpr int kThreads = 4, kLines = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i)
                tqtest_setCount(vi_, t * 1000 + i);
        });
    for (std::thread &t : threads)
        t.join();
    // The queue keeps the newest lines; each is one whole trace line.
    std::vector<std::string> lines = drain(spy);
    ASSERT_FALSE(lines.empty());
    const std::string head = "tqtest_setCount(" + hex(vi_) + "(Rig),";
    for (const std::string &l : lines) {
        ASSERT_EQ(l.rfind(head, 0), 0u) << l;
        ASSERT_TRUE(l.ends_with(") retVal=0\n")) << l;
    }
}

} // namespace
