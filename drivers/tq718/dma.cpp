// The model 718's DMA ring in host memory: allocation of the segments and
// the descriptor chain the board walks, the device readers that read the
// segments in place, and the interrupt handler that accounts for what the
// board wrote.
#include <algorithm>
#include <cstring>

#include "driver718.h"
#include "events718.h"
#include "tq/driver/events.h"
#include "tq/driver/stream.h"
#include "tq/platform/thread.h"
#include "tq718.h"

namespace tq718
{

namespace
{

const tq::visa::FunctionTable &v()
{
    return tq::visa::visa();
}

// The interrupt handler holds the stream's lock at most this long to get it.
constexpr uint32_t kStreamLockMs = 1000;

constexpr const char *kNewData = "new data from device";

} // namespace

// ---- Allocation -------------------------------------------------------------------

namespace
{

// Unmaps, frees and closes every entry that got so far.
void releaseTable(Ring &ring)
{
    const tq::visa::FunctionTable &visa = v();
    for (Segment &e : ring.table()) {
        if (e.session == VI_NULL)
            continue;
        if (e.address)
            visa.viUnmapAddress(e.session);
        if (e.size)
            visa.viMemFree(e.session, e.offset);
        visa.viClose(e.session);
        e = Segment{};
    }
}

} // namespace

ViStatus freeRing(Session718 &s)
{
    if (!s.ring.allocated())
        return VI_ERROR_WINDOW_NMAPPED;
    ViUInt32 value = 0;
    if (in32(s, reg::kDmaCommand, value, reg::kBar0) >= VI_SUCCESS)
        out32(s, reg::kDmaCommand, value & ~reg::kDmaEnable, reg::kBar0);
    if (in32(s, reg::kInterruptControl, value, reg::kBar0) >= VI_SUCCESS)
        out32(s, reg::kInterruptControl, value & ~reg::kInterruptControlDma, reg::kBar0);
    // Readers and an interrupt still finishing take the stream's lock before
    // they touch the segments.
    StreamLock lock(s);
    releaseTable(s.ring);
    s.ring.clear();
    s.descriptors = nullptr;
    s.chainAddress = 0;
    s.ringByStart = false;
    return VI_SUCCESS;
}

ViStatus allocateRing(Session718 &s, int segments, uint32_t scansPerSegment, bool continuous)
{
    const uint16_t scanSize = s.stream ? s.stream->streamGetScanSize(s.stream) : 0;
    if (scanSize == 0) {
        if (s.ring.allocated())
            freeRing(s);
        return VI_ERROR_INV_SETUP;
    }
    if (s.ring.allocated())
        freeRing(s);
    if (segments < 1 || segments > 0x7FFF)
        return VI_ERROR_INV_PARAMETER;
    uint64_t scans = scansPerSegment ? scansPerSegment : 1;
    // Whole scans in a segment whose length is a multiple of 8 bytes.
    while ((scans * scanSize) % 8 != 0)
        ++scans;
    const uint64_t length = scans * scanSize;
    // The descriptor's length word is 32 bits.
    if (length > 0xFFFFFFF0u)
        return VI_ERROR_ALLOC;
    if (!s.hasInstrument())
        return VI_ERROR_ALLOC;

    const tq::visa::FunctionTable &visa = v();
    ViSession rm = VI_NULL;
    if (visa.viGetAttribute(s.value, VI_ATTR_RM_SESSION, &rm) < VI_SUCCESS)
        return VI_ERROR_ALLOC;
    {
        StreamLock lock(s);
        s.ring.configure(static_cast<uint16_t>(segments), static_cast<uint32_t>(scans), scanSize);
    }
    bool ok = true;
    std::vector<Segment> &table = s.ring.table();
    for (size_t j = 0; j < table.size() && ok; ++j) {
        Segment &e = table[j];
        const ViBusSize size = j == 0 ? (static_cast<ViBusSize>(segments) + 1) * 16 : length;
        ok = visa.viOpen(rm, const_cast<ViRsrc>("PXI::MEMACC"), VI_NULL, VI_NULL, &e.session) >= VI_SUCCESS;
        ok = ok && visa.viMemAlloc(e.session, size, &e.offset) >= VI_SUCCESS;
        if (ok)
            e.size = size;
        // The descriptor words hold 32-bit bus addresses.
        ok = ok && e.offset + size <= 0xFFFFFFFFu;
        ViAddr address = nullptr;
        ok = ok && visa.viMapAddress(e.session, VI_PXI_ALLOC_SPACE, e.offset, size, VI_FALSE, VI_NULL, &address) >=
                       VI_SUCCESS;
        if (ok)
            e.address = static_cast<uint8_t *>(address);
    }
    if (!ok) {
        releaseTable(s.ring);
        StreamLock lock(s);
        s.ring.clear();
        return VI_ERROR_ALLOC;
    }

    // The chain starts at the first 16-byte boundary of entry 0.
    const ViBusAddress chain = (table[0].offset + 15) & ~ViBusAddress(15);
    s.chainAddress = chain;
    s.descriptors = reinterpret_cast<uint32_t *>(table[0].address + (chain - table[0].offset));
    s.continuousRing = continuous;
    const ViUInt32 flags = continuous ? reg::kNextRing : reg::kNextOneShot;
    for (int j = 0; j < segments; ++j) {
        uint32_t *d = s.descriptors + 4 * j;
        const bool last = j == segments - 1;
        const ViBusAddress next = last ? chain : chain + 16 * static_cast<ViBusAddress>(j + 1);
        d[0] = static_cast<uint32_t>(table[j + 1].offset);
        d[1] = reg::kDescriptorLocal;
        d[2] = static_cast<uint32_t>(length);
        d[3] = static_cast<uint32_t>(next) | flags | (last && !continuous ? reg::kNextEndOfChain : 0);
    }
    return VI_SUCCESS;
}

void markEndOfChain(Session718 &s, uint64_t entry)
{
    if (!s.descriptors || entry >= s.ring.segments())
        return;
    // The board reads the word while it runs.
    __atomic_or_fetch(&s.descriptors[4 * entry + 3], reg::kNextEndOfChain, __ATOMIC_RELEASE);
}

// ---- Device readers -------------------------------------------------------------

namespace
{

ReaderPosition &position(void *block)
{
    return *static_cast<ReaderPosition *>(block);
}

Session718 &model(tq::driver::Session &s)
{
    return static_cast<Session718 &>(s);
}

int64_t readerSeek(tq::driver::Session &s, void *block, int64_t p, int32_t whence)
{
    StreamLock lock(model(s));
    return lock ? model(s).ring.seek(position(block), p, whence) : 0;
}

int64_t readerAvail(tq::driver::Session &s, void *block)
{
    StreamLock lock(model(s));
    return lock ? model(s).ring.avail(position(block)) : 0;
}

void *readerPeek(tq::driver::Session &s, void *block, int64_t *count, int64_t *p)
{
    StreamLock lock(model(s));
    if (!lock) {
        *count = 0;
        *p = 0;
        return nullptr;
    }
    return model(s).ring.peek(position(block), count, p);
}

int64_t readerReserve(tq::driver::Session &s, void *block, TQPiece **pieces, uint32_t *count, int64_t n)
{
    StreamLock lock(model(s));
    if (!lock) {
        if (count)
            *count = 0;
        return 0;
    }
    return model(s).ring.reserveRead(position(block), pieces, count, n);
}

int64_t readerComplete(tq::driver::Session &s, void *block, int64_t n)
{
    StreamLock lock(model(s));
    return lock ? model(s).ring.completeRead(position(block), n) : 0;
}

void readerDrop(void *block)
{
    ReaderPosition &r = position(block);
    free(r.pieces);
    r.pieces = nullptr;
}

const tq::driver::DeviceReaderOps kReaderOps = {
    sizeof(ReaderPosition), readerSeek, readerAvail, readerPeek, readerReserve, readerComplete, readerDrop,
};

} // namespace

TQReader *newReader(Session718 &s, int64_t p, int32_t whence)
{
    // A new reader starts at the oldest kept segment (zeroed block: segment
    // 0 while nothing is kept yet), then seeks.
    TQReader *reader = tq::driver::newDeviceReader(s, 0, TQ_WHENCE_OLDEST, kReaderOps);
    if (!reader)
        return nullptr;
    auto *r = static_cast<ReaderPosition *>(tq::driver::deviceReaderBlock(reader));
    {
        StreamLock lock(s);
        r->segment = static_cast<int64_t>(s.ring.oldestKept());
        r->offset = 0;
        s.ring.seek(*r, p, whence);
    }
    return reader;
}

int64_t scansWritten(Session718 &s)
{
    StreamLock lock(s);
    return lock ? s.ring.scansWritten() : 0;
}

void restartReaders(Session718 &s)
{
    StreamLock lock(s);
    s.ring.restart();
    s.lastWriteCount = 0;
    s.wordsWritten = 0;
    s.transientSeen = false;
    s.transientEnd = 0;
    const TQStreamHandles &h = s.streamHandles;
    for (TQReader *r = h.firstReader(s.stream); r; r = h.nextReader(r))
        if (auto *p = static_cast<ReaderPosition *>(tq::driver::deviceReaderBlock(r)))
            *p = ReaderPosition{0, 0, p->pieces, 0, p->pieceCapacity, false};
}

// ---- Accounting ------------------------------------------------------------------

int64_t accountWrites(Session718 &s, bool capture)
{
    // Under the stream's lock.
    Ring &ring = s.ring;
    if (!ring.allocated())
        return 0;
    ViUInt32 count = 0;
    if (in32(s, reg::kDmaWriteCount, count) >= VI_SUCCESS) {
        // Unwrapped: the difference of two reads is taken modulo 2^32.
        s.wordsWritten += static_cast<uint32_t>(count - s.lastWriteCount);
        s.lastWriteCount = count;
    }
    const int64_t written = static_cast<int64_t>(s.wordsWritten * 4 / ring.scanSize());
    TQStream *stream = s.stream;
    const TQStreamHandles &h = s.streamHandles;
    capture = capture && h.isCapturing(stream) && s.settings.transientCondition == 0;
    ring.account(
        written,
        [&](uint64_t segment, uint32_t first, uint32_t n) {
            h.postEvent(stream, 1, kNewData, nullptr);
            if (capture)
                stream->streamNewData(stream, ring.scanAddress(segment, first), n, 0);
        },
        [&](uint64_t) {
            for (TQReader *r = h.firstReader(stream); r; r = h.nextReader(r))
                if (auto *p = static_cast<ReaderPosition *>(tq::driver::deviceReaderBlock(r)))
                    ring.catchUp(*p);
        });
    return written;
}

// ---- Interrupt handler --------------------------------------------------------------

namespace
{

// A transient trigger: the capture ends TransientNumScans scans after the
// trigger, and the DMA with the segment that holds that end.
void transientTrigger(Session718 &s, int64_t written)
{
    if (s.settings.transientCondition == 0 || s.transientSeen || !s.ring.allocated())
        return;
    ViUInt32 position = 0;
    if (in32(s, reg::kTransientPosition, position) < VI_SUCCESS)
        return;
    // The register holds the low 32 bits of the trigger's scan index; the
    // trigger lies at or before the scans already written.
    int64_t p = written - static_cast<int64_t>(static_cast<uint32_t>(static_cast<uint32_t>(written) - position));
    if (p < 0)
        p = position;
    const auto size = static_cast<int64_t>(s.ring.scansPerSegment());
    s.transientSeen = true;
    s.transientEnd = s.settings.transientScans + p - 1;
    int64_t k = (s.transientEnd - 1) / size;
    if (k == p / size)
        ++k;
    markEndOfChain(s, static_cast<uint64_t>(k) % s.ring.segments());
}

// The transfer of a transient capture has ended: stop, and record the kept
// segments up to the transient's last scan. A caller's stop that is under way
// stops the board itself; the recording is the handler's either way.
void transientDone(Session718 &s)
{
    stopFromHandler(s);
    TQStream *stream = s.stream;
    if (!s.streamHandles.isCapturing(stream))
        return;
    Ring &ring = s.ring;
    const auto size = static_cast<int64_t>(ring.scansPerSegment());
    for (uint64_t j = ring.oldestKept(); j < ring.begun(); ++j) {
        int64_t n = ring.filled(j);
        if (j + 1 == ring.begun())
            n = std::clamp<int64_t>(s.transientEnd - static_cast<int64_t>(j) * size + 1, 0, n);
        if (n > 0)
            stream->streamNewData(stream, ring.scanAddress(j, 0), n, 0);
    }
}

} // namespace

ViStatus tq718_MBufSegHndlr(ViSession vi, ViEventType type, ViEvent, ViAddr user)
{
    try {
        if (type != VI_EVENT_PXI_INTR)
            return VI_SUCCESS;
        Session718 *s = user ? static_cast<Session718 *>(user) : find(vi);
        if (!s || s->interruptMechanism.load() != 2)
            return VI_SUCCESS;
        ViUInt32 status = 0;
        if (in32(*s, reg::kEventStatus, status) < VI_SUCCESS)
            return VI_SUCCESS;
        StreamLock lock(*s, kStreamLockMs);
        if (!lock)
            return VI_SUCCESS;

        const int64_t written = accountWrites(*s, true);

        if (status & reg::kStatusTransient) {
            status &= ~reg::kStatusTransient;
            transientTrigger(*s, written);
        }
        if ((status & reg::kStatusSegment) && s->transientSeen && s->running.load()) {
            ViUInt32 command = 0;
            if (in32(*s, reg::kDmaCommand, command, reg::kBar0) >= VI_SUCCESS && (command & reg::kDmaDone)) {
                status |= reg::kStatusTransient; // delivered as event 15
                transientDone(*s);
            }
        }

        // Events 1 to 15; the texts are made only for someone to read them
        // (the text of event 1 clears the limit violations on the board).
        const bool listeners = s->eventHandlerCount > 0 || tq::driver::waitingThreads(*s) > 0;
        uint32_t clear = 0;
        char text[tq::driver::kNameLength];
        char first[tq::driver::kNameLength] = "";
        for (int e = 1; e <= 15; ++e) {
            if (!(status & (1u << (e - 1))) || !listeners)
                continue;
            eventText(*s, e, text, sizeof text);
            if (!first[0])
                memcpy(first, text, sizeof first);
            const bool enabled = validEventChannel(e) && s->eventChannel(e).enable != 0;
            clear |= tq::driver::callEventHandlers(*s, static_cast<unsigned>(e), status, enabled, text);
        }
        if (status != 0 && tq::driver::wakeWaiters(*s, status, first) == tq::driver::WakeResult::NoLock)
            tq::driver::traceLine(*s, "tq718_MBufSegHndlr() failed to get mutex: %#x\n", 0x102u);
        out32(*s, reg::kEventStatus, clear);
    } catch (...) {
    }
    return VI_SUCCESS;
}

// ---- Interrupt set-up and tear-down -------------------------------------------------

namespace
{

// The card's global interrupt enable and the bridge's pass-through, without
// touching the stored InterruptEnable setting.
ViStatus switchInterruptEnable(Session718 &s, bool on)
{
    ViStatus status = setField(s, reg::kGlobalInterruptField, on ? 1 : 0);
    ViUInt32 control = 0;
    if (status >= VI_SUCCESS)
        status = in32(s, reg::kInterruptControl, control, reg::kBar0);
    if (status >= VI_SUCCESS)
        status = out32(s, reg::kInterruptControl, control | reg::kInterruptControlEnable, reg::kBar0);
    return status;
}

ViStatus undoSetUp(Session718 &s, int16_t m, ViStatus failure)
{
    s.interruptMechanism = -1;
    v().viDisableEvent(s.value, VI_EVENT_PXI_INTR, static_cast<ViUInt16>(m));
    if (m == VI_HNDLR)
        v().viUninstallHandler(s.value, VI_EVENT_PXI_INTR, tq718_MBufSegHndlr, &s);
    return failure;
}

} // namespace

ViStatus setUpInterrupt(Session718 &s, int16_t m)
{
    if (s.simulated())
        return VI_SUCCESS;
    const tq::visa::FunctionTable &visa = v();
    s.interruptMechanism = m;
    if (m == VI_HNDLR) {
        const ViStatus installed = visa.viInstallHandler(s.value, VI_EVENT_PXI_INTR, tq718_MBufSegHndlr, &s);
        if (installed < VI_SUCCESS) {
            s.interruptMechanism = -1;
            return installed;
        }
    }
    const ViStatus r = visa.viEnableEvent(s.value, VI_EVENT_PXI_INTR, static_cast<ViUInt16>(m), VI_NULL);
    s.interruptEnableResult = r;
    if (r == VI_ERROR_NSUP_MECH) {
        if (m == VI_HNDLR) {
            const ViStatus st = visa.viUninstallHandler(s.value, VI_EVENT_PXI_INTR, tq718_MBufSegHndlr, &s);
            if (st < VI_SUCCESS)
                return undoSetUp(s, m, st);
        } else {
            ViStatus st = visa.viDisableEvent(s.value, VI_EVENT_PXI_INTR, VI_HNDLR);
            if (st >= VI_SUCCESS)
                st = visa.viEnableEvent(s.value, VI_EVENT_PXI_INTR, static_cast<ViUInt16>(m), VI_NULL);
            if (st < VI_SUCCESS)
                return undoSetUp(s, m, st);
        }
    } else if (r != VI_SUCCESS && r != VI_SUCCESS_EVENT_EN) {
        return undoSetUp(s, m, VI_ERROR_SYSTEM_ERROR);
    }

    ViStatus status = setField(s, reg::kSegmentEventEnable, 1);
    ViUInt32 enabled = 0;
    if (status >= VI_SUCCESS)
        status = getField(s, reg::kGlobalInterruptField, enabled);
    if (status >= VI_SUCCESS) {
        s.savedInterruptEnable = enabled;
        if (enabled == 0)
            status = switchInterruptEnable(s, true);
    }
    if (status < VI_SUCCESS) {
        tearDownInterrupt(s);
        return status;
    }
    return VI_SUCCESS;
}

ViStatus tearDownInterrupt(Session718 &s)
{
    // Whoever takes the mechanism tears down: a stop on the caller's thread
    // and one from the interrupt handler never both do.
    const int16_t m = s.interruptMechanism.exchange(-1);
    if (m == -1)
        return VI_SUCCESS;
    const tq::visa::FunctionTable &visa = v();
    ViStatus result = VI_SUCCESS;
    if (s.savedInterruptEnable == 0)
        result = switchInterruptEnable(s, false);
    // The events are disabled and the handler removed whatever the board
    // answered: a handler left installed would outlive the session.
    const auto mech = static_cast<ViUInt16>(m);
    if (s.interruptEnableResult == VI_ERROR_NSUP_MECH) {
        visa.viDisableEvent(s.value, VI_EVENT_PXI_INTR, mech);
        if (m == VI_QUEUE)
            visa.viEnableEvent(s.value, VI_EVENT_PXI_INTR, VI_HNDLR, VI_NULL);
    } else if (s.interruptEnableResult == VI_SUCCESS) {
        visa.viDisableEvent(s.value, VI_EVENT_PXI_INTR, mech);
        if (m == VI_HNDLR)
            visa.viUninstallHandler(s.value, VI_EVENT_PXI_INTR, tq718_MBufSegHndlr, &s);
    } else if (s.interruptEnableResult == VI_SUCCESS_EVENT_EN && m == VI_HNDLR) {
        visa.viUninstallHandler(s.value, VI_EVENT_PXI_INTR, tq718_MBufSegHndlr, &s);
    }
    return result;
}

} // namespace tq718
