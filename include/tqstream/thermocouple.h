/* Part of the stream engine's public interface; include tqstream.h.
 *
 * Thermocouple conversion for the eight standard letter types, from the
 * ITS-90 reference tables at every whole degree with linear interpolation
 * between them. Inputs outside a type's range give the value at the nearer
 * end of its table; an unknown type gives 0.0. */
#ifndef TQSTREAM_THERMOCOUPLE_H
#define TQSTREAM_THERMOCOUPLE_H

#include <stdint.h>

#include "tq/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Thermocouple type numbers. */
#define TQ_THERMOCOUPLE_B 1
#define TQ_THERMOCOUPLE_E 2
#define TQ_THERMOCOUPLE_J 3
#define TQ_THERMOCOUPLE_K 4
#define TQ_THERMOCOUPLE_N 5
#define TQ_THERMOCOUPLE_R 6
#define TQ_THERMOCOUPLE_S 7
#define TQ_THERMOCOUPLE_T 8

/* Degrees Celsius to millivolts. */
TQ_API double thermoc2mv(double celsius, int32_t type);
/* Millivolts to degrees Celsius. */
TQ_API double thermomv2c(double millivolts, int32_t type);

typedef double (*TQThermocoupleFn)(double value, int32_t type);

#ifdef __cplusplus
}
#endif

#endif
