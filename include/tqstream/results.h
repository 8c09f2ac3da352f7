/* Part of the stream engine's public interface; include tqstream.h.
 *
 * Result codes of the stream engine: what the function fields of its records
 * return, seen unmapped by every caller that calls the fields directly. The
 * exports translate some of them into 32-bit statuses (statusFromCode). The
 * formula engine's own results are in tqstream/formula.h. */
#ifndef TQSTREAM_RESULTS_H
#define TQSTREAM_RESULTS_H

#define TQS_OK                    0
#define TQS_MORE                  1  /* success, more follows (message, listing) */
#define TQS_EMPTY                 2  /* success, nothing there (queue empty) */
#define TQS_ERR_NO_SEGMENT       (-2)  /* no first segment could be allocated */
#define TQS_ERR_NO_TABLES        (-3)  /* a stream collection whose monitor is stopped */
#define TQS_ERR_NOMEM            (-4)  /* out of memory, or a bad size */
#define TQS_ERR_FAILED           (-6)  /* short write, wait failure, file or parse error */
#define TQS_ERR_CAPTURE_OPEN     (-9)  /* a capture is already open */
#define TQS_ERR_NO_CAPTURE      (-10)  /* no capture open, or no such capture file */
#define TQS_ERR_CAPTURE_NAME    (-11)  /* bad capture name, or the file cannot be made */
#define TQS_ERR_NOT_FOUND       (-12)  /* file not found */
#define TQS_ERR_NOTSUPPORTED    (-13)  /* not supported by this kind of stream */
#define TQS_ERR_NO_DATA         (-14)  /* a collection member yields no data at its position */
#define TQS_ERR_NO_LISTENER     (-15)  /* no such listener */
#define TQS_ERR_NOT_MEMBER      (-15)  /* stream not registered in the collection */
#define TQS_ERR_TOOLARGE        (-16)  /* message larger than the whole queue */
#define TQS_ERR_NO_AXIS         (-17)
#define TQS_ERR_HANDLERS        (-18)  /* handler table full, no such handler, null handler */
#define TQS_ERR_CLOSED          (-19)  /* a wait woken with event word 0: the stream closed */
#define TQS_ERR_WAIT_TIMEOUT    (-20)  /* streamWait: no event of its mask in time */
#define TQS_ERR_LOCK_TIMEOUT    (-22)  /* a lock (stream, queue, collection) not had in time */
#define TQS_ERR_RUN_TAKEN       (-30)  /* a value function registered with another run function */
#define TQS_ERR_RUNS_FULL       (-31)  /* the table of registered run functions is full */

#endif
