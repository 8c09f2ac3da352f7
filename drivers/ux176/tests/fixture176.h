// What the model 176 tests share: simulated devices plugged in through the
// simulated USB library's test control, sessions closed after each test,
// a status-line sink and helpers to read the stream scan by scan.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tq/platform/thread.h"
#include "tq/simusb.h"
#include "tqstream.h"
#include "ux176.h"

namespace ux176test
{

constexpr const char *kSerial = "1234";
constexpr const char *kName = "usb0::0x3c5a::176::1234";

class LineSink
{
  public:
    LineSink() { StreamMsgCommonCreate(1 << 16, &queue_); }
    ~LineSink()
    {
        if (queue_)
            queue_->streamMsgRelease(&queue_);
    }
    TQStreamMsg *get() const { return queue_; }
    std::vector<std::string> take()
    {
        std::vector<std::string> lines;
        char buffer[1024];
        uint32_t length = 0;
        queue_->streamMsgLock(queue_, 1000);
        while (queue_->streamMsgRead(queue_, buffer, sizeof buffer, &length) != 2)
            lines.emplace_back(buffer);
        queue_->streamMsgUnlock(queue_);
        return lines;
    }

  private:
    TQStreamMsg *queue_ = nullptr;
};

class UsbTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        simusb_reset();
        ASSERT_EQ(simusb_addDevice(kSerial, ""), 0);
    }
    void TearDown() override
    {
        for (ViSession vi : open_)
            ux176_close(vi);
        open_.clear();
        EXPECT_EQ(simusb_openHandleCount(), 0u) << "device handles left open";
        simusb_reset();
    }

    ViSession open(const char *name = kName, ViBoolean reset = 0)
    {
        ViSession vi = VI_NULL;
        EXPECT_EQ(ux176_init(const_cast<ViRsrc>(name), 0, reset, &vi), VI_SUCCESS) << name;
        if (vi)
            open_.push_back(vi);
        return vi;
    }
    ViSession openWithoutHardware()
    {
        ViSession vi = VI_NULL;
        EXPECT_EQ(ux176_init(nullptr, 0, 0, &vi), VI_SUCCESS);
        if (vi)
            open_.push_back(vi);
        return vi;
    }
    void close(ViSession vi)
    {
        std::erase(open_, vi);
        EXPECT_EQ(ux176_close(vi), VI_SUCCESS);
    }
    static uint16_t reg(uint8_t r, const char *serial = kSerial)
    {
        uint16_t v = 0;
        EXPECT_EQ(simusb_getRegister(serial, r, &v), 0);
        return v;
    }
    static TQStream *stream(ViSession vi)
    {
        TQStream *s = nullptr;
        EXPECT_EQ(ux176_getStream(vi, "s176", &s), VI_SUCCESS);
        return s;
    }
    static std::vector<SimUsbOutput> outputs(const char *serial = kSerial)
    {
        std::vector<SimUsbOutput> log(65536);
        uint32_t n = 0;
        EXPECT_EQ(simusb_getOutputLog(serial, log.data(), static_cast<uint32_t>(log.size()), &n), 0);
        log.resize(n);
        return log;
    }
    template <typename F> static bool eventually(F cond, uint32_t timeoutMs = 20000)
    {
        const uint64_t end = tq::platform::tickMs() + timeoutMs;
        while (!cond()) {
            if (tq::platform::tickMs() > end)
                return false;
            tq::platform::sleepMs(1);
        }
        return true;
    }

    std::vector<ViSession> open_;
};

// Reads whole scans of a reader as 16-bit words (words per scan given).
inline std::vector<uint16_t> readWords(TQReader *r, int64_t maxScans, uint32_t scanSize)
{
    std::vector<uint16_t> words;
    TQPiece *pieces = nullptr;
    uint32_t count = 0;
    const int64_t n = r->readerReserveRead(r, &pieces, &count, maxScans);
    for (TQPiece *p = pieces; n > 0 && p && p->data; ++p) {
        const auto *w = static_cast<const uint16_t *>(p->data);
        words.insert(words.end(), w, w + p->length / 2);
    }
    r->readerCompleteRead(r, n);
    EXPECT_EQ(words.size() * 2, static_cast<size_t>(n) * scanSize);
    return words;
}

} // namespace ux176test
