// The session's stream: binding it to the stream library, the stream
// operations the driver takes over, and device readers.
//
// Binding (at session creation, before the session is listed) loads
// "tqstream_32.dll", fills Session::streamHandles through
// tqstream_getHandles, makes the stream with the session as owner and puts
// the driver's operations into it: a release that does nothing (holders can
// never destroy it), capture open and close with the model's capture header,
// scans written, channel lookups and newReader through the model's hooks.
// Close destroys the stream and frees the library.
//
// Device readers: a model's newReader hook builds its readers with
// newDeviceReader and a table of its reader operations. The framework owns
// the reader record, the reference count and the release; the model keeps
// its position in the private block. A reader its holder keeps after the
// session closed stays safe to call and to release: every operation then
// answers as an empty reader (0 scans, no data) without calling the model,
// and the release still frees it (the reader keeps the stream library loaded
// until then).
//
//     struct Pos { int64_t segment, offset; TQPiece *pieces; int64_t reserved; };
//     const tq::driver::DeviceReaderOps kOps = {sizeof(Pos), seek, avail, peek, reserve, complete, drop};
//     TQReader *newReader(Session &s, int64_t p, int32_t w) override { return newDeviceReader(s, p, w, kOps); }
//
// The model's operations run under whatever lock it needs (the stream's
// lock where an interrupt or acquisition thread moves the data).
#pragma once

#include <cstddef>
#include <cstdint>

#include "tq/driver/session.h"
#include "tqstream.h"

namespace tq::driver
{

// Loads the stream library when the session has none yet, makes the stream
// and installs the driver's stream operations. False (everything undone)
// when the library, its export or the stream cannot be had.
bool bindStream(Session &s);
// Closes a capture still open (through the stream's own captureClose, which
// may build its header from the channel records).
void closeCapture(Session &s);
// Closes a capture still open, destroys the stream and frees the library.
void unbindStream(Session &s);

// The session that owns a stream bound by this framework, or null.
Session *sessionOfStream(TQStream *stream);

struct DeviceReaderOps {
    // Bytes of the model's private block, allocated zeroed with the reader.
    size_t blockSize;
    // The operations of the reader contract (positions and counts in scans);
    // block is the model's private block.
    int64_t (*seek)(Session &s, void *block, int64_t position, int32_t whence);
    int64_t (*avail)(Session &s, void *block);
    void *(*peek)(Session &s, void *block, int64_t *count, int64_t *position);
    int64_t (*reserveRead)(Session &s, void *block, TQPiece **pieces, uint32_t *pieceCount, int64_t count);
    int64_t (*completeRead)(Session &s, void *block, int64_t count);
    // Frees what the block holds (the piece list of an open reservation)
    // when the reader goes; may run after the session closed. May be null.
    void (*drop)(void *block);
    // Frees what the block holds while the session still lives, under the
    // lock the model's writer takes; when null, drop runs instead. May be null.
    void (*dropLive)(Session &s, void *block) = nullptr;
};

// A reader of the session's stream with the model's operations, positioned
// with seek(position, whence); null when memory runs out. ops must outlive
// every reader made with it (a table with static storage).
TQReader *newDeviceReader(Session &s, int64_t position, int32_t whence, const DeviceReaderOps &ops);
// The model's private block of a device reader.
void *deviceReaderBlock(TQReader *reader);

} // namespace tq::driver
