// Text export of a graph object's time window: the text written, progress
// events, a listener stopping it, and the failures it reports.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "display/displayimpl.h"
#include "core/tests/memstream.h"
#include "core/streamimpl.h"

namespace
{

// 2024-03-05 09:07:02 UTC.
constexpr int64_t kStart = 1709629622;

int64_t indexOf(const void *scan)
{
    int64_t v;
    memcpy(&v, scan, sizeof v);
    return v;
}

double halfIndex(TQStreamChannel *, const void *scan)
{
    return static_cast<double>(indexOf(scan)) * 0.5;
}

double quarterIndex(TQStreamChannel *, const void *scan)
{
    return static_cast<double>(indexOf(scan)) * 0.25;
}

struct Events {
    std::vector<std::string> messages;
    size_t stopAt = 0; // answer "stop" to this progress event (1-based); 0: never
    char buffer[TQ_STREAM_MESSAGE_SIZE];

    static int32_t handler(TQStream *, uint32_t event, void *user, uint32_t *clearMask, char *message)
    {
        auto *self = static_cast<Events *>(user);
        EXPECT_EQ(event, 2u);
        self->messages.emplace_back(message);
        if (self->stopAt && self->messages.size() == self->stopAt)
            *clearMask = 2;
        return 0;
    }
};

struct Export : ::testing::Test {
    memstream::Owner owner;
    TQGraphObject *go = nullptr;
    Events events;
    std::string path;

    static void SetUpTestSuite()
    {
        setenv("TZ", "UTC", 1);
        tzset();
    }

    void make(double rate, int64_t written, bool channels = true)
    {
        memstream::make(owner, "src", rate,
                        channels ? std::vector<std::string>{"ch1", "t1"} : std::vector<std::string>{}, 1 << 14);
        if (channels) {
            owner.channels[0].streamChannelEval = halfIndex;
            snprintf(owner.channels[0].eu, sizeof owner.channels[0].eu, "volts");
            owner.channels[1].streamChannelEval = quarterIndex;
            snprintf(owner.channels[1].eu, sizeof owner.channels[1].eu, "degrees_c");
        }
        owner.stream->startTime = kStart;
        owner.write(written);
        TQStream *s = owner.stream;
        ASSERT_EQ(s->streamInstallEventHandler(s, 2, Events::handler, &events, events.buffer), 0);
        TQDisplayWindow *window = s->streamGetDisplayWindowByIndex(s, 0);
        go = window->displayWindowNewGraphObject(window, "g", 0, 0, 100, 100);
        ASSERT_NE(go, nullptr);
        char name[] = "/tmp/tq_export_XXXXXX";
        int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        close(fd);
        path = name;
    }
    void window(double start, double duration)
    {
        go->graphObjectSetStartTime(go, start);
        go->graphObjectSetDuration(go, duration);
    }
    int32_t convert() { return go->graphObjectConvertToAscii(go, path.c_str()); }

    void TearDown() override
    {
        if (go)
            go->graphObjectSlotRelease(&go);
        if (owner.stream)
            owner.stream->streamRelease(&owner.stream);
        if (!path.empty())
            remove(path.c_str());
    }

    std::string text() const
    {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        std::istringstream in(text());
        for (std::string line; std::getline(in, line);)
            out.push_back(line);
        return out;
    }
};

TEST_F(Export, GoldenText)
{
    make(4.0, 40);
    struct Case {
        double start, duration;
        const char *text;
    } cases[] = {
        {0.0, 1.0,
         "TimeStamp\tElapsedTime\tch1(volts)\tt1(degrees_c)\n"
         "2024/3/5 9:7:2.000000\t0.000000\t0.000000\t0.000000\n"
         "2024/3/5 9:7:2.250000\t0.250000\t0.500000\t0.250000\n"
         "2024/3/5 9:7:2.500000\t0.500000\t1.000000\t0.500000\n"
         "2024/3/5 9:7:2.750000\t0.750000\t1.500000\t0.750000\n"},
        {2.0, 0.5,
         "TimeStamp\tElapsedTime\tch1(volts)\tt1(degrees_c)\n"
         "2024/3/5 9:7:4.000000\t2.000000\t4.000000\t2.000000\n"
         "2024/3/5 9:7:4.250000\t2.250000\t4.500000\t2.250000\n"},
        // 58 s later the minute turns: nothing is zero-padded.
        {58.0, 0.25,
         "TimeStamp\tElapsedTime\tch1(volts)\tt1(degrees_c)\n"
         "2024/3/5 9:8:0.000000\t58.000000\t116.000000\t58.000000\n"},
    };
    owner.write(400);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.start);
        window(c.start, c.duration);
        EXPECT_EQ(convert(), 0);
        EXPECT_EQ(text(), c.text);
    }
}

TEST_F(Export, ProgressEveryTwentyScansThenAnEmptyClosingEvent)
{
    make(1000.0, 3000);
    window(2.0, 0.5);
    ASSERT_EQ(convert(), 0);
    std::vector<std::string> l = lines();
    ASSERT_EQ(l.size(), 501u);
    EXPECT_EQ(l[1], "2024/3/5 9:7:4.000000\t2.000000\t1000.000000\t500.000000");
    EXPECT_EQ(l[500], "2024/3/5 9:7:4.499000\t2.499000\t1249.500000\t624.750000");

    ASSERT_EQ(events.messages.size(), 26u);
    for (size_t i = 0; i < 25; ++i) {
        char expected[64];
        snprintf(expected, sizeof expected, "src ASCII conversion: %zu.00%%", i * 4);
        EXPECT_EQ(events.messages[i], expected);
    }
    EXPECT_EQ(events.messages.back(), "");
}

TEST_F(Export, AListenerStopsItAfterTheLineOfItsEvent)
{
    make(1000.0, 3000);
    window(2.0, 0.5);
    struct Case {
        size_t stopAt;
        size_t dataLines;
    } cases[] = {{1, 1}, {3, 41}, {25, 481}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.stopAt);
        events.messages.clear();
        events.stopAt = c.stopAt;
        EXPECT_EQ(convert(), -19);
        std::vector<std::string> l = lines();
        EXPECT_EQ(l.size(), 1 + c.dataLines);
        ASSERT_EQ(events.messages.size(), c.stopAt + 1);
        EXPECT_EQ(events.messages.back(), ""); // the closing event is still posted
    }
}

TEST_F(Export, WindowsAgainstTheDataKept)
{
    make(1000.0, 2100);
    struct Case {
        double start, duration;
        size_t dataLines;
        const char *first; // the first data line's elapsed time
    } cases[] = {
        {2.0, 0.5, 100, "2.000000"},  // reaches past the newest scan: ends there
        {-0.5, 0.5, 500, "1.600000"}, // live: the last half second
        {-1.0, 0.5, 500, "1.100000"}, // live, ending half a second before the newest
        {3.0, 1.0, 0, nullptr},       // all after the newest scan
        {0.0, -1.0, 0, nullptr},      // no length
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.start);
        window(c.start, c.duration);
        EXPECT_EQ(convert(), 0);
        std::vector<std::string> l = lines();
        ASSERT_EQ(l.size(), 1 + c.dataLines);
        if (c.first) {
            EXPECT_EQ(l[1].substr(l[1].find('\t') + 1, strlen(c.first)), c.first);
        }
    }
}

// A stamp whose fraction rounds up to a whole second carries into the
// seconds rather than being written a second early.
TEST_F(Export, StampsRoundBeforeTheyAreSplit)
{
    make(1.0 / 0.9999996, 10);
    window(0.0, 2.5);
    ASSERT_EQ(convert(), 0);
    std::vector<std::string> l = lines();
    ASSERT_EQ(l.size(), 3u);
    EXPECT_EQ(l[1].substr(0, l[1].find('\t')), "2024/3/5 9:7:2.000000");
    EXPECT_EQ(l[2].substr(0, l[2].find('\t')), "2024/3/5 9:7:3.000000");
}

TEST_F(Export, AStreamWithoutChannelsWritesStampsAndElapsedTimeOnly)
{
    make(2.0, 10, false);
    window(0.0, 1.0);
    ASSERT_EQ(convert(), 0);
    EXPECT_EQ(text(), "TimeStamp\tElapsedTime\n"
                      "2024/3/5 9:7:2.000000\t0.000000\n"
                      "2024/3/5 9:7:2.500000\t0.500000\n");
}

TEST_F(Export, FailuresAreReported)
{
    make(10.0, 100);
    window(0.0, 1.0);
    // A file that cannot be made, and one whose text cannot be written.
    EXPECT_EQ(go->graphObjectConvertToAscii(go, "/nonexistent-dir/out.txt"), -11);
    EXPECT_EQ(go->graphObjectConvertToAscii(go, nullptr), -11);
    if (access("/dev/full", W_OK) == 0) {
        EXPECT_EQ(go->graphObjectConvertToAscii(go, "/dev/full"), -11);
    }

    // A stream that gives no reader: the file is left empty.
    owner.stream->streamNewReader = [](TQStream *, int64_t, int32_t) -> TQReader * { return nullptr; };
    EXPECT_EQ(convert(), -6);
    EXPECT_EQ(text(), "");

    // A graph object out of any window has no time window to export:
    // nothing is written, and that is no error.
    remove(path.c_str());
    TQDisplayWindow *w = owner.stream->streamGetDisplayWindowByIndex(owner.stream, 0);
    w->displayWindowRemoveGraphObject(w, go);
    EXPECT_EQ(convert(), 0);
    EXPECT_EQ(tqstream_convertGraphObjectToAscii(go, path.c_str()), VI_SUCCESS);
    EXPECT_NE(access(path.c_str(), F_OK), 0);
    go->graphObjectSlotRelease(&go); // the reference the window's list held
}

} // namespace
