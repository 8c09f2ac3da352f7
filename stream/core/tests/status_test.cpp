// Result codes at the exported edge: the status mapping, the texts of
// tqstream_error_message and the debug trace printer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/status.h"
#include "status_capture.h"
#include "tqstream.h"

using tq::stream::debugTrace;
using tq::stream::statusFromCode;

namespace {

TEST(StreamStatus, ResultCodesMapToStatuses)
{
    const struct {
        int32_t code;
        uint32_t status;
    } cases[] = {
        {0, 0},           {1, 0x3FFC0107},  {2, 0x3FFF0004},  {-4, 0xBFFF003C},  {-16, 0xBFFF003B},
        {-22, 0xBFFF0015}, {-20, 0xBFFF0000}, {-19, 0xBFFF0000}, {-6, 0xBFFF0000}, {-13, 0xBFFF0000},
        {-1, 0xBFFF0000},  {3, 0xBFFF0000},   {-2, 0xBFFF0000},  {INT32_MIN, 0xBFFF0000},
    };
    for (const auto &c : cases)
        EXPECT_EQ(static_cast<uint32_t>(statusFromCode(c.code)), c.status) << "code " << c.code;
}

TEST(StreamStatus, ErrorMessageTexts)
{
    const struct {
        uint32_t status;
        uint32_t result;
        const char *text;
    } cases[] = {
        {0, 0, "Operation completed successfully."},
        {0xBFFF0015, 0, "Specified type of lock could not be obtained within the specified timeout period."},
        {0xBFFF0012, 0, "Invalid resource reference specified.  Parsing error."},
        {0xBFFF001F, 0, "the specified attribute is read-only."},
        {0xBFFF003B, 0, "Unable to queue operation."},
        {0xBFFF003C, 0, "Insufficient system resources."},
        {0xBFFF0034, 0, "Violation of raw write protocol occured during transfer."},
        {0xBFFF006C, 0,
         "An overrun error occured during transfer.  A character was not read from the hardware before the next "
         "character arrived."},
        {0x3FFF0004, 0, "Operation completed successfully, but queue was empty."},
        {0x3FFF0085, 0, "The status code passed to the operation could not be interpereted."},
        {0x3FFF0099, 0, "Operation completed successfully, and this  session has nested shared locks."},
        {0x3FFF009B, 0, "Operation performed synchronously."},
        // The stream engine's own "more follows" is not a VISA status.
        {0x3FFC0107, 0x3FFF0085, "Unknown Status"},
        {0xBFFF0001, 0x3FFF0085, "Unknown Status"},
        {0x12345678, 0x3FFF0085, "Unknown Status"},
    };
    for (const auto &c : cases) {
        char text[256];
        memset(text, 'x', sizeof text);
        EXPECT_EQ(static_cast<uint32_t>(tqstream_error_message(0, static_cast<ViStatus>(c.status), text)), c.result)
            << std::hex << c.status;
        EXPECT_STREQ(text, c.text) << std::hex << c.status;
    }
}

// Every known text fits the smallest buffer callers may pass.
TEST(StreamStatus, EveryKnownTextFitsInAHundredAndThirtySixBytes)
{
    int known = 0;
    for (uint32_t base : {0x00000000u, 0x3FFF0000u, 0xBFFF0000u}) {
        for (uint32_t low = 0; low < 0x100; ++low) {
            char text[512];
            if (tqstream_error_message(0, static_cast<ViStatus>(base | low), text) == 0) {
                ++known;
                EXPECT_LT(strlen(text), 136u) << std::hex << (base | low);
            }
        }
    }
    EXPECT_EQ(known, 77);
}

TEST(StreamStatus, DebugTraceIsCutAtTwoHundredFiftyFiveCharacters)
{
    streamtest::DebugCapture capture;
    std::string longText(300, 'a');
    for (size_t i = 0; i < longText.size(); ++i)
        longText[i] = static_cast<char>('a' + i % 26);
    debugTrace("%s", longText.c_str());
    EXPECT_EQ(capture.text(), longText.substr(0, 255));
    capture.clear();
    debugTrace("retVal=%#x %d\n", static_cast<uint32_t>(0xbfff000e), 42);
    EXPECT_EQ(capture.text(), "retVal=0xbfff000e 42\n");
}

} // namespace
