// The output path of the model 726: the stream's reserveWrite and
// completeWrite over the session's output buffer, and the output thread
// that writes every channel's code once per output scan period.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "driver726.h"
#include "tq/driver/stream.h"

namespace tq726
{

namespace
{

Session726 *sessionOf(TQStream *stream)
{
    return static_cast<Session726 *>(tq::driver::sessionOfStream(stream));
}

// One frame: the code of every channel for one output scan. A disabled
// channel writes 0 V; a static one its static code; an asynchronous one its
// column of the scan in the committed block, or 0 V while no block was
// committed for the present layout.
void buildFrame(Session726 &s, uint64_t scan, int count, uint16_t *frame)
{
    const tq::driver::OutputBlock *block = s.output.acquire();
    const int32_t async = s.asyncCount.load(std::memory_order_acquire);
    const unsigned char *row = nullptr;
    uint32_t rowSize = 0;
    if (block && async > 0 && block->scanSize == static_cast<uint32_t>(2 * async)) {
        rowSize = block->scanSize;
        row = block->data + (scan % static_cast<uint64_t>(block->scans)) * rowSize;
    }
    for (int c = 0; c < count; ++c) {
        const Channel &ch = s.channels[c];
        const int32_t slot = ch.slot.load(std::memory_order_relaxed);
        uint16_t code = kZeroCode;
        if (slot == kSlotStatic)
            code = ch.staticCode.load(std::memory_order_relaxed);
        else if (slot >= 0 && row && static_cast<uint32_t>(slot) + 2 <= rowSize)
            memcpy(&code, row + slot, sizeof code);
        frame[c] = code;
    }
    s.output.release();
}

// Static channels alone (no asynchronous channel) hold one code each until
// something changes it, so a thread that wrote them every period would
// write the same frame again and again. It writes them when they change
// and otherwise only this often, so that the board is set again even if
// something else wrote it.
constexpr uint64_t kKeepAliveUs = 1000000;

// Scan k is due at start + k periods. The thread writes the scan the clock
// stands at, then sleeps until the next one is due: the schedule keeps the
// output rate without drift (periods are not whole milliseconds), and a
// thread that falls behind catches up with the clock instead of playing
// slower. With static channels alone it sleeps until a change (a static
// code, an enable, a type, a direct write) or the keep-alive is due, and
// writes at the period that follows: the board holds, period by period,
// what a write every period would have put there.
void run(Session726 &s, double rate)
{
    const double usPerScan = 1e6 / rate;
    const int count = s.channelCount;
    const bool board = s.hasInstrument();
    uint16_t frame[kMaxChannels];
    uint16_t written[kMaxChannels];
    const uint64_t start = tq::platform::tickUs();
    const auto dueOf = [&](uint64_t scan) {
        return start + static_cast<uint64_t>(std::ceil(static_cast<double>(scan) * usPerScan));
    };
    bool wrote = false, onBoard = false;
    uint64_t last = 0, writtenAt = 0;
    while (s.running.load(std::memory_order_acquire)) {
        const uint64_t now = tq::platform::tickUs();
        const uint64_t scan = static_cast<uint64_t>(std::floor(static_cast<double>(now - start) / usPerScan));
        const bool periodic = s.asyncCount.load(std::memory_order_acquire) > 0;
        if (!wrote || scan > last) {
            buildFrame(s, scan, count, frame);
            // A direct write put other codes on the board: the frame goes
            // out again even when it did not change.
            const bool overwritten = s.boardOverwritten.exchange(false, std::memory_order_acq_rel);
            if (periodic || overwritten || !onBoard || memcmp(frame, written, sizeof(uint16_t) * count) != 0 ||
                now - writtenAt >= kKeepAliveUs) {
                if (board)
                    visa().viMoveOut16(s.value, reg::kBar2, reg::kOutputs, static_cast<ViBusSize>(count), frame);
                memcpy(written, frame, sizeof(uint16_t) * count);
                onBoard = true;
                writtenAt = now;
            }
            wrote = true;
            last = scan;
        }
        if (!periodic) {
            // Until a change or the keep-alive; a change signalled since the
            // frame was built left the event set, so none is missed.
            const uint64_t after = tq::platform::tickUs();
            const uint64_t keepAlive = writtenAt + kKeepAliveUs;
            s.changed.waitUs(keepAlive > after ? keepAlive - after : 0);
            if (!s.running.load(std::memory_order_acquire))
                break;
        }
        const uint64_t after = tq::platform::tickUs();
        uint64_t next = last + 1;
        if (!periodic) // the period after the wake-up, not the one after the last write
            next = std::max(next, static_cast<uint64_t>(std::floor(static_cast<double>(after - start) / usPerScan)) + 1);
        const uint64_t due = dueOf(next);
        if (due > after)
            s.stopEvent.waitUs(due - after);
    }
}

void printResult(Session726 &s, const char *what, ViStatus status)
{
    char text[tq::driver::kNameLength];
    driver().statusText(s, status, text, sizeof text);
    tq::driver::statusLine(s, "[%s]%s:%s", s.instrumentName, what, text);
}

} // namespace

ViStatus startOutput(Session726 &s)
{
    tq::driver::RunGuard guard(s);
    if (s.running.load())
        return TQ726_WARN_ALREADY_RUNNING;
    if (s.asyncCount.load() == 0 && s.staticCount == 0)
        return TQ726_ERROR_NO_CHANNELS;
    // The thread schedules its scans on this rate: what crossCheck refuses
    // would give it no period (0 or less, not a number) or one it cannot keep.
    const double rate = s.stream->streamGetOutputRate(s.stream);
    if (!validOutputRate(rate))
        return VI_ERROR_INV_SETUP;
    s.stopEvent.reset();
    s.changed.reset();
    s.boardOverwritten.store(false);
    s.running = true;
    bool started = false;
    try {
        started = s.thread.start([&s, rate] { run(s, rate); });
    } catch (...) {
        started = false;
    }
    if (!started) {
        s.running = false;
        return VI_ERROR_SYSTEM_ERROR;
    }
    return VI_SUCCESS;
}

ViStatus stopOutput(Session726 &s)
{
    tq::driver::RunGuard guard(s);
    if (s.running.exchange(false)) {
        s.stopEvent.set();
        s.changed.set();
    }
    s.thread.join();
    return VI_SUCCESS;
}

void outputsChanged(Session726 &s)
{
    if (s.running.load(std::memory_order_acquire))
        s.changed.set();
}

void freeOutput(Session726 &s)
{
    stopOutput(s);
    s.output.clear();
    s.reservedScanSize.store(0);
}

// Room for count scans of the asynchronous channels: gated on their count,
// the scans the refill fills; nothing while a reservation is open.
int64_t reserveWrite(TQStream *stream, int64_t count, int64_t *granted, TQPiece **pieces)
{
    if (granted)
        *granted = 0;
    if (pieces)
        *pieces = nullptr;
    Session726 *s = sessionOf(stream);
    if (!s)
        return 0;
    const int32_t async = s->asyncCount.load(std::memory_order_acquire);
    if (async <= 0)
        return 0;
    const int64_t reserved = s->output.reserveWrite(count, static_cast<uint32_t>(2 * async), granted, pieces);
    if (reserved > 0)
        s->reservedScanSize.store(2 * async, std::memory_order_release);
    return reserved;
}

int64_t completeWrite(TQStream *stream, int64_t count)
{
    Session726 *s = sessionOf(stream);
    if (!s)
        return 0;
    s->reservedScanSize.store(0, std::memory_order_release);
    return s->output.completeWrite(count);
}

} // namespace tq726

using namespace tq726;

TQ_API ViStatus tq726_start(ViSession vi)
{
    Session726 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    const ViStatus status = tq::platform::guardStatus([&] { return startOutput(*s); });
    printResult(*s, "start", status);
    return status;
}

TQ_API ViStatus tq726_stop(ViSession vi)
{
    Session726 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    const ViStatus status = tq::platform::guardStatus([&] { return stopOutput(*s); });
    printResult(*s, "stop", status);
    return status;
}
