// The model 740's part of a driver session: one site of one carrier,
// shared by every opener of that site.
#pragma once

#include <atomic>
#include <cstdint>

#include "tq/driver/bitchannel.h"
#include "tq/driver/session.h"
#include "tqipmodule.h"

namespace tq740
{

constexpr int kChannels = 32;
constexpr int kGroups = 4;
constexpr int kEvents = 2;

namespace reg
{
constexpr ViBusAddress kLatched = 0x00, kData = 0x04, kDebounce = 0x08, kConfig = 0x0A, kControl = 0x0C,
                       kPattern = 0x0E, kPatternMask = 0x12, kCosResult = 0x16, kCosMask = 0x1A, kStatus = 0x1E,
                       kSelect = 0x20, kDataIn = 0x22;
} // namespace reg

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

struct EventChannel {
    TQStreamChannel head{};
    int16_t enable = 0;
    int16_t eventEnable = 0;
    int16_t eventIndex = 0;
    int16_t polarity = 1;
    int16_t duration = 10;
};

struct Session740 : tq::driver::Session {
    int references = 1;
    int16_t site = 0;
    ViUInt16 idSpace = VI_PXI_BAR2_SPACE, ioSpace = VI_PXI_BAR2_SPACE;
    ViBusAddress idBase = 0, ioBase = 0;
    char carrier[tq::driver::kNameLength] = {}; // the carrier resource name it was opened on

    int16_t interruptEnable = 0;
    bool prMatched = false, cosMatched = false;
    Group groups[kGroups];
    tq::driver::BitChannel channels[kChannels];
    EventChannel events[kEvents];

    // The carrier's stream while the carrier publishes this module's
    // channels in it (setStream), else null.
    TQStream *carrierStream = nullptr;
    TQStreamHandles *carrierHandles = nullptr;
    std::atomic<uint32_t> staticWord{0};

    Group &group(int g) { return groups[g - 1]; }
    tq::driver::BitChannel &channel(int c) { return channels[c - 1]; }
    EventChannel &eventChannel(int n) { return events[n - 1]; }
};

Session740 *find(ViSession vi);
tq::driver::Driver &driver();

ViStatus in16(Session740 &s, ViBusAddress offset, uint16_t &value);
ViStatus out16(Session740 &s, ViBusAddress offset, uint16_t value);
ViStatus setBits(Session740 &s, ViBusAddress offset, uint16_t mask, unsigned shift, uint16_t value);
ViStatus getBits(Session740 &s, ViBusAddress offset, uint16_t mask, unsigned shift, uint16_t &value);

void setDefaults(Session740 &s);
ViStatus applySettings(Session740 &s);
// The carrier stream's counts follow this module's records (when it has one).
void recountCarrier(Session740 &s);

} // namespace tq740
