// Each installed catalogue against the driver of its model, reached through
// the PnP handle on the simulated board as the resource manager reaches it:
// every default and every menu value is accepted at every index of its
// category (the refusals the driver owes excepted), and after a reset every
// configuration item whose value is predictable reads back its default.
#include <cstdlib>
#include <functional>
#include <set>

#include "fixture.h"
#include "support/simvisa_testenv.h"
#include "tq/platform/dynlib.h"
#include "tq/simusb.h"
#include "tq775.h"
#include "tqpnp.h"

namespace
{

struct ItemRow {
    std::string category, range, property, type, dflt, postResetUnknown;
    std::vector<std::string> values; // menu values
};

struct Session {
    TQPnPHandle *h;
    bool hardware;
};

// What the driver owes for one value at one index: VI_SUCCESS or its refusal.
using Refusal = std::function<ViStatus(const Session &, const ItemRow &, const std::string &index,
                                       const std::string &value)>;

struct Model {
    const char *name;
    const char *installer;
    const char *library;
    const char *prefix;
    // Instruments on the simulated bus (resource and settings, or for a USB
    // device its serial number and settings), and the resource the driver
    // opens.
    std::vector<std::pair<const char *, const char *>> boards;
    bool usb;
    const char *resource;
    bool withoutHardware; // the driver also opens a session without hardware
    const char *site;     // what '#' stands for in defaults
    Refusal refusal;
    // Properties the driver reads back neither by name nor through a getter.
    std::set<std::string> unreadable;
    size_t minChecked;
    // Items whose catalogued default is not the value the driver holds after
    // a reset (the catalogue's own suggestion, or state a reset leaves as it
    // was): a driver matter, the catalogue stores what it catalogues.
    std::set<std::string> suggestedDefaults = {};
};

ViStatus factoryOptionsOnly(const Session &, const ItemRow &item, const std::string &, const std::string &)
{
    return item.category == "Device Options" ? VI_ERROR_NSUP_OPER : VI_SUCCESS;
}

const Model kModels[] = {
    {"Model718",
     "tq718install",
     "tqp718_32.dll",
     "tq718",
     {{"PXI1::14::INSTR", "board=tq718; manf=0x3c5a; model=0x718"}},
     false,
     "PXI1::14::INSTR",
     true,
     "",
     // The board offers no change of state event (14); event 17 is no channel.
     [](const Session &s, const ItemRow &item, const std::string &index, const std::string &v) -> ViStatus {
         if (item.property == "EventEnable" && index == "14")
             return VI_ERROR_INV_PARAMETER;
         if ((item.property == "EventChannelEnable" || item.property == "EventChannelName") && index == "17")
             return VI_ERROR_INV_PARAMETER;
         return factoryOptionsOnly(s, item, index, v);
     },
     {},
     450,
     {"IOInputInversion", "IOInputRoute", "IOOutputInversion", "IOOutputRoute"}},
    {"Model747",
     "tq747install",
     "tqp747_32.dll",
     "tq747",
     {{"PXI1::15::INSTR", "board=tq747; manf=0x3c5a; model=0x747"}},
     false,
     "PXI1::15::INSTR",
     true,
     "",
     factoryOptionsOnly,
     {},
     1500,
     {"ScanClockRate", "ChannelGroupStrobeDelay"}},
    {"Model740",
     "tq740install",
     "tqp740_32.dll",
     "tq740",
     {{"PXI1::15::INSTR", "board=tq747; manf=0x3c5a; model=0x747; site1=tq740"}},
     false,
     "PXI1::15::INSTR_IP1",
     false,
     "1",
     factoryOptionsOnly,
     {},
     300,
     // The driver names event channels without the site.
     {"EventChannelName"}},
    {"Model775",
     "tq775install",
     "tqp775_32.dll",
     "tq775",
     {{"PXI1::13::INSTR", "board=tq775; manf=0x3c5a; model=0x775"}},
     false,
     "PXI1::13::INSTR",
     true,
     "",
     // A channel takes the thresholds of the board's option: A 15 to 18, B 17 to 20.
     [](const Session &s, const ItemRow &item, const std::string &index, const std::string &v) -> ViStatus {
         // Without an instrument the health check has no board to switch.
         if (item.property == "HealthCheck" && !s.hardware)
             return VI_ERROR_INV_OBJECT;
         if (item.property == "ChannelThreshold" && s.hardware) {
             char option[32] = "";
             if (s.h->getPropertyByName(s.h->session, "ThresholdOption", "", option, sizeof option) != VI_SUCCESS)
                 return VI_ERROR_SYSTEM_ERROR;
             const int t = std::stoi(v);
             const bool offered = std::string(option) == "1" ? t >= 15 && t <= 18 : t >= 17 && t <= 20;
             return offered ? VI_SUCCESS : TQ775_ERROR_THRESHOLD_OPTION;
         }
         return factoryOptionsOnly(s, item, index, v);
     },
     {},
     100},
    {"Model726",
     "tq726install",
     "tqp726_32.dll",
     "tq726",
     {{"PXI1::12::INSTR", "board=tq726; manf=0x3c5a; model=0x726; flags=0x400"}},
     false,
     "PXI1::12::INSTR",
     true,
     "",
     factoryOptionsOnly,
     {"OutputScanRate", "OutputRecycleRate"},
     130},
    {"Model726With32Channels",
     "tq726install",
     "tqp726_32.dll",
     "tq726",
     {{"PXI1::12::INSTR", "board=tq726; manf=0x3c5a; model=0x726; flags=0x600"}},
     false,
     "PXI1::12::INSTR",
     false, // the same as the other without an instrument
     "",
     factoryOptionsOnly,
     {"OutputScanRate", "OutputRecycleRate"},
     60},
    {"Model176",
     "ux176install",
     "ux176_32.dll",
     "ux176",
     {{"1234", ""}},
     true,
     "usb0::0x3c5a::176::1234",
     true,
     "",
     factoryOptionsOnly,
     {"OutputScanRate", "OutputRecycleRate"},
     60},
};

std::ostream &operator<<(std::ostream &o, const Model &m)
{
    return o << m.name;
}

std::vector<std::string> split(const std::string &text, char by)
{
    std::vector<std::string> out;
    std::stringstream s(text);
    std::string field;
    while (std::getline(s, field, by))
        out.push_back(field);
    return out;
}

// The indexes a category's range names ("" for none); an upper bound that
// names a device option takes that option's value.
std::vector<std::string> indexes(itest::DeviceDb &d, const std::string &range, TQPnPHandle *h)
{
    if (range.empty())
        return {""};
    std::vector<std::string> out;
    for (const std::string &part : split(range, ',')) {
        const auto dash = part.find('-');
        if (dash == std::string::npos) {
            out.push_back(part);
            continue;
        }
        std::string hi = part.substr(dash + 1);
        if (!hi.empty() && !std::isdigit(static_cast<unsigned char>(hi[0]))) {
            // The instrument's own option, as for a physical resource; else
            // the option's default, as for a new virtual resource.
            char option[64] = "";
            if (h->getPropertyByName(h->session, hi.c_str(), "", option, sizeof option) == VI_SUCCESS)
                hi = option;
            else
                hi = d.value("select dflt from ui_item where isvirtual=0 and property='" + hi + "'");
        }
        for (int i = std::stoi(part.substr(0, dash)); i <= std::stoi(hi); ++i)
            out.push_back(std::to_string(i));
    }
    return out;
}

// '$' is the index, then '#' the carrier site.
std::string substitute(std::string text, const std::string &index, const std::string &site)
{
    for (size_t p; (p = text.find('$')) != std::string::npos;)
        text.replace(p, 1, index);
    for (size_t p; (p = text.find('#')) != std::string::npos;)
        text.replace(p, 1, site);
    return text;
}

std::vector<ItemRow> nonVirtualItems(itest::DeviceDb &d)
{
    std::vector<ItemRow> items;
    for (const auto &row : d.rows("select category.name, property_index_range, property, type, dflt, "
                                  "ispostresetunknown, ui_item_id from ui_item join category using (category_id) "
                                  "where isvirtual=0 order by ui_item_id")) {
        auto f = split(row, '|');
        f.resize(7);
        ItemRow item{f[0], f[1], f[2], f[3], f[4], f[5], {}};
        item.values = d.rows("select value from ui_pair where ui_item_id=" + f[6] + " order by ui_pair_id");
        items.push_back(item);
    }
    return items;
}

// Reads a value through the driver's export <prefix>_get<Property>, which
// takes the index first when the category has one and gives a 16-bit
// integer, or a double for 'real' items. VI_ERROR_NSUP_OPER without one.
ViStatus typedGet(const tq::platform::LibraryHandle &lib, const char *prefix, const ItemRow &item,
                  const std::string &index, ViSession vi, char *text, size_t size)
{
    void *fn = tq::platform::findSymbol(lib, (std::string(prefix) + "_get" + item.property).c_str());
    if (!fn)
        return VI_ERROR_NSUP_OPER;
    const ViInt16 i = index.empty() ? 0 : static_cast<ViInt16>(std::stoi(index));
    ViStatus status;
    if (item.type == "real") {
        ViReal64 v = 0;
        status = index.empty() ? reinterpret_cast<ViStatus (*)(ViSession, ViReal64 *)>(fn)(vi, &v)
                               : reinterpret_cast<ViStatus (*)(ViSession, ViInt16, ViReal64 *)>(fn)(vi, i, &v);
        std::snprintf(text, size, "%.17g", v);
    } else {
        ViInt16 v = 0;
        status = index.empty() ? reinterpret_cast<ViStatus (*)(ViSession, ViInt16 *)>(fn)(vi, &v)
                               : reinterpret_cast<ViStatus (*)(ViSession, ViInt16, ViInt16 *)>(fn)(vi, i, &v);
        std::snprintf(text, size, "%d", v);
    }
    return status;
}

class CrossCheck : public ::testing::TestWithParam<std::tuple<Model, bool>>
{
  protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(tq::test::layOutVisa(tq::test::bindingDirectory()));
        // The resource manager links the stream library, so the drivers'
        // sessions load and free it without ever unloading it; so here.
        static tq::platform::LibraryHandle stream = tq::platform::loadLibrary("tqstream_32.dll");
        ASSERT_TRUE(stream);
    }
};

TEST_P(CrossCheck, DefaultsAndMenuValuesAreAcceptedAndResetGivesTheDefaults)
{
    const auto &[model, hardware] = GetParam();
    if (!hardware && !model.withoutHardware)
        GTEST_SKIP() << model.name << " opens only on a carrier's site";
    itest::DeviceDb d(itest::testDir());
    ASSERT_EQ(d.run(model.installer, "insert").status, 0);
    const std::vector<ItemRow> items = nonVirtualItems(d);
    ASSERT_FALSE(items.empty());

    tq::test::SimVisa sim;
    ASSERT_TRUE(sim.load());
    sim.simvisa_reset();
    simusb_reset();
    for (const auto &[resource, settings] : model.boards)
        if (model.usb)
            ASSERT_EQ(simusb_addDevice(resource, settings), 0) << resource;
        else
            ASSERT_EQ(sim.simvisa_addInstrument(resource, settings), VI_SUCCESS) << resource;
    auto lib = tq::platform::loadLibrary(model.library);
    ASSERT_TRUE(lib);
    auto get = reinterpret_cast<TQGetPnPHandleFn>(
        tq::platform::findSymbol(lib, (std::string(model.prefix) + "_getPnPHandle").c_str()));
    ASSERT_NE(get, nullptr);
    TQPnPHandle *h = nullptr;
    ASSERT_EQ(get(hardware ? model.resource : "", &h), VI_SUCCESS);
    ASSERT_NE(h, nullptr);
    const ViSession vi = h->session;
    const Session session{h, hardware};

    size_t checked = 0;
    for (const ItemRow &item : items) {
        // The empty name means "none given"; the driver keeps a name.
        if (item.property == "InstrumentName")
            continue;
        std::vector<std::string> values = item.values;
        values.insert(values.begin(), item.dflt);
        const auto all = item.category == "Device Options" ? std::vector<std::string>{""} : indexes(d, item.range, h);
        for (const std::string &index : all)
            for (const std::string &value : values) {
                const std::string text = (index.empty() ? "" : index + ",") + substitute(value, index, model.site);
                EXPECT_EQ(h->setPropertyByName(vi, item.property.c_str(), text.c_str()),
                          model.refusal(session, item, index, value))
                    << item.property << " " << text;
                ++checked;
            }
    }
    EXPECT_GE(checked, model.minChecked);

    // Without an instrument a reset may answer a warning.
    ASSERT_GE(h->doOperation(vi, "reset", ""), VI_SUCCESS);
    size_t readBack = 0;
    std::set<std::string> notReadable;
    for (const ItemRow &item : items) {
        if (item.category == "Device Options" || item.postResetUnknown != "0" ||
            model.suggestedDefaults.count(item.property))
            continue;
        for (const std::string &index : indexes(d, item.range, h)) {
            if (model.refusal(session, item, index, item.dflt) != VI_SUCCESS)
                continue;
            char text[256] = "";
            ViStatus status = h->getPropertyByName(vi, item.property.c_str(), index.c_str(), text, sizeof text);
            if (status == VI_ERROR_NSUP_OPER) {
                // Not offered by name: through the typed getter, if there is one.
                status = typedGet(lib, model.prefix, item, index, vi, text, sizeof text);
                if (status == VI_ERROR_NSUP_OPER) {
                    notReadable.insert(item.property);
                    continue;
                }
            }
            ASSERT_EQ(status, VI_SUCCESS) << item.property << " " << index;
            const std::string want = substitute(item.dflt, index, model.site);
            if (item.type == "real" || item.type == "int")
                EXPECT_DOUBLE_EQ(std::strtod(text, nullptr), std::strtod(want.c_str(), nullptr))
                    << item.property << " " << index << ": " << text;
            else
                EXPECT_EQ(text, want) << item.property << " " << index;
            ++readBack;
        }
    }
    EXPECT_GT(readBack, 0u);
    // Every other predictable item was read back.
    EXPECT_EQ(notReadable, model.unreadable);
    EXPECT_EQ(h->release(&h), VI_SUCCESS);
    sim.simvisa_reset();
    simusb_reset();
}

INSTANTIATE_TEST_SUITE_P(Drivers, CrossCheck, ::testing::Combine(::testing::ValuesIn(kModels), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<Model, bool>> &info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "Board" : "WithoutHardware");
                         });

} // namespace
