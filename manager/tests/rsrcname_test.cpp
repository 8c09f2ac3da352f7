// Which names are carrier sites and crate slots, and which are taken whole.
#include <gtest/gtest.h>

#include "rsrcname.h"

using tq::manager::classifyResourceName;
using tq::manager::ResourceNameKind;

namespace
{

struct NameCase {
    const char *name;
    ResourceNameKind kind;
    const char *base;
    int site, logicalAddress, slot;
};

class ClassifyResourceName : public ::testing::TestWithParam<NameCase>
{
};

TEST_P(ClassifyResourceName, ReadsOnlyWellFormedNumbers)
{
    const NameCase &c = GetParam();
    const auto r = classifyResourceName(c.name);
    EXPECT_EQ(r.kind, c.kind) << c.name;
    EXPECT_EQ(r.base, c.base) << c.name;
    EXPECT_EQ(r.site, c.site) << c.name;
    EXPECT_EQ(r.logicalAddress, c.logicalAddress) << c.name;
    EXPECT_EQ(r.slot, c.slot) << c.name;
}

constexpr auto Plain = ResourceNameKind::Plain, Site = ResourceNameKind::Site,
               Controller = ResourceNameKind::CrateController, Unit = ResourceNameKind::CrateUnit;

INSTANTIATE_TEST_SUITE_P(
    Names, ClassifyResourceName,
    ::testing::Values(NameCase{"PXI5::0::INSTR", Plain, "PXI5::0::INSTR", 0, 0, 0},
                      NameCase{"PXI5::0::INSTR_IP1", Site, "PXI5::0::INSTR", 1, 0, 0},
                      NameCase{"PXI5::0::INSTR_IP4", Site, "PXI5::0::INSTR", 4, 0, 0},
                      // Sites are 1 to 4: anything else is no site name.
                      NameCase{"PXI5::0::INSTR_IP0", Plain, "PXI5::0::INSTR_IP0", 0, 0, 0},
                      NameCase{"PXI5::0::INSTR_IP5", Plain, "PXI5::0::INSTR_IP5", 0, 0, 0},
                      NameCase{"PXI5::0::INSTR_IP-1", Plain, "PXI5::0::INSTR_IP-1", 0, 0, 0},
                      NameCase{"PXI5::0::INSTR_IP3x", Plain, "PXI5::0::INSTR_IP3x", 0, 0, 0},
                      NameCase{"PXI5::0::INSTR_IP", Plain, "PXI5::0::INSTR_IP", 0, 0, 0},
                      NameCase{"PXI5::0::INSTR_IP99999999999", Plain, "PXI5::0::INSTR_IP99999999999", 0, 0, 0},
                      NameCase{"_IP3", Plain, "_IP3", 0, 0, 0},
                      // The last '_' decides.
                      NameCase{"a_IP3_IP2", Site, "a_IP3", 2, 0, 0},
                      NameCase{"a_IP3_b", Plain, "a_IP3_b", 0, 0, 0},
                      NameCase{"ASRL1::INSTR_LA4", Controller, "ASRL1::INSTR", 0, 4, 0},
                      NameCase{"ASRL1::INSTR_LA0", Controller, "ASRL1::INSTR", 0, 0, 0},
                      NameCase{"ASRL1::INSTR_LA255", Controller, "ASRL1::INSTR", 0, 255, 0},
                      NameCase{"ASRL1::INSTR_LA256", Plain, "ASRL1::INSTR_LA256", 0, 0, 0},
                      NameCase{"ASRL1::INSTR_LA4_SLOT2", Unit, "ASRL1::INSTR", 0, 4, 2},
                      NameCase{"ASRL1::INSTR_LA4_SLOT16", Unit, "ASRL1::INSTR", 0, 4, 16},
                      NameCase{"ASRL1::INSTR_LA4_SLOT0", Plain, "ASRL1::INSTR_LA4_SLOT0", 0, 0, 0},
                      NameCase{"ASRL1::INSTR_LA4_SLOT17", Plain, "ASRL1::INSTR_LA4_SLOT17", 0, 0, 0},
                      NameCase{"ASRL1::INSTR_LA4x", Plain, "ASRL1::INSTR_LA4x", 0, 0, 0},
                      NameCase{"ASRL1::INSTR_LA4_SLOT2x", Plain, "ASRL1::INSTR_LA4_SLOT2x", 0, 0, 0},
                      NameCase{"ASRL1::INSTR_LA_SLOT2", Plain, "ASRL1::INSTR_LA_SLOT2", 0, 0, 0},
                      // A port whose alias holds "_LA" of its own.
                      NameCase{"COM_LAB_LA0", Controller, "COM_LAB", 0, 0, 0},
                      NameCase{"COM_LAB_LA3_SLOT2", Unit, "COM_LAB", 0, 3, 2},
                      NameCase{"X_LA1_LA2", Controller, "X_LA1", 0, 2, 0},
                      NameCase{"X_LA1_LA2x", Plain, "X_LA1_LA2x", 0, 0, 0},
                      NameCase{"usb0::0x3c5a::374::A1", Plain, "usb0::0x3c5a::374::A1", 0, 0, 0},
                      NameCase{"", Plain, "", 0, 0, 0}));

TEST(SiteResourceName, IsReadBackAsThatSite)
{
    for (int site = 1; site <= 4; ++site) {
        const auto r = classifyResourceName(tq::manager::siteResourceName("PXI1::5::INSTR", site));
        EXPECT_EQ(r.kind, ResourceNameKind::Site);
        EXPECT_EQ(r.base, "PXI1::5::INSTR");
        EXPECT_EQ(r.site, site);
    }
}

} // namespace
