/* Public C interface of the stream engine, libtqstream_32.so.
 *
 * Records that cross libraries (streams, readers, stream channels, piece
 * lists, buffers, message queues, the handle table) are C structs whose
 * function fields and data fields stand in a fixed order. The declarations
 * are grouped by concept in include/tqstream/. */
#ifndef TQSTREAM_H
#define TQSTREAM_H

#include <stddef.h>
#include <stdint.h>

#include "tq/export.h"
#include "tq/list.h"
#include "tq/status.h"
#include "tqstream/results.h"
#include "tq/visatype.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One piece of reserved data: a length in bytes and its address. A piece
 * list is an array of them ended by an entry whose data is null (length 0). */
typedef struct TQPiece {
    uint32_t length;
    void *data;
} TQPiece;

#ifdef __cplusplus
}
#endif

#include "tqstream/stream.h"
#include "tqstream/display.h"
#include "tqstream/streamfile.h"
#include "tqstream/filestream.h"
#include "tqstream/buffer.h"
#include "tqstream/msgqueue.h"
#include "tqstream/thermocouple.h"
#include "tqstream/handles.h"
#include "tqstream/collection.h"
#include "tqstream/formula.h"
#include "tqstream/exports.h"

#endif
