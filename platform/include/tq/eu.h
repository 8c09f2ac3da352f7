/* The engineering-units library "eu" as the stream engine calls it.
 *
 * EUInit("eustd", &interface) hands out a record of function fields; every
 * function takes the record as its first argument. The file stream uses
 * three of them, by their place in the record: open a session (word 14),
 * look a calibration name up (word 16) and fill its polynomial (word 13).
 * The other words belong to the library. */
#ifndef TQ_EU_H
#define TQ_EU_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TQEUInterface TQEUInterface;

/* Copies the n coefficients (lowest order first) of the polynomial that a
 * lookup found as (a, b) into coefficients, which holds room for n, and
 * stores how many it wrote. Status >= 0 on success. */
typedef int32_t (*TQEUFillFn)(TQEUInterface *eu, intptr_t a, intptr_t b, int32_t n, int32_t reserved,
                              int32_t *count, double *coefficients);
/* Opens a session; status >= 0 on success. */
typedef int32_t (*TQEUOpenFn)(TQEUInterface *eu, int32_t reserved, intptr_t *session);
/* Finds the polynomial of a calibration name: status >= 0 when found, with
 * the handles a and b for fill and its coefficient count n. */
typedef int32_t (*TQEULookupFn)(TQEUInterface *eu, intptr_t session, const char *name, intptr_t *a, intptr_t *b,
                                int32_t *n);

struct TQEUInterface {
    void *libraryWords[13]; /* words 0-12 */
    TQEUFillFn fill;        /* word 13 */
    TQEUOpenFn open;        /* word 14 */
    void *libraryWord15;    /* word 15 */
    TQEULookupFn lookup;    /* word 16 */
};

/* EUInit(name, address of an interface pointer) -> status >= 0 on success. */
typedef int32_t (*TQEUInitFn)(const char *name, TQEUInterface **eu);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
static_assert(offsetof(TQEUInterface, fill) == 13 * sizeof(void *), "fill is word 13");
static_assert(offsetof(TQEUInterface, open) == 14 * sizeof(void *), "open is word 14");
static_assert(offsetof(TQEUInterface, lookup) == 16 * sizeof(void *), "lookup is word 16");
#endif

#endif
