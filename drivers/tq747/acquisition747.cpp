// The model 747's acquisition: start and stop, the acquisition thread that
// samples the lines into the segmented buffer and plays the static outputs,
// the interrupt handler with its event rings, the event status and the
// detection controls.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "session747.h"
#include "tq/driver/driver.h"
#include "tq/driver/events.h"
#include "tq/driver/visa_binding.h"
#include "tq/platform/guard.h"
#include "tq/platform/thread.h"
#include "tq747.h"

namespace tq747
{

namespace
{

constexpr uint32_t kStreamLockMs = 1000;
// Unchanged outputs are written again this often, so that the card is set
// again even if something else wrote it.
constexpr uint64_t kKeepAliveUs = 1000000;
constexpr ViEventType kPxiInterrupt = VI_EVENT_PXI_INTR;

uint32_t wordOf(const uint32_t *words, int i)
{
    return words[i];
}

// The carrier's four words into snapshot 0-3; with sites, each bound
// site's data register into word 3 + s; with outputs, each module's static
// output word into outputs 3 + s. The status of the last access.
ViStatus readInputs(Session747 &s, uint32_t *snapshot, uint32_t *outputs, bool withSites)
{
    const auto &v = tq::visa::visa();
    ViStatus status = v.viMoveIn32(s.value, reg::kCard, reg::kData, 4, snapshot);
    if (!withSites)
        return status;
    for (int n = 1; n <= kSiteCount && status >= VI_SUCCESS; ++n) {
        Site &site = s.sites[n - 1];
        if (!site.bound)
            continue;
        ViUInt16 low = 0, high = 0;
        status = v.viIn16(s.value, reg::kCard, reg::siteData(n), &low);
        if (status >= VI_SUCCESS)
            status = v.viIn16(s.value, reg::kCard, reg::siteData(n) + 2, &high);
        if (status >= VI_SUCCESS)
            snapshot[3 + n] = low | static_cast<uint32_t>(high) << 16;
        if (outputs && site.ops.staticOutputWord) {
            ViUInt32 word = 0;
            if (site.ops.staticOutputWord(site.module, &word) >= VI_SUCCESS)
                outputs[3 + n] = word;
        }
    }
    return status;
}

void fill(uint8_t *to, const uint32_t *snapshot, uint32_t scanSize)
{
    memcpy(to, snapshot, scanSize);
}

uint64_t periodUs(double rate)
{
    // The longest wait the platform's events take (the one below infinite).
    constexpr double kLongestUs = 4294967294.0 * 1000.0;
    // Computed in floating point and bounded before it becomes an integer:
    // 1000 / rate of a tiny rate does not fit 32 bits.
    const double us = 1e6 / rate;
    if (!(us < kLongestUs))
        return static_cast<uint64_t>(kLongestUs);
    // A period of whole milliseconds, trunc(1000 / rate), while there is
    // one. Above 1000 scans/s the next scan is less than a millisecond
    // away: the thread waits that long rather than not at all, which would
    // spin and write the outputs many times for each scan.
    if (us >= 1000.0)
        return static_cast<uint64_t>(std::trunc(us / 1000.0)) * 1000;
    return us >= 1.0 ? static_cast<uint64_t>(us) : 1;
}

void acquisitionThread(Session747 *sp)
{
    Session747 &s = *sp;
    const auto &v = tq::visa::visa();
    const uint64_t start = tq::platform::tickMs();
    s.startTick.store(start, std::memory_order_relaxed);
    const uint32_t scanSize = s.buffer.scanSize.load(std::memory_order_relaxed);
    const double rate = s.runRate.load(std::memory_order_relaxed);
    uint32_t snapshot[8] = {};
    uint32_t outputs[8] = {};
    const bool sites = s.anySiteBound();
    if (readInputs(s, snapshot, nullptr, sites) < VI_SUCCESS) {
        s.threadDone = true;
        return;
    }
    int64_t written = 0;
    const uint64_t period = periodUs(rate);
    // Periods on an absolute schedule: pass k starts at start + k periods,
    // however long the passes before it took.
    const uint64_t scheduleStart = tq::platform::tickUs();
    uint64_t pass = 0;
    // What the card's outputs hold: written again only when a word changed,
    // after a direct write to the card, or as a keep-alive.
    ViUInt32 onCard[8] = {};
    bool cardSet = false;
    uint64_t cardSetAt = 0;
    while (s.running.load(std::memory_order_acquire)) {
        if (s.inputCount.load(std::memory_order_relaxed) == 0)
            break;
        const uint64_t elapsed = tq::platform::tickMs() - start;
        const int64_t due = static_cast<int64_t>(std::floor(rate * static_cast<double>(elapsed) / 1000.0));
        const int64_t n = due - written;
        if (n > 0 && s.stream->streamLock(s.stream, kStreamLockMs) == 0) {
            TQPiece *pieces = nullptr;
            const int64_t k = tq::driver::reserveScans(s.buffer, n, &pieces);
            if (k > 0) {
                // Every scan of the burst but the last repeats the previous
                // reading; the last one is fresh.
                int64_t left = k;
                uint8_t *last = nullptr;
                for (TQPiece *p = pieces; p->length && left > 0; ++p) {
                    auto *at = static_cast<uint8_t *>(p->data);
                    for (uint32_t off = 0; off < p->length && left > 0; off += scanSize, --left) {
                        fill(at + off, snapshot, scanSize);
                        last = at + off;
                    }
                }
                if (readInputs(s, snapshot, outputs, sites) >= VI_SUCCESS && last)
                    fill(last, snapshot, scanSize);
                tq::driver::commitScans(s, s.buffer, pieces, k);
                written += k;
            }
            s.stream->streamUnlock(s.stream);
        }
        // The outputs: the four static words, then each bound site's word
        // from its module. The card keeps what was written, so a period in
        // which no word changed writes nothing.
        ViUInt32 out[8];
        for (int i = 0; i < 4; ++i)
            out[i] = s.staticOut[i].load(std::memory_order_relaxed);
        for (int i = 4; i < 8; ++i)
            out[i] = s.sites[i - 4].bound ? wordOf(outputs, i) : 0;
        const uint64_t now = tq::platform::tickUs();
        const bool overwritten = s.outputsOverwritten.exchange(false, std::memory_order_acq_rel);
        if (!cardSet || overwritten || memcmp(out, onCard, sizeof out) != 0 || now - cardSetAt >= kKeepAliveUs) {
            ViStatus status = v.viMoveOut32(s.value, reg::kCard, reg::kData, 4, out);
            for (int n2 = 1; n2 <= kSiteCount && status >= VI_SUCCESS; ++n2) {
                if (!s.sites[n2 - 1].bound)
                    continue;
                const uint32_t word = out[3 + n2];
                status = v.viOut16(s.value, reg::kCard, reg::siteData(n2), static_cast<ViUInt16>(word));
                if (status >= VI_SUCCESS)
                    status = v.viOut16(s.value, reg::kCard, reg::siteData(n2) + 2, static_cast<ViUInt16>(word >> 16));
            }
            // A failed write is tried again the next period.
            cardSet = status >= VI_SUCCESS;
            memcpy(onCard, out, sizeof out);
            cardSetAt = now;
        }
        // The next period on the schedule; a pass that fell behind runs at
        // once (the scans it missed are due by the clock and written).
        const uint64_t after = tq::platform::tickUs();
        ++pass;
        if (scheduleStart + (pass + 1) * period <= after)
            pass = (after - scheduleStart) / period; // more than a period behind: the current one, now
        const uint64_t next = scheduleStart + pass * period;
        if (next > after)
            s.wake->waitUs(next - after);
    }
    s.threadDone = true;
}

// ---- Interrupts -----------------------------------------------------------------

ViStatus interruptHandler(ViSession vi, ViEventType type, ViEvent, ViAddr user)
{
    if (type != kPxiInterrupt)
        return VI_SUCCESS;
    return tq::platform::guardStatus([&]() -> ViStatus {
        Session747 *s = static_cast<Session747 *>(user);
        if (!s)
            s = find(vi);
        if (!s || s->mechanism.load(std::memory_order_acquire) != VI_HNDLR)
            return VI_SUCCESS;
        const double rate = s->runRate.load(std::memory_order_relaxed);
        const uint64_t elapsed = tq::platform::tickMs() - s->startTick.load(std::memory_order_relaxed);
        const auto position = static_cast<int64_t>(rate * static_cast<double>(elapsed) / 1000.0 + 1.5);
        uint32_t pending = 0;
        if (in32(*s, reg::kEventStatus, pending) < VI_SUCCESS)
            return VI_SUCCESS;
        for (int e = 1; e <= kEventChannels; ++e) {
            if (!(pending & (1u << (e - 1))))
                continue;
            EventChannel &ev = s->eventChannel(e);
            const uint32_t count = ev.count.load(std::memory_order_relaxed);
            ev.ring[count % kRingSize].store(position, std::memory_order_relaxed);
            ev.count.store(count + 1, std::memory_order_release);
            char text[tq::driver::kNameLength] = {};
            ViUInt16 status = 0;
            eventStatus(*s, static_cast<ViUInt16>(e), &status, 0, text);
            const uint32_t clear = tq::driver::callEventHandlers(*s, static_cast<unsigned>(e), pending, true, text);
            if (clear & (1u << (e - 1)))
                eventStatus(*s, static_cast<ViUInt16>(e), &status, 1, nullptr);
        }
        // Events older than the buffer drop out of the rings.
        const auto kept = static_cast<int64_t>(rate * s->bufferDuration);
        for (EventChannel &ev : s->events) {
            const uint32_t count = ev.count.load(std::memory_order_relaxed);
            uint32_t oldest = ev.oldest.load(std::memory_order_relaxed);
            if (count > static_cast<uint32_t>(kRingSize) && oldest < count - kRingSize)
                oldest = count - kRingSize;
            while (oldest < count && ev.ring[oldest % kRingSize].load(std::memory_order_relaxed) < position - kept)
                ++oldest;
            ev.oldest.store(oldest, std::memory_order_relaxed);
        }
        return VI_SUCCESS;
    });
}

ViStatus enableCardEvents(Session747 &s)
{
    const auto &v = tq::visa::visa();
    ViStatus status = v.viInstallHandler(s.value, kPxiInterrupt, interruptHandler, &s);
    if (status < VI_SUCCESS)
        return status;
    s.handlerInstalled = true;
    s.mechanism.store(VI_HNDLR, std::memory_order_release);
    status = v.viEnableEvent(s.value, kPxiInterrupt, VI_HNDLR, VI_NULL);
    s.enableEventStatus = status;
    if (status == VI_ERROR_NSUP_MECH) {
        v.viUninstallHandler(s.value, kPxiInterrupt, interruptHandler, &s);
        s.handlerInstalled = false;
        s.mechanism.store(0, std::memory_order_release);
    } else if (status != VI_SUCCESS && status != VI_SUCCESS_EVENT_EN)
        return VI_ERROR_SYSTEM_ERROR;
    uint32_t enable = 0;
    if (in32(s, reg::kInterruptEnable, enable) >= VI_SUCCESS) {
        s.savedInterruptEnable = (enable & reg::kCardInterrupt) ? 1 : 0;
        if (!s.savedInterruptEnable)
            tq747_setInterruptEnable(s.value, 1);
    }
    return VI_SUCCESS;
}

void disableCardEvents(Session747 &s)
{
    const auto &v = tq::visa::visa();
    if (s.savedInterruptEnable == 0)
        tq747_setInterruptEnable(s.value, 0);
    if (s.handlerInstalled) {
        v.viDisableEvent(s.value, kPxiInterrupt, VI_HNDLR);
        // Once this returns no handler runs or will run on the session.
        v.viUninstallHandler(s.value, kPxiInterrupt, interruptHandler, &s);
        s.handlerInstalled = false;
    }
    s.mechanism.store(0, std::memory_order_release);
}

ViStatus detectionStatus(Session747 &s, bool pattern)
{
    bool &matched = pattern ? s.prMatched : s.cosMatched;
    if (matched)
        return VI_SUCCESS_QUEUE_EMPTY; // reported before
    uint16_t control = 0;
    ViStatus status = in16(s, reg::kControl, control);
    if (status < VI_SUCCESS)
        return status;
    if (control & (pattern ? reg::kPrMatched : reg::kCosDetected)) {
        matched = true;
        return VI_SUCCESS;
    }
    status = in16(s, reg::kControl, control);
    if (status < VI_SUCCESS)
        return status;
    return (control & (pattern ? reg::kPrArmed : reg::kCosArmed)) ? VI_SUCCESS_EVENT_EN : VI_SUCCESS_EVENT_DIS;
}

ViStatus setControlBit(Session747 &s, ViBusAddress offset, uint32_t bit, bool on)
{
    uint16_t v = 0;
    ViStatus status = in16(s, offset, v);
    if (status < VI_SUCCESS)
        return status;
    v = static_cast<uint16_t>(on ? (v | bit) : (v & ~bit));
    return out16(s, offset, v);
}

ViStatus startDetection(Session747 &s, bool pattern)
{
    if (detectionStatus(s, pattern) == VI_SUCCESS_EVENT_EN)
        return VI_ERROR_RSRC_BUSY;
    const ViBusAddress maskBlock = pattern ? reg::kPatternMask : reg::kCosMask;
    for (int n = 1; n <= kSiteCount; ++n) {
        Site &site = s.sites[n - 1];
        if (!site.bound)
            continue;
        uint32_t mask = 0;
        ViStatus status = in32(s, maskBlock + 0x10 + 4 * static_cast<ViBusAddress>(n - 1), mask);
        if (status < VI_SUCCESS)
            return status;
        if (!mask)
            continue;
        uint32_t strobes = 0;
        status = in32(s, reg::kSiteStrobe, strobes);
        if (status < VI_SUCCESS)
            return status;
        if ((strobes >> (8 * (n - 1))) & 0x40)
            return VI_ERROR_INV_SETUP;
        if (site.ops.setIpInputStrobeEnable)
            site.ops.setIpInputStrobeEnable(site.module, 1);
        if (site.ops.setIpInputLatchStrobeEnable)
            site.ops.setIpInputLatchStrobeEnable(site.module, 0);
    }
    (pattern ? s.prMatched : s.cosMatched) = false;
    ViStatus status = setControlBit(s, reg::kInterruptEnable, pattern ? 0x2 : 0x1, true);
    if (status < VI_SUCCESS)
        return status;
    return setControlBit(s, reg::kControl, pattern ? reg::kPrStart : reg::kCosStart, true);
}

ViStatus stopDetection(Session747 &s, bool pattern)
{
    if (detectionStatus(s, pattern) != VI_SUCCESS_EVENT_EN)
        return VI_ERROR_ABORT;
    ViStatus status = setControlBit(s, reg::kControl, pattern ? reg::kPrStop : reg::kCosStop, true);
    if (status < VI_SUCCESS)
        return status;
    return setControlBit(s, reg::kInterruptEnable, pattern ? 0x2 : 0x1, false);
}

} // namespace

ViStatus eventStatus(Session747 &s, ViUInt16 event, ViUInt16 *status, ViUInt16 clear, ViChar *message)
{
    if (event != 1 && event != 2)
        return VI_ERROR_INV_PARAMETER;
    uint32_t pending = 0;
    ViStatus result = in32(s, reg::kEventStatus, pending);
    if (result < VI_SUCCESS)
        return result;
    const uint32_t bit = 1u << (event - 1);
    if (!(pending & bit)) {
        if (status)
            *status = 0;
        return VI_SUCCESS;
    }
    if (status)
        *status = 1;
    if (clear == 1)
        out32(s, reg::kEventStatus, bit);
    if (message) {
        if (event == 1) {
            // The list of changed channels can run past any caller's
            // buffer: past 240 characters it is cut and ends with "...".
            constexpr size_t kLimit = 240;
            char text[2048];
            size_t n = static_cast<size_t>(snprintf(text, sizeof text, "Change Of State Channel(s): "));
            bool first = true;
            for (int w = 0; w < 4; ++w) {
                uint32_t result32 = 0;
                if (in32(s, reg::kCosResult + 4 * static_cast<ViBusAddress>(w), result32) < VI_SUCCESS)
                    continue;
                for (int b = 0; b < 32; ++b)
                    if (result32 & (1u << b)) {
                        if (n < sizeof text)
                            n += static_cast<size_t>(
                                snprintf(text + n, sizeof text - n, first ? "%d" : ",%d", 32 * w + b + 1));
                        first = false;
                    }
            }
            if (strlen(text) > kLimit) {
                text[kLimit] = '\0';
                strcat(text, "...");
            }
            tq::driver::copyName(message, tq::driver::kNameLength, text);
        } else
            tq::driver::copyName(message, tq::driver::kNameLength, "Pattern Recognition");
    }
    if (clear == 1) {
        stopDetection(s, event == 2);
        startDetection(s, event == 2);
    }
    return VI_SUCCESS;
}

ViStatus startAcquisition(Session747 &s, bool line)
{
    tq::driver::RunGuard guard(s);
    ViStatus result = VI_SUCCESS;
    if (s.running.load()) {
        result = TQ747_WARN_ALREADY_RUNNING;
    } else if (inputChannelCount(s) == 0) {
        result = TQ747_ERROR_NO_CHANNELS;
    } else {
        const double rate = s.stream->streamGetRate(s.stream);
        const uint32_t scanSize = s.anySiteBound() ? 32 : 16;
        tq::driver::ScanBufferSizes sizes;
        if (!tq::driver::scanBufferSizes(rate, s.refreshRate, s.bufferDuration, scanSize, sizes))
            result = VI_ERROR_INV_SETUP; // a rate, refresh rate or duration that sizes no buffer
        else
            result = tq::driver::prepareScanBuffer(s, s.buffer, scanSize, sizes);
        if (result >= VI_SUCCESS) {
            s.runRate.store(rate, std::memory_order_relaxed);
            for (auto &w : s.staticOut)
                w.store(0, std::memory_order_relaxed);
            for (int g = 1; g <= kGroups; ++g)
                if (s.group(g).direction && s.group(g).powerupOutput)
                    s.staticOut[(g - 1) / 4].fetch_or(0xFFu << (8 * ((g - 1) % 4)), std::memory_order_relaxed);
            // Failures of the detection set-up do not keep the acquisition from running.
            stopDetection(s, false);
            if (s.eventChannel(1).eventEnable == 1)
                startDetection(s, false);
            stopDetection(s, true);
            if (s.eventChannel(2).eventEnable == 1)
                startDetection(s, true);
            s.startTick.store(tq::platform::tickMs(), std::memory_order_relaxed);
            enableCardEvents(s);
            s.wake = new (std::nothrow) tq::platform::Event(tq::platform::Event::Reset::Auto, false);
            if (!s.wake) {
                disableCardEvents(s);
                result = VI_ERROR_ALLOC;
            } else {
                s.threadDone = false;
                s.running = true;
                if (!s.thread.start([p = &s] { acquisitionThread(p); })) {
                    s.running = false;
                    disableCardEvents(s);
                    delete s.wake;
                    s.wake = nullptr;
                    result = VI_ERROR_SYSTEM_ERROR;
                }
            }
        }
    }
    if (line && s.streamMessages) {
        char text[tq::driver::kNameLength] = {};
        driver().statusText(s, result, text, sizeof text);
        tq::driver::statusLine(s, "[%s]start:%s", s.instrumentName, text);
    }
    return result;
}

ViStatus stopAcquisition(Session747 &s, bool line)
{
    tq::driver::RunGuard guard(s);
    if (s.running.load() || s.thread.joinable()) {
        s.running = false;
        if (s.wake)
            s.wake->set();
        s.thread.join();
        delete s.wake;
        s.wake = nullptr;
        disableCardEvents(s);
    }
    if (line && s.streamMessages) {
        char text[tq::driver::kNameLength] = {};
        driver().statusText(s, VI_SUCCESS, text, sizeof text);
        tq::driver::statusLine(s, "[%s]stop:%s", s.instrumentName, text);
    }
    return VI_SUCCESS;
}

} // namespace tq747

using tq747::Session747;

TQ_API ViStatus tq747_start(ViSession vi)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    return tq::platform::guardStatus([&] { return tq747::startAcquisition(*s, true); });
}

TQ_API ViStatus tq747_stop(ViSession vi)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    return tq::platform::guardStatus([&] { return tq747::stopAcquisition(*s, true); });
}

TQ_API ViStatus tq747_startPatternRecognition(ViSession vi)
{
    Session747 *s = tq747::find(vi);
    return s ? tq747::startDetection(*s, true) : VI_ERROR_INV_OBJECT;
}
TQ_API ViStatus tq747_stopPatternRecognition(ViSession vi)
{
    Session747 *s = tq747::find(vi);
    return s ? tq747::stopDetection(*s, true) : VI_ERROR_INV_OBJECT;
}
TQ_API ViStatus tq747_getPatternRecognitionStatus(ViSession vi)
{
    Session747 *s = tq747::find(vi);
    return s ? tq747::detectionStatus(*s, true) : VI_ERROR_INV_OBJECT;
}
TQ_API ViStatus tq747_startChangeOfState(ViSession vi)
{
    Session747 *s = tq747::find(vi);
    return s ? tq747::startDetection(*s, false) : VI_ERROR_INV_OBJECT;
}
TQ_API ViStatus tq747_stopChangeOfState(ViSession vi)
{
    Session747 *s = tq747::find(vi);
    return s ? tq747::stopDetection(*s, false) : VI_ERROR_INV_OBJECT;
}
TQ_API ViStatus tq747_getChangeOfStateStatus(ViSession vi)
{
    Session747 *s = tq747::find(vi);
    return s ? tq747::detectionStatus(*s, false) : VI_ERROR_INV_OBJECT;
}

TQ_API ViStatus tq747_enableEvent(ViSession vi)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    ViStatus status = tq747::setControlBit(*s, tq747::reg::kInterruptEnable, tq747::reg::kCardInterrupt, true);
    if (status < VI_SUCCESS)
        return status;
    uint16_t bridge = 0;
    status = tq747::in16(*s, tq747::reg::kBridgeInterrupt, bridge, tq747::reg::kBridge);
    if (status < VI_SUCCESS)
        return status;
    return tq747::out16(*s, tq747::reg::kBridgeInterrupt, static_cast<uint16_t>(bridge | 0x801), tq747::reg::kBridge);
}

TQ_API ViStatus tq747_disableEvent(ViSession vi)
{
    Session747 *s = tq747::find(vi);
    return s ? tq747::setControlBit(*s, tq747::reg::kInterruptEnable, tq747::reg::kCardInterrupt, false)
             : VI_ERROR_INV_OBJECT;
}

TQ_API ViStatus tq747_enableEventStatus(ViSession vi, ViInt16 *enabled)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!enabled)
        return VI_ERROR_INV_PARAMETER;
    uint16_t v = 0;
    ViStatus status = tq747::in16(*s, tq747::reg::kInterruptEnable, v);
    if (status >= VI_SUCCESS)
        *enabled = (v & tq747::reg::kCardInterrupt) ? 1 : 0;
    return status;
}
