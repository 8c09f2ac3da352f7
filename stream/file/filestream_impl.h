// Internal view of file streams, shared by the file stream (filestream.cpp),
// its channels (filechannels.cpp), its readers (filereader.cpp) and its text
// export (fileexport.cpp).
#pragma once

#include <cstdint>

#include "core/streamimpl.h"
#include "textexport.h"

namespace tq::stream {

// One recorded channel: the common channel head, then how its sample is
// found and converted. Everything the converters rely on (bit numbers,
// offsets, coefficient counts, the reference channel) is checked when the
// file is opened, so a converter never reads outside its scan.
struct FileChannel {
    TQStreamChannel head;
    int32_t kind;              // XFRM value, or 2, 5 or 10 for channels of ACQD files
    uint16_t offset;           // of the sample in the full scan
    int16_t coefficientCount;
    int16_t sensorCoefficientCount;
    double *coefficients;      // lowest order first, owned by the channel
    double *sensorCoefficients;
    int32_t bit;               // bit channels: the bit number
    uint32_t mask;             // channels of carrier recordings: the bits of their 32-bit word
    int32_t thermocoupleType;  // thermocouple channels: 0 none, 1-8 B, E, J, K, N, R, S, T
    int32_t referenceDistance; // thermocouple channels: reference channel index - own index
    int32_t unitScale;         // thermocouple channels: 0 Celsius, 1 Fahrenheit, 2 kelvins
};

// Where the scans of a file lie. Lengths hold whole scans only: a file cut
// short ends with its last complete scan.
struct FileLayout {
    uint64_t dataPosition;
    uint64_t dataLength;
    uint64_t dataEnd;
    uint64_t pollPosition;
    uint64_t pollLength;
    uint64_t pollEnd;
    uint64_t eventPosition;
    uint64_t eventLength;
    uint64_t eventEnd;
    uint64_t scans;            // complete scans in the file
    uint32_t dataScanSize;     // D: bytes of one scan in DATA
    uint32_t pollRecordSize;   // P: bytes of one POLL record
    uint32_t fullScanSize;     // F: D + P, the stream's scan size
    int32_t scansPerPoll;
    int32_t polled;
};

// The file stream's owner block.
struct FileStreamPrivate {
    FileChannel *channels;
    int32_t channelCount;
    char *path;
    FileLayout layout;
};

inline FileStreamPrivate *fileStreamOf(TQStream *stream)
{
    return static_cast<FileStreamPrivate *>(stream->owner);
}

// Limits the layout to what the open file holds now: bulk chunks end at the
// end of the file, and the scan count covers only scans that are complete
// (with their poll record when the file has polled channels).
void clampLayout(int fd, FileLayout &layout);

// Channels (filechannels.cpp). Each returns 0, -4 without memory or -6 for a
// file whose channels cannot be replayed; on failure the channels built so
// far stay in the array for the caller to free.
int32_t buildStreamChannels(TQStream *stream, const TQParseContext &context, FileChannel *channels,
                            FileLayout &layout);
int32_t buildAcqdChannels(TQStream *stream, const TQParseContext &context, FileChannel *channels,
                          FileLayout &layout);
void freeChannels(FileChannel *channels, int32_t count);

// Readers (filereader.cpp).
TQReader *fileStreamNewReader(TQStream *stream, int64_t position, int32_t whence);

// Text export (fileexport.cpp): streamCaptureOpen of the file stream.
int32_t fileStreamExportText(TQStream *stream, const char *fileName, int32_t mode);

} // namespace tq::stream
