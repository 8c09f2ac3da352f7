// The stream a session binds: what the driver puts into it, channel
// lookups and converters, device readers, capture with the model's header,
// and teardown with readers still held. This program never loads the
// stream library itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "testmodel.h"
#include "tq/driver/status.h"
#include "tq/platform/dynlib.h"

namespace
{

namespace fs = std::filesystem;

std::string readFile(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Streams : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_EQ(tqtest_init(nullptr, 0, 0, &vi_), VI_SUCCESS);
        ASSERT_EQ(tqtest_getStream(vi_, "bench", &stream_), VI_SUCCESS);
        ASSERT_NE(stream_, nullptr);
    }
    void TearDown() override
    {
        if (vi_) {
            EXPECT_EQ(tqtest_close(vi_), VI_SUCCESS);
        }
    }
    void enable(ViInt16 channel, ViBoolean on = 1) { ASSERT_EQ(tqtest_setChannelEnable(vi_, channel, on), VI_SUCCESS); }
    TQReader *reader(int64_t position = 0, int32_t whence = TQ_WHENCE_OLDEST)
    {
        TQReader *r = stream_->streamNewReader(stream_, position, whence);
        EXPECT_NE(r, nullptr);
        return r;
    }
    static fs::path directory()
    {
        const char *dir = getenv("TQ_STREAM_TEST_DIR");
        fs::path p = dir ? dir : fs::temp_directory_path() / "drivers_stream_test";
        fs::create_directories(p);
        return p;
    }

    ViSession vi_ = VI_NULL;
    TQStream *stream_ = nullptr;
};

TEST_F(Streams, BoundWithTheDriversOperationsAndNeverReleasedByHolders)
{
    EXPECT_STREQ(stream_->streamGetName(stream_), "bench");
    EXPECT_NE(stream_->streamGetOwner(stream_), nullptr);
    EXPECT_EQ(stream_->streamGetWriteHeaderFirst(stream_), 1);
    EXPECT_EQ(stream_->streamGetBigFile(stream_), 1);
    EXPECT_EQ(stream_->streamGetRate(stream_), 100.0) << "the model's default rate";
    // Holders add and drop references without effect.
    TQStream *held = stream_;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(held->streamRelease(&held), 0);
    EXPECT_EQ(held, stream_);
    EXPECT_EQ(stream_->streamAddRef(stream_), 0);
    EXPECT_EQ(stream_->streamRelease(&held), 0);
    EXPECT_STREQ(stream_->streamGetName(stream_), "bench") << "still alive";
    EXPECT_EQ(stream_->streamGetScansWritten(stream_), 0);
    ASSERT_EQ(tqtest_setRate(vi_, 500.0), VI_SUCCESS);
    EXPECT_EQ(stream_->streamGetRate(stream_), 500.0);

    // Each session has its own stream.
    ViSession other = VI_NULL;
    TQStream *second = nullptr;
    ASSERT_EQ(tqtest_init(nullptr, 0, 0, &other), VI_SUCCESS);
    ASSERT_EQ(tqtest_getStream(other, "other", &second), VI_SUCCESS);
    EXPECT_NE(second, stream_);
    EXPECT_EQ(tqtest_close(other), VI_SUCCESS);
    EXPECT_STREQ(stream_->streamGetName(stream_), "bench");
}

TEST_F(Streams, ChannelsByNameAndByEnabledIndex)
{
    EXPECT_EQ(stream_->streamGetNumberChannels(stream_), 0);
    enable(2);
    enable(TQTEST_ANALOG_CHANNELS + 2); // event channel 2
    EXPECT_EQ(stream_->streamGetNumberChannels(stream_), 2);
    EXPECT_EQ(stream_->streamGetScanSize(stream_), 4);

    TQStreamChannel *a1 = stream_->streamGetChannel(stream_, "Analog1");
    ASSERT_NE(a1, nullptr) << "disabled channels are found by name";
    EXPECT_STREQ(a1->name, "Analog1");
    EXPECT_STREQ(a1->eu, "volts");
    EXPECT_EQ(a1->ownerWord, 1);
    EXPECT_EQ(a1->stream, stream_);
    EXPECT_EQ(stream_->streamGetChannel(stream_, "analog1"), nullptr) << "exact names";
    EXPECT_EQ(stream_->streamGetChannel(stream_, "Analog"), nullptr);
    EXPECT_EQ(stream_->streamGetChannel(stream_, nullptr), nullptr);
    TQStreamChannel *e3 = stream_->streamGetChannel(stream_, "Event3");
    ASSERT_NE(e3, nullptr);
    EXPECT_STREQ(e3->eu, "binary");

    TQStreamChannel *first = stream_->streamGetChannelByIndex(stream_, 0);
    TQStreamChannel *second = stream_->streamGetChannelByIndex(stream_, 1);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_STREQ(first->name, "Analog2");
    EXPECT_STREQ(second->name, "Event2");
    EXPECT_EQ(stream_->streamGetChannelByIndex(stream_, 2), nullptr);
    EXPECT_EQ(stream_->streamGetChannelByIndex(stream_, -1), nullptr);

    ASSERT_EQ(tqtest_setChannelName(vi_, 2, "Strain"), VI_SUCCESS);
    EXPECT_EQ(stream_->streamGetChannel(stream_, "Strain"), first);
}

TEST_F(Streams, ReadersSeeTheScansAndTheConvertersReadThem)
{
    enable(1);
    enable(2);
    enable(TQTEST_ANALOG_CHANNELS + 1);
    ASSERT_EQ(tqtest_setChannelScale(vi_, 2, 0.5), VI_SUCCESS);
    ASSERT_EQ(tqtest_setChannelRange(vi_, 2, 3), VI_SUCCESS);
    TQReader *r = reader();
    EXPECT_EQ(r->refCount, 2) << "the caller's and the stream's list";
    EXPECT_EQ(r->readerGetStream(r), stream_);
    ASSERT_EQ(tqtest_writeScans(vi_, 5, 10), VI_SUCCESS);
    EXPECT_EQ(stream_->streamGetScansWritten(stream_), 5);
    EXPECT_EQ(r->readerAvail(r), 5);

    unsigned char scans[5 * 6];
    ASSERT_EQ(r->readerRead(r, scans, 5), 5);
    TQStreamChannel *a2 = stream_->streamGetChannel(stream_, "Analog2");
    TQStreamChannel *e1 = stream_->streamGetChannel(stream_, "Event1");
    for (int i = 0; i < 5; ++i) {
        const unsigned char *scan = scans + 6 * i;
        EXPECT_EQ(a2->streamChannelEvalRaw(a2, scan), 2.0 * (10 + i));
        EXPECT_EQ(a2->streamChannelEval(a2, scan), 0.5 * 2.0 * (10 + i)) << "the scale of the current range";
        EXPECT_EQ(e1->streamChannelEvalRaw(e1, scan), 10.0 + i);
        EXPECT_EQ(e1->streamChannelEval(e1, scan), (10 + i) & 1 ? 1.0 : 0.0);
    }
    EXPECT_EQ(r->readerAvail(r), 0);
    // Closed from outside: unlinked, then the caller's reference.
    EXPECT_EQ(r->readerUnlink(r), 0);
    EXPECT_EQ(r->refCount, 1);
    EXPECT_EQ(r->readerRelease(&r), 0);
    EXPECT_EQ(r, nullptr);
}

TEST_F(Streams, ReaderPositionsReservationsAndWrap)
{
    enable(1);
    ASSERT_EQ(tqtest_writeScans(vi_, TQTEST_RING_SCANS + 6, 0), VI_SUCCESS); // the oldest 6 are gone
    TQReader *r = reader(2, TQ_WHENCE_OLDEST);
    int64_t count = 0, position = -1;
    void *data = r->readerPeek(r, &count, &position);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(position, 8) << "two after the oldest kept scan";
    EXPECT_EQ(count, TQTEST_RING_SCANS - 8) << "contiguous up to the ring's end";
    int16_t first;
    memcpy(&first, data, 2);
    EXPECT_EQ(first, 8);
    EXPECT_EQ(r->readerSeek(r, -3, TQ_WHENCE_NEWEST), -3);
    EXPECT_EQ(r->readerAvail(r), 3);
    EXPECT_EQ(r->readerSeek(r, -100, TQ_WHENCE_CURRENT), -(TQTEST_RING_SCANS - 3)) << "clamped at the oldest";
    EXPECT_EQ(r->readerSeek(r, 0, TQ_WHENCE_NEWEST), 0);

    // A reservation across the ring's end comes in two pieces.
    ASSERT_EQ(r->readerSeek(r, 4, TQ_WHENCE_OLDEST), 4);
    TQPiece *pieces = nullptr;
    uint32_t n = 0;
    ASSERT_EQ(r->readerReserveRead(r, &pieces, &n, 100), TQTEST_RING_SCANS - 4);
    ASSERT_EQ(n, 2u);
    EXPECT_EQ(pieces[0].length, 2u * (TQTEST_RING_SCANS - 10)) << "scans 10 to 15 of the ring";
    EXPECT_EQ(pieces[1].length, 2u * 6) << "then 16 to 21 from its start";
    EXPECT_EQ(pieces[2].data, nullptr);
    EXPECT_EQ(r->readerReserveRead(r, &pieces, &n, 1), 0) << "one reservation at a time";
    EXPECT_EQ(r->readerCompleteRead(r, 100), TQTEST_RING_SCANS - 4) << "clamped to what was reserved";
    EXPECT_EQ(r->readerAvail(r), 0);
    EXPECT_EQ(r->readerRelease(&r), 0);
    EXPECT_NE(r, nullptr) << "the stream's list keeps it";
}

TEST_F(Streams, ReadersHeldPastCloseAnswerEmptyAndReleaseSafely)
{
    enable(1);
    ASSERT_EQ(tqtest_writeScans(vi_, 4, 1), VI_SUCCESS);
    TQReader *idle = reader();
    TQReader *reserving = reader();
    TQPiece *pieces = nullptr;
    ASSERT_EQ(reserving->readerReserveRead(reserving, &pieces, nullptr, 3), 3);
    TQReader *extra = reader();
    EXPECT_EQ(extra->readerAddRef(extra), 0);

    ASSERT_EQ(tqtest_close(vi_), VI_SUCCESS);
    vi_ = VI_NULL;
    // The stream and the session are gone, the stream library is still
    // loaded (the readers' own functions live there).
    for (TQReader *r : {idle, reserving, extra}) {
        EXPECT_EQ(r->readerGetStream(r), nullptr);
        EXPECT_EQ(r->readerAvail(r), 0);
        int64_t count = 7, position = 0;
        EXPECT_EQ(r->readerPeek(r, &count, &position), nullptr);
        EXPECT_EQ(count, 0);
        EXPECT_EQ(r->readerSeek(r, 0, TQ_WHENCE_NEWEST), 0);
        unsigned char buffer[64];
        EXPECT_EQ(r->readerRead(r, buffer, 4), 0);
        EXPECT_EQ(r->readerUnlink(r), 0);
    }
    EXPECT_EQ(reserving->readerCompleteRead(reserving, 3), 0);
    EXPECT_EQ(idle->readerRelease(&idle), 0);
    EXPECT_EQ(idle, nullptr);
    EXPECT_EQ(reserving->readerRelease(&reserving), 0) << "drops the open reservation";
    EXPECT_EQ(extra->readerRelease(&extra), 0);
    EXPECT_NE(extra, nullptr) << "one reference left";
    EXPECT_EQ(extra->readerAvail(extra), 0);
    EXPECT_EQ(extra->readerRelease(&extra), 0);
    EXPECT_EQ(extra, nullptr);
}

TEST_F(Streams, ReadersUnlinkedByTheirHoldersBeforeClose)
{
    enable(1);
    TQReader *r = reader();
    EXPECT_EQ(r->readerUnlink(r), 0);
    EXPECT_EQ(r->readerGetStream(r), nullptr);
    ASSERT_EQ(tqtest_writeScans(vi_, 2, 0), VI_SUCCESS);
    EXPECT_EQ(r->readerAvail(r), 0) << "no longer a reader of the stream";
    EXPECT_EQ(r->readerRelease(&r), 0);
    EXPECT_EQ(r, nullptr);
}

TEST_F(Streams, CaptureWithTheHeaderFirst)
{
    enable(1);
    enable(TQTEST_ANALOG_CHANNELS + 2);
    const fs::path file = directory() / "first.stm";
    fs::remove(file);
    ASSERT_EQ(stream_->streamCaptureOpen(stream_, file.c_str(), 0), VI_SUCCESS);
    EXPECT_EQ(stream_->streamCaptureOpen(stream_, file.c_str(), 0), VI_ERROR_INV_SETUP) << "already capturing";
    const std::string atOpen = readFile(file);
    EXPECT_EQ(atOpen.substr(0, 4), "FO64");
    EXPECT_NE(atOpen.find("Analog1"), std::string::npos) << "the model's descriptors, written at open";
    EXPECT_NE(atOpen.find("Event2"), std::string::npos);
    EXPECT_EQ(atOpen.find("Analog2"), std::string::npos) << "only enabled channels";
    EXPECT_EQ(stream_->streamCaptureClose(stream_), 0);
    EXPECT_EQ(stream_->streamCaptureClose(stream_), TQS_ERR_NO_CAPTURE);
    EXPECT_EQ(stream_->streamCaptureOpen(stream_, (directory() / "9bad.stm").c_str(), 0), VI_ERROR_SYSTEM_ERROR);
}

TEST_F(Streams, CaptureWithTheHeaderAtClose)
{
    ASSERT_EQ(stream_->streamSetWriteHeaderFirst(stream_, 0), 0);
    ASSERT_EQ(stream_->streamSetBigFile(stream_, 0), 0);
    enable(2);
    const fs::path file = directory() / "last.stm";
    fs::remove(file);
    ASSERT_EQ(stream_->streamCaptureOpen(stream_, file.c_str(), 0), VI_SUCCESS);
    EXPECT_FALSE(fs::exists(file)) << "the data goes to the .ad file until close";
    ASSERT_EQ(stream_->streamCaptureClose(stream_), 0);
    const std::string done = readFile(file);
    EXPECT_EQ(done.substr(0, 4), "FORM");
    EXPECT_NE(done.find("Analog2"), std::string::npos) << "the header built at close";
}

TEST_F(Streams, CloseCompletesACaptureWhileTheChannelsAreWhole)
{
    ASSERT_EQ(stream_->streamSetWriteHeaderFirst(stream_, 0), 0);
    enable(2);
    const fs::path file = directory() / "atclose.stm";
    fs::remove(file);
    ASSERT_EQ(stream_->streamCaptureOpen(stream_, file.c_str(), 0), VI_SUCCESS);
    ASSERT_EQ(tqtest_close(vi_), VI_SUCCESS);
    vi_ = VI_NULL;
    const std::string done = readFile(file);
    EXPECT_EQ(done.substr(0, 4), "FO64");
    EXPECT_NE(done.find("Analog2"), std::string::npos) << "described before the model let its channels go";
}

TEST_F(Streams, CloseCompletesAnOpenCapture)
{
    enable(1);
    const fs::path file = directory() / "open.stm";
    fs::remove(file);
    ASSERT_EQ(stream_->streamCaptureOpen(stream_, file.c_str(), 0), VI_SUCCESS);
    const auto atOpen = fs::file_size(file);
    ASSERT_EQ(tqtest_close(vi_), VI_SUCCESS);
    vi_ = VI_NULL;
    EXPECT_EQ(fs::file_size(file), atOpen) << "closed, nothing further written";
    EXPECT_EQ(readFile(file).substr(0, 4), "FO64");
}

// A copy of the driver beside a "stream library" without the handle table
// export: every open fails for want of memory and leaves no session.
TEST(StreamBinding, FailsWithoutTheHandleTable)
{
    const fs::path dir = fs::path(getenv("TQ_STREAM_TEST_DIR") ? getenv("TQ_STREAM_TEST_DIR") : "/tmp") / "nolib";
    fs::create_directories(dir);
    const fs::path driver = tq::platform::libraryFileName(tq::platform::loadLibrary(TQ_TEST_DRIVER));
    ASSERT_FALSE(driver.empty());
    fs::copy_file(driver, dir / "libtqpcopy_32.so", fs::copy_options::overwrite_existing);
    fs::copy_file(TQ_PARTIAL_VISA, dir / "libtqstream_32.so", fs::copy_options::overwrite_existing);
    tq::platform::LibraryHandle copy = tq::platform::loadLibrary((dir / "libtqpcopy_32.so").string());
    ASSERT_NE(copy, nullptr) << tq::platform::lastLibraryError();
    auto init = reinterpret_cast<decltype(&tqtest_init)>(tq::platform::findSymbol(copy, "tqtest_init"));
    auto message =
        reinterpret_cast<decltype(&tqtest_error_message)>(tq::platform::findSymbol(copy, "tqtest_error_message"));
    ASSERT_TRUE(init && message);
    ViSession vi = 0x77;
    EXPECT_EQ(init(nullptr, 0, 0, &vi), VI_ERROR_ALLOC);
    EXPECT_EQ(vi, VI_NULL);
    EXPECT_EQ(init(const_cast<ViRsrc>(""), 0, 0, &vi), VI_ERROR_ALLOC);
    // This driver describes statuses with its newest session, and has none.
    char text[256];
    EXPECT_EQ(message(0, TQ_WARN_ALREADY_RUNNING, text), VI_ERROR_SYSTEM_ERROR);
    tq::platform::freeLibrary(copy);
}

} // namespace
