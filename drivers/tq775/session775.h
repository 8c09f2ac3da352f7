// The model 775's part of a driver session: register map, settings, the
// eight channel records and the acquisition state.
#pragma once

#include <atomic>
#include <cstdint>

#include "tq/driver/scanbuffer.h"
#include "tq/driver/session.h"
#include "tq/platform/sync.h"
#include "tq/platform/thread.h"

namespace tq775
{

namespace reg
{
constexpr ViUInt16 kBridge = VI_PXI_BAR0_SPACE;
constexpr ViUInt16 kCard = VI_PXI_BAR2_SPACE;
constexpr ViBusAddress kOptionLow = 0x40, kOptionHigh = 0x42, kBridgeInterrupt = 0x68;
constexpr ViBusAddress kControl = 0x00, kFilter = 0x04, kCoupling = 0x08, kInputType = 0x0C, kThreshold = 0x10,
                       kCountStatus = 0x14, kClockLines = 0x18, kCounters = 0x20;
// Control register fields.
constexpr uint32_t kWindowMask = 0x3FF, kTickRate = 1u << 10, kContinuous = 1u << 11, kSingleScan = 1u << 12,
                   kDiffCheck = 1u << 13, kReset = 1u << 14, kInterrupt = 1u << 15, kTickSourceShift = 16,
                   kTickSourceMask = 3u << 16, kWindowSource = 1u << 18, kTtlCheck = 1u << 19,
                   kChannelInterruptShift = 24;
// Clock line register fields.
constexpr uint32_t kTickOutOn = 1u << 4, kTickInOn = 1u << 12, kWindowOutOn = 1u << 20, kWindowInOn = 1u << 28;
// Count word.
constexpr uint32_t kCountMask = 0x3FFFF, kOverflowBit = 1u << 19, kStaleBit = 1u << 24;
inline ViBusAddress countWord(int channel)
{
    return kCounters + 8 * static_cast<ViBusAddress>(channel - 1);
}
} // namespace reg

constexpr int kChannels = 8;
constexpr size_t kChannelNameLength = 128; // names kept in a channel record, terminator included

struct Session775;

struct Channel775 {
    TQStreamChannel head{}; // enableWord holds the enable flag
    uint16_t offset = 0;    // byte offset in a scan while enabled
    int16_t interruptEnable = 0;
    int16_t coupling = 24;
    int16_t filter = 0;
    int16_t inputType = 21;
    int16_t threshold = 17;
    Session775 *session = nullptr;
};

struct Session775 : tq::driver::Session {
    char option[4] = {'a', 'a', '2', '1'};
    int16_t thresholdOption = 1;

    int16_t interruptEnable = 0;
    int16_t windowSize = 1;
    // Tick-clock rate: the converters read it while readers run on other threads.
    std::atomic<int16_t> tickRate{10};
    int16_t tickSource = 13;
    int16_t tickOut = 9;
    int16_t windowSource = 12;
    int16_t windowOut = 9;

    Channel775 channels[kChannels];

    // Acquisition.
    std::atomic<bool> running{false};
    tq::platform::Event *stopEvent = nullptr;
    tq::platform::Thread thread;
    bool handlerInstalled = false;
    tq::driver::ScanBuffer buffer;

    Channel775 &channel(int c) { return channels[c - 1]; }
    uint16_t enabledCount() const
    {
        uint16_t n = 0;
        for (const Channel775 &c : channels)
            n = static_cast<uint16_t>(n + (c.head.enableWord != 0));
        return n;
    }
};

// ---- Shared between the files of the driver ----

Session775 *find(ViSession vi);
tq::driver::Driver &driver();

ViStatus in32(Session775 &s, ViBusAddress offset, uint32_t &value, ViUInt16 space = reg::kCard);
ViStatus out32(Session775 &s, ViBusAddress offset, uint32_t value, ViUInt16 space = reg::kCard);
// Read-modify-write of the bits of mask in a 32-bit register.
ViStatus modify(Session775 &s, ViBusAddress offset, uint32_t mask, uint32_t bits, ViUInt16 space = reg::kCard);

void setDefaults(Session775 &s);
ViStatus applySettings(Session775 &s);
ViStatus crossCheck(Session775 &s, ViChar *message);
// Channel records into the stream (names, converters), at binding.
void initChannelRecords(Session775 &s);
// The buffer reset to the new scan size and the offsets recomputed after
// a channel's enable changed.
void relayout(Session775 &s);
double timebase(int16_t tickRate);

ViStatus startAcquisition(Session775 &s, bool statusLine);
ViStatus stopAcquisition(Session775 &s, bool statusLine);
ViStatus eventStatus(Session775 &s, ViUInt16 event, ViUInt16 *status, ViUInt16 clear, ViChar *message);

} // namespace tq775
