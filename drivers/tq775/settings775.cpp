// The model 775's settings: defaults, the typed accessors, the order in
// which stored settings reach the board, the channel records with their
// scan layout, and crossCheck.
#include <cstdio>
#include <cstring>

#include "session775.h"
#include "tq/driver/driver.h"
#include "tq/driver/properties.h"
#include "tq/platform/guard.h"
#include "tq775.h"

namespace tq775
{

namespace
{

using tq::platform::guardStatus;

double convertFrequency(TQStreamChannel *channel, const void *scan)
{
    const auto *c = reinterpret_cast<const Channel775 *>(channel);
    uint32_t words[2];
    memcpy(words, static_cast<const uint8_t *>(scan) + c->offset, sizeof words);
    if (words[1] == 0)
        return 0.0;
    return timebase(c->session->tickRate.load(std::memory_order_relaxed)) * words[0] / words[1];
}

double convertZero(TQStreamChannel *, const void *)
{
    return 0.0;
}

bool validLine(int16_t v)
{
    return v >= 0 && v <= 8;
}

// Option A thresholds 15-18, option B 17-20: the two-bit code of a value,
// -1 when the option does not offer it.
int thresholdCode(const Session775 &s, int16_t value)
{
    const int highest = s.thresholdOption == 2 ? 20 : 18;
    const int code = highest - value;
    return code >= 0 && code <= 3 ? code : -1;
}

// Each setting's write and store; no session lookup.
ViStatus writeInterruptEnable(Session775 &s, int16_t v)
{
    if (!s.simulated()) {
        ViStatus status = modify(s, reg::kControl, reg::kInterrupt, v == 1 ? reg::kInterrupt : 0);
        if (status >= VI_SUCCESS)
            status = modify(s, reg::kBridgeInterrupt, 0x801, 0x801, reg::kBridge);
        if (status < VI_SUCCESS)
            return status;
    }
    s.interruptEnable = v;
    return VI_SUCCESS;
}

ViStatus writeWindowSize(Session775 &s, int16_t v)
{
    if (v < 1 || v > 1024)
        return TQ775_ERROR_WINDOW;
    if (!s.simulated()) {
        const ViStatus status = modify(s, reg::kControl, reg::kWindowMask, static_cast<uint32_t>(v - 1));
        if (status < VI_SUCCESS)
            return status;
    }
    s.windowSize = v;
    s.stream->streamSetRate(s.stream, 1000.0 / v);
    return VI_SUCCESS;
}

ViStatus writeTickRate(Session775 &s, int16_t v)
{
    if (v != 10 && v != 11)
        return TQ775_ERROR_PARAMETER2;
    if (!s.simulated()) {
        const ViStatus status = modify(s, reg::kControl, reg::kTickRate, v == 11 ? reg::kTickRate : 0);
        if (status < VI_SUCCESS)
            return status;
    }
    s.tickRate.store(v, std::memory_order_relaxed);
    return VI_SUCCESS;
}

ViStatus writeTickSource(Session775 &s, int16_t v)
{
    if (!s.simulated()) {
        uint32_t field = 0, lines = 0;
        if (v == 13)
            field = 0;
        else if (v == 14)
            field = 1;
        else if (validLine(v)) {
            field = 2;
            lines = reg::kTickInOn | static_cast<uint32_t>(v) << 8;
        } else
            return TQ775_ERROR_PARAMETER2;
        ViStatus status = modify(s, reg::kControl, reg::kTickSourceMask, field << reg::kTickSourceShift);
        if (status >= VI_SUCCESS)
            status = modify(s, reg::kClockLines, validLine(v) ? 0x1F00u : reg::kTickInOn, lines);
        if (status < VI_SUCCESS)
            return status;
    }
    s.tickSource = v;
    return VI_SUCCESS;
}

ViStatus writeWindowSource(Session775 &s, int16_t v)
{
    if (!s.simulated()) {
        if (v != 12 && !validLine(v))
            return TQ775_ERROR_PARAMETER2;
        const bool line = v != 12;
        ViStatus status = modify(s, reg::kControl, reg::kWindowSource, line ? reg::kWindowSource : 0);
        if (status >= VI_SUCCESS)
            status = modify(s, reg::kClockLines, line ? 0x1F000000u : reg::kWindowInOn,
                            line ? reg::kWindowInOn | static_cast<uint32_t>(v) << 24 : 0);
        if (status < VI_SUCCESS)
            return status;
    }
    s.windowSource = v;
    return VI_SUCCESS;
}

// The two output lines: the enable bit and the four line bits below it.
ViStatus writeLineOut(Session775 &s, int16_t v, int shift, int16_t &stored)
{
    if (!s.simulated()) {
        if (v != 9 && !validLine(v))
            return TQ775_ERROR_PARAMETER2;
        const uint32_t on = 1u << (shift + 4);
        const ViStatus status = v == 9 ? modify(s, reg::kClockLines, on, 0)
                                       : modify(s, reg::kClockLines, on | 0xFu << shift,
                                                on | static_cast<uint32_t>(v) << shift);
        if (status < VI_SUCCESS)
            return status;
    }
    stored = v;
    return VI_SUCCESS;
}

ViStatus writeInterruptFlags(Session775 &s)
{
    uint32_t bits = 0;
    for (int c = 1; c <= kChannels; ++c)
        if (s.channel(c).interruptEnable == 1)
            bits |= 1u << (reg::kChannelInterruptShift + c - 1);
    return modify(s, reg::kControl, 0xFFu << reg::kChannelInterruptShift, bits);
}

ViStatus writeChannelInterrupt(Session775 &s, int c, int16_t v)
{
    const int16_t before = s.channel(c).interruptEnable;
    s.channel(c).interruptEnable = v == 1 ? 1 : 0;
    if (!s.simulated()) {
        const ViStatus status = writeInterruptFlags(s);
        if (status < VI_SUCCESS) {
            s.channel(c).interruptEnable = before;
            return status;
        }
    }
    return VI_SUCCESS;
}

ViStatus writeChannelBit(Session775 &s, ViBusAddress offset, int c, bool on)
{
    if (s.simulated())
        return VI_SUCCESS;
    const uint32_t bit = 1u << (c - 1);
    return modify(s, offset, bit, on ? bit : 0);
}

ViStatus writeThreshold(Session775 &s, int c, int16_t v)
{
    if (!s.simulated()) {
        if (v < 15 || v > 20)
            return TQ775_ERROR_PARAMETER3;
        const int code = thresholdCode(s, v);
        if (code < 0)
            return TQ775_ERROR_THRESHOLD_OPTION;
        const uint32_t shift = 2u * static_cast<uint32_t>(c - 1);
        const ViStatus status =
            modify(s, reg::kThreshold, 3u << shift, static_cast<uint32_t>(code) << shift);
        if (status < VI_SUCCESS)
            return status;
    }
    s.channel(c).threshold = v;
    return VI_SUCCESS;
}

bool channelIndex(int16_t c)
{
    return c >= 1 && c <= kChannels;
}

// Reads a register on hardware; simulated sessions answer from the session.
template <typename F> ViStatus getter(ViSession vi, ViInt16 *out, F &&body)
{
    Session775 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!out)
        return VI_ERROR_INV_PARAMETER;
    return guardStatus([&]() -> ViStatus { return body(*s); });
}

template <typename F> ViStatus setter(ViSession vi, F &&body)
{
    Session775 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    return guardStatus([&]() -> ViStatus { return body(*s); });
}

ViStatus readControl(Session775 &s, uint32_t &v)
{
    return in32(s, reg::kControl, v);
}

} // namespace

double timebase(int16_t tickRate)
{
    return tickRate == 10 ? 10000000.0 : 1000000.0;
}

void initChannelRecords(Session775 &s)
{
    for (int c = 1; c <= kChannels; ++c) {
        Channel775 &ch = s.channel(c);
        ch = Channel775{};
        snprintf(ch.head.name, sizeof ch.head.name, "Channel%d", c);
        tq::driver::copyName(ch.head.eu, sizeof ch.head.eu, "hz");
        ch.head.ownerWord = c;
        ch.head.streamChannelEval = convertFrequency;
        ch.head.streamChannelEvalRaw = convertZero;
        ch.head.stream = s.stream;
        ch.session = &s;
    }
}

void relayout(Session775 &s)
{
    uint16_t n = 0;
    for (Channel775 &c : s.channels)
        if (c.head.enableWord)
            c.offset = static_cast<uint16_t>(8 * n++);
    const uint32_t scanSize = 8u * n;
    s.streamHandles.setNumberChannels(s.stream, n);
    s.streamHandles.setScanSize(s.stream, static_cast<uint16_t>(scanSize));
    tq::driver::ScanBufferSizes sizes;
    const int32_t unit = n ? static_cast<int32_t>(scanSize) : 1;
    sizes.segmentBytes = 256 * unit;
    sizes.bufferBytes = 2560 * unit;
    sizes.maximumBytes = 3840 * unit;
    tq::driver::prepareScanBuffer(s, s.buffer, scanSize, sizes);
}

void setDefaults(Session775 &s)
{
    const bool hadChannels = s.enabledCount() != 0;
    s.stream->streamSetRate(s.stream, 1000.0);
    s.interruptEnable = 0;
    s.windowSize = 1;
    s.tickRate.store(10, std::memory_order_relaxed);
    s.tickSource = 13;
    s.tickOut = 9;
    s.windowSource = 12;
    s.windowOut = 9;
    s.running = false;
    for (int c = 1; c <= kChannels; ++c) {
        Channel775 &ch = s.channel(c);
        snprintf(ch.head.name, sizeof ch.head.name, "Channel%d", c);
        tq::driver::copyName(ch.head.eu, sizeof ch.head.eu, "hz");
        ch.head.enableWord = 0;
        ch.interruptEnable = 0;
        ch.coupling = 24;
        ch.filter = 0;
        ch.inputType = 21;
        ch.threshold = 17;
    }
    if (hadChannels)
        relayout(s);
    else {
        s.streamHandles.setNumberChannels(s.stream, 0);
        s.streamHandles.setScanSize(s.stream, 0);
    }
}

ViStatus applySettings(Session775 &s)
{
    if (s.simulated())
        return VI_ERROR_INV_SETUP;
    ViStatus status = writeInterruptEnable(s, s.interruptEnable);
    if (status >= VI_SUCCESS)
        status = writeWindowSize(s, s.windowSize);
    if (status >= VI_SUCCESS)
        status = writeTickRate(s, s.tickRate.load(std::memory_order_relaxed));
    if (status >= VI_SUCCESS)
        status = writeTickSource(s, s.tickSource);
    if (status >= VI_SUCCESS)
        status = writeLineOut(s, s.tickOut, 0, s.tickOut);
    if (status >= VI_SUCCESS)
        status = writeWindowSource(s, s.windowSource);
    if (status >= VI_SUCCESS)
        status = writeLineOut(s, s.windowOut, 16, s.windowOut);
    for (int c = 1; c <= kChannels && status >= VI_SUCCESS; ++c) {
        Channel775 &ch = s.channel(c);
        status = writeChannelInterrupt(s, c, ch.interruptEnable);
        if (status >= VI_SUCCESS)
            status = writeChannelBit(s, reg::kCoupling, c, ch.coupling == 23);
        if (status >= VI_SUCCESS)
            status = writeChannelBit(s, reg::kFilter, c, ch.filter == 1);
        if (status >= VI_SUCCESS)
            status = writeChannelBit(s, reg::kInputType, c, ch.inputType != 21);
        if (status >= VI_SUCCESS)
            status = writeThreshold(s, c, ch.threshold);
    }
    return status;
}

ViStatus crossCheck(Session775 &s, ViChar *message)
{
    tq::driver::ChannelNameCheck names;
    char text[tq::driver::kNameLength] = {};
    for (int c = kChannels; c >= 1; --c) {
        Channel775 &ch = s.channel(c);
        if (!ch.head.enableWord)
            continue;
        ViStatus status = names.check(c, ch.head.name, text);
        const int16_t t = ch.threshold;
        const bool optionB = s.thresholdOption == 2;
        if (optionB ? (t < 17 || t > 20) : (t < 15 || t > 18)) {
            snprintf(text, sizeof text,
                     optionB ? "Channel %d threshold limited to 100,200,500,1000mV"
                             : "Channel %d threshold limited to 20,40,100,200mV",
                     c);
            status = VI_ERROR_INV_PARAMETER;
        }
        if (status < VI_SUCCESS) {
            if (message)
                tq::driver::copyName(message, tq::driver::kNameLength, text);
            return status;
        }
    }
    return VI_SUCCESS;
}

} // namespace tq775

using tq775::Session775;
using tq775::find;
namespace reg = tq775::reg;

TQ_API ViStatus tq775_getThresholdOption(ViSession vi, ViInt16 *option)
{
    return tq775::getter(vi, option, [&](Session775 &s) {
        *option = s.thresholdOption;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq775_setThresholdOption(ViSession vi, TQPnPHandle *unused)
{
    return tq::driver::pnpAttachBackend(vi, unused);
}

TQ_API ViStatus tq775_setObservationWindowSize(ViSession vi, ViInt16 ms)
{
    return tq775::setter(vi, [&](Session775 &s) -> ViStatus {
        // The thread paces itself by the window it took at start.
        if (s.running.load())
            return TQ775_ERROR_RUNNING;
        return tq775::writeWindowSize(s, ms);
    });
}

TQ_API ViStatus tq775_getObservationWindowSize(ViSession vi, ViInt16 *ms)
{
    return tq775::getter(vi, ms, [&](Session775 &s) {
        if (!s.simulated()) {
            uint32_t v = 0;
            const ViStatus status = tq775::readControl(s, v);
            if (status < VI_SUCCESS)
                return status;
            s.windowSize = static_cast<int16_t>((v & reg::kWindowMask) + 1);
        }
        *ms = s.windowSize;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq775_setTickClockRate(ViSession vi, ViInt16 rate)
{
    return tq775::setter(vi, [&](Session775 &s) { return tq775::writeTickRate(s, rate); });
}

TQ_API ViStatus tq775_getTickClockRate(ViSession vi, ViInt16 *rate)
{
    return tq775::getter(vi, rate, [&](Session775 &s) {
        if (!s.simulated()) {
            uint32_t v = 0;
            const ViStatus status = tq775::readControl(s, v);
            if (status < VI_SUCCESS)
                return status;
            s.tickRate.store((v & reg::kTickRate) ? 11 : 10, std::memory_order_relaxed);
        }
        *rate = s.tickRate.load(std::memory_order_relaxed);
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq775_setTickClockSource(ViSession vi, ViInt16 source)
{
    return tq775::setter(vi, [&](Session775 &s) { return tq775::writeTickSource(s, source); });
}

TQ_API ViStatus tq775_getTickClockSource(ViSession vi, ViInt16 *source)
{
    return tq775::getter(vi, source, [&](Session775 &s) {
        if (!s.simulated()) {
            uint32_t control = 0, lines = 0;
            ViStatus status = tq775::readControl(s, control);
            if (status >= VI_SUCCESS)
                status = tq775::in32(s, reg::kClockLines, lines);
            if (status < VI_SUCCESS)
                return status;
            switch ((control & reg::kTickSourceMask) >> reg::kTickSourceShift) {
            case 0:
                s.tickSource = 13;
                break;
            case 1:
                s.tickSource = 14;
                break;
            case 2:
                s.tickSource = static_cast<int16_t>((lines >> 8) & 0xF);
                break;
            default:
                return TQ775_WARN_FIELD_STATE;
            }
        }
        *source = s.tickSource;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq775_setTickClockToTriggerLineOut(ViSession vi, ViInt16 line)
{
    return tq775::setter(vi, [&](Session775 &s) { return tq775::writeLineOut(s, line, 0, s.tickOut); });
}

TQ_API ViStatus tq775_getTickClockToTriggerLineOut(ViSession vi, ViInt16 *line)
{
    return tq775::getter(vi, line, [&](Session775 &s) {
        if (!s.simulated()) {
            uint32_t lines = 0;
            const ViStatus status = tq775::in32(s, reg::kClockLines, lines);
            if (status < VI_SUCCESS)
                return status;
            s.tickOut = (lines & reg::kTickOutOn) ? static_cast<int16_t>(lines & 0xF) : 9;
        }
        *line = s.tickOut;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq775_setWindowClockSource(ViSession vi, ViInt16 source)
{
    return tq775::setter(vi, [&](Session775 &s) { return tq775::writeWindowSource(s, source); });
}

TQ_API ViStatus tq775_getWindowClockSource(ViSession vi, ViInt16 *source)
{
    return tq775::getter(vi, source, [&](Session775 &s) {
        if (!s.simulated()) {
            uint32_t control = 0, lines = 0;
            ViStatus status = tq775::readControl(s, control);
            if (status >= VI_SUCCESS)
                status = tq775::in32(s, reg::kClockLines, lines);
            if (status < VI_SUCCESS)
                return status;
            s.windowSource = (control & reg::kWindowSource) ? static_cast<int16_t>((lines >> 24) & 0xF) : 12;
        }
        *source = s.windowSource;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq775_setWindowClockToTriggerLineOut(ViSession vi, ViInt16 line)
{
    return tq775::setter(vi, [&](Session775 &s) { return tq775::writeLineOut(s, line, 16, s.windowOut); });
}

TQ_API ViStatus tq775_getWindowClockToTriggerLineOut(ViSession vi, ViInt16 *line)
{
    return tq775::getter(vi, line, [&](Session775 &s) {
        if (!s.simulated()) {
            uint32_t lines = 0;
            const ViStatus status = tq775::in32(s, reg::kClockLines, lines);
            if (status < VI_SUCCESS)
                return status;
            s.windowOut = (lines & reg::kWindowOutOn) ? static_cast<int16_t>((lines >> 16) & 0xF) : 9;
        }
        *line = s.windowOut;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq775_setInterruptEnable(ViSession vi, ViInt16 enable)
{
    return tq775::setter(vi, [&](Session775 &s) { return tq775::writeInterruptEnable(s, enable); });
}

TQ_API ViStatus tq775_getInterruptEnable(ViSession vi, ViInt16 *enable)
{
    return tq775::getter(vi, enable, [&](Session775 &s) {
        if (!s.simulated()) {
            uint32_t v = 0;
            const ViStatus status = tq775::readControl(s, v);
            if (status < VI_SUCCESS)
                return status;
            s.interruptEnable = (v & reg::kInterrupt) ? 1 : 0;
        }
        *enable = s.interruptEnable;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq775_setHealthCheck(ViSession vi, ViInt16 check)
{
    return tq775::setter(vi, [&](Session775 &s) -> ViStatus {
        uint32_t first = 0, firstValue = 0, second = 0, secondValue = 0;
        switch (check) {
        case 25:
            first = reg::kTtlCheck, second = reg::kDiffCheck, secondValue = reg::kDiffCheck;
            break;
        case 26:
            first = reg::kDiffCheck, second = reg::kTtlCheck, secondValue = reg::kTtlCheck;
            break;
        case 27:
            first = reg::kDiffCheck, second = reg::kTtlCheck;
            break;
        default:
            return TQ775_ERROR_PARAMETER2;
        }
        const ViStatus status = tq775::modify(s, reg::kControl, first, firstValue);
        if (status < VI_SUCCESS)
            return status;
        return tq775::modify(s, reg::kControl, second, secondValue);
    });
}

TQ_API ViStatus tq775_getHealthCheck(ViSession vi, ViInt16 *check)
{
    return tq775::getter(vi, check, [&](Session775 &s) {
        uint32_t v = 0;
        const ViStatus status = tq775::readControl(s, v);
        if (status < VI_SUCCESS)
            return status;
        *check = (v & reg::kDiffCheck) ? 25 : (v & reg::kTtlCheck) ? 26 : 27;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq775_setInterruptMask(ViSession vi, ViInt16 mask)
{
    return tq775::setter(vi, [&](Session775 &s) -> ViStatus {
        const ViStatus status = tq775::modify(s, reg::kControl, 0xFFu << reg::kChannelInterruptShift,
                                              (static_cast<uint32_t>(mask) & 0xFF) << reg::kChannelInterruptShift);
        if (status < VI_SUCCESS)
            return status;
        for (int c = 1; c <= tq775::kChannels; ++c)
            s.channel(c).interruptEnable = (mask >> (c - 1)) & 1;
        return status;
    });
}

TQ_API ViStatus tq775_getInterruptMask(ViSession vi, ViInt16 *mask)
{
    return tq775::getter(vi, mask, [&](Session775 &s) {
        uint32_t v = 0;
        const ViStatus status = tq775::readControl(s, v);
        if (status >= VI_SUCCESS)
            *mask = static_cast<ViInt16>((v >> reg::kChannelInterruptShift) & 0xFF);
        return status;
    });
}

TQ_API ViStatus tq775_setInterruptLevel(ViSession vi, ViInt16)
{
    return find(vi) ? TQ775_WARN_NO_FEATURE : VI_ERROR_INV_OBJECT;
}

TQ_API ViStatus tq775_getInterruptLevel(ViSession vi, ViInt16 *)
{
    return find(vi) ? TQ775_WARN_NO_FEATURE : VI_ERROR_INV_OBJECT;
}

TQ_API ViStatus tq775_setContinuousScanEnable(ViSession vi, ViInt16 flag)
{
    return tq775::setter(vi, [&](Session775 &s) {
        return tq775::modify(s, reg::kControl, reg::kContinuous, flag == 1 ? reg::kContinuous : 0);
    });
}

TQ_API ViStatus tq775_getContinuousScanEnable(ViSession vi, ViInt16 *flag)
{
    return tq775::getter(vi, flag, [&](Session775 &s) {
        uint32_t v = 0;
        const ViStatus status = tq775::readControl(s, v);
        if (status >= VI_SUCCESS)
            *flag = (v & reg::kContinuous) ? 1 : 0;
        return status;
    });
}

TQ_API ViStatus tq775_setChannelEnable(ViSession vi, ViInt16 channel, ViInt16 enable)
{
    return tq775::setter(vi, [&](Session775 &s) -> ViStatus {
        if (channel < 0 || channel > tq775::kChannels)
            return VI_ERROR_INV_PARAMETER;
        const int first = channel == 0 ? 1 : channel, last = channel == 0 ? tq775::kChannels : channel;
        const intptr_t want = enable == 1 ? 1 : 0;
        bool changed = false;
        for (int c = first; c <= last; ++c)
            changed = changed || s.channel(c).head.enableWord != want;
        if (!changed)
            return VI_SUCCESS;
        // The running thread writes scans of the size it took at start into
        // the buffer a new layout would reset.
        if (s.running.load())
            return TQ775_ERROR_RUNNING;
        for (int c = first; c <= last; ++c)
            s.channel(c).head.enableWord = want;
        tq775::relayout(s);
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq775_getChannelEnable(ViSession vi, ViInt16 channel, ViInt32 *enable)
{
    Session775 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!enable || !tq775::channelIndex(channel))
        return VI_ERROR_INV_PARAMETER;
    *enable = static_cast<ViInt32>(s->channel(channel).head.enableWord);
    return VI_SUCCESS;
}

TQ_API ViStatus tq775_setChannelName(ViSession vi, ViInt16 channel, ViConstString name)
{
    Session775 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    // Names longer than a record holds are refused rather than cut.
    if (!tq775::channelIndex(channel) || !name || strlen(name) >= tq775::kChannelNameLength)
        return VI_ERROR_INV_PARAMETER;
    tq::driver::copyName(s->channel(channel).head.name, tq775::kChannelNameLength, name);
    return VI_SUCCESS;
}

TQ_API ViStatus tq775_getChannelName(ViSession vi, ViInt16 channel, ViChar *name)
{
    Session775 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!name || !tq775::channelIndex(channel))
        return VI_ERROR_INV_PARAMETER;
    tq::driver::copyName(name, tq::driver::kNameLength, s->channel(channel).head.name);
    return VI_SUCCESS;
}

TQ_API ViStatus tq775_setChannelThreshold(ViSession vi, ViInt16 channel, ViInt16 threshold)
{
    return tq775::setter(vi, [&](Session775 &s) -> ViStatus {
        if (!tq775::channelIndex(channel))
            return TQ775_ERROR_CHANNEL;
        return tq775::writeThreshold(s, channel, threshold);
    });
}

TQ_API ViStatus tq775_getChannelThreshold(ViSession vi, ViInt16 channel, ViInt16 *threshold)
{
    return tq775::getter(vi, threshold, [&](Session775 &s) -> ViStatus {
        if (!tq775::channelIndex(channel))
            return TQ775_ERROR_CHANNEL;
        if (!s.simulated()) {
            uint32_t v = 0;
            const ViStatus status = tq775::in32(s, reg::kThreshold, v);
            if (status < VI_SUCCESS)
                return status;
            const int code = static_cast<int>((v >> (2 * (channel - 1))) & 3);
            s.channel(channel).threshold = static_cast<int16_t>((s.thresholdOption == 2 ? 20 : 18) - code);
        }
        *threshold = s.channel(channel).threshold;
        return VI_SUCCESS;
    });
}

namespace
{
// The three one-bit channel settings: register, stored field, the value
// that sets the bit, and the two values the getter answers.
struct ChannelBit {
    ViBusAddress offset;
    int16_t tq775::Channel775::*field;
    bool (*on)(int16_t);
    int16_t whenSet, whenClear;
};
const ChannelBit kFilterBit{reg::kFilter, &tq775::Channel775::filter, [](int16_t v) { return v == 1; }, 1, 0};
const ChannelBit kCouplingBit{reg::kCoupling, &tq775::Channel775::coupling, [](int16_t v) { return v == 23; }, 23,
                              24};
const ChannelBit kInputBit{reg::kInputType, &tq775::Channel775::inputType, [](int16_t v) { return v != 21; }, 22, 21};

ViStatus setBit(ViSession vi, ViInt16 channel, ViInt16 value, const ChannelBit &b)
{
    return tq775::setter(vi, [&](Session775 &s) -> ViStatus {
        if (!tq775::channelIndex(channel))
            return TQ775_ERROR_CHANNEL;
        const bool on = b.on(value);
        const ViStatus status = tq775::writeChannelBit(s, b.offset, channel, on);
        if (status < VI_SUCCESS)
            return status;
        s.channel(channel).*b.field = on ? b.whenSet : b.whenClear;
        return status;
    });
}

ViStatus getBit(ViSession vi, ViInt16 channel, ViInt16 *value, const ChannelBit &b)
{
    return tq775::getter(vi, value, [&](Session775 &s) -> ViStatus {
        if (!tq775::channelIndex(channel))
            return TQ775_ERROR_CHANNEL;
        if (!s.simulated()) {
            uint32_t v = 0;
            const ViStatus status = tq775::in32(s, b.offset, v);
            if (status < VI_SUCCESS)
                return status;
            s.channel(channel).*b.field = (v >> (channel - 1)) & 1 ? b.whenSet : b.whenClear;
        }
        *value = s.channel(channel).*b.field;
        return VI_SUCCESS;
    });
}
} // namespace

TQ_API ViStatus tq775_setChannelFilterEnable(ViSession vi, ViInt16 channel, ViInt16 enable)
{
    return setBit(vi, channel, enable, kFilterBit);
}
TQ_API ViStatus tq775_getChannelFilterEnable(ViSession vi, ViInt16 channel, ViInt16 *enable)
{
    return getBit(vi, channel, enable, kFilterBit);
}
TQ_API ViStatus tq775_setChannelCoupling(ViSession vi, ViInt16 channel, ViInt16 coupling)
{
    return setBit(vi, channel, coupling, kCouplingBit);
}
TQ_API ViStatus tq775_getChannelCoupling(ViSession vi, ViInt16 channel, ViInt16 *coupling)
{
    return getBit(vi, channel, coupling, kCouplingBit);
}
TQ_API ViStatus tq775_setChannelInputType(ViSession vi, ViInt16 channel, ViInt16 type)
{
    return setBit(vi, channel, type, kInputBit);
}
TQ_API ViStatus tq775_getChannelInputType(ViSession vi, ViInt16 channel, ViInt16 *type)
{
    return getBit(vi, channel, type, kInputBit);
}

TQ_API ViStatus tq775_setChannelInterruptEnable(ViSession vi, ViInt16 channel, ViInt16 enable)
{
    return tq775::setter(vi, [&](Session775 &s) -> ViStatus {
        if (channel < 0 || channel > tq775::kChannels)
            return VI_ERROR_INV_PARAMETER;
        const int first = channel == 0 ? 1 : channel, last = channel == 0 ? tq775::kChannels : channel;
        for (int c = first; c <= last; ++c) {
            const ViStatus status = tq775::writeChannelInterrupt(s, c, enable);
            if (status < VI_SUCCESS)
                return status;
        }
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq775_getChannelInterruptEnable(ViSession vi, ViInt16 channel, ViInt32 *enable)
{
    Session775 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!enable || !tq775::channelIndex(channel))
        return VI_ERROR_INV_PARAMETER;
    *enable = s->channel(channel).interruptEnable;
    return VI_SUCCESS;
}
