// The model 747's channel records, defaults, channel counts and the stream
// operations it takes over from the framework.
#include <cstdio>
#include <cstring>

#include "session747.h"
#include "tq/driver/driver.h"
#include "tq/driver/stream.h"

namespace tq747
{

namespace
{

using tq::driver::BitChannel;

Session747 *ownerOf(TQStream *stream)
{
    return static_cast<Session747 *>(tq::driver::sessionOfStream(stream));
}

// A bound module's channels as the carrier counts them: its channel by
// index lists the enabled input channels, then the enabled event channels,
// then the enabled output channels.
void moduleCounts(const Site &site, uint16_t &inputs, uint16_t &outputs)
{
    inputs = outputs = 0;
    if (!site.bound || !site.ops.channelByIndex)
        return;
    for (ViInt32 n = 0; n < 1024; ++n) {
        TQStreamChannel *c = nullptr;
        if (site.ops.channelByIndex(site.module, n, &c) < VI_SUCCESS || !c)
            return;
        if (tq::driver::isOutput(*c))
            ++outputs;
        else
            ++inputs;
    }
}

double convertEventWindow(TQStreamChannel *channel, const void *scan)
{
    auto &ev = *reinterpret_cast<EventChannel *>(channel);
    const double low = ev.polarity == 2 ? 1.0 : 0.0;
    Session747 *s = ev.session;
    if (!s || !s->stream)
        return low;
    int64_t number = -1;
    if (s->stream->streamLock(s->stream, 1000) == 0) {
        number = tq::driver::scanNumberOf(s->buffer, scan);
        s->stream->streamUnlock(s->stream);
    }
    // A scan no kept segment holds has no event window.
    if (number < 0)
        return low;
    const uint32_t count = ev.count.load(std::memory_order_acquire);
    uint32_t i = ev.oldest.load(std::memory_order_relaxed);
    if (count > static_cast<uint32_t>(kRingSize) && i < count - kRingSize)
        i = count - kRingSize;
    bool in = false;
    for (; i < count; ++i) {
        const int64_t p = ev.ring[i % kRingSize].load(std::memory_order_relaxed);
        if (p <= number && number < p + ev.duration) {
            in = true;
            break;
        }
    }
    return in ? 1.0 - low : low;
}

TQStreamChannel *channelByName(TQStream *stream, const char *name)
{
    Session747 *s = ownerOf(stream);
    if (!s || !name)
        return nullptr;
    for (BitChannel &c : s->channels)
        if (strncmp(c.head.name, name, sizeof c.head.name) == 0)
            return &c.head;
    for (EventChannel &e : s->events)
        if (strncmp(e.head.name, name, sizeof e.head.name) == 0)
            return &e.head;
    for (Site &site : s->sites) {
        if (!site.bound || !site.ops.channelByName)
            continue;
        TQStreamChannel *c = nullptr;
        if (site.ops.channelByName(site.module, name, &c) >= VI_SUCCESS && c)
            return c;
    }
    return nullptr;
}

// The n-th of exactly the channels the input count counts: enabled carrier
// channels of input groups, enabled event channels, then each bound
// module's input channels.
TQStreamChannel *channelByIndex(TQStream *stream, int32_t n)
{
    Session747 *s = ownerOf(stream);
    if (!s || n < 0)
        return nullptr;
    for (int c = 1; c <= kChannels; ++c) {
        BitChannel &ch = s->channel(c);
        if (ch.enable && !tq::driver::isOutput(ch.head) && n-- == 0)
            return &ch.head;
    }
    for (EventChannel &e : s->events)
        if (e.enable && n-- == 0)
            return &e.head;
    for (Site &site : s->sites) {
        uint16_t inputs = 0, outputs = 0;
        moduleCounts(site, inputs, outputs);
        if (n < inputs) {
            TQStreamChannel *c = nullptr;
            site.ops.channelByIndex(site.module, n, &c);
            return c;
        }
        n -= inputs;
    }
    return nullptr;
}

uint16_t numberChannels(TQStream *stream)
{
    Session747 *s = ownerOf(stream);
    if (!s)
        return 0;
    const uint16_t n = inputChannelCount(*s);
    s->inputCount.store(n, std::memory_order_relaxed);
    return n;
}

uint16_t numberOutputChannels(TQStream *stream)
{
    Session747 *s = ownerOf(stream);
    return s ? outputChannelCount(*s) : 0;
}

} // namespace

uint16_t inputChannelCount(Session747 &s)
{
    unsigned n = 0;
    for (BitChannel &c : s.channels)
        if (c.enable && !tq::driver::isOutput(c.head))
            ++n;
    for (EventChannel &e : s.events)
        if (e.enable)
            ++n;
    for (Site &site : s.sites) {
        uint16_t in = 0, out = 0;
        moduleCounts(site, in, out);
        n += in;
    }
    return static_cast<uint16_t>(n);
}

uint16_t outputChannelCount(Session747 &s)
{
    unsigned n = 0;
    for (BitChannel &c : s.channels)
        if (c.enable && tq::driver::isOutput(c.head))
            ++n;
    for (Site &site : s.sites) {
        uint16_t in = 0, out = 0;
        moduleCounts(site, in, out);
        n += out;
    }
    return static_cast<uint16_t>(n);
}

void recount(Session747 &s)
{
    if (!s.stream)
        return;
    const uint16_t inputs = inputChannelCount(s);
    s.inputCount.store(inputs, std::memory_order_relaxed);
    s.streamHandles.setNumberChannels(s.stream, inputs);
    s.streamHandles.setNumberOutputChannels(s.stream, outputChannelCount(s));
}

void installStreamOperations(Session747 &s)
{
    s.stream->streamGetChannel = channelByName;
    s.stream->streamGetChannelByIndex = channelByIndex;
    s.stream->streamGetNumberChannels = numberChannels;
    s.stream->streamGetNumberOutputChannels = numberOutputChannels;
}

void resetChannelRecords(Session747 &s)
{
    char name[64];
    for (int c = 1; c <= kChannels; ++c) {
        BitChannel &ch = s.channel(c);
        ch = BitChannel{};
        snprintf(name, sizeof name, "DigitalChannel%d", c);
        tq::driver::initBitChannel(ch, c, name, static_cast<uint16_t>((c - 1) / 32), 1u << ((c - 1) % 32),
                                   &s.staticOut[(c - 1) / 32], s.stream);
        ch.head.ownerWord2 = s.group((c - 1) / 8 + 1).direction != 0;
    }
    for (int n = 1; n <= kEventChannels; ++n) {
        EventChannel &e = s.eventChannel(n);
        e.head = TQStreamChannel{};
        snprintf(name, sizeof name, "EventChannel%d", n);
        tq::driver::copyName(e.head.name, sizeof e.head.name, name);
        tq::driver::copyName(e.head.eu, sizeof e.head.eu, "binary");
        e.head.ownerWord = n;
        e.head.streamChannelEval = convertEventWindow;
        e.head.streamChannelEvalRaw = convertEventWindow;
        e.head.stream = s.stream;
        e.enable = 0;
        e.eventEnable = 0;
        e.eventIndex = static_cast<int16_t>(n - 1);
        e.polarity = 1;
        e.duration = 10;
        e.session = &s;
    }
}

void setDefaults(Session747 &s)
{
    for (Group &g : s.groups)
        g = Group{};
    for (Demo &d : s.demo)
        d = Demo{};
    s.interruptEnable = 0;
    s.refreshRate = 2;
    s.bufferDuration = 2;
    resetChannelRecords(s);
    if (s.stream) {
        s.stream->streamSetRate(s.stream, 100.0);
        s.stream->streamSetOutputRate(s.stream, 100.0);
        const uint16_t size = s.anySiteBound() ? 32 : 16;
        s.streamHandles.setScanSize(s.stream, size);
        s.streamHandles.setOutputScanSize(s.stream, size);
        recount(s);
    }
}

int flatIndex(Session747 &s, int channel)
{
    if (channel >= 1 && channel <= kChannels)
        return channel - 1;
    for (int n = 1; n <= kSiteCount; ++n) {
        const Site &site = s.sites[n - 1];
        if (site.bound && channel >= site.first && channel < site.first + site.count)
            return 128 + 32 * (n - 1) + (channel - site.first);
    }
    return -1;
}

int siteOfChannel(Session747 &s, int channel)
{
    if (channel <= kChannels)
        return 0;
    for (int n = 1; n <= kSiteCount; ++n) {
        const Site &site = s.sites[n - 1];
        if (site.bound && channel >= site.first && channel < site.first + site.count)
            return n;
    }
    return 0;
}

int64_t scansWritten(Session747 &s)
{
    return tq::driver::scanBufferScansWritten(s, s.buffer);
}

TQReader *newReader(Session747 &s, int64_t position, int32_t whence)
{
    return tq::driver::newBufferedReader(s, s.buffer, position, whence);
}

} // namespace tq747
