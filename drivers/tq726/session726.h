// The model 726's part of a driver session: board flags, channel records,
// the output layout, the output buffer and the output thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "tq/driver/output_buffer.h"
#include "tq/driver/session.h"
#include "tq/platform/sync.h"
#include "tq/platform/thread.h"
#include "tq/visatype.h"

namespace tq726
{

constexpr int kMaxChannels = 64;

// Register map (BAR2, 16-bit unless said otherwise).
namespace reg
{
constexpr ViUInt16 kBar2 = VI_PXI_BAR2_SPACE;
constexpr ViUInt16 kLocal = VI_LOCAL_SPACE;
constexpr ViBusAddress kOutputs = 0x00; // channel k at 2(k - 1)
constexpr ViBusAddress kFlagsLow = 0x80;
constexpr ViBusAddress kFlagsHigh = 0x82;
constexpr ViBusAddress kReset = 0x84;
constexpr ViUInt32 kResetBit = 0x1;
constexpr ViUInt32 kControlBit3 = 1u << 3; // cleared by reset
constexpr ViUInt32 kPowerUpBusy = 1u << 4;
constexpr ViUInt32 kPowerUpSave = 1u << 5;
// Board flags.
constexpr ViUInt32 kNoCurrent = 1u << 2;
constexpr ViUInt32 kChannels16 = 1u << 8;
constexpr ViUInt32 kChannels32 = 1u << 9;
constexpr ViUInt32 kResetConfirm = 1u << 10;
// The board's answer in the local space after a good self-test.
constexpr ViUInt16 kSignature = 0x0726;
inline ViBusAddress output(int channel)
{
    return kOutputs + 2 * static_cast<ViBusAddress>(channel - 1);
}
} // namespace reg

// Volts and codes.
constexpr double kMinVolts = -10.0;
constexpr double kMaxVolts = 10.0;
constexpr double kCurrentFactor = 1.6;
constexpr double kCurrentOffset = 4.0;
constexpr uint16_t kZeroCode = 0x8000;

// Where the output thread takes a channel's code from.
enum : int32_t {
    kSlotDisabled = -2, // 0x8000
    kSlotStatic = -1,   // the static code
    // 0 and up: byte offset in the output scan of an asynchronous channel
};

struct Channel {
    TQStreamChannel head{};
    uint16_t enable = 0;
    double initialVolts = 0.0;
    uint16_t offset = 0; // byte offset in the output scan (asynchronous channels)
    // What the output thread reads while the caller and the refill change
    // the channel: the slot and the static code, each one atomic word.
    std::atomic<int32_t> slot{kSlotDisabled};
    std::atomic<uint16_t> staticCode{kZeroCode};
    // The synchronisation type is asynchronous (kept beside the stream
    // channel's field, which the formula engine's threads must not race on).
    std::atomic<bool> asynchronous{false};
    struct Session726 *session = nullptr;
};

struct Session726 : tq::driver::Session {
    ViUInt32 flags = 0;
    int16_t channelCount = 64;
    bool currentOutputs = false;
    bool resetConfirm = false;

    Channel channels[kMaxChannels];
    // The output layout: asynchronous channels (the output scan holds 2
    // bytes each) and the other enabled channels.
    std::atomic<int32_t> asyncCount{0};
    int32_t staticCount = 0;

    tq::driver::OutputBuffer output;
    // Bytes per scan of the open reservation (0 while none is open): how far
    // the refill's setEval may write into a reserved scan.
    std::atomic<int32_t> reservedScanSize{0};

    // Output thread.
    std::atomic<bool> running{false};
    tq::platform::Event stopEvent{tq::platform::Event::Reset::Manual};
    // Set when what the thread writes may have changed (a static code, the
    // layout, a direct write to the board): with static channels alone the
    // thread sleeps on it between writes.
    tq::platform::Event changed{tq::platform::Event::Reset::Auto};
    // A direct write changed the board behind the thread's last frame.
    std::atomic<bool> boardOverwritten{false};
    tq::platform::Thread thread;

    Channel &channel(int c) { return channels[c - 1]; }
    bool validChannel(int c) const { return c >= 1 && c <= channelCount; }
};

} // namespace tq726
