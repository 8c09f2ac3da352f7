// The USB plug-in loaded as the resource manager loads it, bound to a
// stand-in of the manager that records the devices reported to it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "tq/simusb.h"
#include "tq/visatype.h"

namespace
{

using RefreshFn = ViStatus (*)(ViSession);
using VendorModelFn = ViStatus (*)(ViSession, ViConstString, ViUInt16 *, ViUInt16 *);
using IsPresourceFn = ViStatus (*)(ViSession, ViConstString);
using CallsFn = int (*)(char *, size_t);
using ClearFn = void (*)();

class PluginTest : public ::testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
        // The stand-in first: the plug-in's need of the manager's library is
        // then met by it (same file name) instead of the real one.
        standin_ = dlopen(TQ_STANDIN_PATH, RTLD_NOW | RTLD_GLOBAL);
        ASSERT_NE(standin_, nullptr) << dlerror();
        plugin_ = dlopen(TQ_PLUGIN_PATH, RTLD_NOW);
        ASSERT_NE(plugin_, nullptr) << dlerror();
    }
    void SetUp() override
    {
        ASSERT_NE(plugin_, nullptr);
        simusb_reset();
        clear()();
    }
    void TearDown() override
    {
        EXPECT_EQ(simusb_openHandleCount(), 0u) << "the plug-in closes every device it opened";
        simusb_reset();
    }
    static void *sym(void *lib, const char *name)
    {
        void *p = dlsym(lib, name);
        EXPECT_NE(p, nullptr) << name;
        return p;
    }
    static RefreshFn refresh() { return reinterpret_cast<RefreshFn>(sym(plugin_, "tqdaq_refreshPresources")); }
    static VendorModelFn vendorModel() { return reinterpret_cast<VendorModelFn>(sym(plugin_, "tqdaq_vendorModel")); }
    static IsPresourceFn isPresource() { return reinterpret_cast<IsPresourceFn>(sym(plugin_, "tqdaq_isPresource")); }
    static ClearFn clear() { return reinterpret_cast<ClearFn>(sym(standin_, "standin_clear")); }
    static std::string calls(int *count = nullptr)
    {
        char buffer[4096] = {};
        const int n = reinterpret_cast<CallsFn>(sym(standin_, "standin_calls"))(buffer, sizeof buffer);
        if (count)
            *count = n;
        return buffer;
    }

    static void *standin_;
    static void *plugin_;
};

void *PluginTest::standin_ = nullptr;
void *PluginTest::plugin_ = nullptr;

TEST_F(PluginTest, RefreshReportsEveryDeviceThatAnswers)
{
    ASSERT_EQ(simusb_addDevice("11", ""), 0);
    ASSERT_EQ(simusb_addDevice("12", ""), 0);
    EXPECT_EQ(refresh()(0x40001234), VI_SUCCESS);
    EXPECT_EQ(calls(), "1073746484 usb0::0x3c5a::176::11\n1073746484 usb0::0x3c5a::176::12\n");
}

TEST_F(PluginTest, RefreshPassesOverDevicesItCannotAsk)
{
    struct Case {
        const char *what;
        int kind;
        uint32_t amount;
    };
    const Case cases[] = {
        {"busy", SIMUSB_BUSY_OPEN, 0},
        {"write fails", SIMUSB_FAIL_WRITE, TQ_USBX_IO_FAILED},
        {"answers something else", SIMUSB_GARBAGE, 2},
    };
    for (const Case &c : cases) {
        simusb_reset();
        clear()();
        ASSERT_EQ(simusb_addDevice("1", ""), 0);
        ASSERT_EQ(simusb_addDevice("2", "modelbyte=99"), 0);
        ASSERT_EQ(simusb_addDevice("3", ""), 0);
        ASSERT_EQ(simusb_injectFault("1", c.kind, c.amount, 1, 0), 0);
        EXPECT_EQ(refresh()(7), VI_SUCCESS) << c.what;
        EXPECT_EQ(calls(), "7 usb0::0x3c5a::99::2\n7 usb0::0x3c5a::176::3\n") << c.what;
    }
}

TEST_F(PluginTest, RefreshWithoutDevicesReportsNothing)
{
    int count = -1;
    EXPECT_EQ(refresh()(7), VI_SUCCESS);
    calls(&count);
    EXPECT_EQ(count, 0);
}

TEST_F(PluginTest, VendorModelAndPresence)
{
    ASSERT_EQ(simusb_addDevice("11", ""), 0);
    const std::string longName = "usb0::0x3c5a::176::" + std::string(300, '1');
    struct Case {
        const char *name;
        ViStatus status;
    };
    const Case cases[] = {
        {"usb0::0x3c5a::176::11", VI_SUCCESS},
        {"USB::0x3C5A::176::11", VI_SUCCESS},
        {"usb0::0x1234::999::11", VI_SUCCESS}, // the name's vendor and model play no part
        {"usb0::0x3c5a::176::12", VI_ERROR_RSRC_NFOUND},
        {"gpib0::5", VI_ERROR_RSRC_NFOUND},
        {longName.c_str(), VI_ERROR_RSRC_NFOUND},
    };
    for (const Case &c : cases) {
        ViUInt16 vendor = 1, model = 2;
        EXPECT_EQ(vendorModel()(0, c.name, &vendor, &model), c.status) << c.name;
        EXPECT_EQ(vendor, c.status == VI_SUCCESS ? 15450 : 1) << c.name;
        EXPECT_EQ(model, c.status == VI_SUCCESS ? 0x176 : 2) << c.name;
        EXPECT_EQ(isPresource()(0, c.name), c.status) << c.name;
    }
    ASSERT_EQ(simusb_injectFault("11", SIMUSB_BUSY_OPEN, 0, 1, 0), 0);
    EXPECT_EQ(isPresource()(0, "usb0::0x3c5a::176::11"), VI_ERROR_SYSTEM_ERROR);
    ASSERT_EQ(simusb_injectFault("11", SIMUSB_SHORT, 1, 1, 0), 0);
    EXPECT_EQ(isPresource()(0, "usb0::0x3c5a::176::11"), VI_ERROR_IO);
}

} // namespace
