/* Part of the stream engine's public interface; include tqstream.h. */
#ifndef TQSTREAM_HANDLES_H
#define TQSTREAM_HANDLES_H

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif

#endif
