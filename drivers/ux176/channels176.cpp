// Channel records of the model 176: the converters and output functions the
// stream engine and the formula engine call, the input and output layouts,
// the defaults, the applying of the settings, crossCheck and the capture
// description.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "protocol176.h"
#include "session176.h"
#include "tq/driver/bitchannel.h"
#include "tq/driver/driver.h"
#include "tq/driver/stream.h"
#include "tq/platform/numfmt.h"

namespace ux176
{

namespace
{

constexpr int32_t kScanSizeFieldMax = 0xFFFF;

Analog &analogOf(TQStreamChannel *c)
{
    return *reinterpret_cast<Analog *>(c);
}
Digital &digitalOf(TQStreamChannel *c)
{
    return *reinterpret_cast<Digital *>(c);
}
Dac &dacOf(TQStreamChannel *c)
{
    return *reinterpret_cast<Dac *>(c);
}

int16_t sampleAt(const void *scan, uint16_t offset)
{
    int16_t v;
    memcpy(&v, static_cast<const uint8_t *>(scan) + offset, sizeof v);
    return v;
}

double convertAnalogUsb(TQStreamChannel *channel, const void *scan)
{
    Analog &a = analogOf(channel);
    return sampleAt(scan, a.offset) * a.scale.load(std::memory_order_relaxed);
}

double convertRawAnalog(TQStreamChannel *channel, const void *scan)
{
    return sampleAt(scan, analogOf(channel).offset);
}

// Writes into an output scan only while the channel's word lies inside the
// scans of the open reservation: a channel enabled after the room was
// reserved would write past the scan.
bool inReservedScan(Session176 *s, int32_t slot, void *scan)
{
    return scan && s && slot >= 0 && slot + 2 <= s->reservedScanSize.load(std::memory_order_acquire);
}

void setEvalDacUsb(TQStreamChannel *channel, double value, void *scan)
{
    Dac &d = dacOf(channel);
    const uint16_t code = dacCode(value);
    if (channel->outputSyncType == UX176_SYNC_ASYNCHRONOUS) {
        const int32_t slot = d.slot.load(std::memory_order_relaxed);
        if (inReservedScan(d.session, slot, scan))
            memcpy(static_cast<uint8_t *>(scan) + slot, &code, sizeof code);
        return;
    }
    d.staticCode.store(code, std::memory_order_relaxed);
}

void setEvalDigitalUsb(TQStreamChannel *channel, double value, void *scan)
{
    Digital &l = digitalOf(channel);
    const bool on = value != 0.0;
    if (channel->outputSyncType == UX176_SYNC_ASYNCHRONOUS) {
        const int32_t slot = l.slot.load(std::memory_order_relaxed);
        if (inReservedScan(l.session, slot, scan)) {
            uint16_t word;
            auto *at = static_cast<uint8_t *>(scan) + slot;
            memcpy(&word, at, sizeof word);
            word = static_cast<uint16_t>(on ? (word | (1u << l.bit)) : (word & ~(1u << l.bit)));
            memcpy(at, &word, sizeof word);
        }
        return;
    }
    l.staticValue.store(on ? 1 : 0, std::memory_order_relaxed);
}

void setOutputSyncTypeDac(TQStreamChannel *channel, int32_t type)
{
    if (channel->outputSyncType == type)
        return;
    channel->outputSyncType = type;
    if (Session176 *s = dacOf(channel).session)
        updateOutputLayout(*s);
}

void setOutputSyncTypeDigital(TQStreamChannel *channel, int32_t type)
{
    if (channel->outputSyncType == type)
        return;
    channel->outputSyncType = type;
    if (Session176 *s = digitalOf(channel).session)
        updateOutputLayout(*s);
}

void setHead(TQStreamChannel &head, const char *name, const char *unit, int number, TQStream *stream)
{
    tq::driver::copyName(head.name, sizeof head.name, name);
    tq::driver::copyName(head.eu, sizeof head.eu, unit);
    head.ownerWord = number;
    head.stream = stream;
    head.enableWord = 0;
}

Session176 *sessionOf(TQStream *stream)
{
    return static_cast<Session176 *>(tq::driver::sessionOfStream(stream));
}

// The i-th enabled input: analog inputs, then digital lines that are inputs.
TQStreamChannel *inputChannelByIndex(TQStream *stream, int32_t index)
{
    Session176 *s = sessionOf(stream);
    if (!s || index < 0)
        return nullptr;
    int32_t seen = 0;
    for (Analog &a : s->analog)
        if (a.enable && seen++ == index)
            return &a.head;
    for (int k = 1; k <= kDigitalLines; ++k)
        if (s->line(k).enable && !s->lineIsOutput(k) && seen++ == index)
            return &s->line(k).head;
    return nullptr;
}

std::atomic<int32_t (*)(TQStream *, const char *, int32_t)> frameworkCaptureOpen{nullptr};

// Modes are the capture bits 0x1 and 0x4; anything else is refused before
// a file is made.
int32_t captureOpen(TQStream *stream, const char *fileName, int32_t mode)
{
    if (mode == 0 || (mode & ~0x5) != 0)
        return VI_ERROR_INV_PARAMETER;
    auto open = frameworkCaptureOpen.load(std::memory_order_acquire);
    return open ? open(stream, fileName, mode) : VI_ERROR_SYSTEM_ERROR;
}

} // namespace

uint16_t dacCode(double volts)
{
    // A value outside the range (or none at all) is a fault upstream: the
    // output goes to 0 V rather than to either end of its scale.
    if (!(volts >= kMinVolts && volts <= kMaxVolts))
        return kZeroCode;
    if (volts == kMaxVolts)
        return 0xFFFF;
    const double code = std::trunc((volts - kMinVolts) / (kMaxVolts - kMinVolts) * 65536.0);
    return code >= 65535.0 ? 0xFFFF : static_cast<uint16_t>(code);
}

uint32_t periodTicks(double rate)
{
    if (!(rate > 0.0) || !(rate <= kMaxScanRate))
        return 0;
    // The small excess keeps a rate whose period is a whole number of ticks
    // from losing a tick to the rounding of the division.
    const double ticks = std::trunc(kTicksPerSecond / rate * (1.0 + 1e-12));
    if (!(ticks >= 1.0) || ticks > kMaxTicks)
        return 0;
    return static_cast<uint32_t>(ticks);
}

void initChannelRecords(Session176 &s)
{
    for (int k = 1; k <= kAnalogInputs; ++k) {
        Analog &a = s.input(k);
        a.head.streamChannelEval = convertAnalogUsb;
        a.head.streamChannelEvalRaw = convertRawAnalog;
        a.head.streamChannelSetEval = nullptr;
        a.head.streamChannelSetOutputSyncType = nullptr;
    }
    for (int k = 1; k <= kDigitalLines; ++k) {
        Digital &l = s.line(k);
        char name[TQ_CHANNEL_NAME_SIZE];
        snprintf(name, sizeof name, "DigitalChannel%d", k);
        tq::driver::initEventChannel(l, k, name, "binary", s.stream);
        l.head.streamChannelSetEval = setEvalDigitalUsb;
        l.head.streamChannelSetOutputSyncType = setOutputSyncTypeDigital;
        l.session = &s;
    }
    for (int k = 1; k <= kDacs; ++k) {
        Dac &d = s.dac(k);
        d.head.streamChannelEval = tq::driver::convertZero;
        d.head.streamChannelEvalRaw = tq::driver::convertZero;
        d.head.streamChannelSetEval = setEvalDacUsb;
        d.head.streamChannelSetOutputSyncType = setOutputSyncTypeDac;
        d.session = &s;
    }
}

void installStreamOperations(Session176 &s)
{
    TQStream *st = s.stream;
    frameworkCaptureOpen.store(st->streamCaptureOpen, std::memory_order_release);
    st->streamCaptureOpen = captureOpen;
    st->streamGetChannelByIndex = inputChannelByIndex;
    st->streamReserveWrite = reserveWrite;
    st->streamCompleteWrite = completeWrite;
}

void updateInputLayout(Session176 &s, bool writeDevice)
{
    int analogCount = 0;
    uint16_t mask = 0;
    for (int k = 1; k <= kAnalogInputs; ++k) {
        Analog &a = s.input(k);
        a.head.enableWord = a.enable;
        if (!a.enable)
            continue;
        a.offset = static_cast<uint16_t>(2 * analogCount++);
        mask = static_cast<uint16_t>(mask | (1u << (k - 1)));
    }
    int digitalInputs = 0;
    const uint16_t wordOffset = static_cast<uint16_t>(2 * analogCount);
    for (int k = 1; k <= kDigitalLines; ++k) {
        Digital &l = s.line(k);
        l.head.enableWord = l.enable;
        l.head.ownerWord2 = s.lineIsOutput(k) ? 1 : 0;
        if (l.enable && !s.lineIsOutput(k)) {
            l.offset = wordOffset;
            ++digitalInputs;
        }
    }
    if (digitalInputs > 0)
        mask = static_cast<uint16_t>(mask | kDigitalInScanBit);
    const uint32_t words = static_cast<uint32_t>(analogCount + (digitalInputs > 0 ? 1 : 0));
    const uint32_t scanSize = 2 * words;
    // The device packs its replies by the number of analog inputs alone,
    // the digital word not counted: a scan of the digital word alone comes
    // 7 to a reply.
    const int32_t perPacket = analogCount == 1 ? 30 : analogCount == 2 ? 15 : analogCount == 3 ? 10 : 7;
    s.scansPerPacket.store(perPacket, std::memory_order_relaxed);
    s.channelMask = mask;
    s.deviceScanSize.store(scanSize, std::memory_order_release);
    if (writeDevice && s.hasInstrument() && !s.simulated()) {
        DeviceLock lock;
        if (lock.held())
            writeRegister(s.device, UX176_REG_CHANNEL_MASK, mask);
        s.layoutGeneration.fetch_add(1, std::memory_order_acq_rel);
    } else {
        s.layoutGeneration.fetch_add(1, std::memory_order_acq_rel);
    }
    if (s.stream) {
        s.streamHandles.setNumberChannels(s.stream, static_cast<uint16_t>(analogCount + digitalInputs));
        s.streamHandles.setScanSize(s.stream, static_cast<uint16_t>(scanSize));
        tq::driver::ScanBufferSizes sizes;
        const int32_t unit = scanSize ? static_cast<int32_t>(scanSize) : 1;
        sizes.segmentBytes = kSegmentScans * unit;
        sizes.bufferBytes = kBufferScans * unit;
        sizes.maximumBytes = kMaximumScans * unit;
        tq::driver::prepareScanBuffer(s, s.buffer, scanSize, sizes);
    }
}

void updateInputLayout(Session176 &s)
{
    updateInputLayout(s, true);
}

void updateOutputLayout(Session176 &s)
{
    int32_t words = 0, statics = 0, outputs = 0;
    for (Dac &d : s.dacs) {
        int32_t slot = kSlotSkip;
        d.head.enableWord = d.enable;
        if (d.enable) {
            ++outputs;
            if (d.head.outputSyncType == UX176_SYNC_ASYNCHRONOUS)
                slot = 2 * words++;
            else {
                ++statics;
                if (d.head.outputSyncType == UX176_SYNC_SYNCHRONOUS)
                    slot = kSlotStatic;
            }
        }
        d.slot.store(slot, std::memory_order_relaxed);
    }
    const int32_t lineWord = 2 * words;
    bool lineWordUsed = false;
    for (int k = 1; k <= kDigitalLines; ++k) {
        Digital &l = s.line(k);
        int32_t slot = kSlotSkip;
        if (l.enable && s.lineIsOutput(k)) {
            ++outputs;
            if (l.head.outputSyncType == UX176_SYNC_ASYNCHRONOUS) {
                slot = lineWord;
                lineWordUsed = true;
            } else {
                ++statics;
                slot = l.head.outputSyncType == UX176_SYNC_SYNCHRONOUS ? kSlotStatic : kSlotZero;
            }
        }
        l.slot.store(slot, std::memory_order_relaxed);
    }
    if (lineWordUsed)
        ++words;
    s.staticOutputs = statics;
    const int32_t size = 2 * words;
    s.outputScanSize.store(size <= kScanSizeFieldMax ? size : 0, std::memory_order_release);
    if (s.stream) {
        s.streamHandles.setOutputScanSize(s.stream, static_cast<uint16_t>(size));
        s.streamHandles.setNumberOutputChannels(s.stream, static_cast<uint16_t>(outputs));
    }
}

void setDefaults(Session176 &s)
{
    if (s.stream) {
        TQStream *st = s.stream;
        st->streamSetRate(st, kInitialRate);
        st->streamSetOutputRate(st, kInitialOutputRate);
        st->streamSetOutputRecycleRate(st, 0.0);
    }
    for (int k = 1; k <= kAnalogInputs; ++k) {
        Analog &a = s.input(k);
        char name[TQ_CHANNEL_NAME_SIZE];
        snprintf(name, sizeof name, "AnalogChannel%d", k);
        setHead(a.head, name, "volts", k, s.stream);
        a.enable = 0;
        a.scale.store(10.0 / 32768.0, std::memory_order_relaxed);
    }
    for (int k = 1; k <= kDigitalLines; ++k) {
        Digital &l = s.line(k);
        char name[TQ_CHANNEL_NAME_SIZE];
        snprintf(name, sizeof name, "DigitalChannel%d", k);
        setHead(l.head, name, "binary", k, s.stream);
        l.enable = 0;
        l.staticValue.store(0, std::memory_order_relaxed);
    }
    for (int k = 1; k <= kDacs; ++k) {
        Dac &d = s.dac(k);
        char name[TQ_CHANNEL_NAME_SIZE];
        snprintf(name, sizeof name, "DacChannel%d", k);
        setHead(d.head, name, "volts", k, s.stream);
        d.enable = 0;
        d.initialVolts = 0.0;
        d.staticCode.store(kZeroCode, std::memory_order_relaxed);
    }
    for (int16_t &r : s.groupRange)
        r = 1;
    for (int16_t &d : s.direction)
        d = 0;
    s.output.clear();
    s.reservedScanSize.store(0);
    // Nothing goes to the device; the layouts follow the records.
    updateInputLayout(s, false);
    updateOutputLayout(s);
}

ViStatus applySettings(Session176 &s)
{
    if (s.simulated())
        return VI_ERROR_INV_SETUP;
    const ViSession vi = s.value;
    ViStatus status = ux176_setAdcScanRate(vi, s.stream ? s.stream->streamGetRate(s.stream) : kInitialRate);
    for (int k = 1; k <= kAnalogInputs && status >= VI_SUCCESS; ++k)
        status = ux176_setAnalogChannelEnable(vi, static_cast<ViInt16>(k), s.input(k).enable);
    for (int g = 1; g <= kGroups && status >= VI_SUCCESS; ++g)
        status = ux176_setAnalogGroupInputVoltageRange(vi, static_cast<ViInt16>(g), s.groupRange[g - 1]);
    for (int k = 1; k <= kDigitalLines && status >= VI_SUCCESS; ++k)
        status = ux176_setDigitalChannelEnable(vi, static_cast<ViInt16>(k), s.line(k).enable);
    for (int i = 1; i <= kDirections && status >= VI_SUCCESS; ++i)
        status = ux176_setDigitalDirection(vi, static_cast<ViInt16>(i), s.direction[i - 1]);
    for (int k = 1; k <= kDacs && status >= VI_SUCCESS; ++k)
        status = ux176_setDacChannelVoltage(vi, static_cast<ViInt16>(k), s.dac(k).initialVolts);
    return status;
}

ViStatus crossCheck(Session176 &s, ViChar *message)
{
    char scratch[tq::driver::kNameLength] = {};
    ViChar *text = message ? message : scratch;
    tq::driver::ChannelNameCheck names;
    int enabledInputs = 0;
    ViStatus status = VI_SUCCESS;
    for (int k = kAnalogInputs; k >= 1 && status >= VI_SUCCESS; --k) {
        if (!s.input(k).enable)
            continue;
        ++enabledInputs;
        status = names.check(k, s.input(k).head.name, text);
    }
    for (int k = kDigitalLines; k >= 1 && status >= VI_SUCCESS; --k)
        if (s.line(k).enable)
            status = names.check(k, s.line(k).head.name, text);
    if (status < VI_SUCCESS)
        return status;
    ViReal64 rate = 0.0;
    status = ux176_getAdcScanRate(s.value, &rate);
    if (status < VI_SUCCESS)
        return status;
    // The device's own periods are whole ticks: the fastest one for A inputs
    // reads back a hair above 50000 / A and must still pass.
    if (enabledInputs * rate > kMaxScanRate * (1.0 + 1e-12)) {
        tq::platform::cformat(text, tq::driver::kNameLength, "Maximum scan rate for %d channels is %lf\n",
                              enabledInputs, kMaxScanRate / enabledInputs);
        return VI_ERROR_INV_PARAMETER;
    }
    return VI_SUCCESS;
}

void describeCapture(Session176 &s, tq::driver::CaptureHeader &header)
{
    for (Analog &a : s.analog) {
        if (!a.enable)
            continue;
        const double coefficients[2] = {0.0, a.scale.load(std::memory_order_relaxed)};
        if (!header.add(a.head.name, a.head.eu, TQ_XFRM_POLYNOMIAL, coefficients, 2))
            throw std::bad_alloc();
    }
    // The digital word follows the analog words: one bit channel per input
    // line, which a reader of the file counts as one shared word.
    for (int k = 1; k <= kDigitalLines; ++k) {
        Digital &l = s.line(k);
        if (!l.enable || s.lineIsOutput(k))
            continue;
        const double bit = l.bit;
        if (!header.add(l.head.name, l.head.eu, TQ_XFRM_BIT16, &bit, 1))
            throw std::bad_alloc();
    }
}

} // namespace ux176
