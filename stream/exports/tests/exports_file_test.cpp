// The flat exports over the engine's real records: a replayed stream file,
// its text export and graph, message queues, the stream lock and waits, the
// formula engine.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "file/tests/filestream_test_util.h"
#include "core/tests/stream_test_util.h"
#include "tqstream.h"

namespace
{

constexpr int64_t kScans = 250;

double temperature(int64_t i)
{
    return 20.0 + 0.25 * static_cast<double>(i % 40);
}
double pressure(int64_t i)
{
    return 1000.0 - static_cast<double>(i);
}

class FileExports : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        dir = streamtest::scratchDir("exports");
        path = dir + "/bench7.stm";
        filetest::StrmSpec layout;
        layout.rate = 50.0;
        layout.channels = {{"temperature", "degC", TQ_XFRM_DOUBLE, {}, {}},
                           {"pressure", "mbar", TQ_XFRM_DOUBLE, {}, {}}};
        filetest::Bytes data;
        for (int64_t i = 0; i < kScans; ++i)
            data.f64(temperature(i)).f64(pressure(i));
        layout.data = data.bytes;
        ASSERT_TRUE(filetest::writeStrm(path, layout));
        ASSERT_EQ(tqstream_openFileStream(path.c_str(), &stream), VI_SUCCESS);
        ASSERT_NE(stream, nullptr);
    }
    void TearDown() override
    {
        if (stream) {
            EXPECT_EQ(tqstream_close(stream), VI_SUCCESS);
        }
    }

    std::string dir;
    std::string path;
    TQStream *stream = nullptr;
};

TEST_F(FileExports, DescribesTheRecording)
{
    char name[TQ_STREAM_NAME_SIZE];
    uint16_t length = 0;
    EXPECT_EQ(tqstream_getName(stream, name, sizeof name, &length), VI_SUCCESS);
    EXPECT_STREQ(name, "bench7");
    EXPECT_EQ(length, 6);
    double rate = 0;
    EXPECT_EQ(tqstream_getRate(stream, &rate), VI_SUCCESS);
    EXPECT_EQ(rate, 50.0);
    uint16_t channels = 0, scanSize = 0;
    EXPECT_EQ(tqstream_getNumberChannels(stream, &channels), VI_SUCCESS);
    EXPECT_EQ(tqstream_getScanSize(stream, &scanSize), VI_SUCCESS);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(scanSize, 16);

    TQStreamChannel *channel = nullptr;
    EXPECT_EQ(tqstream_getChannel(stream, "pressure", &channel), VI_SUCCESS);
    char unit[TQ_CHANNEL_EU_SIZE];
    EXPECT_EQ(tqstream_getChannelEU(channel, unit), VI_SUCCESS);
    EXPECT_STREQ(unit, "mbar");
    TQStream *owner = nullptr;
    EXPECT_EQ(tqstream_getStreamFromChannel(channel, &owner), VI_SUCCESS);
    EXPECT_EQ(owner, stream);
    EXPECT_EQ(static_cast<uint32_t>(tqstream_getChannel(stream, "nosuch", &channel)), 0xBFFF0078u);
    EXPECT_EQ(channel, nullptr);
    EXPECT_EQ(static_cast<uint32_t>(tqstream_getChannelByIndex(stream, 2, &channel)), 0xBFFF0078u);
}

TEST_F(FileExports, AveragesTheNewestScansWithoutConsumingThem)
{
    struct Case {
        int64_t asked;
        int64_t done;
    };
    for (const Case &c : {Case{10, 10}, Case{1, 1}, Case{kScans, kScans}, Case{kScans + 500, kScans}}) {
        double out[2] = {0, 0};
        int64_t done = 0;
        ASSERT_EQ(tqstream_getAveraged(stream, c.asked, &done, 2, out), VI_SUCCESS);
        ASSERT_EQ(done, c.done);
        double t = 0, p = 0;
        for (int64_t i = kScans - c.done; i < kScans; ++i) {
            t += temperature(i);
            p += pressure(i);
        }
        EXPECT_NEAR(out[0], t / static_cast<double>(c.done), 1e-9) << c.asked;
        EXPECT_NEAR(out[1], p / static_cast<double>(c.done), 1e-9) << c.asked;
    }
}

TEST_F(FileExports, ReadersThroughThe32BitTwinsAndValuesAtAnIndex)
{
    TQReader *reader = nullptr;
    ASSERT_EQ(tqstream_newReaderl(stream, 5, TQ_WHENCE_OLDEST, &reader), VI_SUCCESS);
    TQStream *owner = nullptr;
    EXPECT_EQ(tqstream_getStreamFromReader(reader, &owner), 0);
    EXPECT_EQ(owner, stream);
    int32_t avail = 0;
    EXPECT_EQ(tqstream_readerAvaill(reader, &avail), VI_SUCCESS);
    EXPECT_EQ(avail, kScans - 5);

    double block[4 * 2];
    int32_t got = 0;
    EXPECT_EQ(tqstream_readerReadl(reader, block, 4, &got), VI_SUCCESS);
    ASSERT_EQ(got, 4);
    TQStreamChannel *pressureChannel = nullptr;
    ASSERT_EQ(tqstream_getChannelByIndex(stream, 1, &pressureChannel), VI_SUCCESS);
    double v = 0;
    EXPECT_EQ(tqstream_getChannelEvalEx(pressureChannel, block, 3, &v), VI_SUCCESS);
    EXPECT_EQ(v, pressure(8));

    TQPiece *pieces = nullptr;
    int64_t reserved = 0;
    EXPECT_EQ(tqstream_readerReserveRead(reader, &pieces, nullptr, 6, &reserved), VI_SUCCESS);
    ASSERT_EQ(reserved, 6);
    EXPECT_EQ(tqstream_getChannelEvalEx2(pressureChannel, pieces, 5, &v), VI_SUCCESS);
    EXPECT_EQ(v, pressure(14));
    EXPECT_EQ(tqstream_getChannelEvalEx2(pressureChannel, pieces, 6, &v), VI_SUCCESS);
    EXPECT_TRUE(std::isnan(v));
    int32_t completed = 0;
    EXPECT_EQ(tqstream_readerCompleteReadl(reader, 6, &completed), VI_SUCCESS);
    EXPECT_EQ(completed, 6);

    TQReader *kept = reader;
    EXPECT_EQ(tqstream_readerClose(reader), VI_SUCCESS);
    EXPECT_EQ(reader, kept) << "the caller's variable is left as it was";
}

TEST_F(FileExports, TextExportOfAFileAndItsFailures)
{
    const std::string text = dir + "/bench7.txt";
    EXPECT_EQ(tqstream_convertFileStreamAscii(path.c_str(), text.c_str()), VI_SUCCESS);
    const std::string written = streamtest::readFile(text);
    EXPECT_NE(written.find("pressure"), std::string::npos);
    EXPECT_NE(written.find("751"), std::string::npos) << "the last scan's pressure";

    const std::string missing = dir + "/missing.stm";
    EXPECT_EQ(static_cast<uint32_t>(tqstream_convertFileStreamAscii(missing.c_str(), text.c_str())), 0xBFFF0000u);
    TQStream *untouched = stream;
    EXPECT_EQ(static_cast<uint32_t>(tqstream_openFileStream(missing.c_str(), &untouched)), 0xBFFF00A1u);
}

TEST_F(FileExports, GraphIsWrittenWholeOrReportedAsFailed)
{
    const std::string png = dir + "/bench7.png";
    int fd = open(png.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(tqstream_writeGraph(stream, fd, 320, 200, 4, 0.0, 5.0), VI_SUCCESS);
    close(fd);
    const std::string image = streamtest::readFile(png);
    ASSERT_GT(image.size(), 8u);
    EXPECT_EQ(image.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
    EXPECT_NE(image.find("IEND"), std::string::npos);

    // A descriptor that takes nothing: the image is lost, and the caller told.
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    close(pipeFds[0]);
    EXPECT_EQ(static_cast<uint32_t>(tqstream_writeGraph(stream, -1, 320, 200, 4, 0.0, 5.0)), 0xBFFF0000u);
    signal(SIGPIPE, SIG_IGN);
    EXPECT_EQ(static_cast<uint32_t>(tqstream_writeGraph(stream, pipeFds[1], 320, 200, 4, 0.0, 5.0)), 0xBFFF0000u);
    close(pipeFds[1]);

    void *img = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(tqstream_getGraph(stream, 100, 80, 4, 0.0, 5.0, &img, &size), VI_SUCCESS);
    EXPECT_NE(img, nullptr);
    EXPECT_GT(size, 8u);
    EXPECT_EQ(tqstream_freeGraph(stream, img), VI_SUCCESS);
}

TEST_F(FileExports, LockUnlockAndWait)
{
    EXPECT_EQ(tqstream_lock(stream, 100), VI_SUCCESS);
    EXPECT_EQ(tqstream_unlock(stream), VI_SUCCESS);
    EXPECT_EQ(static_cast<uint32_t>(tqstream_unlock(stream)), 0xBFFF0000u) << "not held any more";
    uint32_t event = 0;
    char message[256];
    EXPECT_EQ(tqstream_wait(stream, 0x1, 10, &event, message), TQS_ERR_WAIT_TIMEOUT);
}

TEST(QueueExports, ReadResultsAndClose)
{
    TQStreamMsg *queue = nullptr;
    ASSERT_EQ(tqstream_streamMsgCreate(64, &queue), VI_SUCCESS);
    char buffer[8];
    uint32_t length = 0;
    EXPECT_EQ(static_cast<uint32_t>(tqstream_streamMsgRead(queue, buffer, sizeof buffer, &length)), 0x3FFF0004u);
    ASSERT_EQ(queue->streamMsgPrintf(queue, "%s", "a long message"), 0);
    EXPECT_EQ(static_cast<uint32_t>(tqstream_streamMsgRead(queue, buffer, sizeof buffer, &length)), 0x3FFC0107u);
    EXPECT_STREQ(buffer, "a long ");
    uint32_t capacity = 0;
    EXPECT_EQ(tqstream_streamMsgSize(queue, &capacity), VI_SUCCESS);
    EXPECT_EQ(capacity, 64u);
    EXPECT_EQ(tqstream_streamMsgLock(queue, 10), VI_SUCCESS);
    EXPECT_EQ(tqstream_streamMsgUnlock(queue), VI_SUCCESS);
    EXPECT_EQ(static_cast<uint32_t>(tqstream_streamMsgUnlock(queue)), 0xBFFF0000u);
    TQStreamMsg *kept = queue;
    EXPECT_EQ(tqstream_streamMsgClose(queue), VI_SUCCESS);
    EXPECT_EQ(queue, kept);
    EXPECT_EQ(static_cast<uint32_t>(tqstream_streamMsgCreate(0, &queue)), 0xBFFF003Cu);
}

TEST(FormulaExports, EngineStreamAndFailures)
{
    TQFormulaEngine *engine = nullptr;
    ASSERT_EQ(tqstream_newFormulaEngine(nullptr, &engine), VI_SUCCESS);
    TQStream *output = nullptr;
    EXPECT_EQ(tqstream_formulaEngineGetStream(engine, "formulas", &output), VI_SUCCESS);
    ASSERT_NE(output, nullptr);
    char name[TQ_STREAM_NAME_SIZE];
    EXPECT_EQ(tqstream_getName(output, name, sizeof name, nullptr), VI_SUCCESS);
    EXPECT_STREQ(name, "formulas");
    const std::string tooLong(2000, '1');
    EXPECT_EQ(static_cast<uint32_t>(tqstream_formulaEngineAddFormula(engine, "x", "=", tooLong.c_str())), 0xBFFF0000u);
    EXPECT_EQ(tqstream_formulaEngineAddFormula(engine, "y", "=", "2 * 3"), VI_SUCCESS);
    EXPECT_EQ(tqstream_close(output), VI_SUCCESS);
    TQFormulaEngine *kept = engine;
    EXPECT_EQ(tqstream_formulaEngineClose(engine), VI_SUCCESS);
    EXPECT_EQ(engine, kept);
}

} // namespace
