// The model 176's part of a driver session: channel records, the input and
// output layouts, the scan buffer, the output buffer and the stream thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "tq/driver/channels.h"
#include "tq/driver/output_buffer.h"
#include "tq/driver/scanbuffer.h"
#include "tq/driver/session.h"
#include "tq/platform/sync.h"
#include "tq/platform/thread.h"
#include "ux176.h"

namespace tq::driver
{
class Driver;
}

namespace ux176
{

// The driver's ranges, in one place.
constexpr int kAnalogInputs = 6;
constexpr int kGroups = 3;
constexpr int kDigitalLines = 16;
constexpr int kDirections = 9; // lines 1-8 one each, index 9 for lines 9-16
constexpr int kDacs = 2;
constexpr int kEvents = 1;
constexpr double kMaxScanRate = 50000.0;
constexpr double kTicksPerSecond = 1e7; // scan period in ticks of 0.1 us
constexpr double kMaxTicks = 4294967295.0;
constexpr double kMinVolts = -10.0, kMaxVolts = 10.0;
constexpr uint16_t kZeroCode = 0x8000;
constexpr size_t kChannelNameMax = 127; // characters of a channel name
constexpr uint16_t kDigitalInScanBit = 1u << 12;
constexpr uint32_t kStreamLockMs = 1000;
constexpr double kInitialRate = 1000.0, kInitialOutputRate = 0.5;
// Segmented buffer of the stream: segment, buffer and maximum in scans.
constexpr int32_t kSegmentScans = 256, kBufferScans = 2560, kMaximumScans = 3840;

// Where the stream thread takes an output's value from.
enum : int32_t {
    kSlotStatic = -1, // synchronous: the static value
    kSlotSkip = -2,   // not an enabled output: not written
    kSlotZero = -3,   // enabled output line of another type: written as 0
    // 0 and up: byte offset of its word in the output scan (asynchronous)
};

struct Session176;

struct Analog {
    TQStreamChannel head{}; // enableWord: the enable flag
    uint16_t offset = 0;    // byte offset in the input scan while enabled
    // Volts per count: 10/32768 x the group factor. Read by converters on
    // readers' threads while the range setter runs.
    std::atomic<double> scale{10.0 / 32768.0};
    int16_t enable = 0;
};

// EventChannel's offset and bit serve the input conversion (convertBit16).
struct Digital : tq::driver::EventChannel {
    int16_t enable = 0;
    std::atomic<int32_t> slot{kSlotSkip};
    std::atomic<uint8_t> staticValue{0};
    Session176 *session = nullptr;
};

struct Dac {
    TQStreamChannel head{};
    int16_t enable = 0;
    double initialVolts = 0.0;
    std::atomic<int32_t> slot{kSlotSkip};
    std::atomic<uint16_t> staticCode{kZeroCode};
    Session176 *session = nullptr;
};

struct Session176 : tq::driver::Session {
    uint16_t serial = 0;

    Analog analog[kAnalogInputs];
    Digital digital[kDigitalLines];
    Dac dacs[kDacs];
    int16_t groupRange[kGroups] = {1, 1, 1};
    int16_t direction[kDirections] = {};
    std::atomic<int16_t> eventEnable{0};
    bool eventEnableMask = false;

    // Input layout.
    uint16_t channelMask = 0;
    std::atomic<int32_t> scansPerPacket{7};
    // Bumped (under the device mutex) by every change of the device's scan
    // layout, so that the stream thread drops a reply of the old layout.
    std::atomic<uint32_t> layoutGeneration{0};
    // Bytes per scan the device sends with the channel mask last set.
    std::atomic<uint32_t> deviceScanSize{0};
    tq::driver::ScanBuffer buffer;
    bool bufferMade = false;

    // Output layout and buffer.
    std::atomic<int32_t> outputScanSize{0};
    int32_t staticOutputs = 0;
    tq::driver::OutputBuffer output;
    std::atomic<int32_t> reservedScanSize{0};

    // Stream thread.
    std::atomic<bool> running{false};
    tq::platform::Event stopEvent{tq::platform::Event::Reset::Auto};
    tq::platform::Thread thread;

    Analog &input(int k) { return analog[k - 1]; }
    Digital &line(int k) { return digital[k - 1]; }
    Dac &dac(int k) { return dacs[k - 1]; }
    // The direction index of a line (lines 9-16 share index 9).
    static int directionIndex(int line) { return line <= 8 ? line : 9; }
    bool lineIsOutput(int line) const { return direction[directionIndex(line) - 1] != 0; }
};

// ---- Shared between the files of the driver ----

tq::driver::Driver &driver();
Session176 *find(ViSession vi);
// Runs body with the session of vi (0xBFFF000E without one), guarded.
template <typename F> ViStatus withSession(ViSession vi, F &&body);

// Channels and layouts (channels176.cpp).
void initChannelRecords(Session176 &s);
void setDefaults(Session176 &s);
ViStatus applySettings(Session176 &s);
void updateInputLayout(Session176 &s);
void updateOutputLayout(Session176 &s);
void installStreamOperations(Session176 &s);
ViStatus crossCheck(Session176 &s, ViChar *message);
void describeCapture(Session176 &s, tq::driver::CaptureHeader &header);
// DAC code of a voltage from -10 V to 10 V; any other value (NaN included)
// gives the code of 0 V.
uint16_t dacCode(double volts);
// Ticks of a scan rate, 0 for a rate that cannot be set.
uint32_t periodTicks(double rate);

// Stream thread (stream176.cpp).
ViStatus startAcquisition(Session176 &s);
ViStatus stopAcquisition(Session176 &s);
void freeOutput(Session176 &s);
int64_t reserveWrite(TQStream *stream, int64_t count, int64_t *granted, TQPiece **pieces);
int64_t completeWrite(TQStream *stream, int64_t count);

} // namespace ux176

#include "tq/platform/guard.h"

template <typename F> ViStatus ux176::withSession(ViSession vi, F &&body)
{
    Session176 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    return tq::platform::guardStatus([&]() -> ViStatus { return body(*s); });
}
