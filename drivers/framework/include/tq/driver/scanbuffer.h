// A device's scans kept in a segmented buffer of the stream library, for
// drivers whose acquisition thread samples the instrument and writes whole
// scans (the carrier, the frequency counter, the USB device), and the
// readers of the session's stream over it.
//
// Every segment and every reservation holds whole scans: the sizes are
// rounded to the scan size here, so that a scan never straddles two
// segments and a reader's piece list or peek always starts and ends on a
// scan boundary. The buffer takes no lock of its own; everything below runs
// under the stream's lock (the writer calls under it, the readers and
// scansWritten take it themselves).
//
//     ScanBufferSizes z;
//     if (!scanBufferSizes(rate, refresh, seconds, scanSize, z)) return error;
//     prepareScanBuffer(s, buf, scanSize, z);                     // at start
//     lock; n = reserveScans(buf, due, &pieces); fill; commitScans(s, buf, pieces, n); unlock;  // thread
//     TQReader *newReader(...) override { return newBufferedReader(s, buf, p, w); }
#pragma once

#include <atomic>
#include <cstdint>

#include "tq/driver/session.h"
#include "tqstream.h"

namespace tq::driver
{

struct ScanBuffer {
    TQBuffer *buffer = nullptr;
    // Bytes per scan of the data now in the buffer (0: no data yet). Read by
    // readers on other threads; changed only under the stream lock.
    std::atomic<uint32_t> scanSize{0};
};

// Sizes in bytes, each a whole number of scans.
struct ScanBufferSizes {
    int32_t segmentBytes = 0;
    int32_t bufferBytes = 0;
    int32_t maximumBytes = 0;
};

// Segments of trunc(rate / refreshRate) scans (at least one), a buffer of
// trunc(rate x seconds) scans (at least one segment's worth), a maximum of
// twice the buffer. False, with nothing written, for a rate, refresh rate,
// duration or scan size that is not above 0 or not a finite number, or for
// sizes that do not fit 32 bits.
bool scanBufferSizes(double rate, double refreshRate, double seconds, uint32_t scanSize, ScanBufferSizes &sizes);

// Makes the buffer with the sizes (TQCreateBuffer of the session's stream
// library) or resets the existing one to them; readers are placed at the
// start of the new data. Takes the stream lock. VI_ERROR_ALLOC when the
// buffer cannot be made or reset (the buffer, if any, is kept unchanged).
ViStatus prepareScanBuffer(Session &s, ScanBuffer &b, uint32_t scanSize, const ScanBufferSizes &sizes);
// Makes the buffer with fixed byte sizes, without scans yet (the stream's
// binding); false when it cannot be made.
bool createScanBuffer(Session &s, ScanBuffer &b, int32_t segmentBytes, int32_t bufferBytes, int32_t maximumBytes);
// Releases the buffer (its close, then its reference). Readers still held
// elsewhere survive, unlinked, and answer as empty readers.
void releaseScanBuffer(ScanBuffer &b);

// Scans written since the last prepare; takes the stream lock.
int64_t scanBufferScansWritten(Session &s, ScanBuffer &b);

// With the stream lock held: reserves room for up to count whole scans; the
// pieces each hold whole scans. Returns the scans granted (0 when none).
int64_t reserveScans(ScanBuffer &b, int64_t count, TQPiece **pieces);
// With the stream lock held: completes the scans granted by reserveScans
// and, while the stream captures, appends them to the capture's data.
void commitScans(Session &s, ScanBuffer &b, const TQPiece *pieces, int64_t scans);

// A reader of the session's stream over the buffer, positioned with
// (position, whence) in scans; null when it cannot be made.
TQReader *newBufferedReader(Session &s, ScanBuffer &b, int64_t position, int32_t whence);

// The scan's number since the last prepare, for a scan pointer that lies in
// one of the buffer's kept segments; -1 when no kept segment holds it. With
// the stream lock held.
int64_t scanNumberOf(const ScanBuffer &b, const void *scan);

} // namespace tq::driver
