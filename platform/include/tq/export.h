/* Export macro for the C interfaces of the shared libraries.
 *
 * Every library is compiled with hidden visibility; only functions marked
 * TQ_EXPORT leave it. Several libraries carry the same static helper code
 * (platform layer, driver framework), and hidden visibility keeps the dynamic
 * linker from merging their globals. */
#ifndef TQ_EXPORT_H
#define TQ_EXPORT_H

#if defined(__GNUC__)
#define TQ_EXPORT __attribute__((visibility("default")))
#else
#define TQ_EXPORT
#endif

#ifdef __cplusplus
#define TQ_EXTERN_C extern "C"
#define TQ_BEGIN_C extern "C" {
#define TQ_END_C }
#else
#define TQ_EXTERN_C
#define TQ_BEGIN_C
#define TQ_END_C
#endif

#define TQ_API TQ_EXTERN_C TQ_EXPORT

#endif
