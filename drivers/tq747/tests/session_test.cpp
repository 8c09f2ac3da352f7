// Opening and closing the carrier: simulated sessions, site binding with
// model 740 modules, site channel ranges, the identity of the module
// sessions, failures while binding, reset, and the small exports.
#include <cstring>

#include "fixture747.h"

namespace
{

using namespace tq747test;

TEST_F(CarrierTest, SessionWithoutInstrumentHasCarrierChannelsOnly)
{
    ViSession vi = openWithoutInstrument();
    ViInt16 first = 0, last = 0;
    EXPECT_EQ(tq747_getSiteChannels(vi, 0, &first, &last), VI_SUCCESS);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(last, 128);
    EXPECT_EQ(tq747_getSiteChannels(vi, 1, &first, &last), TQ747_ERROR_SITE_EMPTY);
    EXPECT_EQ(tq747_getSiteChannels(vi, 5, &first, &last), TQ747_ERROR_SITE);
    // Channel 129 exists only with a bound site.
    EXPECT_EQ(tq747_setDigitalChannelPatternBit(vi, 129, 1), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq747_setDigitalChannelPatternBit(vi, 128, 1), VI_SUCCESS);
}

TEST_F(CarrierTest, SitesOneAndThreeBindModulesAfterTheCarrierChannels)
{
    addCarrier("1,3");
    ViSession vi = open();
    ASSERT_NE(vi, VI_NULL);
    ViUInt32 mask = 0;
    EXPECT_EQ(tq747_getSites(vi, &mask), VI_SUCCESS);
    EXPECT_EQ(mask, 0x5u);
    struct {
        ViInt16 site;
        ViStatus status;
        ViInt16 first, last;
    } const cases[] = {
        {1, VI_SUCCESS, 129, 160},
        {2, TQ747_ERROR_SITE_EMPTY, 0, 0},
        {3, VI_SUCCESS, 161, 192},
        {4, TQ747_ERROR_SITE_EMPTY, 0, 0},
        {0, VI_SUCCESS, 1, 128},
        {-1, TQ747_ERROR_SITE, 0, 0},
    };
    for (const auto &c : cases) {
        ViInt16 first = 0, last = 0;
        EXPECT_EQ(tq747_getSiteChannels(vi, c.site, &first, &last), c.status) << c.site;
        if (c.status == VI_SUCCESS) {
            EXPECT_EQ(first, c.first) << c.site;
            EXPECT_EQ(last, c.last) << c.site;
        }
    }
    // 192 channels in all; the module channels are in the carrier's stream.
    EXPECT_EQ(tq747_setDigitalChannelPatternEnable(vi, 192, 1), VI_SUCCESS);
    EXPECT_EQ(tq747_setDigitalChannelPatternEnable(vi, 193, 1), VI_ERROR_INV_PARAMETER);
    TQStream *s = stream(vi);
    ASSERT_NE(s, nullptr);
    EXPECT_NE(s->streamGetChannel(s, "DigitalChannel5site3"), nullptr);
    EXPECT_NE(s->streamGetChannel(s, "DigitalChannel32site1"), nullptr);
    EXPECT_EQ(s->streamGetChannel(s, "DigitalChannel1site2"), nullptr);
    EXPECT_EQ(s->streamGetScanSize(s), 32);

    // The module sessions were opened by the names formed from the
    // carrier's name: a direct open of the same site shares that session.
    ViSession module = VI_NULL;
    ASSERT_EQ(tq740_init(const_cast<ViRsrc>("PXI1::15::INSTR_IP3"), 0, 0, &module), VI_SUCCESS);
    ViSession viaCarrier = VI_NULL;
    ASSERT_EQ(tq747_createIPSession(vi, 3, &viaCarrier), VI_SUCCESS);
    EXPECT_EQ(viaCarrier, module);
    EXPECT_EQ(tq740_close(viaCarrier), VI_SUCCESS);
    EXPECT_EQ(tq740_close(module), VI_SUCCESS);
}

TEST_F(CarrierTest, ReadROMConfigReadsTheSiteIdSpace)
{
    addCarrier("1,3");
    ViSession vi = open();
    ViUInt8 rom[8] = {};
    ASSERT_EQ(tq747_readROMConfig(vi, 3, 0, 8, rom), VI_SUCCESS);
    EXPECT_EQ(rom[1], 'I');
    EXPECT_EQ(rom[3], 'P');
    EXPECT_EQ(rom[5], 'A');
    EXPECT_EQ(rom[7], 'C');
    EXPECT_EQ(tq747_readROMConfig(vi, 2, 0, 8, rom), TQ747_ERROR_SITE_EMPTY);
    EXPECT_EQ(tq747_readROMConfig(vi, 0, 0, 8, rom), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(tq747_readROMConfig(vi, 5, 0, 8, rom), TQ747_ERROR_SITE);
    EXPECT_EQ(tq747_readROMConfig(vi, 1, 0x7C, 8, rom), VI_ERROR_INV_OFFSET) << "past the 128-byte ID space";
}

// A module that cannot be opened fails the carrier's open, and the sites
// bound before it are closed: nothing stays open.
TEST_F(CarrierTest, FailingSiteOpenClosesTheBoundSites)
{
    addCarrier("1,3");
    // Opening a module sets bit 9 of its control register; site 3's fails.
    ASSERT_EQ(sim().simvisa_failOffset(kCarrier, kBar2, 0x1280 + 0x0C, SIMVISA_WRITES, VI_ERROR_TMO), VI_SUCCESS);
    ViSession vi = 123;
    EXPECT_EQ(tq747_init(const_cast<ViRsrc>(kCarrier), 0, 0, &vi), VI_ERROR_TMO);
    EXPECT_EQ(vi, VI_NULL);
    EXPECT_EQ(sim().simvisa_openSessionCount(), 0u);
    // Site 1's session went with it: a new open of the site starts afresh
    // (its own reference, closed by one close).
    ASSERT_EQ(sim().simvisa_clearFaults(kCarrier), VI_SUCCESS);
    ViSession module = VI_NULL;
    ASSERT_EQ(tq740_init(const_cast<ViRsrc>("PXI1::15::INSTR_IP1"), 0, 0, &module), VI_SUCCESS);
    EXPECT_EQ(tq740_close(module), VI_SUCCESS);
    EXPECT_EQ(sim().simvisa_openSessionCount(), 0u);
}

TEST_F(CarrierTest, ResetExAndSmallExports)
{
    addCarrier("");
    ViSession vi = open();
    clearWrites();
    EXPECT_EQ(tq747_resetEx(vi, 0), VI_WARN_UNKNOWN_STATUS);
    EXPECT_TRUE(writes().empty()) << "type 0 leaves the card untouched";
    EXPECT_EQ(tq747_resetEx(vi, 3), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(tq747_resetEx(12345, 1), VI_ERROR_INV_OBJECT);
    ViInt16 result = 0;
    char message[256] = {};
    EXPECT_EQ(tq747_self_test(vi, &result, message), ((ViStatus)0x3FFC0103));
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(message, "ERROR: Self-Test failed!");
    char rev[256] = {}, instr[256] = "untouched";
    EXPECT_EQ(tq747_revision_query(vi, rev, instr), ((ViStatus)0x3FFC0105));
    EXPECT_STREQ(rev, "4.0.3.0");
    EXPECT_STREQ(instr, "untouched");
    EXPECT_EQ(tq747_wait(vi, 0, 10, nullptr, nullptr), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(tq747_error_message(vi, TQ747_ERROR_NO_CHANNELS, message), VI_SUCCESS);
    EXPECT_STREQ(message, "Operation failed because no channels are enabled.");
    ViInt16 sites = 0;
    EXPECT_EQ(tq747_getNumberSites(vi, &sites), VI_SUCCESS);
    EXPECT_EQ(sites, 4);

    // A reset sets bit 0 of the reset register and clears the register window.
    setReg(0x50, 0xFFFF);
    clearWrites();
    EXPECT_EQ(tq747_reset(vi), VI_SUCCESS);
    auto log = writes();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0].offset, 0xE0u);
    EXPECT_EQ(log[0].value & 1, 1u);
    EXPECT_EQ(reg(0x50), 0u);
}

TEST_F(CarrierTest, PnPHandleOpensWithSitesAndAnswersByName)
{
    addCarrier("1,3");
    TQPnPHandle *h = nullptr;
    ASSERT_EQ(tq747_getPnPHandle(kCarrier, &h), VI_SUCCESS);
    ASSERT_NE(h, nullptr);
    ViInt16 first = 0, last = 0;
    EXPECT_EQ(tq747_getSiteChannels(h->session, 3, &first, &last), VI_SUCCESS);
    EXPECT_EQ(first, 161);
    EXPECT_EQ(h->wait(h->session, 0, 10, nullptr, nullptr), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(h->setPropertyByName(h->session, "ChannelGroupDirection", "2,1"), VI_SUCCESS);
    char value[256] = {};
    EXPECT_EQ(h->getPropertyByName(h->session, "ChannelGroupDirection", "2", value, sizeof value),
              VI_ERROR_NSUP_OPER);
    EXPECT_EQ(h->getPropertyByName(h->session, "DigitalChannelDirection", "9", value, sizeof value), VI_SUCCESS);
    EXPECT_STREQ(value, "1");
    EXPECT_EQ(h->doOperation(h->session, "unknown", ""), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(h->release(&h), VI_SUCCESS);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(sim().simvisa_openSessionCount(), 0u);
}

} // namespace
