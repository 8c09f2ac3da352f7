// A failed assertion on the simulated board's write log shows each write
// as space, offset, value and width, not as the record's bytes.
#include <gtest/gtest.h>

#include <vector>

#include "drivertest/simvisaboard.h"

namespace
{

TEST(WriteLogPrinter, ShowsEachWriteByItsFields)
{
    SimVisaWrite w{};
    w.space = VI_PXI_BAR2_SPACE;
    w.offset = 0x7004;
    w.value = 0x21;
    w.width = 4;
    EXPECT_EQ(::testing::PrintToString(w), "{space 13, offset 0x7004, value 0x21, width 4}");
    EXPECT_EQ(::testing::PrintToString(std::vector<SimVisaWrite>{w, w}),
              "{ {space 13, offset 0x7004, value 0x21, width 4}, {space 13, offset 0x7004, value 0x21, width 4} }");
}

} // namespace
