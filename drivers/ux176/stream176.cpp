// The model 176's stream thread: it fetches the device's scans into the
// session's stream, raises the FIFO-overrun event and plays the outputs;
// start and stop; the output buffer behind the stream's reserveWrite and
// completeWrite.
#include <cmath>
#include <cstring>

#include "protocol176.h"
#include "session176.h"
#include "tq/driver/driver.h"
#include "tq/driver/events.h"
#include "tq/driver/stream.h"

namespace ux176
{

namespace
{

constexpr uint32_t kThreadTimeoutMs = 5000;
constexpr uint32_t kRetryMs = 50;
// How long the thread waits after a reply that held no scan, for the device
// to gather a packet's worth: at least 5 ms, at most 50 ms at low rates.
// A reply that held scans is followed by the next request at once: a reply
// carries at most one packet, which with wide scans is fewer than a
// packet's count of scans, so that only back-to-back requests keep up.
constexpr uint64_t kMinPaceUs = 5000;
constexpr uint64_t kMaxPaceUs = 50000;
constexpr const char *kNewData = "new data from device";
constexpr const char *kOverrunText = "FIFO overrrun";
// The largest read-data reply: 30 scans of the widest scan (six inputs and
// the digital word) and the header.
constexpr uint32_t kMaxReply = 30 * 14 + kDataHeader;

Session176 *sessionOf(TQStream *stream)
{
    return static_cast<Session176 *>(tq::driver::sessionOfStream(stream));
}

// Reads the rest of a reply that arrived in parts, as far as it has
// arrived: what is queued, up to the reply's length; a scan begun is waited
// for a little (the rest of a split reply follows within a millisecond or
// so), never for the library's whole read time-out, which would stall the
// acquisition. Returns the bytes of the reply now held.
uint32_t completeScans(TQUsbHandle device, uint8_t *reply, uint32_t received, uint32_t length, uint32_t scanSize)
{
    constexpr int kPolls = 20;
    int polls = 0;
    while (received < length) {
        uint32_t queued = 0, queueStatus = 0;
        if (SI_CheckRXQueue(device, &queued, &queueStatus) != TQ_USBX_OK)
            break;
        if (queued == 0) {
            const bool begun = (received - kDataHeader) % scanSize != 0;
            if (!begun || ++polls > kPolls)
                break;
            tq::platform::sleepMs(1);
            continue;
        }
        const uint32_t want = queued < length - received ? queued : length - received;
        uint32_t got = 0;
        if (SI_Read(device, reply + received, want, &got, nullptr) != TQ_USBX_OK || got == 0)
            break;
        received += got > want ? want : got;
    }
    return received;
}

void raiseOverrun(Session176 &s)
{
    // Every handler takes the overrun, whatever its mask.
    tq::driver::callEventHandlers(s, 1, 0xFFFFFFFFu, true, kOverrunText);
    if (tq::driver::wakeWaiters(s, 1, kOverrunText) == tq::driver::WakeResult::NoLock)
        tq::driver::traceLine(s, "ux176_streamThread() failed to get mutex: %#lx\n",
                              static_cast<unsigned long>(TQ_WAIT_TIMEOUT));
}

// One pass of the outputs: every enabled DAC and the enabled output lines,
// from the committed block for asynchronous channels (its scan at the time
// elapsed since start), else from their static values. An asynchronous
// channel has nothing to write before a block for the present layout was
// committed: its DAC keeps its last value, its line reads 0.
void playOutputs(Session176 &s, uint64_t startMs, double outputRate)
{
    uint16_t dacCodes[kDacs] = {};
    bool dacWrite[kDacs] = {};
    uint16_t lines = 0;
    bool linesWrite = false;
    {
        const tq::driver::OutputBlock *block = s.output.acquire();
        const int32_t size = s.outputScanSize.load(std::memory_order_acquire);
        const uint8_t *row = nullptr;
        if (block && size > 0 && block->scanSize == static_cast<uint32_t>(size) && block->scans > 0) {
            const double elapsed = static_cast<double>(tq::platform::tickMs() - startMs);
            double index = std::isfinite(outputRate) && outputRate > 0.0 ? std::trunc(elapsed * outputRate / 1000.0)
                                                                          : 0.0;
            if (!(index >= 0.0) || index > 9.0e18)
                index = 0.0;
            row = block->data + (static_cast<uint64_t>(index) % static_cast<uint64_t>(block->scans)) * size;
        }
        for (int k = 0; k < kDacs; ++k) {
            const Dac &d = s.dacs[k];
            const int32_t slot = d.slot.load(std::memory_order_relaxed);
            if (slot == kSlotStatic) {
                dacCodes[k] = d.staticCode.load(std::memory_order_relaxed);
                dacWrite[k] = true;
            } else if (slot >= 0 && row && slot + 2 <= size) {
                memcpy(&dacCodes[k], row + slot, sizeof dacCodes[k]);
                dacWrite[k] = true;
            }
        }
        for (const Digital &l : s.digital) {
            const int32_t slot = l.slot.load(std::memory_order_relaxed);
            if (slot == kSlotSkip)
                continue;
            linesWrite = true;
            bool on = false;
            if (slot == kSlotStatic) {
                on = l.staticValue.load(std::memory_order_relaxed) != 0;
            } else if (slot >= 0 && row && slot + 2 <= size) {
                uint16_t word;
                memcpy(&word, row + slot, sizeof word);
                on = (word >> l.bit) & 1u;
            }
            if (on)
                lines = static_cast<uint16_t>(lines | (1u << l.bit));
        }
        s.output.release();
    }
    if (!dacWrite[0] && !dacWrite[1] && !linesWrite)
        return;
    DeviceLock lock;
    if (!lock.held())
        return;
    for (int k = 0; k < kDacs; ++k)
        if (dacWrite[k])
            writeRegister(s.device, static_cast<uint8_t>(UX176_REG_DAC1 + k), dacCodes[k]);
    if (linesWrite)
        writeRegister(s.device, UX176_REG_DIGITAL_LOW, lines);
}

// Stores the whole scans of a reply as far as the buffer has room; returns
// the scans stored, or -1 for a reply read under another layout than the
// buffer's now, which is dropped rather than stored shifted.
int64_t storeScans(Session176 &s, const uint8_t *data, int64_t scans, uint32_t scanSize, uint32_t generation)
{
    TQStream *st = s.stream;
    if (st->streamLock(st, kStreamLockMs) != 0)
        return 0;
    int64_t stored = -1;
    if (generation == s.layoutGeneration.load(std::memory_order_acquire) &&
        s.buffer.scanSize.load(std::memory_order_relaxed) == scanSize) {
        int64_t left = scans;
        while (left > 0) {
            TQPiece *pieces = nullptr;
            const int64_t granted = tq::driver::reserveScans(s.buffer, left, &pieces);
            if (granted <= 0)
                break;
            int64_t copied = 0;
            for (TQPiece *p = pieces; p->data && copied < granted; ++p) {
                const int64_t n = p->length / scanSize;
                const int64_t take = n < granted - copied ? n : granted - copied;
                memcpy(p->data, data + (scans - left + copied) * scanSize, static_cast<size_t>(take * scanSize));
                copied += take;
            }
            tq::driver::commitScans(s, s.buffer, pieces, granted);
            left -= granted;
        }
        if (left < scans)
            s.streamHandles.postEvent(st, 1, kNewData, nullptr);
        stored = scans - left;
    }
    st->streamUnlock(st);
    return stored;
}

void streamThread(Session176 *sp)
{
    Session176 &s = *sp;
    SI_SetTimeouts(kThreadTimeoutMs, kThreadTimeoutMs);
    const uint64_t startMs = tq::platform::tickMs();
    const double rate = s.stream->streamGetRate(s.stream);
    const double outputRate = s.stream->streamGetOutputRate(s.stream);
    uint8_t reply[kMaxReply];
    // Scans a full buffer had no room for yet: they are stored before the
    // device is asked for more, so that slow readers hold the device's FIFO
    // up (which reports its overrun) instead of losing scans here unseen.
    uint8_t stash[kMaxReply];
    int64_t stashed = 0;
    uint32_t stashSize = 0, stashGeneration = 0;
    while (s.running.load(std::memory_order_acquire)) {
        if (stashed > 0) {
            const int64_t n = storeScans(s, stash, stashed, stashSize, stashGeneration);
            if (n < 0 || n == stashed) {
                stashed = 0;
            } else {
                memmove(stash, stash + n * stashSize, static_cast<size_t>((stashed - n) * stashSize));
                stashed -= n;
                s.stopEvent.waitUs(1000);
                playOutputs(s, startMs, outputRate);
                continue;
            }
        }
        uint32_t generation = 0, scanSize = 0, received = 0;
        int32_t perPacket = 0;
        ViStatus status;
        {
            DeviceLock lock;
            status = lock.status();
            if (lock.held()) {
                generation = s.layoutGeneration.load(std::memory_order_acquire);
                scanSize = s.deviceScanSize.load(std::memory_order_acquire);
                perPacket = s.scansPerPacket.load(std::memory_order_relaxed);
                uint32_t length = static_cast<uint32_t>(perPacket) * scanSize + kDataHeader;
                if (length > kMaxReply)
                    length = kMaxReply;
                const uint8_t request = 0x0A;
                // Scan data are bytes of any value: a rest of an earlier reply
                // read in front of this one could pass for its first byte.
                // Whatever is queued is dropped before asking.
                drain(s.device);
                status = exchange(s.device, &request, 1, reply, length, kDataHeader, &received);
                if (status >= VI_SUCCESS && received >= kDataHeader && scanSize > 0)
                    received = completeScans(s.device, reply, received, length, scanSize);
                // The rest of a scan cut off may still come: it is no part of the next reply.
                if (scanSize > 0 && received > kDataHeader && (received - kDataHeader) % scanSize != 0)
                    markSuspect(s.device);
            }
        }
        if (status < VI_SUCCESS || received < kDataHeader) {
            s.stopEvent.wait(kRetryMs);
            playOutputs(s, startMs, outputRate);
            continue;
        }
        const int64_t scans = scanSize ? (received - kDataHeader) / scanSize : 0;
        if (scans > 0) {
            const int64_t stored = storeScans(s, reply + kDataHeader, scans, scanSize, generation);
            if (stored >= 0 && stored < scans) {
                stashed = scans - stored;
                stashSize = scanSize;
                stashGeneration = generation;
                memcpy(stash, reply + kDataHeader + stored * scanSize, static_cast<size_t>(stashed * scanSize));
            }
        }
        // The overrun is told with the data of the reply that reports it;
        // a reply of its header alone tells nothing.
        if (received > kDataHeader && (reply[3] & 0x02) && s.eventEnable.load(std::memory_order_relaxed))
            raiseOverrun(s);
        playOutputs(s, startMs, outputRate);
        // The device had nothing yet: wait until it has a packet's worth
        // before asking again.
        if (scans == 0 && rate > 0.0) {
            double us = perPacket * 1e6 / rate;
            if (!(us < static_cast<double>(kMaxPaceUs)))
                us = static_cast<double>(kMaxPaceUs);
            if (us < static_cast<double>(kMinPaceUs))
                us = static_cast<double>(kMinPaceUs);
            s.stopEvent.waitUs(static_cast<uint64_t>(us));
        }
    }
}

void printResult(Session176 &s, const char *what, ViStatus status)
{
    if (!s.streamMessages)
        return;
    char text[tq::driver::kNameLength] = {};
    driver().statusText(s, status, text, sizeof text);
    tq::driver::statusLine(s, "[%s]%s:%s", s.instrumentName, what, text);
}

} // namespace

ViStatus startAcquisition(Session176 &s)
{
    tq::driver::RunGuard guard(s);
    if (s.running.load())
        return UX176_WARN_ALREADY_RUNNING;
    if (!s.stream || s.stream->streamGetScanSize(s.stream) == 0)
        return UX176_ERROR_NO_CHANNELS;
    if (s.simulated()) {
        s.running = true;
        return VI_SUCCESS;
    }
    {
        DeviceLock lock;
        if (!lock.held())
            return lock.status();
        const uint8_t request = 0x08;
        uint8_t reply[kStartStopReply];
        const ViStatus status = fixedExchange(s.device, &request, 1, reply, sizeof reply);
        if (status < VI_SUCCESS)
            return status;
    }
    s.stopEvent.reset();
    s.running = true;
    bool started = false;
    try {
        started = s.thread.start([p = &s] { streamThread(p); });
    } catch (...) {
        started = false;
    }
    if (!started) {
        s.running = false;
        return VI_ERROR_SYSTEM_ERROR;
    }
    return VI_SUCCESS;
}

ViStatus stopAcquisition(Session176 &s)
{
    tq::driver::RunGuard guard(s);
    const bool wasRunning = s.running.exchange(false);
    if (!s.thread.joinable())
        return VI_SUCCESS;
    s.stopEvent.set();
    s.thread.join();
    if (!wasRunning || !s.device)
        return VI_SUCCESS;
    DeviceLock lock;
    if (!lock.held())
        return lock.status();
    const uint8_t request = 0x09;
    uint8_t reply[kStartStopReply];
    return fixedExchange(s.device, &request, 1, reply, sizeof reply);
}

void freeOutput(Session176 &s)
{
    s.output.clear();
    s.reservedScanSize.store(0);
}

// Room for count output scans. Nothing while a reservation is open, while
// the stream has no input channel (the stream thread, which plays the
// outputs, only runs with inputs) or no asynchronous output.
int64_t reserveWrite(TQStream *stream, int64_t count, int64_t *granted, TQPiece **pieces)
{
    if (granted)
        *granted = 0;
    if (pieces)
        *pieces = nullptr;
    Session176 *s = sessionOf(stream);
    if (!s || stream->streamGetScanSize(stream) == 0)
        return 0;
    const int32_t size = s->outputScanSize.load(std::memory_order_acquire);
    if (size <= 0)
        return 0;
    const int64_t reserved = s->output.reserveWrite(count, static_cast<uint32_t>(size), granted, pieces);
    if (reserved > 0)
        s->reservedScanSize.store(size, std::memory_order_release);
    return reserved;
}

int64_t completeWrite(TQStream *stream, int64_t count)
{
    Session176 *s = sessionOf(stream);
    if (!s)
        return 0;
    s->reservedScanSize.store(0, std::memory_order_release);
    return s->output.completeWrite(count);
}

} // namespace ux176

using namespace ux176;

TQ_API ViStatus ux176_start(ViSession vi)
{
    Session176 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    const ViStatus status = tq::platform::guardStatus([&] { return startAcquisition(*s); });
    printResult(*s, "start", status);
    return status;
}

TQ_API ViStatus ux176_stop(ViSession vi)
{
    Session176 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    const ViStatus status = tq::platform::guardStatus([&] { return stopAcquisition(*s); });
    printResult(*s, "stop", status);
    return status;
}
