/* Part of the stream engine's public interface; include tqstream.h. */
#ifndef TQSTREAM_MSGQUEUE_H
#define TQSTREAM_MSGQUEUE_H

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif

#endif
