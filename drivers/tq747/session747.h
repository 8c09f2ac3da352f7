// The model 747's part of a driver session: register map, settings, site
// records, channel records and the acquisition state.
#pragma once

#include <atomic>
#include <cstdint>

#include "tq/driver/bitchannel.h"
#include "tq/driver/scanbuffer.h"
#include "tq/driver/session.h"
#include "tq/platform/sync.h"
#include "tq/platform/thread.h"
#include "tqipmodule.h"

namespace tq747
{

namespace reg
{
constexpr ViUInt16 kCard = VI_PXI_BAR2_SPACE;
constexpr ViUInt16 kBridge = VI_PXI_BAR0_SPACE;
constexpr ViBusAddress kData = 0x00, kDebounce = 0x10, kDirection = 0x18, kPowerup = 0x1A, kTermination = 0x1C,
                       kControl = 0x20, kGroupStrobe = 0x24, kSiteStrobe = 0x34, kSites = 0x3C, kPattern = 0x50,
                       kPatternMask = 0x70, kCosResult = 0x90, kCosMask = 0xB0, kInterruptEnable = 0xD0,
                       kEventStatus = 0xD4, kReset = 0xE0, kBridgeInterrupt = 0x68;
constexpr uint32_t kCosStart = 1u << 0, kCosStop = 1u << 1, kCosArmed = 1u << 2, kCosDetected = 1u << 3,
                   kPrStart = 1u << 4, kPrStop = 1u << 5, kPrArmed = 1u << 6, kPrMatched = 1u << 7,
                   kPowerupBusy = 1u << 8, kPowerupSave = 1u << 9;
constexpr uint32_t kCardInterrupt = 0x8000;
inline ViBusAddress idBase(int site)
{
    return 0x1000 + 0x100 * static_cast<ViBusAddress>(site - 1);
}
inline ViBusAddress ioBase(int site)
{
    return 0x1080 + 0x100 * static_cast<ViBusAddress>(site - 1);
}
inline ViBusAddress siteData(int site)
{
    return ioBase(site) + 4;
}
} // namespace reg

constexpr int kChannels = 128;
constexpr int kGroups = 16;
constexpr int kSiteCount = 4;
constexpr int kEventChannels = 2;
constexpr int kRingSize = 10;
constexpr uint16_t kModuleId740 = 0x740;
constexpr size_t kChannelNameLength = 128; // names kept in a channel record, terminator included

struct Group {
    int16_t debounce = 1;
    int16_t direction = 0;
    int16_t powerupOutput = 0;
    int16_t termination = 0;
    int16_t strobeEnable = 0;
    int16_t strobeDelay = 1;
    int16_t strobePolarity = 0;
    int16_t strobeChannel = 1;
};

struct Demo {
    double frequency = 1.0;
    int16_t dutyCycle = 50;
    int16_t offset = 0;
};

struct Session747;

struct EventChannel {
    TQStreamChannel head{};
    int16_t enable = 0;
    int16_t eventEnable = 0;
    int16_t eventIndex = 0; // 0 change of state, 1 pattern recognition
    int16_t polarity = 1;   // 1 assert high, 2 assert low
    int16_t duration = 10;  // scans
    // The stream positions of the last events; the interrupt handler writes
    // them while readers' converters read them.
    std::atomic<int64_t> ring[kRingSize] = {};
    std::atomic<uint32_t> oldest{0};
    std::atomic<uint32_t> count{0};
    Session747 *session = nullptr;
};

struct Site {
    bool bound = false;
    ViSession module = VI_NULL; // the module session the module driver's init gave
    TQPnPHandle *pnp = nullptr; // kept, never released (the module driver owns the session)
    int16_t first = 0;          // first channel in the carrier's numbering
    int16_t count = 0;
    uint16_t moduleId = 0;
    TQIpModuleOps ops{};
};

struct Session747 : tq::driver::Session {
    Site sites[kSiteCount];
    int16_t totalChannels = kChannels;

    Group groups[kGroups];
    tq::driver::BitChannel channels[kChannels];
    EventChannel events[kEventChannels];
    Demo demo[kChannels];

    int16_t interruptEnable = 0;
    int16_t refreshRate = 2;
    int16_t bufferDuration = 2;

    // Detection: a match or change reported once (status 0), then 0x3FFF0004.
    bool prMatched = false;
    bool cosMatched = false;

    // Acquisition.
    std::atomic<bool> running{false};   // the run flag
    std::atomic<bool> threadDone{false};
    tq::platform::Event *wake = nullptr;
    tq::platform::Thread thread;
    std::atomic<uint32_t> staticOut[4] = {};
    // A direct write changed the card's outputs: the acquisition thread
    // writes its output words again at its next period.
    std::atomic<bool> outputsOverwritten{false};
    std::atomic<uint64_t> startTick{0};
    std::atomic<int16_t> mechanism{0}; // 2 while the interrupt handler is in use
    ViStatus enableEventStatus = VI_SUCCESS;
    bool handlerInstalled = false;
    ViUInt32 savedInterruptEnable = 0;
    // The stream's rate and buffer length as of the last start, for the
    // interrupt handler (which runs without the stream's lock).
    std::atomic<double> runRate{100.0};
    // The input channel count as last counted from the records (by the
    // carrier's setters or when a module's change asked the stream), for
    // the acquisition thread, which looks at it every period.
    std::atomic<uint16_t> inputCount{0};
    tq::driver::ScanBuffer buffer;

    tq::driver::BitChannel &channel(int c) { return channels[c - 1]; }
    Group &group(int g) { return groups[g - 1]; }
    EventChannel &eventChannel(int n) { return events[n - 1]; }
    bool anySiteBound() const
    {
        for (const Site &s : sites)
            if (s.bound)
                return true;
        return false;
    }
};

// ---- Shared between the files of the driver ----

// The session of a value (null when not open).
Session747 *find(ViSession vi);
tq::driver::Driver &driver();

// Register access through this library's VISA binding.
ViStatus in16(Session747 &s, ViBusAddress offset, uint16_t &value, ViUInt16 space = reg::kCard);
ViStatus out16(Session747 &s, ViBusAddress offset, uint16_t value, ViUInt16 space = reg::kCard);
ViStatus in32(Session747 &s, ViBusAddress offset, uint32_t &value, ViUInt16 space = reg::kCard);
ViStatus out32(Session747 &s, ViBusAddress offset, uint32_t value, ViUInt16 space = reg::kCard);

// Defaults of every setting and the channel records (no board access).
void setDefaults(Session747 &s);
// Stored settings onto the card (0xBFFF003A while simulated).
ViStatus applySettings(Session747 &s);
// Channel records from the settings (names, groups, the stream).
void resetChannelRecords(Session747 &s);
// Counts the stream's input and output channels from the records of the
// carrier and of the bound modules, and stores them in the stream.
void recount(Session747 &s);
uint16_t inputChannelCount(Session747 &s);
uint16_t outputChannelCount(Session747 &s);
// Installs the carrier's own stream operations (after the framework's).
void installStreamOperations(Session747 &s);

// Acquisition and events.
ViStatus startAcquisition(Session747 &s, bool statusLine);
ViStatus stopAcquisition(Session747 &s, bool statusLine);
ViStatus eventStatus(Session747 &s, ViUInt16 event, ViUInt16 *status, ViUInt16 clear, ViChar *message);
ViStatus setInterruptEnableOnCard(Session747 &s, int16_t enable);
int64_t scansWritten(Session747 &s);
TQReader *newReader(Session747 &s, int64_t position, int32_t whence);

// The 'binary' channel at a flat bit index, null when no bound site holds it.
int flatIndex(Session747 &s, int channel);
// The bound site that holds a carrier channel number above 128, or 0.
int siteOfChannel(Session747 &s, int channel);

} // namespace tq747
