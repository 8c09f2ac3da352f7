// The power-up state: a save or clear that the card completes, and one whose
// request bit never clears (the clock runs fast in this program, so the
// thousand polls of 100 ms take a moment).
#include "fixture747.h"

namespace
{

using namespace tq747test;

TEST_F(CarrierTest, PowerupSaveAndClearSetTheRequestAndWaitForTheCard)
{
    addCarrier("");
    ViSession vi = open();
    ViInt16 saved = -1;
    ASSERT_EQ(tq747_powerupSave(vi), VI_SUCCESS);
    EXPECT_EQ(reg(0x20) & 0x300, 0x200u) << "save bit set, request finished";
    ASSERT_EQ(tq747_autoRstStatus(vi, &saved), VI_SUCCESS);
    EXPECT_EQ(saved, 1);
    TQPnPHandle *h = nullptr;
    ASSERT_EQ(tq747_getPnPHandle(kCarrier, &h), VI_SUCCESS);
    ASSERT_EQ(h->doOperation(h->session, "powerupClear", ""), VI_SUCCESS);
    ASSERT_EQ(tq747_autoRstStatus(vi, &saved), VI_SUCCESS);
    EXPECT_EQ(saved, 0);
    h->release(&h);
}

TEST_F(CarrierTest, PowerupThatNeverFinishesTimesOutAndSaysSo)
{
    addCarrier("", "powerupstuck=1");
    ViSession vi = open();
    LineSink lines;
    ASSERT_EQ(tq747_registerStreamMsg(vi, lines.get()), VI_SUCCESS);
    const uint64_t start = tq::platform::tickMs();
    EXPECT_EQ(tq747_powerupSave(vi), VI_ERROR_TMO);
    EXPECT_GE(tq::platform::tickMs() - start, 100000u) << "a thousand polls of 100 ms";
    auto taken = lines.take();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].rfind("[PXI1::15::INSTR]powerup save: ", 0), 0u) << taken[0];
    // A failing read ends the polling with its status.
    ASSERT_EQ(sim().simvisa_failAccess(kCarrier, 3, SIMVISA_READS, VI_ERROR_CONN_LOST), VI_SUCCESS);
    EXPECT_EQ(tq747_powerupClear(vi), VI_ERROR_CONN_LOST);
}

} // namespace
