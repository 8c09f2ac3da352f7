/* Part of the stream engine's public interface; include tqstream.h. */
#ifndef TQSTREAM_THERMOCOUPLE_H
#define TQSTREAM_THERMOCOUPLE_H

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif

#endif
