// The model 775's acquisition: start and stop, the thread that writes one
// scan per observation window into the segmented buffer, the overflow
// interrupt and the event status.
#include <cstdio>
#include <cstring>
#include <new>

#include "session775.h"
#include "tq/driver/driver.h"
#include "tq/driver/events.h"
#include "tq/driver/visa_binding.h"
#include "tq/platform/guard.h"
#include "tq/platform/thread.h"
#include "tq775.h"

namespace tq775
{

namespace
{

constexpr uint32_t kStreamLockMs = 1000;
constexpr ViEventType kPxiInterrupt = VI_EVENT_PXI_INTR;
constexpr const char *kNewData = "new data from device";

// One block read of the eight count and tick words; the scan of the
// enabled channels (mask bit c - 1) into latest.
ViStatus readScan(Session775 &s, uint32_t enabled, uint32_t *latest)
{
    ViUInt32 words[2 * kChannels];
    const ViStatus status = tq::visa::visa().viMoveIn32(s.value, reg::kCard, reg::kCounters, 2 * kChannels, words);
    if (status < VI_SUCCESS)
        return status;
    int n = 0;
    for (int c = 0; c < kChannels; ++c) {
        if (!(enabled & (1u << c)))
            continue;
        latest[n++] = words[2 * c] & reg::kCountMask;
        latest[n++] = words[2 * c + 1];
    }
    return status;
}

void acquisitionThread(Session775 *sp)
{
    Session775 &s = *sp;
    // The layout and the window cannot change while running (their setters
    // refuse), so the thread takes them once.
    const uint32_t scanSize = s.buffer.scanSize.load(std::memory_order_relaxed);
    const uint32_t windowMs = static_cast<uint32_t>(s.windowSize);
    uint32_t enabled = 0;
    for (int c = 1; c <= kChannels; ++c)
        if (s.channel(c).head.enableWord)
            enabled |= 1u << (c - 1);
    uint32_t latest[2 * kChannels] = {};
    s.stopEvent->wait(windowMs);
    if (!s.running.load(std::memory_order_acquire))
        return; // stopped before the first window ended
    const uint64_t start = tq::platform::tickMs();
    if (readScan(s, enabled, latest) < VI_SUCCESS)
        return;
    int64_t written = 0;
    // Passes on an absolute schedule: pass k starts k windows after the
    // first reading, however long the passes before it took, so the thread
    // wakes once per window rather than once per window plus its own time.
    const uint64_t windowUs = static_cast<uint64_t>(windowMs) * 1000;
    const uint64_t scheduleStart = tq::platform::tickUs();
    uint64_t pass = 0;
    while (s.running.load(std::memory_order_acquire) && scanSize != 0) {
        // Windows that could not be written (lock not had, buffer full) stay
        // due and are written by a later pass, so that the stream always
        // holds one scan per elapsed window.
        const int64_t due = static_cast<int64_t>((tq::platform::tickMs() - start) / windowMs) - written;
        if (due > 0 && s.stream->streamLock(s.stream, kStreamLockMs) == 0) {
            TQPiece *pieces = nullptr;
            const int64_t granted = tq::driver::reserveScans(s.buffer, due, &pieces);
            if (granted > 0) {
                // Every scan but the last repeats the previous reading; the
                // last one is fresh (or, when the read fails, the previous
                // reading once more).
                int64_t left = granted;
                uint8_t *last = nullptr;
                for (TQPiece *p = pieces; p->length && left > 0; ++p) {
                    auto *at = static_cast<uint8_t *>(p->data);
                    for (uint32_t off = 0; off + scanSize <= p->length && left > 0; off += scanSize, --left) {
                        memcpy(at + off, latest, scanSize);
                        last = at + off;
                    }
                }
                if (last && readScan(s, enabled, latest) >= VI_SUCCESS)
                    memcpy(last, latest, scanSize);
                tq::driver::commitScans(s, s.buffer, pieces, granted);
                s.streamHandles.postEvent(s.stream, 1, kNewData, nullptr);
                written += granted;
            }
            s.stream->streamUnlock(s.stream);
        }
        const uint64_t after = tq::platform::tickUs();
        ++pass;
        if (scheduleStart + (pass + 1) * windowUs <= after)
            pass = (after - scheduleStart) / windowUs; // more than a window behind: the current one, now
        const uint64_t next = scheduleStart + pass * windowUs;
        if (next > after)
            s.stopEvent->waitUs(next - after);
    }
}

ViStatus interruptHandler(ViSession, ViEventType type, ViEvent, ViAddr user)
{
    if (type != kPxiInterrupt || !user)
        return VI_SUCCESS;
    return tq::platform::guardStatus([&]() -> ViStatus {
        Session775 &s = *static_cast<Session775 *>(user);
        char text[tq::driver::kNameLength] = {};
        ViUInt16 status = 0;
        if (eventStatus(s, 1, &status, 0, text) < VI_SUCCESS || status == 0)
            return VI_SUCCESS;
        // Every handler takes the overflow, whatever its mask.
        const uint32_t clear = tq::driver::callEventHandlers(s, 1, 0xFFFFFFFFu, true, text);
        if (clear & 1)
            out32(s, reg::kCountStatus, 0xFF);
        tq::driver::wakeWaiters(s, 1, text);
        return VI_SUCCESS;
    });
}

void removeHandler(Session775 &s)
{
    if (!s.handlerInstalled)
        return;
    const auto &v = tq::visa::visa();
    v.viDisableEvent(s.value, kPxiInterrupt, VI_HNDLR);
    // Once this returns no handler runs or will run on the session.
    v.viUninstallHandler(s.value, kPxiInterrupt, interruptHandler, &s);
    s.handlerInstalled = false;
}

} // namespace

ViStatus eventStatus(Session775 &s, ViUInt16 event, ViUInt16 *status, ViUInt16 clear, ViChar *message)
{
    if (event != 1)
        return VI_ERROR_INV_PARAMETER;
    uint32_t flags = 0;
    const ViStatus result = in32(s, reg::kCountStatus, flags);
    if (result < VI_SUCCESS)
        return result;
    if ((flags & 0xFF) == 0) {
        if (status)
            *status = 0;
        return VI_SUCCESS;
    }
    if (status)
        *status = 1;
    if (clear == 1)
        out32(s, reg::kCountStatus, flags);
    if (message) {
        constexpr size_t kLimit = 240;
        char text[tq::driver::kNameLength] = "Overflow Channels:";
        size_t n = strlen(text);
        bool first = true;
        for (int c = 1; c <= kChannels; ++c) {
            if (!(flags & (1u << (c - 1))))
                continue;
            if (n > kLimit) {
                snprintf(text + n, sizeof text - n, "...");
                break;
            }
            n += static_cast<size_t>(snprintf(text + n, sizeof text - n, "%s%hd", first ? " " : ",",
                                              static_cast<short>(c)));
            first = false;
        }
        tq::driver::copyName(message, tq::driver::kNameLength, text);
    }
    return VI_SUCCESS;
}

ViStatus startAcquisition(Session775 &s, bool line)
{
    tq::driver::RunGuard guard(s);
    ViStatus result = VI_SUCCESS;
    const auto &v = tq::visa::visa();
    if (s.running.load()) {
        result = TQ775_WARN_ALREADY_RUNNING;
    } else if (s.buffer.scanSize.load() == 0) {
        result = TQ775_ERROR_NO_CHANNELS;
    } else {
        if (s.eventHandlerCount > 0) {
            result = v.viInstallHandler(s.value, kPxiInterrupt, interruptHandler, &s);
            if (result >= VI_SUCCESS) {
                s.handlerInstalled = true;
                result = v.viEnableEvent(s.value, kPxiInterrupt, VI_HNDLR, VI_NULL);
            }
        }
        if (result >= VI_SUCCESS)
            result = modify(s, reg::kControl, reg::kContinuous, reg::kContinuous);
        if (result >= VI_SUCCESS) {
            s.running = true;
            s.stopEvent = new (std::nothrow) tq::platform::Event(tq::platform::Event::Reset::Auto, false);
            if (!s.stopEvent)
                result = VI_ERROR_ALLOC;
            else if (!s.thread.start([p = &s] { acquisitionThread(p); })) {
                delete s.stopEvent;
                s.stopEvent = nullptr;
                result = VI_ERROR_SYSTEM_ERROR;
            }
            if (result < VI_SUCCESS)
                s.running = false;
        }
        if (result < VI_SUCCESS)
            removeHandler(s);
    }
    if (line && s.streamMessages) {
        char text[tq::driver::kNameLength] = {};
        driver().statusText(s, result, text, sizeof text);
        tq::driver::statusLine(s, "[%s]start:%s", s.instrumentName, text);
    }
    return result;
}

ViStatus stopAcquisition(Session775 &s, bool line)
{
    tq::driver::RunGuard guard(s);
    ViStatus result = VI_SUCCESS;
    if (s.running.load() || s.thread.joinable()) {
        result = modify(s, reg::kControl, reg::kContinuous, 0);
        s.running = false;
        if (s.stopEvent)
            s.stopEvent->set();
        s.thread.join();
        delete s.stopEvent;
        s.stopEvent = nullptr;
        removeHandler(s);
    }
    if (line && s.streamMessages) {
        char text[tq::driver::kNameLength] = {};
        driver().statusText(s, result, text, sizeof text);
        tq::driver::statusLine(s, "[%s]stop:%s", s.instrumentName, text);
    }
    return result;
}

} // namespace tq775

TQ_API ViStatus tq775_start(ViSession vi)
{
    tq775::Session775 *s = tq775::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    return tq::platform::guardStatus([&] { return tq775::startAcquisition(*s, true); });
}

TQ_API ViStatus tq775_stop(ViSession vi)
{
    tq775::Session775 *s = tq775::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    return tq::platform::guardStatus([&] { return tq775::stopAcquisition(*s, true); });
}
