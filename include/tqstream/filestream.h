/* Part of the stream engine's public interface; include tqstream.h.
 *
 * File streams: a recorded stream file replayed as a read-only stream, with
 * one channel per recorded channel and readers that read the file; and the
 * conversion of runs of scans of any stream's channel. */
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
 * Channels of file streams, and channels whose streamChannelEval was
 * registered with a run function (StreamRegisterChannelRun), convert the
 * whole run in one call; any other channel through its streamChannelEval,
 * scan by scan. Returns count, or 0 (nothing written) for a null argument or
 * a count below 1. */
TQ_API int64_t StreamChannelEvalRun(TQStreamChannel *channel, const void *scans, uint32_t scanSize, int64_t count,
                                    double *values);

/* A channel's value function, and a function that converts a run of scans
 * of a channel with that value function: values[i] = eval(channel, scans +
 * i * scanSize) for i below count (count >= 1), equal to the bit. */
typedef double (*TQChannelEvalFn)(TQStreamChannel *channel, const void *scan);
typedef void (*TQChannelRunFn)(TQStreamChannel *channel, const void *scans, uint32_t scanSize, int64_t count,
                               double *values);

/* Makes StreamChannelEvalRun convert channels whose streamChannelEval is
 * eval through run, for owners of channel records the stream engine does not
 * know (drivers). Registrations are counted: each is undone by one
 * StreamUnregisterChannelRun of the same pair, and the pair is forgotten
 * when the last is undone. The owner undoes its registrations before its
 * channels or its code go away. Returns 0; TQS_ERR_RUN_TAKEN when eval is
 * registered with another run function, TQS_ERR_RUNS_FULL when the table of
 * registered pairs is full (such channels are then converted scan by scan),
 * TQS_ERR_FAILED for a null function. Safe from any thread;
 * StreamChannelEvalRun looks the pair up without a lock. */
TQ_API int32_t StreamRegisterChannelRun(TQChannelEvalFn eval, TQChannelRunFn run);
/* Undoes one registration of the pair: 0, or TQS_ERR_NOT_FOUND when the
 * pair is not registered. */
TQ_API int32_t StreamUnregisterChannelRun(TQChannelEvalFn eval, TQChannelRunFn run);
/* Type of both, for callers that find them in the loaded library. */
typedef int32_t (*TQRegisterChannelRunFn)(TQChannelEvalFn eval, TQChannelRunFn run);

#ifdef __cplusplus
}
#endif

#endif
