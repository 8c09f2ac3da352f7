// Acquisition of the model 718: continuous acquisition into the DMA ring
// (start, stop), the one-shot acquisition of a number of scans, and the
// exports around them.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "driver718.h"
#include "tq/platform/thread.h"
#include "tq718.h"

namespace tq718
{

namespace
{

constexpr int kDonePolls = 20;
constexpr uint32_t kPollMs = 100;

const tq::visa::FunctionTable &v()
{
    return tq::visa::visa();
}

} // namespace

bool waitDmaDone(Session718 &s)
{
    for (int i = 0; i < kDonePolls; ++i) {
        tq::platform::sleepMs(kPollMs);
        ViUInt32 command = 0;
        if (in32(s, reg::kDmaCommand, command, reg::kBar0) >= VI_SUCCESS && (command & reg::kDmaDone))
            return true;
    }
    return false;
}

ViStatus startDma(Session718 &s, ViUInt32 mode)
{
    ViStatus status = out32(s, reg::kDmaDescriptor, static_cast<ViUInt32>(s.chainAddress) | 9, reg::kBar0);
    if (status >= VI_SUCCESS)
        status = out32(s, reg::kDmaMode, mode, reg::kBar0);
    if (status >= VI_SUCCESS)
        status = out32(s, reg::kDmaCommand, reg::kDmaStart, reg::kBar0);
    return status;
}

namespace
{

void printResult(Session718 &s, const char *what, ViStatus status)
{
    char text[tq::driver::kNameLength];
    driver().statusText(s, status, text, sizeof text);
    tq::driver::statusLine(s, "[%s]%s:%s", s.instrumentName, what, text);
}

// The ring tq718_allocateMBfrConfiguration allocated holds scans of the
// size at that time. The interrupt handler hands readers and capture scans of
// the stream's current size from it, so a ring laid out for another size is
// allocated again, with the segments and scans per segment the caller asked
// for, before the DMA writes into it.
ViStatus fitCallersRing(Session718 &s, uint16_t scanSize)
{
    if (!s.ring.allocated() || s.ringByStart || s.ring.scanSize() == scanSize)
        return VI_SUCCESS;
    const ViStatus status = allocateRing(s, s.requestedSegments, s.requestedScansPerSegment, true);
    if (status >= VI_SUCCESS)
        s.ringByStart = false;
    return status;
}

// The stop, under the acquisition lock.
ViStatus stopLocked(Session718 &s, bool statusLine);

} // namespace

ViStatus startAcquisition(Session718 &s)
{
    tq::platform::MutexGuard guard(s.runLock);
    if (s.running.load())
        return TQ718_WARN_ALREADY_RUNNING;
    const uint16_t scanSize = s.stream->streamGetScanSize(s.stream);
    if (scanSize == 0)
        return TQ718_ERROR_NO_CHANNELS;
    // A session switched to simulation keeps its settings off the board; an
    // acquisition would run on whatever the board holds, and stop (which
    // leaves the board alone in simulation) could not end it.
    if (s.mode == tq::driver::kModeSimulated)
        return VI_ERROR_INV_SETUP;

    if (s.ring.allocated() && s.ringByStart)
        freeRing(s);
    if (const ViStatus status = fitCallersRing(s, scanSize); status < VI_SUCCESS)
        return status;
    if (!s.ring.allocated()) {
        ViReal64 rate = 0.0;
        ViStatus status = VI_SUCCESS;
        if (s.hasInstrument() && (status = getScanClockRate(s, rate)) < VI_SUCCESS)
            return status;
        const int refresh = s.settings.refreshRate;
        const int segments = static_cast<int16_t>(s.settings.bufferDuration * refresh);
        if (s.hasInstrument() && (refresh <= 0 || segments <= 0 || !(rate > 0.0)))
            return VI_ERROR_INV_SETUP;
        const double perSegment = s.hasInstrument() ? std::floor(rate / refresh) : 0.0;
        status = allocateRing(s, segments, static_cast<uint32_t>(std::min(perSegment, 4294967295.0)), true);
        if (status < VI_SUCCESS)
            return status;
        s.ringByStart = true;
    }
    // A transient capture is recorded from the kept segments when it ends:
    // it must fit the ring with the trigger's segment still kept.
    if (s.settings.transientCondition != 0) {
        const int64_t room = (static_cast<int64_t>(s.ring.segments()) - 1) * s.ring.scansPerSegment();
        if (s.settings.transientScans < 1 || s.settings.transientScans > room)
            return VI_ERROR_INV_SETUP;
    }
    ViStatus status = out32(s, reg::kDmaPosition, 0);
    if (status >= VI_SUCCESS)
        status = out32(s, reg::kDmaWriteCount, 0);
    // The board keeps event bits latched until they are cleared: a transient
    // completed in the last run would end this one at its first interrupt.
    // The bits the handler acts on start clear (write ones to clear).
    if (status >= VI_SUCCESS)
        status = out32(s, reg::kEventStatus, reg::kStatusTransient | reg::kStatusSegment);
    if (status >= VI_SUCCESS)
        status = startDma(s, reg::kDmaModeRing);
    if (status < VI_SUCCESS)
        return status;
    restartReaders(s);
    if ((status = setUpInterrupt(s, VI_HNDLR)) < VI_SUCCESS)
        return status;
    if ((status = setField(s, reg::kAcquisitionEnable, 1)) < VI_SUCCESS)
        return status;
    switch (s.settings.acqMode) {
    case 1:
        status = setField(s, reg::kSoftwareStart, 1);
        break;
    case 2:
        status = setField(s, reg::kStartArm, 1);
        if (status >= VI_SUCCESS)
            status = setField(s, reg::kStopArm, 1);
        break;
    default:
        status = VI_ERROR_SYSTEM_ERROR;
        break;
    }
    if (status < VI_SUCCESS)
        return status;
    // Last: a transient capture can end (and the handler stop it) only once
    // this is set, and by then the board has run the transient's scans.
    s.running = true;
    return VI_SUCCESS;
}

ViStatus stopAcquisition(Session718 &s, bool statusLine)
{
    tq::platform::MutexGuard guard(s.runLock);
    return stopLocked(s, statusLine);
}

bool stopFromHandler(Session718 &s)
{
    if (!s.runLock.tryLock())
        return false;
    stopLocked(s, false);
    s.runLock.unlock();
    return true;
}

namespace
{

ViStatus stopLocked(Session718 &s, bool statusLine)
{
    ViStatus result = VI_SUCCESS;
    if (!s.simulated()) {
        ViUInt32 control = 0;
        result = in32(s, reg::kControl, control);
        if (result >= VI_SUCCESS && (control & reg::kAcquisitionActive)) {
            // The DMA ends after the segment in progress.
            for (uint64_t j = 0; j < s.ring.segments(); ++j)
                markEndOfChain(s, j);
            if (!waitDmaDone(s)) {
                ViUInt32 command = 0;
                if (in32(s, reg::kDmaCommand, command, reg::kBar0) < VI_SUCCESS)
                    tq::driver::statusLine(s, "[%s]stop: wait for completion timeout (a8=n/a)", s.instrumentName);
                else {
                    out32(s, reg::kDmaCommand, (command & ~reg::kDmaEnable) | reg::kDmaAbort, reg::kBar0);
                    tq::driver::statusLine(s, "[%s]stop: wait for completion timeout (a8=%lx)", s.instrumentName,
                                           static_cast<unsigned long>(command));
                }
            }
            result = setField(s, reg::kSoftwareStart, 0);
            if (result >= VI_SUCCESS)
                result = setField(s, reg::kStartArm, 0);
            if (result >= VI_SUCCESS)
                result = setField(s, reg::kStopArm, 0);
            if (result >= VI_SUCCESS)
                result = setField(s, reg::kTransientEnable, 0);
            const ViStatus off = setField(s, reg::kAcquisitionEnable, 0);
            if (result >= VI_SUCCESS)
                result = off;
        }
    }
    // The last segment's interrupt may still be on its way when the
    // interrupt goes down below: its scans are taken over here.
    if (s.interruptMechanism.load() == VI_HNDLR) {
        StreamLock lock(s);
        if (lock)
            accountWrites(s, true);
    }
    s.running = false;
    tearDownInterrupt(s);
    if (statusLine)
        printResult(s, "stop", result);
    return result;
}

} // namespace

void freeDataPath(Session718 &s)
{
    tq::platform::MutexGuard guard(s.runLock);
    if (s.running.load() || s.interruptMechanism.load() != -1)
        stopLocked(s, false);
    tearDownInterrupt(s);
    freeRing(s);
}

namespace
{

ViStatus getScans(Session718 &s, ViInt16 channels, ViInt16 scans, ViReal64 *values, ViInt32 length)
{
    if (!values || channels < 1 || channels > s.analogCount || scans < 1 ||
        static_cast<int64_t>(scans) * channels > length)
        return VI_ERROR_INV_PARAMETER;
    tq::platform::MutexGuard guard(s.runLock);
    // The one-shot chain would take the place of the running ring.
    if (s.running.load())
        return TQ718_ERROR_RUNNING;
    if (s.mode == tq::driver::kModeSimulated)
        return VI_ERROR_INV_SETUP;
    for (int c = 1; c <= s.analogCount; ++c) {
        const ViStatus status = enableAnalog(s, c, c <= channels ? 1 : 0, false);
        if (status < VI_SUCCESS)
            return status;
    }
    ViStatus status = allocateRing(s, 1, static_cast<uint32_t>(scans), false);
    if (status < VI_SUCCESS)
        return status;
    s.ringByStart = false;
    ViReal64 rate = 0.0;
    bool armed = false;
    if ((status = getScanClockRate(s, rate)) >= VI_SUCCESS && (status = setUpInterrupt(s, VI_QUEUE)) >= VI_SUCCESS) {
        armed = true;
        // An interrupt left over from before must not end the wait below.
        v().viDiscardEvents(s.value, VI_EVENT_PXI_INTR, VI_QUEUE);
        status = out32(s, reg::kDmaPosition, 0);
        if (status >= VI_SUCCESS)
            status = out32(s, reg::kDmaWriteCount, 0);
        if (status >= VI_SUCCESS)
            status = setField(s, reg::kAcquisitionEnable, 1);
        if (status >= VI_SUCCESS)
            status = startDma(s, reg::kDmaModeOneShot);
        if (status >= VI_SUCCESS)
            status = setField(s, reg::kSoftwareStart, 1);
    }
    if (status >= VI_SUCCESS) {
        const double seconds = rate > 0.0 ? std::floor(scans / rate) : 0.0;
        const auto timeout = static_cast<ViUInt32>(std::min((seconds + 5.0) * 1000.0, 4294967294.0));
        status = v().viWaitOnEvent(s.value, VI_EVENT_PXI_INTR, timeout, VI_NULL, VI_NULL);
        setField(s, reg::kSoftwareStart, 0);
        if (status >= VI_SUCCESS) {
            setField(s, reg::kAcquisitionEnable, 0);
            // Memory the DMA never finished is not a result.
            if (!waitDmaDone(s))
                status = VI_ERROR_TMO;
        }
    }
    if (status >= VI_SUCCESS) {
        const uint8_t *segment = s.ring.table()[1].address;
        const uint16_t scanSize = s.ring.scanSize();
        for (int64_t i = 0; i < static_cast<int64_t>(scans) * channels; ++i) {
            AnalogChannel &ch = s.channel(static_cast<int>(i % channels) + 1);
            // Each value at its channel's place in its scan (the event word,
            // when enabled, follows the samples).
            const uint8_t *scan = segment + (i / channels) * scanSize;
            int16_t sample;
            memcpy(&sample, scan + ch.offset, sizeof sample);
            values[i] = ch.calibration.evaluate(ch.range, sample);
        }
    }
    if (armed) {
        const ViStatus down = tearDownInterrupt(s);
        if (status >= VI_SUCCESS)
            status = down;
    }
    freeRing(s);
    return status;
}

} // namespace

} // namespace tq718

using namespace tq718;

TQ_API ViStatus tq718_start(ViSession vi)
{
    return withSession(vi, [&](Session718 &s) {
        ViStatus status;
        try {
            status = startAcquisition(s);
        } catch (...) {
            status = VI_ERROR_SYSTEM_ERROR;
        }
        printResult(s, "start", status);
        return status;
    });
}

TQ_API ViStatus tq718_stop(ViSession vi)
{
    return withSession(vi, [&](Session718 &s) { return stopAcquisition(s, true); });
}

TQ_API ViStatus tq718_getScans(ViSession vi, ViInt16 channels, ViInt16 scans, ViReal64 *values, ViInt32 length)
{
    return withSession(vi, [&](Session718 &s) {
        try {
            return getScans(s, channels, scans, values, length);
        } catch (...) {
            return VI_ERROR_SYSTEM_ERROR;
        }
    });
}

TQ_API ViStatus tq718_allocateMBfrConfiguration(ViSession vi, ViInt16 segments, ViInt32 scansPerSegment)
{
    return withSession(vi, [&](Session718 &s) {
        tq::platform::MutexGuard guard(s.runLock);
        // The running acquisition's interrupt handler reads the ring.
        if (s.running.load())
            return TQ718_ERROR_RUNNING;
        if (scansPerSegment < 0)
            return VI_ERROR_INV_PARAMETER;
        const ViStatus status = allocateRing(s, segments, static_cast<uint32_t>(scansPerSegment), true);
        if (status >= VI_SUCCESS) {
            s.ringByStart = false;
            s.requestedSegments = segments;
            s.requestedScansPerSegment = static_cast<uint32_t>(scansPerSegment);
        }
        return status;
    });
}

TQ_API ViStatus tq718_freeMBfrConfiguration(ViSession vi)
{
    return withSession(vi, [&](Session718 &s) {
        tq::platform::MutexGuard guard(s.runLock);
        if (s.running.load())
            return TQ718_ERROR_RUNNING;
        return freeRing(s);
    });
}
