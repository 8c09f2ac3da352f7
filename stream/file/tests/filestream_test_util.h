// Builders of small stream files for the file stream's tests: the files are
// written with the engine's own writers, the scans byte by byte.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "core/tests/stream_test_util.h"
#include "tqstream.h"

namespace filetest {

// Little-endian samples appended one after another, as a stream owner lays
// out its scans in memory.
struct Bytes {
    std::string bytes;
    template <typename T> Bytes &put(T value)
    {
        bytes.append(reinterpret_cast<const char *>(&value), sizeof value);
        return *this;
    }
    Bytes &i16(int16_t v) { return put(v); }
    Bytes &u16(uint16_t v) { return put(v); }
    Bytes &i32(int32_t v) { return put(v); }
    Bytes &u32(uint32_t v) { return put(v); }
    Bytes &f64(double v) { return put(v); }
};

struct Channel {
    std::string name;
    std::string eu;
    int32_t kind;
    std::vector<double> c;
    std::vector<double> s;
};

struct StrmSpec {
    bool wide = false;
    double rate = 1000.0;
    int32_t decimation = 1;
    int64_t start = 1700000000;
    int32_t scansPerPoll = 0;
    std::vector<Channel> channels;
    std::string data;
    std::string poll;
    bool withData = true;
};

inline int sourceOf(const std::string &bytes)
{
    int fd = memfd_create("source", 0);
    if (fd >= 0 && !bytes.empty() && write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        close(fd);
        return -1;
    }
    return fd;
}

// Writes a FORM/STRM (or FO64/ST64) file: configuration, DATA and, when
// given, POLL. True when every writer succeeded.
inline bool writeStrm(const std::string &path, const StrmSpec &fileLayout)
{
    std::vector<TQCaptureChannel> channels(fileLayout.channels.size());
    for (size_t i = 0; i < channels.size(); ++i) {
        const Channel &c = fileLayout.channels[i];
        TQCaptureChannel &d = channels[i];
        memset(&d, 0, sizeof d);
        strncpy(d.name, c.name.c_str(), sizeof d.name - 1);
        strncpy(d.eu, c.eu.c_str(), sizeof d.eu - 1);
        d.kind = c.kind;
        d.coefficientCount = static_cast<int16_t>(c.c.size());
        d.coefficients = const_cast<double *>(c.c.data());
        d.sensorCoefficientCount = static_cast<int16_t>(c.s.size());
        d.sensorCoefficients = const_cast<double *>(c.s.data());
    }
    TQCaptureHeader header{fileLayout.rate, fileLayout.decimation, fileLayout.start, static_cast<int32_t>(channels.size()),
                           fileLayout.scansPerPoll, channels.data()};
    int fd = ACQDCreateFile(path.c_str());
    if (fd < 0)
        return false;
    bool ok = fileLayout.wide ? ST64WriteChunk(fd, TQ_CHUNK_ID('F', 'O', '6', '4'), ST64WriteFo64, &header) > 0
                        : ACQDWriteChunk(fd, TQ_CHUNK_ID('F', 'O', 'R', 'M'), STRMWriteForm, &header) > 0;
    int dataFd = fileLayout.withData ? sourceOf(fileLayout.data) : -1;
    int pollFd = fileLayout.poll.empty() ? -1 : sourceOf(fileLayout.poll);
    int r = fileLayout.wide ? ST64CloseWriteFile(fd, dataFd, pollFd, -1) : STRMCloseWriteFile(fd, dataFd, pollFd, -1);
    return ok && r == 0;
}

struct AcqdSpec {
    double rate = 100.0;
    int64_t start = 1700000000;
    std::vector<TQAcqdChannel> channels;
    std::string data;
};

inline TQAcqdChannel acqdChannel(const char *name, const char *type, const char *eu, double cpv = 3276.8,
                                 double zo = 0.0, double tare = 0.0, const char *calibration = "",
                                 double scale = 0.0, double gauge = 1.0)
{
    TQAcqdChannel c;
    memset(&c, 0, sizeof c);
    strncpy(c.name, name, sizeof c.name - 1);
    strncpy(c.conversionType, type, sizeof c.conversionType - 1);
    strncpy(c.eu, eu, sizeof c.eu - 1);
    strncpy(c.calibration, calibration, sizeof c.calibration - 1);
    c.countsPerVolt = cpv;
    c.zeroOffset = zo;
    c.tare = tare;
    c.scale = scale;
    c.gaugeFactor = gauge;
    return c;
}

inline bool writeAcqd(const std::string &path, AcqdSpec &fileLayout)
{
    TQAcqdConfig config{fileLayout.rate, fileLayout.start, static_cast<int32_t>(fileLayout.channels.size()), fileLayout.channels.data()};
    int fd = ACQDCreateFile(path.c_str());
    if (fd < 0)
        return false;
    bool ok = ACQDWriteChunk(fd, TQ_CHUNK_ID('F', 'O', 'R', 'M'), ACQDWriteForm, &config) > 0 &&
              write(fd, fileLayout.data.data(), fileLayout.data.size()) == static_cast<ssize_t>(fileLayout.data.size());
    return ACQDCloseWriteFile(fd) == 0 && ok;
}

// Scans of n bytes whose every byte tells the scan's index: byte b of scan
// i is (i * 7 + b * 13) & 0xff, and the first four bytes hold i itself.
inline std::string indexedScans(uint64_t count, uint32_t scanSize)
{
    std::string out;
    out.reserve(count * scanSize);
    for (uint64_t i = 0; i < count; ++i) {
        std::string scan(scanSize, '\0');
        for (uint32_t b = 0; b < scanSize; ++b)
            scan[b] = static_cast<char>((i * 7 + b * 13) & 0xff);
        uint32_t index = static_cast<uint32_t>(i);
        memcpy(scan.data(), &index, scanSize < 4 ? scanSize : 4);
        out += scan;
    }
    return out;
}

// A STRM file of n scans of two 32-bit channels (8 bytes a scan) whose first
// channel holds the scan's index.
inline StrmSpec indexedFile(uint64_t scans)
{
    StrmSpec fileLayout;
    fileLayout.channels = {{"index", "n", TQ_XFRM_INT32, {}, {}}, {"pattern", "n", TQ_XFRM_INT32, {}, {}}};
    fileLayout.data = indexedScans(scans, 8);
    return fileLayout;
}

struct StreamHolder {
    TQStream *stream = nullptr;
    ~StreamHolder()
    {
        if (stream)
            stream->streamRelease(&stream);
    }
};

struct ReaderHolder {
    TQReader *reader = nullptr;
    ~ReaderHolder()
    {
        if (reader) {
            reader->readerUnlink(reader);
            reader->readerRelease(&reader);
        }
    }
};

// Index of the next scan the reader hands out (from the first channel of
// indexedFile's scans), -1 when it has none.
inline int64_t nextIndex(TQReader *reader)
{
    TQPiece *pieces = nullptr;
    int64_t got = reader->readerReserveRead(reader, &pieces, nullptr, 1);
    int64_t index = -1;
    if (got == 1 && pieces && pieces[0].data) {
        uint32_t v;
        memcpy(&v, pieces[0].data, 4);
        index = v;
    }
    if (got > 0)
        reader->readerCompleteRead(reader, 0);
    return index;
}

} // namespace filetest
