// The road a driver takes through the shared library: the stream from the
// handle table, events to a handler and a waiter, a capture recorded while
// scans come in, and the file read back through the exported parser.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "stream_test_util.h"
#include "tq/platform/thread.h"
#include "tqstream.h"

TEST(StreamDriverRoad, CaptureAndEventsThroughTheHandleTable)
{
    TQStreamHandles h;
    ASSERT_EQ(tqstream_getHandles(&h), 0);
    int session = 0;
    TQStream *s = h.newStream("", 100.0, &session);
    ASSERT_NE(s, nullptr);
    // What a driver does at binding: its own release, both capture switches.
    s->streamRelease = [](TQStream **) -> int32_t { return 0; };
    EXPECT_EQ(s->streamSetWriteHeaderFirst(s, 1), 1);
    EXPECT_EQ(s->streamSetBigFile(s, 1), 1);
    h.setNumberChannels(s, 2);
    h.setScanSize(s, 4);
    EXPECT_EQ(s->streamGetOwner(s), &session);

    static uint32_t seen;
    seen = 0;
    s->streamInstallEventHandler(
        s, 1,
        [](TQStream *, uint32_t event, void *, uint32_t *, char *) -> int32_t {
            seen |= event;
            return 0;
        },
        nullptr, nullptr);

    TQCaptureChannel channels[2] = {};
    strcpy(channels[0].name, "AnalogChannel1");
    strcpy(channels[0].eu, "volts");
    channels[0].kind = TQ_XFRM_POLYNOMIAL;
    strcpy(channels[1].name, "EventChannel1");
    strcpy(channels[1].eu, "binary");
    channels[1].kind = TQ_XFRM_EVENT_BIT;
    double bit = 0;
    channels[1].coefficientCount = 1;
    channels[1].coefficients = &bit;
    TQCaptureHeader header{100.0, 1, 1700000000, 2, 0, channels};
    const std::string path = streamtest::scratchDir("road") + "/road.stm";
    ASSERT_EQ(h.commonCaptureOpen(s, path.c_str(), 1, &header), 0);
    ASSERT_EQ(h.isCapturing(s), 1);

    uint32_t word = 0;
    std::atomic<int32_t> waited{99};
    tq::platform::Thread waiter;
    waiter.start([&] { waited = s->streamWait(s, 1, 60000, &word, nullptr); });
    // The acquisition: blocks of scans under the stream's lock, each followed by the event.
    const int16_t block[8] = {1, 0, 2, 1, 3, 0, 4, 1};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(s->streamLock(s, 1000), 0);
        EXPECT_EQ(s->streamNewData(s, block, 4, 0), 0);
        EXPECT_NE(s->streamUnlock(s), 0);
        h.postEvent(s, 1, "new data from device", nullptr);
        tq::platform::sleepMs(5);
    }
    // The waiter may have arrived after the posts: one more until it is woken.
    while (waited == 99) {
        h.postEvent(s, 1, "new data from device", nullptr);
        tq::platform::sleepMs(5);
    }
    waiter.join();
    EXPECT_EQ(waited.load(), 0);
    EXPECT_EQ(word, 1u);
    EXPECT_EQ(seen, 1u);
    EXPECT_EQ(h.commonCaptureClose(s, nullptr), 0);

    int fd = ACQDOpenFile(path.c_str(), O_RDONLY, 0);
    TQParseContext ctx;
    ASSERT_EQ(ACQDParse(fd, &ctx), 1);
    EXPECT_EQ(ctx.formType, TQ_FORM_ST64);
    EXPECT_EQ(ctx.u.st64.channelCount, 2);
    EXPECT_STREQ(ctx.u.st64.channels[1].name, "EventChannel1");
    EXPECT_EQ(ctx.u.st64.dataLength, 3u * sizeof block);
    int16_t first[8];
    ASSERT_EQ(pread(fd, first, sizeof first, static_cast<off_t>(ctx.u.st64.dataPosition)), 16);
    EXPECT_EQ(0, memcmp(first, block, sizeof block));
    ACQDCloseReadFile(fd);
    for (int i = 0; i < ctx.u.st64.channelCount; ++i) {
        h.StreamCommonFree(ctx.u.st64.channels[i].coefficients);
        h.StreamCommonFree(ctx.u.st64.channels[i].sensorCoefficients);
    }
    h.StreamCommonFree(ctx.u.st64.channels);

    // Holders' releases do nothing; the driver destroys the stream itself.
    TQStream *holder = s;
    s->streamRelease(&holder);
    EXPECT_EQ(holder, s);
    h.destroyStream(s);
}
