// The installed catalogue of model 718 against the driver itself, reached
// through its PnP handle on the simulated board as the resource manager
// reaches it: every default and every menu value is accepted at every index
// of its category, and after a reset every item whose value is predictable
// reads back its default.
#include <cstdlib>

#include "fixture.h"
#include "support/simvisa_testenv.h"
#include "tq/platform/dynlib.h"
#include "tqpnp.h"

namespace
{

constexpr const char *kBoard = "PXI1::14::INSTR";

struct ItemRow {
    std::string category, range, property, type, dflt, postResetUnknown;
    std::vector<std::string> values; // menu values
};

// The indexes a category's range names ("" for none).
std::vector<std::string> indexes(const std::string &range, int channelCount)
{
    if (range.empty())
        return {""};
    std::vector<std::string> out;
    std::stringstream s(range);
    std::string part;
    while (std::getline(s, part, ',')) {
        const auto dash = part.find('-');
        if (dash == std::string::npos) {
            out.push_back(part);
            continue;
        }
        const std::string hi = part.substr(dash + 1);
        const int last = hi == "AnalogChannelCount" ? channelCount : std::stoi(hi);
        for (int i = std::stoi(part.substr(0, dash)); i <= last; ++i)
            out.push_back(std::to_string(i));
    }
    return out;
}

std::string substitute(std::string text, const std::string &index)
{
    for (size_t p; (p = text.find('$')) != std::string::npos;)
        text.replace(p, 1, index);
    return text;
}

struct Session {
    const char *name;
    const char *resource;
    bool hardware;
};

std::ostream &operator<<(std::ostream &o, const Session &s)
{
    return o << s.name;
}

class CrossCheck718 : public ::testing::TestWithParam<Session>
{
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(tq::test::layOutVisa(tq::test::bindingDirectory())); }
};

TEST_P(CrossCheck718, DefaultsAndMenuValuesAreAcceptedAndResetGivesTheDefaults)
{
    const Session &session = GetParam();
    itest::DeviceDb d(itest::testDir());
    ASSERT_EQ(d.run("tq718install", "insert").status, 0);

    std::vector<ItemRow> items;
    for (const auto &row : d.rows("select category.name, property_index_range, property, type, dflt, "
                                  "ispostresetunknown, ui_item_id from ui_item join category using (category_id) "
                                  "where isvirtual=0 order by ui_item_id")) {
        std::vector<std::string> f;
        std::stringstream s(row);
        std::string field;
        while (std::getline(s, field, '|'))
            f.push_back(field);
        f.resize(7);
        ItemRow item{f[0], f[1], f[2], f[3], f[4], f[5], {}};
        item.values = d.rows("select value from ui_pair where ui_item_id=" + f[6] + " order by ui_pair_id");
        items.push_back(item);
    }
    ASSERT_EQ(items.size(), 48u);
    const int channelCount =
        std::stoi(d.value("select dflt from ui_item where property='AnalogChannelCount'"));

    tq::test::SimVisa sim;
    ASSERT_TRUE(sim.load());
    sim.simvisa_reset();
    ASSERT_EQ(sim.simvisa_addInstrument(kBoard, "board=tq718; manf=0x3c5a; model=0x718"), VI_SUCCESS);
    auto lib = tq::platform::loadLibrary("tqp718_32.dll");
    ASSERT_TRUE(lib);
    auto get = reinterpret_cast<TQGetPnPHandleFn>(tq::platform::findSymbol(lib, "tq718_getPnPHandle"));
    ASSERT_NE(get, nullptr);
    TQPnPHandle *h = nullptr;
    ASSERT_EQ(get(session.resource, &h), VI_SUCCESS);
    ASSERT_NE(h, nullptr);
    const ViSession vi = h->session;

    // Refusals the driver owes: factory options are read only; the board
    // offers no change of state event (14); event 17 is no channel.
    auto refusal = [&](const ItemRow &item, const std::string &index) -> ViStatus {
        if (item.category == "Device Options")
            return VI_ERROR_NSUP_OPER;
        if (item.property == "EventEnable" && index == "14")
            return VI_ERROR_INV_PARAMETER;
        if ((item.property == "EventChannelEnable" || item.property == "EventChannelName") && index == "17")
            return VI_ERROR_INV_PARAMETER;
        return VI_SUCCESS;
    };

    size_t checked = 0;
    for (const ItemRow &item : items) {
        std::vector<std::string> values = item.values;
        values.insert(values.begin(), item.dflt);
        const auto all = item.category == "Device Options" ? std::vector<std::string>{""}
                                                           : indexes(item.range, channelCount);
        for (const std::string &index : all)
            for (const std::string &value : values) {
                // The empty name means "none given"; the driver keeps a name.
                if (item.property == "InstrumentName")
                    continue;
                const std::string text = (index.empty() ? "" : index + ",") + substitute(value, index);
                const ViStatus status = h->setPropertyByName(vi, item.property.c_str(), text.c_str());
                // Without hardware the driver may take event 14: nothing reaches a board.
                if (!session.hardware && item.property == "EventEnable" && index == "14")
                    EXPECT_TRUE(status == VI_SUCCESS || status == VI_ERROR_INV_PARAMETER) << status;
                else
                    EXPECT_EQ(status, refusal(item, index)) << item.property << " " << text;
                ++checked;
            }
    }
    EXPECT_GT(checked, 450u);

    ASSERT_EQ(h->doOperation(vi, "reset", ""), VI_SUCCESS);
    size_t readBack = 0;
    for (const ItemRow &item : items) {
        // Two properties can be set but not read by name.
        if (item.category == "Device Options" || item.postResetUnknown != "0" || item.property == "InterruptEnable" ||
            item.property == "DemoAnalogChannelNoise")
            continue;
        for (const std::string &index : indexes(item.range, channelCount)) {
            if (refusal(item, index) != VI_SUCCESS)
                continue;
            char text[256] = "";
            ASSERT_EQ(h->getPropertyByName(vi, item.property.c_str(), index.c_str(), text, sizeof text), VI_SUCCESS)
                << item.property << " " << index;
            const std::string want = substitute(item.dflt, index);
            if (item.type == "real" || item.type == "int")
                EXPECT_DOUBLE_EQ(std::strtod(text, nullptr), std::strtod(want.c_str(), nullptr))
                    << item.property << " " << index << ": " << text;
            else
                EXPECT_EQ(text, want) << item.property << " " << index;
            ++readBack;
        }
    }
    EXPECT_GT(readBack, 100u);
    EXPECT_EQ(h->release(&h), VI_SUCCESS);
    sim.simvisa_reset();
}

INSTANTIATE_TEST_SUITE_P(Sessions, CrossCheck718,
                         ::testing::Values(Session{"Board", kBoard, true}, Session{"WithoutHardware", "", false}),
                         [](const ::testing::TestParamInfo<Session> &info) { return std::string(info.param.name); });

} // namespace
