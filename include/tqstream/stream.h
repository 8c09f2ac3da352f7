/* Part of the stream engine's public interface; include tqstream.h. */
#ifndef TQSTREAM_STREAM_H
#define TQSTREAM_STREAM_H

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif

#endif
