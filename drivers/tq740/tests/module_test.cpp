// The model 740 module on a simulated carrier's site: resource names and
// shared sessions, register fields of the settings in and out of
// simulation, range operations, tables by name, sharing a site with the
// carrier (channel counts after every step), and the power-up state in the
// module's serial memory.
#include <cstring>
#include <functional>

#include "fixture747.h"

namespace
{

using namespace tq747test;

constexpr ViBusAddress kIo1 = 0x1080, kIo3 = 0x1280;

class ModuleTest : public CarrierTest
{
  protected:
    ViSession openModule(const char *name, ViStatus expected = VI_SUCCESS)
    {
        ViSession vi = VI_NULL;
        EXPECT_EQ(tq740_init(const_cast<ViRsrc>(name), 0, 0, &vi), expected) << name;
        return vi;
    }
    // A module register as last written through the carrier's window (the
    // module model keeps its registers itself, out of the raw window).
    ViUInt32 moduleReg(ViBusAddress io, ViBusAddress offset)
    {
        ViUInt32 v = 0;
        EXPECT_TRUE(lastWrite(io + offset, v)) << std::hex << io + offset;
        return v;
    }
    // The last write of the log to one address.
    bool lastWrite(ViBusAddress address, ViUInt32 &value)
    {
        auto log = writes();
        for (auto it = log.rbegin(); it != log.rend(); ++it)
            if (it->offset == address) {
                value = it->value;
                return true;
            }
        return false;
    }
};

TEST_F(ModuleTest, ResourceNamesGiveTheSiteWindows)
{
    addCarrier("1,2,3");
    ViSession a = openModule("PXI1::15::INSTR_IP2");
    ASSERT_NE(a, VI_NULL);
    clearWrites();
    ASSERT_EQ(tq740_setChannelGroupDirection(a, 1, 1), VI_SUCCESS);
    ViUInt32 v = 0;
    ASSERT_TRUE(lastWrite(0x1180 + 0x0A, v)) << "the I/O window of site 2 starts at 0x1180";
    EXPECT_EQ(v & 0x100, 0x100u);
    ViUInt8 rom[2] = {};
    ASSERT_EQ(tq740_readROMConfig(a, 0, 2, rom), VI_SUCCESS);
    EXPECT_EQ(rom[1], 'I') << "the ID window of site 2 starts at 0x1100";

    // The same name shares the session; the first close leaves it open.
    ViSession b = openModule("PXI1::15::INSTR_IP2");
    EXPECT_EQ(b, a);
    EXPECT_EQ(tq740_close(a), VI_SUCCESS);
    ViInt16 value = 0;
    EXPECT_EQ(tq740_getChannelGroupDirection(b, 1, &value), VI_SUCCESS);
    EXPECT_EQ(tq740_close(b), VI_SUCCESS);
    EXPECT_EQ(tq740_close(b), VI_ERROR_INV_OBJECT);

    struct {
        const char *name;
        ViStatus status;
    } const names[] = {
        {"PXI1::15::INSTR", TQ740_ERROR_NO_SITE},      {"PXI1::15::INSTR_IP", TQ740_ERROR_NO_SITE},
        {"PXI1::15::INSTR_IP0", TQ740_ERROR_NO_SITE},  {"PXI1::15::INSTR_IP5", TQ740_ERROR_NO_SITE},
        {"PXI1::15::INSTR_IP15", TQ740_ERROR_NO_SITE}, {"PXI1::15::INSTR_IP-1", TQ740_ERROR_NO_SITE},
        {"PXI1::15::INSTR_XY1", TQ740_ERROR_NO_SITE},  {"PXI1::15::INSTR_IP1x", TQ740_ERROR_NO_SITE},
        {"", TQ740_ERROR_NO_SITE},
    };
    clearWrites();
    for (const auto &n : names) {
        ViSession vi = 7;
        EXPECT_EQ(tq740_init(const_cast<ViRsrc>(n.name), 0, 0, &vi), n.status) << n.name;
        EXPECT_EQ(vi, VI_NULL) << n.name;
    }
    EXPECT_TRUE(writes().empty()) << "nothing is opened or written for a name without a site";
    EXPECT_EQ(sim().simvisa_openSessionCount(), 0u);
}

TEST_F(ModuleTest, BareSiteNumbersShareOneSimulatedSession)
{
    ViSession three = openModule("3");
    ViSession two = openModule("2");
    EXPECT_EQ(three, two);
    EXPECT_EQ(tq740_getSimulationMode(three, nullptr), 1);
    char name[256] = {};
    ASSERT_EQ(tq740_getDigitalChannelName(three, 4, name), VI_SUCCESS);
    EXPECT_STREQ(name, "DigitalChannel4site2") << "the last open set the site";
    ViInt16 first = 0, last = 0;
    EXPECT_EQ(tq740_getSiteChannels(three, 0, &first, &last), VI_SUCCESS);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(last, 32);
    EXPECT_EQ(tq740_getSiteChannels(three, 1, &first, &last), TQ740_ERROR_SITE_ARGUMENT);
    char drv[256] = {}, instr[256] = {};
    EXPECT_EQ(tq740_revision_query(0x7777, drv, instr), VI_SUCCESS);
    EXPECT_STREQ(drv, "4.0.3.0");
    EXPECT_STREQ(instr, "<not available>");
    EXPECT_EQ(tq740_close(three), VI_SUCCESS);
    EXPECT_EQ(tq740_close(two), VI_SUCCESS);
}

struct FieldCase {
    const char *name;
    std::function<ViStatus(ViSession)> set;
    std::function<ViStatus(ViSession, ViInt16 &)> get;
    ViInt16 expected;
    ViBusAddress offset; // from the I/O base
    ViUInt32 mask, value;
};

std::vector<FieldCase> fieldCases()
{
    return {
        {"debounce group 2 = 5: code 4 in bits 3-5 of +0x08",
         [](ViSession vi) { return tq740_setChannelGroupDebounceTime(vi, 2, 5); },
         [](ViSession vi, ViInt16 &v) { return tq740_getChannelGroupDebounceTime(vi, 2, &v); }, 5, 0x08, 0x38, 0x20},
        {"direction group 3: bit 10 of +0x0A", [](ViSession vi) { return tq740_setChannelGroupDirection(vi, 3, 1); },
         [](ViSession vi, ViInt16 &v) { return tq740_getChannelGroupDirection(vi, 3, &v); }, 1, 0x0A, 0x400, 0x400},
        {"power-up group 1: bit 12 of +0x0A",
         [](ViSession vi) { return tq740_setChannelGroupPowerupOutput(vi, 1, 1); },
         [](ViSession vi, ViInt16 &v) { return tq740_getChannelGroupPowerupOutput(vi, 1, &v); }, 1, 0x0A, 0x1000,
         0x1000},
        {"termination group 4 = 2: bits 6-7 of +0x0A",
         [](ViSession vi) { return tq740_setChannelGroupInputTermination(vi, 4, 2); },
         [](ViSession vi, ViInt16 &v) { return tq740_getChannelGroupInputTermination(vi, 4, &v); }, 2, 0x0A, 0xC0,
         0x80},
        {"pattern enable of channel 20: bit 3 of +0x14",
         [](ViSession vi) { return tq740_setDigitalChannelPatternEnable(vi, 20, 1); },
         [](ViSession vi, ViInt16 &v) { return tq740_getDigitalChannelPatternEnable(vi, 20, &v); }, 1, 0x14, 0x8,
         0x8},
        {"pattern bit of channel 1: bit 0 of +0x0E",
         [](ViSession vi) { return tq740_setDigitalChannelPatternBit(vi, 1, 1); },
         [](ViSession vi, ViInt16 &v) { return tq740_getDigitalChannelPatternBit(vi, 1, &v); }, 1, 0x0E, 0x1, 0x1},
        {"change-of-state enable of channel 5: bit 4 of +0x1A",
         [](ViSession vi) { return tq740_setDigitalChannelChangeOfStateEnable(vi, 5, 1); },
         [](ViSession vi, ViInt16 &v) { return tq740_getDigitalChannelChangeOfStateEnable(vi, 5, &v); }, 1, 0x1A,
         0x10, 0x10},
        {"event enable 2: bit 3 of +0x1E", [](ViSession vi) { return tq740_setEventEnable(vi, 2, 1); },
         [](ViSession vi, ViInt16 &v) { return tq740_getEventEnable(vi, 2, &v); }, 1, 0x1E, 0x8, 0x8},
        {"interrupt enable: bit 1 of +0x1E", [](ViSession vi) { return tq740_setInterruptEnable(vi, 1); },
         [](ViSession vi, ViInt16 &v) { return tq740_getInterruptEnable(vi, &v); }, 1, 0x1E, 0x2, 0x2},
    };
}

TEST_F(ModuleTest, SettersWriteTheirFieldsAndSimulationOnlyStores)
{
    addCarrier("1,3");
    ViSession vi = openModule("PXI1::15::INSTR_IP3");
    for (const FieldCase &c : fieldCases()) {
        SCOPED_TRACE(c.name);
        clearWrites();
        ASSERT_EQ(c.set(vi), VI_SUCCESS);
        ViUInt32 v = 0;
        ASSERT_TRUE(lastWrite(kIo3 + c.offset, v));
        EXPECT_EQ(v & c.mask, c.value) << std::hex << v;
        ViInt16 got = -1;
        ASSERT_EQ(c.get(vi, got), VI_SUCCESS);
        EXPECT_EQ(got, c.expected);
    }
    // The interrupt request level keeps no stored value: it is read back
    // from the module.
    for (ViInt16 level : {1, 0}) {
        ASSERT_EQ(tq740_setInterruptRequestLevel(vi, level), VI_SUCCESS);
        ViInt16 got = -1;
        ASSERT_EQ(tq740_getInterruptRequestLevel(vi, &got), VI_SUCCESS);
        EXPECT_EQ(got, level);
    }
    ViInt16 level = -1;
    EXPECT_EQ(tq740_getInterruptRequestLevel(0x7777, &level), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(tq740_getInterruptRequestLevel(vi, nullptr), VI_ERROR_INV_PARAMETER);
    ASSERT_EQ(tq740_reset(vi), VI_SUCCESS);
    ASSERT_EQ(tq740_setSimulationMode(vi, 1), VI_SUCCESS);
    for (const FieldCase &c : fieldCases()) {
        SCOPED_TRACE(c.name);
        clearWrites();
        ASSERT_EQ(c.set(vi), VI_SUCCESS);
        EXPECT_TRUE(writes().empty());
        ViInt16 got = -1;
        ASSERT_EQ(c.get(vi, got), VI_SUCCESS);
        EXPECT_EQ(got, c.expected);
    }
    EXPECT_EQ(tq740_setChannelGroupDebounceTime(vi, 5, 1), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq740_setDigitalChannelEnable(vi, 33, 1), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq740_setEventChannelEnable(vi, 3, 1), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq740_setInterruptRequestLevel(vi, 2), VI_ERROR_INV_PARAMETER);
    tq740_close(vi);
}

TEST_F(ModuleTest, RangeOperations)
{
    addCarrier("1,3");
    ViSession vi = openModule("PXI1::15::INSTR_IP1");
    // Group 1 and 2 as outputs so that the data register reads back its latch.
    ASSERT_EQ(tq740_setIoDirection(vi, 1, 16, 1), VI_SUCCESS);
    ViUInt8 ones[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    ASSERT_EQ(tq740_writeIoData(vi, 1, 32, ones), VI_SUCCESS);
    ViUInt8 bits[1] = {0x00};
    ASSERT_EQ(tq740_writeIoData(vi, 5, 12, bits), VI_SUCCESS);
    ViUInt8 all[4] = {};
    ASSERT_EQ(tq740_readIoData(vi, 1, 32, all), VI_SUCCESS);
    EXPECT_EQ(all[0], 0x0F) << "only bits 4 to 11 changed";
    EXPECT_EQ(all[1], 0xF0);

    ViUInt32 a = 0;
    EXPECT_EQ(tq740_setOutputStrobeDelay(vi, 1, 16, 100, &a), TQ740_ERROR_ALIGNMENT);
    EXPECT_EQ(tq740_setOutputStrobeDelay(vi, 1, 32, 500, &a), TQ740_WARN_NEAREST);
    EXPECT_EQ(a, 100u);
    EXPECT_EQ(moduleReg(kIo1, 0x0C) & 0x80, 0u);
    ASSERT_EQ(tq740_setOutputStrobeDelay(vi, 1, 32, 1000, &a), VI_SUCCESS);
    EXPECT_EQ(moduleReg(kIo1, 0x0C) & 0x80, 0x80u);

    const ViUInt32 before = moduleReg(kIo1, 0x0C);
    EXPECT_EQ(tq740_setStrobePolarity(vi, 2, 1), VI_SUCCESS);
    EXPECT_EQ(moduleReg(kIo1, 0x0C), before) << "an even which changes nothing";
    EXPECT_EQ(tq740_setStrobePolarity(vi, 1, 1), VI_SUCCESS);
    EXPECT_EQ(moduleReg(kIo1, 0x0C) & 0x400, 0x400u);

    ViUInt32 us = 0;
    EXPECT_EQ(tq740_setDebounceTime(vi, 9, 16, 10000, &us), VI_SUCCESS);
    EXPECT_EQ((moduleReg(kIo1, 0x08) >> 3) & 7, 3u);
    EXPECT_EQ(tq740_setDebounceTime(vi, 9, 15, 10000, &us), TQ740_ERROR_ALIGNMENT);
    EXPECT_EQ(tq740_setDebounceTime(vi, 16, 9, 10000, &us), TQ740_ERROR_ALIGNMENT);
    EXPECT_EQ(tq740_setDebounceTime(vi, 0, 8, 10000, &us), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq740_readIoData(vi, 12, 5, bits), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq740_readIoData(vi, 1, 33, bits), VI_ERROR_INV_PARAMETER);
    ViInt16 terms[8] = {};
    ASSERT_EQ(tq740_setResistorConfig(vi, 25, 32, 2), VI_SUCCESS);
    ASSERT_EQ(tq740_getResistorConfig(vi, 25, 32, terms), VI_SUCCESS);
    EXPECT_EQ(terms[0], 2);
    EXPECT_EQ(tq740_setResistorConfig(vi, 25, 32, 3), VI_ERROR_INV_PARAMETER);
    tq740_close(vi);
}

TEST_F(ModuleTest, ByNameTables)
{
    addCarrier("1");
    TQPnPHandle *h = nullptr;
    ASSERT_EQ(tq740_getPnPHandle("PXI1::15::INSTR_IP1", &h), VI_SUCCESS);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->setPropertyByName(h->session, "DigitalChannelName", "4,valve"), VI_SUCCESS);
    EXPECT_EQ(h->setPropertyByName(h->session, "ChannelGroupDirection", "1,1"), VI_SUCCESS);
    EXPECT_EQ(h->setPropertyByName(h->session, "EventChannelDuration", "2,33"), VI_SUCCESS);
    EXPECT_EQ(h->setPropertyByName(h->session, "ScanClockRate", "10"), VI_ERROR_NSUP_OPER);
    char value[256] = {};
    EXPECT_EQ(h->getPropertyByName(h->session, "DigitalChannelName", "4", value, sizeof value), VI_SUCCESS);
    EXPECT_STREQ(value, "valve");
    EXPECT_EQ(h->getPropertyByName(h->session, "DigitalChannelDirection", "3", value, sizeof value), VI_SUCCESS);
    EXPECT_STREQ(value, "1");
    EXPECT_EQ(h->getPropertyByName(h->session, "EventChannelDuration", "2", value, sizeof value), VI_SUCCESS);
    EXPECT_STREQ(value, "33");
    EXPECT_EQ(h->getPropertyByName(h->session, "InterruptEnable", "", value, sizeof value), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(h->doOperation(h->session, "start", ""), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(h->doOperation(h->session, "reset", ""), VI_SUCCESS);
    EXPECT_EQ(h->registerSpyMsg, nullptr);
    EXPECT_EQ(h->getStream, nullptr);
    EXPECT_EQ(h->wait, nullptr);
    h->release(&h);
    EXPECT_EQ(sim().simvisa_openSessionCount(), 0u);
}

TEST_F(ModuleTest, OperationsTableLeavesTwoEntriesEmpty)
{
    TQIpModuleOps table{};
    ViUInt16 id = 0;
    ASSERT_EQ(ip740_init(&id, &table), VI_SUCCESS);
    EXPECT_EQ(id, 0x740);
    EXPECT_EQ(table.reserved48, nullptr);
    EXPECT_EQ(table.reserved49, nullptr);
    const void *const *words = reinterpret_cast<const void *const *>(&table);
    for (int i = 0; i < TQ_IP_MODULE_OPERATIONS; ++i) {
        if (i != 48 && i != 49) {
            EXPECT_NE(words[i], nullptr) << "entry " << i;
        }
    }
    ViSession vi = openModule("1");
    ASSERT_EQ(tq740_setChannelGroupDirection(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(tq740_setDigitalChannelEnable(vi, 3, 1), VI_SUCCESS);
    TQStreamChannel *c = nullptr;
    ASSERT_EQ(table.channelByIndex(vi, 0, &c), VI_SUCCESS);
    ASSERT_NE(c, nullptr);
    c->streamChannelSetEval(c, 1.0, nullptr);
    ViUInt32 word = 0;
    ASSERT_EQ(table.staticOutputWord(vi, &word), VI_SUCCESS);
    EXPECT_EQ(word, 0x4u) << "entry 63 gives the module's static output word";
    tq740_close(vi);
}

// The carrier's open and a direct open share the site's session; whichever
// closes first, the other keeps working, the carrier's stream counts stay
// right, and nothing is left open or freed twice.
TEST_F(ModuleTest, SharingASiteWithTheCarrierInBothCloseOrders)
{
    addCarrier("1,3");
    for (int order = 0; order < 2; ++order) {
        SCOPED_TRACE(order == 0 ? "carrier closes first" : "module closes first");
        ViSession carrier = open();
        TQStream *s = stream(carrier);
        ASSERT_EQ(s->streamGetNumberChannels(s), 0);
        ViSession direct = openModule("PXI1::15::INSTR_IP3");
        ASSERT_NE(direct, VI_NULL);
        ASSERT_EQ(tq740_setDigitalChannelEnable(direct, 1, 1), VI_SUCCESS);
        ASSERT_EQ(tq740_setDigitalChannelEnable(direct, 2, 1), VI_SUCCESS);
        ASSERT_EQ(tq740_setEventChannelEnable(direct, 1, 1), VI_SUCCESS);
        EXPECT_EQ(s->streamGetNumberChannels(s), 3);
        TQStreamChannel *e = s->streamGetChannelByIndex(s, 2);
        ASSERT_NE(e, nullptr);
        EXPECT_STREQ(e->name, "EventChannel1");
        EXPECT_EQ(e->streamChannelEval(e, nullptr), 0.0) << "a module's event channel reads 0.0";
        ASSERT_EQ(tq740_setChannelGroupDirection(direct, 1, 1), VI_SUCCESS);
        EXPECT_EQ(s->streamGetNumberChannels(s), 1);
        EXPECT_EQ(s->streamGetNumberOutputChannels(s), 2);
        // The module's reset clears its enables: the carrier's counts follow.
        ASSERT_EQ(tq740_reset(direct), VI_SUCCESS);
        EXPECT_EQ(s->streamGetNumberChannels(s), 0);
        EXPECT_EQ(s->streamGetNumberOutputChannels(s), 0);
        EXPECT_EQ(s->streamGetChannelByIndex(s, 0), nullptr);
        ASSERT_EQ(tq740_setDigitalChannelEnable(direct, 7, 1), VI_SUCCESS);
        EXPECT_EQ(s->streamGetNumberChannels(s), 1);
        // A second open of the shared session resets its settings: the count follows again.
        ViSession again = openModule("PXI1::15::INSTR_IP3");
        EXPECT_EQ(again, direct);
        EXPECT_EQ(s->streamGetNumberChannels(s), 0);
        EXPECT_EQ(tq740_close(again), VI_SUCCESS);
        ASSERT_EQ(tq740_setDigitalChannelEnable(direct, 7, 1), VI_SUCCESS);

        if (order == 0) {
            close(carrier);
            // The module outlives the carrier's stream: its setters no longer reach it.
            EXPECT_EQ(tq740_setDigitalChannelEnable(direct, 8, 1), VI_SUCCESS);
            EXPECT_EQ(tq740_setChannelGroupDirection(direct, 1, 0), VI_SUCCESS);
            EXPECT_EQ(tq740_close(direct), VI_SUCCESS);
        } else {
            EXPECT_EQ(tq740_close(direct), VI_SUCCESS);
            EXPECT_EQ(s->streamGetNumberChannels(s), 1) << "the carrier's own reference keeps the module";
            ASSERT_EQ(tq747_setDigitalChannelEnable(carrier, 1, 1), VI_SUCCESS);
            EXPECT_EQ(s->streamGetNumberChannels(s), 2);
            close(carrier);
        }
        EXPECT_EQ(sim().simvisa_openSessionCount(), 0u);
    }
}

// Decodes the serial memory writes of the log: each selected sequence of
// data-in bits, as the module's memory reads them.
struct Sequence {
    std::vector<int> bits;
};

std::vector<Sequence> serialSequences(const std::vector<SimVisaWrite> &log, ViBusAddress io)
{
    std::vector<Sequence> out;
    bool selected = false;
    for (const SimVisaWrite &w : log) {
        if (w.offset == io + 0x20) {
            if (w.value & 1) {
                out.push_back({});
                selected = true;
            } else
                selected = false;
        } else if (w.offset == io + 0x22 && selected)
            out.back().bits.push_back(static_cast<int>(w.value & 1));
    }
    return out;
}

uint32_t bitsValue(const std::vector<int> &bits, size_t from, size_t n)
{
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i)
        v = v << 1 | static_cast<uint32_t>(bits[from + i]);
    return v;
}

TEST_F(ModuleTest, PowerupSaveAndClearWriteTheSerialMemory)
{
    addCarrier("1,3");
    ViSession vi = openModule("PXI1::15::INSTR_IP1");
    ASSERT_EQ(tq740_setChannelGroupDirection(vi, 2, 1), VI_SUCCESS);
    const ViUInt32 config = 1u << 9; // group 2's direction bit
    for (int save = 1; save >= 0; --save) {
        SCOPED_TRACE(save ? "save" : "clear");
        clearWrites();
        ASSERT_EQ(tq740_autoRst(vi, static_cast<ViInt16>(save)), VI_SUCCESS);
        auto seq = serialSequences(writes(), kIo1);
        ASSERT_EQ(seq.size(), 4u);
        EXPECT_EQ(seq[0].bits, (std::vector<int>{1, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0})) << "write enable";
        ASSERT_EQ(seq[1].bits.size(), 27u);
        EXPECT_EQ(bitsValue(seq[1].bits, 0, 3), 5u);
        EXPECT_EQ(bitsValue(seq[1].bits, 3, 8), 0u);
        EXPECT_EQ(bitsValue(seq[1].bits, 11, 16), save ? 0x5555u : 0u) << "word 0";
        ASSERT_EQ(seq[2].bits.size(), 27u);
        EXPECT_EQ(bitsValue(seq[2].bits, 3, 8), 1u);
        EXPECT_EQ(bitsValue(seq[2].bits, 11, 16), config) << "word 1 holds the configuration register";
        EXPECT_EQ(seq[3].bits, (std::vector<int>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})) << "write disable";
        ViInt16 saved = -1;
        ASSERT_EQ(tq740_autoRstStatus(vi, &saved), VI_SUCCESS);
        EXPECT_EQ(saved, save) << "the module reads its memory's word 0";
    }
    tq740_close(vi);
}

TEST_F(ModuleTest, PowerupAccessFailureIsTheResultAndSelectIsReleased)
{
    addCarrier("1,3");
    ViSession vi = openModule("PXI1::15::INSTR_IP1");
    // Fail the 20th write from now: inside word 0's data bits.
    ASSERT_EQ(sim().simvisa_failAccess(kCarrier, 20, SIMVISA_WRITES, VI_ERROR_CONN_LOST), VI_SUCCESS);
    clearWrites();
    EXPECT_EQ(tq740_powerupSave(vi), VI_ERROR_CONN_LOST) << "the attribute's restore does not hide the failure";
    auto log = writes();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().offset, kIo1 + 0x20);
    EXPECT_EQ(log.back().value, 0u) << "select released";
    ViInt16 saved = -1;
    ASSERT_EQ(tq740_autoRstStatus(vi, &saved), VI_SUCCESS);
    EXPECT_EQ(saved, 0);
    tq740_close(vi);
}

TEST_F(ModuleTest, DetectionControls)
{
    addCarrier("1");
    ViSession vi = openModule("PXI1::15::INSTR_IP1");
    EXPECT_EQ(tq740_getChangeOfStateStatus(vi), VI_SUCCESS_EVENT_DIS);
    EXPECT_EQ(tq740_stopChangeOfState(vi), VI_ERROR_ABORT);
    ASSERT_EQ(tq740_setDigitalChannelChangeOfStateEnable(vi, 2, 1), VI_SUCCESS);
    ASSERT_EQ(tq740_startChangeOfState(vi), VI_SUCCESS);
    EXPECT_EQ(tq740_getChangeOfStateStatus(vi), VI_SUCCESS_EVENT_EN);
    EXPECT_EQ(tq740_startChangeOfState(vi), VI_ERROR_RSRC_BUSY);
    configure("site1.in=0x2");
    EXPECT_EQ(tq740_getChangeOfStateStatus(vi), VI_SUCCESS) << "reported once";
    EXPECT_EQ(tq740_getChangeOfStateStatus(vi), VI_SUCCESS_QUEUE_EMPTY) << "then as seen before";
    ViUInt8 result[4] = {};
    ASSERT_EQ(tq740_readChangeOfStateResult(vi, 1, 32, result), VI_SUCCESS);
    EXPECT_EQ(result[0], 0x2);
    tq740_close(vi);
}

} // namespace
