/* Part of the stream engine's public interface; include tqstream.h.
 *
 * File streams: a recorded stream file replayed as a read-only stream, with
 * one channel per recorded channel and readers that read the file. */
#ifndef TQSTREAM_FILESTREAM_H
#define TQSTREAM_FILESTREAM_H

#include <stdint.h>

#include "tq/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Result of readerReserveRead once a reader has handed out the last scan. */
#define TQS_END_OF_DATA (-7)
/* OpenFileStream: the file cannot be opened. */
#define TQS_ERR_OPEN (-12)

/* Opens a stream file (FORM/ACQD, FORM/STRM or FO64/ST64) as a stream.
 * 0 and *stream set (one reference, dropped with streamRelease); -12 when the
 * file cannot be opened, -6 when it is not a stream file this engine can
 * replay, -4 without memory. *stream is written only on success. The
 * stream's streamCaptureOpen(stream, text file, mode) writes the whole file
 * as tab-separated text. */
TQ_API int32_t OpenFileStream(const char *path, TQStream **stream);

/* Values of one channel over `count` consecutive scans, the first at
 * `scans` and each `scanSize` bytes after the one before, into values[0] to
 * values[count - 1]: what the channel's streamChannelEval gives scan by scan.
 * Channels of file streams convert the whole run in one call; any other
 * channel through its streamChannelEval, scan by scan. Returns count, or 0
 * (nothing written) for a null argument or a count below 1. */
TQ_API int64_t StreamChannelEvalRun(TQStreamChannel *channel, const void *scans, uint32_t scanSize, int64_t count,
                                    double *values);

#ifdef __cplusplus
}
#endif

#endif
