// The reply reader and the name and status rules of the wire protocol,
// over scripted reads (no device).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "protocol176.h"

namespace
{

// Each read returns the next scripted chunk (cut to the count asked),
// then times out.
struct Script {
    std::vector<std::vector<uint8_t>> chunks;
    size_t next = 0;
    TQUsbStatus failWith = TQ_USBX_OK;
    int reads = 0;
};

TQUsbStatus scriptedRead(void *context, uint8_t *buffer, uint32_t count, uint32_t *got)
{
    Script &s = *static_cast<Script *>(context);
    ++s.reads;
    *got = 0;
    if (s.failWith != TQ_USBX_OK)
        return s.failWith;
    if (s.next >= s.chunks.size())
        return TQ_USBX_READ_TIMEOUT;
    std::vector<uint8_t> &c = s.chunks[s.next];
    const uint32_t n = count < c.size() ? count : static_cast<uint32_t>(c.size());
    memcpy(buffer, c.data(), n);
    c.erase(c.begin(), c.begin() + n);
    if (c.empty())
        ++s.next;
    *got = n;
    return TQ_USBX_OK;
}

struct ReplyCase {
    const char *what;
    std::vector<std::vector<uint8_t>> chunks;
    uint8_t expected;
    uint32_t length, minimum;
    ViStatus status;
    std::vector<uint8_t> reply; // the bytes of the reply when complete
};

TEST(ReplyReader, ResynchronisesAndRefusesShortReplies)
{
    const std::vector<ReplyCase> cases = {
        {"whole reply", {{0x82, 0x34, 0x12}}, 0x82, 3, 3, VI_SUCCESS, {0x82, 0x34, 0x12}},
        {"a stray byte before it", {{0x00, 0x82, 0x34}, {0x12}}, 0x82, 3, 3, VI_SUCCESS, {0x82, 0x34, 0x12}},
        {"in two parts", {{0x82}, {0x34, 0x12}}, 0x82, 3, 3, VI_SUCCESS, {0x82, 0x34, 0x12}},
        {"a read without it, then the reply", {{0x11, 0x22, 0x33}, {0x84, 0xB0}}, 0x84, 2, 2, VI_SUCCESS, {0x84, 0xB0}},
        {"short and nothing more comes", {{0x82, 0x34}}, 0x82, 3, 3, VI_ERROR_IO, {}},
        {"never there", std::vector<std::vector<uint8_t>>(20, {0x00, 0x00}), 0x81, 2, 2, VI_ERROR_IO, {}},
        {"read data: header only", {{0x8A, 0, 0, 0}}, 0x8A, 64, 4, VI_SUCCESS, {0x8A, 0, 0, 0}},
        {"read data: fewer scans than room", {{0x8A, 0, 0, 2, 1, 0, 2, 0}}, 0x8A, 64, 4, VI_SUCCESS,
         {0x8A, 0, 0, 2, 1, 0, 2, 0}},
        {"read data: header cut", {{0x8A, 0}}, 0x8A, 64, 4, VI_ERROR_IO, {}},
        {"nothing at all", {}, 0x81, 1, 1, VI_ERROR_TMO, {}},
    };
    for (const ReplyCase &c : cases) {
        Script script{c.chunks};
        std::vector<uint8_t> reply(c.length, 0xEE);
        uint32_t received = 0;
        const ViStatus status =
            ux176::readReply(scriptedRead, &script, c.expected, reply.data(), c.length, c.minimum, &received);
        EXPECT_EQ(status, c.status) << c.what;
        if (c.status == VI_SUCCESS) {
            ASSERT_EQ(received, c.reply.size()) << c.what;
            EXPECT_TRUE(std::equal(c.reply.begin(), c.reply.end(), reply.begin())) << c.what;
        }
        EXPECT_LE(script.reads, 2 * ux176::kResyncRounds) << c.what << ": the search is bounded";
    }
}

TEST(ReplyReader, ReadFailureIsMapped)
{
    Script script;
    script.failWith = TQ_USBX_IO_FAILED;
    uint8_t reply[3];
    uint32_t received = 7;
    EXPECT_EQ(ux176::readReply(scriptedRead, &script, 0x82, reply, 3, 3, &received), VI_ERROR_IO);
    EXPECT_EQ(received, 0u);
}

TEST(UsbStatus, MapsToVisaStatuses)
{
    const std::pair<TQUsbStatus, uint32_t> table[] = {
        {0, 0},           {1, 0xBFFF000E},  {2, 0xBFFF003E},  {3, 0xBFFF003B},  {4, 0xBFFF003E},
        {5, 0xBFFF003E},  {6, 0xBFFF0078},  {7, 0xBFFF0083},  {8, 0xBFFF003E},  {9, 0xBFFF003A},
        {10, 0xBFFF0067}, {11, 0xBFFF0000}, {13, 0xBFFF0015}, {14, 0xBFFF0015}, {15, 0xBFFF003E},
        {255, 0xBFFF0011}, {99, 0xBFFF0000},
    };
    for (const auto &[usb, visa] : table)
        EXPECT_EQ(static_cast<uint32_t>(ux176::mapStatus(usb)), visa) << usb;
}

TEST(ResourceNames, BothFormsBoundedSerials)
{
    struct Case {
        const char *name;
        bool ok;
        short vendor, model;
        const char *serial;
    };
    const std::string longSerial(64, '7');
    const std::string maxSerial(63, '7');
    const std::string longName = "usb0::0x3c5a::176::" + longSerial;
    const std::string maxName = "usb0::0x3c5a::176::" + maxSerial;
    const Case cases[] = {
        {"USB0::0x3C5A::176::1234", true, 0x3c5a, 176, "1234"},
        {"usb::15450::176::77", true, 15450, 176, "77"},
        {"usb0::0x1234::999::11", true, 0x1234, 999, "11"},
        {"gpib0::5", false, 0, 0, ""},
        {"usb0::0x3c5a::176::", false, 0, 0, ""},
        {maxName.c_str(), true, 0x3c5a, 176, maxSerial.c_str()},
        {longName.c_str(), false, 0, 0, ""},
    };
    for (const Case &c : cases) {
        ux176::ResourceName p;
        ASSERT_EQ(ux176::splitResourceName(c.name, p), c.ok) << c.name;
        if (!c.ok)
            continue;
        EXPECT_EQ(p.vendor, c.vendor) << c.name;
        EXPECT_EQ(p.model, c.model) << c.name;
        EXPECT_STREQ(p.serial, c.serial) << c.name;
    }
}

} // namespace
