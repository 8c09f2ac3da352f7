// The simulated USB library: devices from the shared inventory (which the
// simulated VISA library reads too), the calls' contracts the drivers rely
// on, and the simulated device's FIFO on the test clock.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "tq/simusb.h"
#include "tq/simvisa.h"

namespace
{

std::string inventory()
{
    const char *tmp = getenv("TQ_TEST_TMPDIR");
    const std::string path = std::string(tmp ? tmp : "/tmp") + "/simusb_inventory.txt";
    std::ofstream out(path);
    out << "# both buses in one file\n"
           "[PXI1::14::INSTR]\nboard = generic\nmanf = 0x3c5a\nmodel = 0x714\n"
           "[USB0::0x3C5A::176::4711]\nfirmware = 2\n"
           "[usb::0x3c5a::176::4712]\nmodelbyte = 99\n";
    return path;
}

TEST(SimUsb, SharedInventory)
{
    simusb_reset();
    simvisa_reset();
    const std::string path = inventory();
    ASSERT_EQ(simusb_loadInventory(path.c_str()), 0);
    EXPECT_EQ(simvisa_loadInventory(path.c_str()), VI_SUCCESS) << "the VISA library leaves USB sections alone";
    uint32_t count = 0;
    ASSERT_EQ(SI_GetNumDevices(&count), TQ_USBX_OK);
    ASSERT_EQ(count, 2u);
    char serial[TQ_USBX_STRING_SIZE] = {};
    ASSERT_EQ(SI_GetProductString(1, serial, TQ_USBX_SERIAL_NUMBER), TQ_USBX_OK);
    EXPECT_STREQ(serial, "4712");
    EXPECT_EQ(SI_GetProductString(2, serial, TQ_USBX_SERIAL_NUMBER), TQ_USBX_NO_DEVICE);
    simvisa_reset();
    simusb_reset();
}

TEST(SimUsb, ExchangesAndTheirFailures)
{
    simusb_reset();
    ASSERT_EQ(simusb_addDevice("9", "firmware=4"), 0);
    EXPECT_EQ(simusb_addDevice("9", ""), -1) << "one device per serial";
    EXPECT_EQ(simusb_addDevice("8", "colour=red"), -1);
    ASSERT_EQ(SI_SetTimeouts(50, 50), TQ_USBX_OK);
    TQUsbHandle h = nullptr;
    ASSERT_EQ(SI_Open(0, &h), TQ_USBX_OK);
    const uint8_t firmware[4] = {0x03, 0, 0, 0};
    uint32_t n = 0;
    ASSERT_EQ(SI_Write(h, firmware, 4, &n, nullptr), TQ_USBX_OK);
    EXPECT_EQ(n, 4u);
    uint32_t queued = 0, status = 0;
    ASSERT_EQ(SI_CheckRXQueue(h, &queued, &status), TQ_USBX_OK);
    EXPECT_EQ(queued, 2u);
    uint8_t reply[8] = {};
    ASSERT_EQ(SI_Read(h, reply, 8, &n, nullptr), TQ_USBX_OK);
    ASSERT_EQ(n, 2u) << "a read returns what has arrived";
    EXPECT_EQ(reply[0], 0x83);
    EXPECT_EQ(reply[1], 4);
    EXPECT_EQ(SI_Read(h, reply, 8, &n, nullptr), TQ_USBX_READ_TIMEOUT);
    EXPECT_EQ(n, 0u);
    ASSERT_EQ(simusb_unplug("9"), 0);
    EXPECT_EQ(SI_Write(h, firmware, 4, &n, nullptr), TQ_USBX_IO_FAILED);
    EXPECT_EQ(SI_Close(h), TQ_USBX_OK);
    EXPECT_EQ(SI_Close(h), TQ_USBX_BAD_HANDLE);
    EXPECT_EQ(simusb_openHandleCount(), 0u);
}

// Scans fill the FIFO at the period of registers 16 and 17; a full FIFO
// drops the newer scans and flags the overrun once.
TEST(SimUsb, FifoOnTheClock)
{
    simusb_reset();
    ASSERT_EQ(simusb_addDevice("5", ""), 0);
    ASSERT_EQ(simusb_setRegister("5", 18, 0x0001), 0);
    ASSERT_EQ(simusb_setRegister("5", 16, 100), 0); // 100000 scans per second
    TQUsbHandle h = nullptr;
    ASSERT_EQ(SI_Open(0, &h), TQ_USBX_OK);
    uint32_t n = 0;
    const uint8_t start = 0x08, data = 0x0A;
    uint8_t reply[128];
    ASSERT_EQ(SI_Write(h, &start, 1, &n, nullptr), TQ_USBX_OK);
    ASSERT_EQ(SI_Read(h, reply, 1, &n, nullptr), TQ_USBX_OK);
    EXPECT_EQ(simusb_isRunning("5"), 1);
    usleep(100000); // 10000 scans due: more than the FIFO holds
    ASSERT_EQ(SI_Write(h, &data, 1, &n, nullptr), TQ_USBX_OK);
    ASSERT_EQ(SI_Read(h, reply, sizeof reply, &n, nullptr), TQ_USBX_OK);
    ASSERT_EQ(n, 64u) << "30 scans of one input and the header";
    EXPECT_EQ(reply[0], 0x8A);
    EXPECT_EQ(reply[3] & 0x02, 0x02) << "overrun flagged";
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(reply[4 + 2 * i] | (reply[5 + 2 * i] << 8), 0x1000 + i) << "scan " << i;
    // Stopped, the FIFO fills no more: the flag was reported once.
    const uint8_t stop = 0x09;
    ASSERT_EQ(SI_Write(h, &stop, 1, &n, nullptr), TQ_USBX_OK);
    ASSERT_EQ(SI_Read(h, reply, 1, &n, nullptr), TQ_USBX_OK);
    EXPECT_EQ(reply[0], 0x89);
    ASSERT_EQ(SI_Write(h, &data, 1, &n, nullptr), TQ_USBX_OK);
    ASSERT_EQ(SI_Read(h, reply, sizeof reply, &n, nullptr), TQ_USBX_OK);
    EXPECT_EQ(reply[3] & 0x02, 0) << "flagged once";
    EXPECT_EQ(reply[4] | (reply[5] << 8), 0x1000 + 30) << "the FIFO goes on where the last reply ended";
    uint64_t dropped = 0;
    ASSERT_EQ(simusb_droppedScans("5", &dropped), 0);
    EXPECT_GT(dropped, 0u);
    SI_Close(h);
}

// A reply holds as many whole scans as fit 60 bytes, and no more than the
// firmware packs for its number of analog inputs (the digital word not
// counted).
TEST(SimUsb, RepliesPackTheFirmwaresScanCount)
{
    struct Case {
        uint16_t mask;
        uint32_t scans;
    };
    const Case cases[] = {
        {0x0001, 30}, {0x0003, 15}, {0x0007, 10}, {0x000F, 7}, {0x001F, 6}, {0x003F, 5},
        {0x1000, 7},  {0x1001, 15}, {0x1003, 10}, {0x1007, 7}, {0x100F, 6}, {0x103F, 4},
    };
    for (const Case &c : cases) {
        simusb_reset();
        ASSERT_EQ(simusb_addDevice("5", ""), 0);
        ASSERT_EQ(simusb_setRegister("5", 18, c.mask), 0);
        ASSERT_EQ(simusb_setRegister("5", 16, 100), 0); // 100000 scans per second
        TQUsbHandle h = nullptr;
        ASSERT_EQ(SI_Open(0, &h), TQ_USBX_OK);
        uint32_t n = 0;
        const uint8_t start = 0x08, data = 0x0A;
        uint8_t reply[128];
        ASSERT_EQ(SI_Write(h, &start, 1, &n, nullptr), TQ_USBX_OK);
        ASSERT_EQ(SI_Read(h, reply, 1, &n, nullptr), TQ_USBX_OK);
        usleep(10000); // 1000 scans due: more than any reply holds
        ASSERT_EQ(SI_Write(h, &data, 1, &n, nullptr), TQ_USBX_OK);
        ASSERT_EQ(SI_Read(h, reply, sizeof reply, &n, nullptr), TQ_USBX_OK);
        uint32_t words = 0;
        for (int k = 0; k < 16; ++k)
            words += (c.mask >> k) & 1u;
        EXPECT_EQ(n, 4 + c.scans * 2 * words) << std::hex << c.mask;
        SI_Close(h);
    }
    simusb_reset();
}

} // namespace
