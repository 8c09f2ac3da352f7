/* Part of the stream engine's public interface; include tqstream.h.
 *
 * Stream files: IFF-style containers "FORM" (form types "ACQD" and "STRM",
 * 32-bit big-endian lengths) and "FO64" (form type "ST64", 64-bit lengths).
 * The functions work on POSIX file descriptors. */
#ifndef TQSTREAM_STREAMFILE_H
#define TQSTREAM_STREAMFILE_H

#include <stddef.h>
#include <stdint.h>

#include "tq/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A chunk identifier: four ASCII letters read as a big-endian number. */
#define TQ_CHUNK_ID(a, b, c, d) \
    (((uint32_t)(uint8_t)(a) << 24) | ((uint32_t)(uint8_t)(b) << 16) | ((uint32_t)(uint8_t)(c) << 8) | (uint32_t)(uint8_t)(d))

#define TQ_FORM_ACQD TQ_CHUNK_ID('A', 'C', 'Q', 'D')
#define TQ_FORM_STRM TQ_CHUNK_ID('S', 'T', 'R', 'M')
#define TQ_FORM_ST64 TQ_CHUNK_ID('S', 'T', '6', '4')

/* Channels the parser keeps, and the longest texts it accepts. */
#define TQ_PARSE_MAX_CHANNELS 128
#define TQ_ACQD_TEXT_SIZE 32

/* Body writers: write a chunk's body at the descriptor's position and return
 * the number of body bytes (without a pad byte), 0 for an empty body, or a
 * negative code. */
typedef int32_t (*TQBodyWriter)(int32_t fd, void *argument);
typedef int64_t (*TQBodyWriter64)(int32_t fd, void *argument);

typedef struct TQAcqdChannel {
    char name[TQ_ACQD_TEXT_SIZE];
    char conversionType[TQ_ACQD_TEXT_SIZE];
    char eu[TQ_ACQD_TEXT_SIZE];
    char tcReference[TQ_ACQD_TEXT_SIZE];
    char calibration[TQ_ACQD_TEXT_SIZE];
    double countsPerVolt;
    double tare;
    double scale;
    double gaugeFactor;
    double zeroOffset;
} TQAcqdChannel;

typedef struct TQAcqdConfig {
    double clockRate;
    int64_t startTime;
    int32_t channelCount;
    TQAcqdChannel *channels;
} TQAcqdConfig;

/* What the parser found. The parser allocates the channel array (and, for
 * STRM and ST64, each channel's coefficient arrays); the caller frees them
 * with StreamCommonFree whatever the parse result. */
typedef struct TQParseContext {
    uint32_t formType; /* TQ_FORM_ACQD, TQ_FORM_STRM or TQ_FORM_ST64 */
    union {
        struct {
            double clockRate;
            int64_t startTime;
            int32_t channelCount;
            TQAcqdChannel *channels;
            uint32_t dataLength;
            uint32_t dataPosition;
        } acqd;
        struct {
            double rate;
            int32_t decimation;
            int64_t startTime;
            int32_t channelCount;
            int32_t scansPerPoll;
            TQCaptureChannel *channels;
            uint32_t dataLength;
            uint32_t dataPosition;
            uint32_t pollLength;
            uint32_t pollPosition;
            uint32_t eventLength;
            uint32_t eventPosition;
        } strm;
        struct {
            double rate;
            int32_t decimation;
            int64_t startTime;
            int32_t channelCount;
            int32_t scansPerPoll;
            TQCaptureChannel *channels;
            uint64_t dataLength;
            uint64_t dataPosition;
            uint64_t pollLength;
            uint64_t pollPosition;
            uint64_t eventLength;
            uint64_t eventPosition;
        } st64;
    } u;
} TQParseContext;

/* Reader record of ACQDSetSample: a descriptor followed by the parse context. */
typedef struct TQAcqdReader {
    int32_t fd;
    TQParseContext context;
} TQAcqdReader;

TQ_API int32_t ACQDCreateFile(const char *path);
TQ_API int32_t ACQDOpenFile(const char *path, int32_t flags, int32_t mode);
TQ_API int32_t ACQDCloseReadFile(int32_t fd);
TQ_API int32_t ACQDLseek(int32_t fd, int32_t offset, int32_t whence);
TQ_API int64_t ST64Lseek(int32_t fd, int64_t offset, int32_t whence);
TQ_API int32_t ACQDWriteRaw(int32_t fd, const void *bytes, uint32_t count);
TQ_API int32_t ACQDWriteBytes(int32_t fd, const void *bytes, uint32_t count);
TQ_API int32_t ACQDWriteChunk(int32_t fd, uint32_t id, TQBodyWriter writer, void *argument);
TQ_API int64_t ST64WriteChunk(int32_t fd, uint32_t id, TQBodyWriter64 writer, void *argument);
/* Form body writers; the argument is a TQAcqdConfig or a TQCaptureHeader. */
TQ_API int32_t ACQDWriteForm(int32_t fd, void *config);
TQ_API int32_t STRMWriteForm(int32_t fd, void *header);
TQ_API int64_t ST64WriteFo64(int32_t fd, void *header);
TQ_API int32_t STRMCloseWriteFile(int32_t fd, int32_t dataFd, int32_t pollFd, int32_t eventFd);
TQ_API int32_t ST64CloseWriteFile(int32_t fd, int32_t dataFd, int32_t pollFd, int32_t eventFd);
TQ_API int32_t ACQDCloseWriteFile(int32_t fd);
TQ_API int32_t ACQDParse(int32_t fd, TQParseContext *context);
TQ_API int32_t ACQDSetSample(double sampleIndex, TQAcqdReader *reader, void *scan);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#define TQ_STREAMFILE_ASSERT(cond) static_assert(cond, #cond)
#else
#define TQ_STREAMFILE_ASSERT(cond) _Static_assert(cond, #cond)
#endif
TQ_STREAMFILE_ASSERT(sizeof(TQAcqdChannel) == 5 * 32 + 5 * 8);
TQ_STREAMFILE_ASSERT(offsetof(TQAcqdChannel, countsPerVolt) == 160);
TQ_STREAMFILE_ASSERT(offsetof(TQAcqdChannel, zeroOffset) == 192);
TQ_STREAMFILE_ASSERT(offsetof(TQAcqdConfig, channels) == 24);
TQ_STREAMFILE_ASSERT(offsetof(TQParseContext, u) == 8);
TQ_STREAMFILE_ASSERT(offsetof(TQParseContext, u.acqd.dataLength) == 8 + 32);
TQ_STREAMFILE_ASSERT(offsetof(TQParseContext, u.strm.channels) == 8 + 32);
TQ_STREAMFILE_ASSERT(offsetof(TQParseContext, u.strm.eventPosition) == 8 + 60);
TQ_STREAMFILE_ASSERT(offsetof(TQParseContext, u.st64.eventPosition) == 8 + 80);
/* The 32-bit and 64-bit views share their head up to the channel array. */
TQ_STREAMFILE_ASSERT(offsetof(TQParseContext, u.st64.scansPerPoll) == offsetof(TQParseContext, u.strm.scansPerPoll));
TQ_STREAMFILE_ASSERT(offsetof(TQParseContext, u.st64.channels) == offsetof(TQParseContext, u.strm.channels));
TQ_STREAMFILE_ASSERT(offsetof(TQAcqdReader, context) == 8);
#undef TQ_STREAMFILE_ASSERT

#endif
