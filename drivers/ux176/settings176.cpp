// The model 176's typed accessors: the configuration properties (also
// reached by name through the PnP handle) and the direct device accessors.
#include <cmath>
#include <cstring>

#include "protocol176.h"
#include "session176.h"
#include "tq/driver/driver.h"
#include "tq/driver/settings.h"

using namespace ux176;

namespace
{

constexpr int kAverageChunkOld = 256;   // firmware before version 3 averages at most this many scans
constexpr int kAverageChunkMax = 65535; // the request's scan count is 16-bit
constexpr int kFirmwareLongAverage = 3;

bool hardware(const Session176 &s)
{
    return s.hasInstrument() && !s.simulated();
}

// Runs set for index in 1..count, or for every index in order when index is
// 0 (ending at the first failure); other indexes 0xBFFF0078.
template <typename F> ViStatus eachIndex(ViInt16 index, int count, F &&set)
{
    if (index < 0 || index > count)
        return VI_ERROR_INV_PARAMETER;
    if (index > 0)
        return set(index);
    ViStatus status = VI_SUCCESS;
    for (int k = 1; k <= count && status >= VI_SUCCESS; ++k)
        status = set(k);
    return status;
}

ViStatus readRate(Session176 &s, ViReal64 &rate)
{
    if (!hardware(s)) {
        rate = s.stream ? s.stream->streamGetRate(s.stream) : kInitialRate;
        return VI_SUCCESS;
    }
    DeviceLock lock;
    if (!lock.held())
        return lock.status();
    uint16_t low = 0, high = 0;
    ViStatus status = readRegister(s.device, UX176_REG_PERIOD_LOW, low);
    if (status >= VI_SUCCESS)
        status = readRegister(s.device, UX176_REG_PERIOD_HIGH, high);
    if (status < VI_SUCCESS)
        return status;
    const uint32_t ticks = static_cast<uint32_t>(low) | (static_cast<uint32_t>(high) << 16);
    if (ticks == 0)
        return static_cast<ViStatus>(0xBFFC0012); // a period the device cannot run at
    rate = kTicksPerSecond / ticks;
    if (s.stream)
        s.stream->streamSetRate(s.stream, rate);
    return VI_SUCCESS;
}

// One averaged-scan exchange of count scans (1 to 65535): the sums into
// sums (scaled to volts), weighted by count.
ViStatus averageExchange(Session176 &s, int count, double *volts)
{
    ViReal64 rate = 0.0;
    ViStatus status = readRate(s, rate);
    if (status < VI_SUCCESS)
        return status;
    uint32_t readMs = 0, writeMs = 0;
    SI_GetTimeouts(&readMs, &writeMs);
    // The device answers once it has averaged: the read waits that long and a second more.
    const double needed = rate > 0.0 ? count * 1000.0 / rate + 1000.0 : 0.0;
    const bool raised = needed > readMs && needed < 4.0e9;
    if (raised)
        SI_SetTimeouts(static_cast<uint32_t>(needed), writeMs);
    const uint8_t request[4] = {0x05, static_cast<uint8_t>(count & 0xFF), static_cast<uint8_t>(count >> 8), 0};
    uint8_t reply[kAverageReply];
    status = fixedExchange(s.device, request, sizeof request, reply, sizeof reply);
    if (raised)
        SI_SetTimeouts(readMs, writeMs);
    if (status < VI_SUCCESS)
        return status;
    for (int i = 0; i < kAnalogInputs; ++i) {
        int16_t average;
        memcpy(&average, reply + 2 + 2 * i, sizeof average);
        const int group = i / 2;
        volts[i] = average * 10.0 / 32768.0 * ((reply[1] >> group) & 1 ? 0.5 : 1.0);
    }
    return VI_SUCCESS;
}

// The channel kinds with an enable flag and a name: their count, their
// records, and the layouts a change of an enable redoes.
struct ChannelKind {
    int count;
    TQStreamChannel &(*head)(Session176 &, int);
    int16_t &(*enable)(Session176 &, int);
    void (*relayout)(Session176 &);
};

const ChannelKind kAnalog{kAnalogInputs, [](Session176 &s, int k) -> TQStreamChannel & { return s.input(k).head; },
                          [](Session176 &s, int k) -> int16_t & { return s.input(k).enable; },
                          [](Session176 &s) { updateInputLayout(s); }};
const ChannelKind kDigital{kDigitalLines, [](Session176 &s, int k) -> TQStreamChannel & { return s.line(k).head; },
                           [](Session176 &s, int k) -> int16_t & { return s.line(k).enable; },
                           [](Session176 &s) {
                               updateInputLayout(s);
                               updateOutputLayout(s);
                           }};
const ChannelKind kDac{kDacs, [](Session176 &s, int k) -> TQStreamChannel & { return s.dac(k).head; },
                       [](Session176 &s, int k) -> int16_t & { return s.dac(k).enable; },
                       [](Session176 &s) { updateOutputLayout(s); }};

// Any value is stored; index 0 sets every channel of the kind in order.
ViStatus setEnable(ViSession vi, const ChannelKind &kind, ViInt16 index, ViInt16 enable)
{
    return withSession(vi, [&](Session176 &s) -> ViStatus {
        return eachIndex(index, kind.count, [&](int k) {
            kind.enable(s, k) = enable;
            kind.relayout(s);
            return VI_SUCCESS;
        });
    });
}

// 1 for any value but 0.
ViStatus getEnable(ViSession vi, const ChannelKind &kind, ViInt16 index, ViUInt16 *enable)
{
    return withSession(vi, [&](Session176 &s) -> ViStatus {
        if (index < 1 || index > kind.count || !enable)
            return VI_ERROR_INV_PARAMETER;
        *enable = kind.enable(s, index) != 0 ? 1 : 0;
        return VI_SUCCESS;
    });
}

char *nameOf(Session176 &s, const ChannelKind &kind, ViInt16 index)
{
    return index >= 1 && index <= kind.count ? kind.head(s, index).name : nullptr;
}

// A setting that is one bit per index of a device register: with the
// device only 0 and 1, written by read-modify-write under the device mutex;
// simulated, stored unchecked. setsBit is the value whose bit is set.
struct BitSetting {
    int count;
    uint8_t reg;
    int16_t setsBit;
    int16_t *(*stored)(Session176 &);
    bool keepsWhatItReads;                                  // the getter stores the bit it read
    void (*follow)(Session176 &, int index, int16_t value); // what follows from a value stored
};

// Range 1 (+-10 V) clears its group's bit, 0 (+-5 V) sets it and halves the
// volts of both inputs of the group.
const BitSetting kRange{kGroups,
                        UX176_REG_RANGE,
                        0,
                        [](Session176 &s) { return s.groupRange; },
                        false,
                        [](Session176 &s, int group, int16_t range) {
                            const double scale = 10.0 / 32768.0 * (range == 1 ? 1.0 : 0.5);
                            s.input(2 * group - 1).scale.store(scale, std::memory_order_relaxed);
                            s.input(2 * group).scale.store(scale, std::memory_order_relaxed);
                        }};
// Direction 1 (output) sets the bit of its lines (index 9: lines 9-16).
const BitSetting kDirection{kDirections,
                            UX176_REG_DIRECTION,
                            1,
                            [](Session176 &s) { return s.direction; },
                            true,
                            [](Session176 &s, int, int16_t) {
                                updateInputLayout(s);
                                updateOutputLayout(s);
                            }};

ViStatus setBit(ViSession vi, const BitSetting &b, ViInt16 index, ViInt16 value)
{
    return withSession(vi, [&](Session176 &s) -> ViStatus {
        if (index < 1 || index > b.count)
            return VI_ERROR_INV_PARAMETER;
        if (hardware(s)) {
            if (value != 0 && value != 1)
                return VI_ERROR_INV_PARAMETER;
            DeviceLock lock;
            if (!lock.held())
                return lock.status();
            const uint16_t bit = static_cast<uint16_t>(1u << (index - 1));
            const ViStatus status = modifyRegister(s.device, b.reg, bit, value == b.setsBit ? bit : 0);
            if (status < VI_SUCCESS)
                return status;
        }
        b.stored(s)[index - 1] = value;
        b.follow(s, index, value);
        return VI_SUCCESS;
    });
}

ViStatus getBit(ViSession vi, const BitSetting &b, ViInt16 index, ViInt16 *value)
{
    return withSession(vi, [&](Session176 &s) -> ViStatus {
        if (index < 1 || index > b.count || !value)
            return VI_ERROR_INV_PARAMETER;
        if (!hardware(s)) {
            *value = b.stored(s)[index - 1];
            return VI_SUCCESS;
        }
        DeviceLock lock;
        if (!lock.held())
            return lock.status();
        uint16_t v = 0;
        const ViStatus status = readRegister(s.device, b.reg, v);
        if (status < VI_SUCCESS)
            return status;
        const int16_t read = (v >> (index - 1)) & 1 ? b.setsBit : static_cast<int16_t>(1 - b.setsBit);
        if (b.keepsWhatItReads)
            b.stored(s)[index - 1] = read;
        *value = read;
        return VI_SUCCESS;
    });
}

} // namespace

// ---- Scan rate ------------------------------------------------------------------------

TQ_API ViStatus ux176_setAdcScanRate(ViSession vi, ViReal64 rate)
{
    return withSession(vi, [&](Session176 &s) -> ViStatus {
        const uint32_t ticks = periodTicks(rate);
        if (ticks == 0)
            return VI_ERROR_INV_PARAMETER;
        if (hardware(s)) {
            DeviceLock lock;
            if (!lock.held())
                return lock.status();
            ViStatus status = writeRegister(s.device, UX176_REG_PERIOD_LOW, static_cast<uint16_t>(ticks & 0xFFFF));
            if (status >= VI_SUCCESS)
                status = writeRegister(s.device, UX176_REG_PERIOD_HIGH, static_cast<uint16_t>(ticks >> 16));
            if (status < VI_SUCCESS)
                return status;
        }
        // The stream runs at the rate the device runs at, not the one asked for.
        s.stream->streamSetRate(s.stream, kTicksPerSecond / ticks);
        return VI_SUCCESS;
    });
}

TQ_API ViStatus ux176_getAdcScanRate(ViSession vi, ViReal64 *rate)
{
    return withSession(vi, [&](Session176 &s) -> ViStatus {
        if (!rate)
            return VI_ERROR_INV_PARAMETER;
        ViReal64 r = 0.0;
        const ViStatus status = readRate(s, r);
        if (status >= VI_SUCCESS)
            *rate = r;
        return status;
    });
}

// ---- Channels, input ranges and directions ---------------------------------------------

// ux176_set<Kind>ChannelEnable, ux176_get<Kind>ChannelEnable,
// ux176_set<Kind>ChannelName and ux176_get<Kind>ChannelName.
#define UX176_EXPORT_CHANNEL_KIND(Kind, kind)                                                                          \
    TQ_API ViStatus ux176_set##Kind##ChannelEnable(ViSession vi, ViInt16 index, ViInt16 enable)                        \
    {                                                                                                                  \
        return setEnable(vi, kind, index, enable);                                                                     \
    }                                                                                                                  \
    TQ_API ViStatus ux176_get##Kind##ChannelEnable(ViSession vi, ViInt16 index, ViUInt16 *enable)                      \
    {                                                                                                                  \
        return getEnable(vi, kind, index, enable);                                                                     \
    }                                                                                                                  \
    TQ_API ViStatus ux176_set##Kind##ChannelName(ViSession vi, ViInt16 index, ViConstString name)                      \
    {                                                                                                                  \
        return withSession(vi, [&](Session176 &s) {                                                                    \
            return tq::driver::setName(&s, nameOf(s, kind, index), kChannelNameMax + 1, name);                         \
        });                                                                                                            \
    }                                                                                                                  \
    TQ_API ViStatus ux176_get##Kind##ChannelName(ViSession vi, ViInt16 index, ViChar *name)                            \
    {                                                                                                                  \
        return withSession(vi, [&](Session176 &s) {                                                                    \
            return tq::driver::getName(&s, nameOf(s, kind, index), kChannelNameMax + 1, name);                         \
        });                                                                                                            \
    }
UX176_EXPORT_CHANNEL_KIND(Analog, kAnalog)
UX176_EXPORT_CHANNEL_KIND(Digital, kDigital)
UX176_EXPORT_CHANNEL_KIND(Dac, kDac)

TQ_API ViStatus ux176_setAnalogGroupInputVoltageRange(ViSession vi, ViInt16 group, ViInt16 range)
{
    return setBit(vi, kRange, group, range);
}

TQ_API ViStatus ux176_getAnalogGroupInputVoltageRange(ViSession vi, ViInt16 group, ViInt16 *range)
{
    return getBit(vi, kRange, group, range);
}

TQ_API ViStatus ux176_setDigitalDirection(ViSession vi, ViInt16 index, ViInt16 direction)
{
    return setBit(vi, kDirection, index, direction);
}

TQ_API ViStatus ux176_getDigitalDirection(ViSession vi, ViInt16 index, ViInt16 *direction)
{
    return getBit(vi, kDirection, index, direction);
}

TQ_API ViStatus ux176_getDigitalChannelDirection(ViSession vi, ViInt16 line, ViInt16 *direction)
{
    return withSession(vi, [&](Session176 &s) -> ViStatus {
        if (line < 1 || line > kDigitalLines || !direction)
            return VI_ERROR_INV_PARAMETER;
        *direction = s.direction[Session176::directionIndex(line) - 1];
        return VI_SUCCESS;
    });
}

// ---- Events -------------------------------------------------------------------------------

TQ_API ViStatus ux176_setEventEnable(ViSession vi, ViInt16 event, ViInt16 enable)
{
    return withSession(vi, [&](Session176 &s) -> ViStatus {
        if (event != kEvents)
            return VI_ERROR_INV_PARAMETER;
        s.eventEnable.store(enable, std::memory_order_relaxed);
        return VI_SUCCESS;
    });
}

TQ_API ViStatus ux176_getEventEnable(ViSession vi, ViInt16 event, ViUInt16 *enable)
{
    return withSession(vi, [&](Session176 &s) -> ViStatus {
        if (event != kEvents || !enable)
            return VI_ERROR_INV_PARAMETER;
        *enable = s.eventEnable.load(std::memory_order_relaxed) != 0 ? 1 : 0;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus ux176_setEventEnableMask(ViSession vi, ViUInt32 mask)
{
    return withSession(vi, [&](Session176 &s) -> ViStatus {
        if (mask & 1u)
            s.eventEnableMask = true;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus ux176_setEventDisableMask(ViSession vi, ViUInt32 mask)
{
    return withSession(vi, [&](Session176 &s) -> ViStatus {
        if (mask & 1u)
            s.eventEnableMask = false;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus ux176_getEventEnableMask(ViSession vi, ViUInt32 *mask)
{
    return withSession(vi, [&](Session176 &s) -> ViStatus {
        if (!mask)
            return VI_ERROR_INV_PARAMETER;
        if (s.eventEnableMask)
            *mask = 1;
        return VI_SUCCESS;
    });
}

// ---- DACs and the output stream ----------------------------------------------------------

TQ_API ViStatus ux176_setOutputScanRate(ViSession vi, ViReal64 rate)
{
    return withSession(vi, [&](Session176 &s) -> ViStatus {
        s.stream->streamSetOutputRate(s.stream, rate);
        return VI_SUCCESS;
    });
}

TQ_API ViStatus ux176_setOutputRecycleRate(ViSession vi, ViReal64 rate)
{
    return withSession(vi, [&](Session176 &s) -> ViStatus {
        s.stream->streamSetOutputRecycleRate(s.stream, rate);
        return VI_SUCCESS;
    });
}

TQ_API ViStatus ux176_setDacChannelVoltage(ViSession vi, ViInt16 channel, ViReal64 volts)
{
    return withSession(vi, [&](Session176 &s) -> ViStatus {
        if (s.simulated())
            return VI_ERROR_NSUP_OPER;
        if (channel < 0 || channel > kDacs || !(volts >= kMinVolts && volts <= kMaxVolts))
            return VI_ERROR_INV_PARAMETER;
        DeviceLock lock;
        if (!lock.held())
            return lock.status();
        return eachIndex(channel, kDacs, [&](int k) {
            return writeRegister(s.device, static_cast<uint8_t>(UX176_REG_DAC1 + k - 1), dacCode(volts));
        });
    });
}

// ---- Direct device access ------------------------------------------------------------------
// These act on the device whatever the session's simulation mode; a session
// without a device answers as the USB library does for a handle it does not
// know.

TQ_API ViStatus ux176_setDigitalChannelValue(ViSession vi, ViInt16 line, ViInt16 value)
{
    return withSession(vi, [&](Session176 &s) -> ViStatus {
        if (line < 1 || line > 32 || (value != 0 && value != 1))
            return VI_ERROR_INV_PARAMETER;
        if (!s.device)
            return VI_ERROR_INV_OBJECT;
        DeviceLock lock;
        if (!lock.held())
            return lock.status();
        const uint8_t reg = line <= 16 ? UX176_REG_DIGITAL_LOW : UX176_REG_DIGITAL_HIGH;
        const uint16_t bit = static_cast<uint16_t>(1u << ((line - 1) % 16));
        return modifyRegister(s.device, reg, bit, value ? bit : 0);
    });
}

TQ_API ViStatus ux176_getDigitalChannelValue(ViSession vi, ViInt16 line, ViInt16 *value)
{
    return withSession(vi, [&](Session176 &s) -> ViStatus {
        if (line < 1 || line > 32 || !value)
            return VI_ERROR_INV_PARAMETER;
        if (!s.device)
            return VI_ERROR_INV_OBJECT;
        DeviceLock lock;
        if (!lock.held())
            return lock.status();
        uint16_t v = 0;
        const ViStatus status = readRegister(s.device, line <= 16 ? UX176_REG_DIGITAL_LOW : UX176_REG_DIGITAL_HIGH, v);
        if (status >= VI_SUCCESS)
            *value = static_cast<ViInt16>((v >> ((line - 1) % 16)) & 1);
        return status;
    });
}

TQ_API ViStatus ux176_getAdcScan(ViSession vi, ViReal64 volts[4])
{
    return withSession(vi, [&](Session176 &s) -> ViStatus {
        if (!volts)
            return VI_ERROR_INV_PARAMETER;
        if (!s.device)
            return VI_ERROR_INV_OBJECT;
        DeviceLock lock;
        if (!lock.held())
            return lock.status();
        uint16_t range = 0;
        ViStatus status = readRegister(s.device, UX176_REG_RANGE, range);
        for (int i = 0; i < 4 && status >= VI_SUCCESS; ++i) {
            uint16_t raw = 0;
            status = readRegister(s.device, static_cast<uint8_t>(i), raw);
            if (status >= VI_SUCCESS)
                volts[i] = static_cast<int16_t>(raw) * 10.0 / 32768.0 * ((range >> (i / 2)) & 1 ? 0.5 : 1.0);
        }
        return status;
    });
}

// Averages of count scans. Older firmware averages at most 256 scans at a
// time, and the request carries a 16-bit count: longer averages are taken
// in chunks and combined, weighted by their sizes, for all six inputs.
TQ_API ViStatus ux176_getAverageAdcScan(ViSession vi, ViReal64 volts[6], ViInt32 count)
{
    return withSession(vi, [&](Session176 &s) -> ViStatus {
        if (!volts || count < 1)
            return VI_ERROR_INV_PARAMETER;
        if (!s.device)
            return VI_ERROR_INV_OBJECT;
        DeviceLock lock;
        if (!lock.held())
            return lock.status();
        if (count <= kAverageChunkOld)
            return averageExchange(s, count, volts);
        const uint8_t request[4] = {0x03, 0, 0, 0};
        uint8_t reply[kFirmwareReply];
        ViStatus status = fixedExchange(s.device, request, sizeof request, reply, sizeof reply);
        if (status < VI_SUCCESS)
            return status;
        const bool longAverages = reply[1] >= kFirmwareLongAverage;
        const int chunk = longAverages ? kAverageChunkMax : kAverageChunkOld;
        double sums[kAnalogInputs] = {};
        for (ViInt32 done = 0; done < count;) {
            const int n = count - done > chunk ? chunk : static_cast<int>(count - done);
            double part[kAnalogInputs] = {};
            status = averageExchange(s, n, part);
            if (status == VI_ERROR_TMO && longAverages) {
                // A device that lost its period answers again once it is set again.
                ViReal64 rate = 0.0;
                if (readRate(s, rate) >= VI_SUCCESS)
                    ux176_setAdcScanRate(s.value, rate);
                status = averageExchange(s, n, part);
            }
            if (status < VI_SUCCESS)
                return status;
            for (int i = 0; i < kAnalogInputs; ++i)
                sums[i] += part[i] * n;
            done += n;
        }
        for (int i = 0; i < kAnalogInputs; ++i)
            volts[i] = sums[i] / count;
        return VI_SUCCESS;
    });
}
