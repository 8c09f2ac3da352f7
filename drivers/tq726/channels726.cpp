// Channel records of the model 726: codes, the value functions the formula
// engine calls, the output layout, the defaults and the channel properties.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "driver726.h"
#include "tq/driver/stream.h"

namespace tq726
{

namespace
{

// Result of a stream operation this stream does not support.
constexpr int32_t kNotSupported = -13;

constexpr double kInitialRate = 100.0;
constexpr double kInitialOutputRate = 0.5;

Channel &record(TQStreamChannel *c)
{
    return *reinterpret_cast<Channel *>(c);
}

// Both the value and the raw value of an output channel.
double convertZero(TQStreamChannel *, const void *)
{
    return 0.0;
}

// An asynchronous channel writes into the output scan at its offset, but
// only while it has one inside the scans of the open reservation: a
// channel disabled, or enabled after the room was reserved, would write
// past the scan. Every other channel keeps the value as its static code.
void setEvalVolts(TQStreamChannel *channel, double value, void *scan)
{
    Channel &c = record(channel);
    const uint16_t code = clampedCode(value);
    const int32_t slot = c.slot.load(std::memory_order_relaxed);
    if (slot >= 0 || (slot == kSlotDisabled && c.asynchronous.load(std::memory_order_relaxed))) {
        Session726 *s = c.session;
        if (scan && s && slot >= 0 && slot + 2 <= s->reservedScanSize.load(std::memory_order_acquire))
            memcpy(static_cast<unsigned char *>(scan) + slot, &code, sizeof code);
        return;
    }
    // Only a new code wakes the output thread: a formula that writes the
    // same value every scan costs it nothing.
    if (c.staticCode.exchange(code, std::memory_order_relaxed) != code && c.session)
        outputsChanged(*c.session);
}

void setOutputSyncTypeAnalogOut(TQStreamChannel *channel, int32_t type)
{
    Channel &c = record(channel);
    if (channel->outputSyncType == type)
        return;
    channel->outputSyncType = type;
    c.asynchronous.store(type == TQ726_SYNC_ASYNCHRONOUS, std::memory_order_relaxed);
    if (c.session)
        updateLayout(*c.session);
}

Session726 *sessionOf(TQStream *stream)
{
    return static_cast<Session726 *>(tq::driver::sessionOfStream(stream));
}

int32_t captureNotSupported(TQStream *, const char *, int32_t)
{
    return kNotSupported;
}
int32_t captureCloseNotSupported(TQStream *)
{
    return kNotSupported;
}
TQStreamChannel *noChannelByIndex(TQStream *, int32_t)
{
    return nullptr;
}

TQStreamChannel *outputChannel(TQStream *stream, const char *name)
{
    return stream->streamGetChannel(stream, name);
}

TQStreamChannel *outputChannelByIndex(TQStream *stream, int32_t index)
{
    Session726 *s = sessionOf(stream);
    if (!s || index < 0)
        return nullptr;
    int32_t seen = 0;
    for (int c = 1; c <= s->channelCount; ++c)
        if (s->channel(c).enable == 1 && seen++ == index)
            return &s->channel(c).head;
    return nullptr;
}

void copyText(char *out, size_t size, const char *text)
{
    tq::driver::copyName(out, size, text);
}

} // namespace

uint16_t voltsCode(double volts)
{
    if (volts >= kMaxVolts)
        return 0xFFFF;
    const double code = std::trunc((volts - kMinVolts) / (kMaxVolts - kMinVolts) * 65536.0);
    if (code <= 0.0)
        return 0;
    return code >= 65535.0 ? 0xFFFF : static_cast<uint16_t>(code);
}

uint16_t clampedCode(double volts)
{
    if (std::isnan(volts))
        return kZeroCode;
    if (volts < kMinVolts)
        return 0;
    return voltsCode(volts);
}

double codeVolts(uint16_t code)
{
    return kMinVolts + code * (kMaxVolts - kMinVolts) / 65536.0;
}

void resetChannelRecords(Session726 &s)
{
    for (int c = 1; c <= kMaxChannels; ++c) {
        Channel &ch = s.channel(c);
        char name[TQ_CHANNEL_NAME_SIZE];
        snprintf(name, sizeof name, "Channel%d", c);
        copyText(ch.head.name, sizeof ch.head.name, name);
        copyText(ch.head.eu, sizeof ch.head.eu, "volts");
        ch.head.ownerWord = c;
        ch.head.streamChannelEval = convertZero;
        ch.head.streamChannelEvalRaw = convertZero;
        ch.head.streamChannelSetEval = setEvalVolts;
        ch.head.streamChannelSetOutputSyncType = setOutputSyncTypeAnalogOut;
        ch.head.stream = s.stream;
        ch.head.enableWord = 0;
        ch.enable = 0;
        ch.initialVolts = 0.0;
        ch.session = &s;
    }
}

void updateLayout(Session726 &s)
{
    int32_t async = 0, statics = 0;
    for (int c = 1; c <= kMaxChannels; ++c) {
        Channel &ch = s.channel(c);
        int32_t slot = kSlotDisabled;
        ch.asynchronous.store(ch.head.outputSyncType == TQ726_SYNC_ASYNCHRONOUS, std::memory_order_relaxed);
        if (c <= s.channelCount && ch.enable == 1) {
            if (ch.head.outputSyncType == TQ726_SYNC_ASYNCHRONOUS) {
                ch.offset = static_cast<uint16_t>(2 * async++);
                slot = ch.offset;
            } else {
                ++statics;
                slot = kSlotStatic;
            }
        }
        ch.slot.store(slot, std::memory_order_relaxed);
    }
    s.staticCount = statics;
    s.asyncCount.store(async, std::memory_order_release);
    outputsChanged(s);
    if (s.stream) {
        s.streamHandles.setOutputScanSize(s.stream, static_cast<uint16_t>(2 * async));
        s.streamHandles.setNumberOutputChannels(s.stream, static_cast<uint16_t>(async));
    }
}

void setDefaults(Session726 &s)
{
    if (s.stream) {
        TQStream *st = s.stream;
        s.streamHandles.setNumberChannels(st, 0);
        s.streamHandles.setScanSize(st, 0);
        st->streamSetRate(st, kInitialRate);
        st->streamSetOutputRate(st, kInitialOutputRate);
        st->streamSetOutputRecycleRate(st, 0.0);
    }
    // The synchronisation types are the formula engine's: they stay.
    resetChannelRecords(s);
    updateLayout(s);
}

ViStatus applyAll(Session726 &s)
{
    if (s.simulated())
        return VI_ERROR_INV_SETUP;
    ViStatus status = VI_SUCCESS;
    for (int c = 1; c <= s.channelCount && status >= VI_SUCCESS; ++c)
        status = tq726_setChannelVoltage(s.value, static_cast<ViInt16>(c), s.channel(c).initialVolts);
    return status;
}

void installStreamOperations(Session726 &s)
{
    TQStream *st = s.stream;
    st->streamCaptureOpen = captureNotSupported;
    st->streamCaptureClose = captureCloseNotSupported;
    st->streamGetChannelByIndex = noChannelByIndex;
    st->streamGetOutputChannel = outputChannel;
    st->streamGetOutputChannelByIndex = outputChannelByIndex;
    st->streamReserveWrite = reserveWrite;
    st->streamCompleteWrite = completeWrite;
}

} // namespace tq726

// ---- Channel properties ---------------------------------------------------------------

using namespace tq726;

TQ_API ViStatus tq726_getChannelCount(ViSession vi, ViInt16 *count)
{
    return withSession(vi, [&](Session726 &s) {
        if (!count)
            return VI_ERROR_INV_PARAMETER;
        *count = s.channelCount;
        return VI_SUCCESS;
    });
}

// Read-only; the same not-supported answer as the PnP handle's attachBackend.
TQ_API ViStatus tq726_setChannelCount(ViSession, ViInt16)
{
    return VI_ERROR_NSUP_OPER;
}

TQ_API ViStatus tq726_setOutputScanRate(ViSession vi, ViReal64 rate)
{
    return withSession(vi, [&](Session726 &s) {
        s.stream->streamSetOutputRate(s.stream, rate);
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq726_setOutputRecycleRate(ViSession vi, ViReal64 rate)
{
    return withSession(vi, [&](Session726 &s) {
        s.stream->streamSetOutputRecycleRate(s.stream, rate);
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq726_setChannelEnable(ViSession vi, ViInt16 channel, ViInt16 enable)
{
    return withSession(vi, [&](Session726 &s) {
        if (!s.validChannel(channel) || (enable != 0 && enable != 1))
            return VI_ERROR_INV_PARAMETER;
        Channel &c = s.channel(channel);
        c.enable = static_cast<uint16_t>(enable);
        c.head.enableWord = enable;
        updateLayout(s);
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq726_getChannelEnable(ViSession vi, ViInt16 channel, ViUInt16 *enable)
{
    return withSession(vi, [&](Session726 &s) {
        if (!s.validChannel(channel) || !enable)
            return VI_ERROR_INV_PARAMETER;
        *enable = s.channel(channel).enable;
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq726_setChannelName(ViSession vi, ViInt16 channel, ViConstString name)
{
    return withSession(vi, [&](Session726 &s) {
        if (!s.validChannel(channel) || !name)
            return VI_ERROR_INV_PARAMETER;
        Channel &c = s.channel(channel);
        tq::driver::copyName(c.head.name, sizeof c.head.name, name);
        return VI_SUCCESS;
    });
}

TQ_API ViStatus tq726_getChannelName(ViSession vi, ViInt16 channel, ViChar *name)
{
    return withSession(vi, [&](Session726 &s) {
        if (!s.validChannel(channel) || !name)
            return VI_ERROR_INV_PARAMETER;
        tq::driver::copyName(name, sizeof s.channel(channel).head.name, s.channel(channel).head.name);
        return VI_SUCCESS;
    });
}
