// Stream files: writers of the three container layouts (FORM/ACQD,
// FORM/STRM, FO64/ST64), the close-write functions that append the bulk
// chunks and complete the container, and the table-driven parser.
//
// Lengths and configuration values are big-endian on disk; recorded samples
// are copied as they are. Chunk lengths are patched in place once a body is
// written, so no body is ever buffered.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <sys/stat.h>
#include <unistd.h>

#include "streamfile_io.h"
#include "core/streamimpl.h"

using namespace tq::stream::io;

namespace {

constexpr uint32_t kFORM = TQ_CHUNK_ID('F', 'O', 'R', 'M');
constexpr uint32_t kFO64 = TQ_CHUNK_ID('F', 'O', '6', '4');
constexpr uint32_t kCONF = TQ_CHUNK_ID('C', 'O', 'N', 'F');
constexpr uint32_t kCHNS = TQ_CHUNK_ID('C', 'H', 'N', 'S');
constexpr uint32_t kCHAN = TQ_CHUNK_ID('C', 'H', 'A', 'N');
constexpr uint32_t kNAME = TQ_CHUNK_ID('N', 'A', 'M', 'E');
constexpr uint32_t kCVTP = TQ_CHUNK_ID('C', 'V', 'T', 'P');
constexpr uint32_t kEU = TQ_CHUNK_ID('E', 'U', ' ', ' ');
constexpr uint32_t kTCRF = TQ_CHUNK_ID('T', 'C', 'R', 'F');
constexpr uint32_t kMCAL = TQ_CHUNK_ID('M', 'C', 'A', 'L');
constexpr uint32_t kCPV = TQ_CHUNK_ID('C', 'P', 'V', ' ');
constexpr uint32_t kZO = TQ_CHUNK_ID('Z', 'O', ' ', ' ');
constexpr uint32_t kTARE = TQ_CHUNK_ID('T', 'A', 'R', 'E');
constexpr uint32_t kSCAL = TQ_CHUNK_ID('S', 'C', 'A', 'L');
constexpr uint32_t kGFAC = TQ_CHUNK_ID('G', 'F', 'A', 'C');
constexpr uint32_t kCLKR = TQ_CHUNK_ID('C', 'L', 'K', 'R');
constexpr uint32_t kTIME = TQ_CHUNK_ID('T', 'I', 'M', 'E');
constexpr uint32_t kDECI = TQ_CHUNK_ID('D', 'E', 'C', 'I');
constexpr uint32_t kSCPP = TQ_CHUNK_ID('S', 'C', 'P', 'P');
constexpr uint32_t kXFRM = TQ_CHUNK_ID('X', 'F', 'R', 'M');
constexpr uint32_t kPRCS = TQ_CHUNK_ID('P', 'R', 'C', 'S');
constexpr uint32_t kPREC = TQ_CHUNK_ID('P', 'R', 'E', 'C');
constexpr uint32_t kPOCS = TQ_CHUNK_ID('P', 'O', 'C', 'S');
constexpr uint32_t kPOSC = TQ_CHUNK_ID('P', 'O', 'S', 'C');
constexpr uint32_t kDATA = TQ_CHUNK_ID('D', 'A', 'T', 'A');
constexpr uint32_t kPOLL = TQ_CHUNK_ID('P', 'O', 'L', 'L');
constexpr uint32_t kEVNT = TQ_CHUNK_ID('E', 'V', 'N', 'T');

constexpr int32_t kSeekFailed = -2;
constexpr int32_t kWriteFailed = -4;

// Longest texts a STRM or ST64 channel keeps (its fields hold 64 bytes).
constexpr size_t kStrmTextMax = 63;
constexpr size_t kAcqdTextMax = TQ_ACQD_TEXT_SIZE - 1;
// Coefficient counts are 16-bit.
constexpr uint64_t kMaxCoefficients = 32767;

// ---- body writers ----------------------------------------------------------

struct TextArg {
    const char *text;
    size_t length;
};

int64_t textBody(int32_t fd, void *argument)
{
    auto *arg = static_cast<TextArg *>(argument);
    char buffer[TQ_CHANNEL_NAME_SIZE + 2];
    size_t n = arg->length < TQ_CHANNEL_NAME_SIZE ? arg->length : TQ_CHANNEL_NAME_SIZE;
    memcpy(buffer, arg->text, n);
    size_t total = n;
    if (n & 1)
        buffer[total++] = '\0';
    if (!writeAll(fd, buffer, total))
        return kWriteFailed;
    return static_cast<int64_t>(n);
}

struct ValueArg {
    uint8_t bytes[8];
    size_t size;
};

int64_t valueBody(int32_t fd, void *argument)
{
    auto *arg = static_cast<ValueArg *>(argument);
    if (!writeAll(fd, arg->bytes, arg->size))
        return kWriteFailed;
    return static_cast<int64_t>(arg->size);
}

int64_t emptyBody(int32_t, void *) { return 0; }

// Children of a list chunk are written one after another; the first
// negative result ends the list and becomes its result.
class ListWriter {
public:
    ListWriter(int32_t fd, bool wide) : fd_(fd), wide_(wide) {}

    void chunk(uint32_t id, TQBodyWriter64 writer, void *argument)
    {
        if (total_ < 0)
            return;
        int64_t r = tq::stream::writeChunk(fd_, id, wide_, writer, argument);
        total_ = r < 0 ? r : total_ + r;
    }
    void text(uint32_t id, const char *text, size_t maxLength)
    {
        TextArg arg{text, strnlen(text, maxLength)};
        chunk(id, textBody, &arg);
    }
    void f64(uint32_t id, double value)
    {
        ValueArg arg{{}, 8};
        uint64_t bits;
        memcpy(&bits, &value, 8);
        putBE64(arg.bytes, bits);
        chunk(id, valueBody, &arg);
    }
    void i64(uint32_t id, int64_t value)
    {
        ValueArg arg{{}, 8};
        putBE64(arg.bytes, static_cast<uint64_t>(value));
        chunk(id, valueBody, &arg);
    }
    void i32(uint32_t id, int32_t value)
    {
        ValueArg arg{{}, 4};
        putBE32(arg.bytes, static_cast<uint32_t>(value));
        chunk(id, valueBody, &arg);
    }
    void u16(uint32_t id, uint16_t value)
    {
        ValueArg arg{{}, 2};
        putBE16(arg.bytes, value);
        chunk(id, valueBody, &arg);
    }
    // A form's type, written before its chunks and counted in its body.
    void formType(uint32_t type)
    {
        uint8_t bytes[4];
        putBE32(bytes, type);
        total_ = writeAll(fd_, bytes, 4) ? 4 : kWriteFailed;
    }
    bool wide() const { return wide_; }
    int64_t result() const { return total_; }

private:
    int32_t fd_;
    bool wide_;
    int64_t total_ = 0;
};

// STRM / ST64 configuration.

struct CoefficientsArg {
    const double *values;
    int16_t count;
    uint32_t id; // PREC or POSC
    bool wide;
};

int64_t coefficientsBody(int32_t fd, void *argument)
{
    auto *arg = static_cast<CoefficientsArg *>(argument);
    if (arg->count < 1)
        return 0;
    if (!arg->values)
        return kWriteFailed;
    ListWriter list(fd, arg->wide);
    for (int16_t i = 0; i < arg->count; ++i)
        list.f64(arg->id, arg->values[i]);
    return list.result();
}

struct CaptureChannelArg {
    const TQCaptureChannel *channel;
    bool wide;
};

int64_t strmChannelBody(int32_t fd, void *argument)
{
    auto *arg = static_cast<CaptureChannelArg *>(argument);
    const TQCaptureChannel *c = arg->channel;
    ListWriter list(fd, arg->wide);
    list.text(kNAME, c->name, kStrmTextMax);
    list.text(kEU, c->eu, kStrmTextMax);
    list.u16(kXFRM, static_cast<uint16_t>(c->kind));
    CoefficientsArg prcs{c->coefficients, c->coefficientCount, kPREC, arg->wide};
    list.chunk(kPRCS, coefficientsBody, &prcs);
    CoefficientsArg pocs{c->sensorCoefficients, c->sensorCoefficientCount, kPOSC, arg->wide};
    list.chunk(kPOCS, coefficientsBody, &pocs);
    return list.result();
}

struct HeaderArg {
    const TQCaptureHeader *header;
    bool wide;
};

int64_t strmChannelsBody(int32_t fd, void *argument)
{
    auto *arg = static_cast<HeaderArg *>(argument);
    const TQCaptureHeader *h = arg->header;
    if (h->channelCount > 0 && !h->channels)
        return kWriteFailed;
    ListWriter list(fd, arg->wide);
    for (int32_t i = 0; i < h->channelCount; ++i) {
        CaptureChannelArg channel{&h->channels[i], arg->wide};
        list.chunk(kCHAN, strmChannelBody, &channel);
    }
    return list.result();
}

int64_t strmConfBody(int32_t fd, void *argument)
{
    auto *arg = static_cast<HeaderArg *>(argument);
    const TQCaptureHeader *h = arg->header;
    ListWriter list(fd, arg->wide);
    list.chunk(kCHNS, strmChannelsBody, arg);
    list.f64(kCLKR, h->rate);
    list.i32(kDECI, h->decimation);
    list.i64(kTIME, h->startTime);
    list.i32(kSCPP, h->scansPerPoll);
    return list.result();
}

int64_t captureFormBody(int32_t fd, const TQCaptureHeader *header, bool wide)
{
    if (!header)
        return kWriteFailed;
    HeaderArg arg{header, wide};
    ListWriter list(fd, wide);
    list.formType(wide ? TQ_FORM_ST64 : TQ_FORM_STRM);
    list.chunk(kCONF, strmConfBody, &arg);
    return list.result();
}

// ACQD configuration.

int64_t acqdChannelBody(int32_t fd, void *argument)
{
    auto *c = static_cast<const TQAcqdChannel *>(argument);
    ListWriter list(fd, false);
    list.text(kNAME, c->name, kAcqdTextMax);
    list.text(kCVTP, c->conversionType, kAcqdTextMax);
    list.text(kEU, c->eu, kAcqdTextMax);
    list.text(kTCRF, c->tcReference, kAcqdTextMax);
    list.text(kMCAL, c->calibration, kAcqdTextMax);
    list.f64(kCPV, c->countsPerVolt);
    list.f64(kZO, c->zeroOffset);
    list.f64(kTARE, c->tare);
    list.f64(kSCAL, c->scale);
    list.f64(kGFAC, c->gaugeFactor);
    return list.result();
}

int64_t acqdChannelsBody(int32_t fd, void *argument)
{
    auto *config = static_cast<const TQAcqdConfig *>(argument);
    if (config->channelCount > 0 && !config->channels)
        return kWriteFailed;
    ListWriter list(fd, false);
    for (int32_t i = 0; i < config->channelCount; ++i)
        list.chunk(kCHAN, acqdChannelBody, &config->channels[i]);
    return list.result();
}

int64_t acqdConfBody(int32_t fd, void *argument)
{
    auto *config = static_cast<const TQAcqdConfig *>(argument);
    ListWriter list(fd, false);
    list.chunk(kCHNS, acqdChannelsBody, argument);
    list.f64(kCLKR, config->clockRate);
    list.i64(kTIME, config->startTime);
    return list.result();
}

// Data copy: the whole source, from its start, as the body of a bulk chunk.
// Closing a capture recorded data-first copies its whole raw file here, so
// the copy runs in the kernel where it can (no pass through our memory) and
// otherwise in large blocks; only the bytes are fixed, not how they move.
struct CopyArg {
    int32_t source;
    bool wide;
};

constexpr size_t kCopyBlock = size_t{1} << 20;
// What one copy_file_range call is asked for; it may copy less.
constexpr size_t kKernelCopyChunk = size_t{1} << 30;

// Copies from the source's position to its end through the kernel. Returns
// the bytes copied, or -1 when the kernel will not copy between these two
// descriptors at all (another file system, not regular files, an old kernel):
// then nothing was copied and the caller copies by hand. A failure after
// part of the source went over is a failed copy (-2).
int64_t kernelCopy(int32_t source, int32_t fd)
{
    int64_t total = 0;
    for (;;) {
        ssize_t n = copy_file_range(source, nullptr, fd, nullptr, kKernelCopyChunk, 0);
        if (n > 0) {
            total += n;
            continue;
        }
        if (n == 0)
            return total;
        if (errno == EINTR)
            continue;
        if (total == 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                           errno == EBADF || errno == EPERM || errno == ETXTBSY))
            return -1;
        return -2;
    }
}

int64_t copyBody(int32_t fd, void *argument)
{
    auto *arg = static_cast<CopyArg *>(argument);
    struct stat st;
    // A 32-bit chunk cannot describe a longer source: refuse before copying.
    if (!arg->wide && fstat(arg->source, &st) == 0 && static_cast<uint64_t>(st.st_size) > UINT32_MAX)
        return kWriteFailed;
    const int64_t copied = kernelCopy(arg->source, fd);
    if (copied >= 0)
        return copied;
    if (copied != -1)
        return kWriteFailed;

    // By hand: a large block when one can be had, else a small one on the
    // stack, so that the file is still completed without memory to spare.
    char small[5120];
    char *block = static_cast<char *>(std::malloc(kCopyBlock));
    const size_t blockSize = block ? kCopyBlock : sizeof small;
    char *buffer = block ? block : small;
    int64_t total = 0;
    for (;;) {
        ssize_t got = read(arg->source, buffer, blockSize);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || !writeAll(fd, buffer, static_cast<size_t>(got))) {
            std::free(block);
            return got == 0 ? total : kWriteFailed;
        }
        total += got;
    }
}

int32_t closeWriteFile(int32_t fd, int32_t dataFd, int32_t pollFd, int32_t eventFd, bool wide)
{
    int32_t result = 0;
    if (fd == -1) {
        result = kWriteFailed;
    } else if (lseek(fd, 0, SEEK_END) < 0) {
        result = kWriteFailed;
    } else {
        struct Part {
            uint32_t id;
            int32_t source;
            bool required;
        } parts[] = {{kDATA, dataFd, true}, {kPOLL, pollFd, false}, {kEVNT, eventFd, true}};
        for (const Part &part : parts) {
            if (part.source == -1)
                continue;
            CopyArg arg{part.source, wide};
            int64_t r = lseek(part.source, 0, SEEK_SET) < 0
                            ? kSeekFailed
                            : tq::stream::writeChunk(fd, part.id, wide, copyBody, &arg);
            if (r < 0 && part.required) {
                result = kWriteFailed;
                break;
            }
        }
        if (result == 0) {
            off_t end = lseek(fd, 0, SEEK_END);
            uint8_t bytes[8];
            size_t size = wide ? 8 : 4;
            if (end < static_cast<off_t>(wide ? 16 : 12)) {
                result = kWriteFailed;
            } else if (wide) {
                putBE64(bytes, static_cast<uint64_t>(end) - 12);
            } else if (static_cast<uint64_t>(end) - 8 > UINT32_MAX) {
                result = kWriteFailed; // a wrapped 32-bit length would describe another file
            } else {
                putBE32(bytes, static_cast<uint32_t>(end - 8));
            }
            if (result == 0 && (lseek(fd, 4, SEEK_SET) < 0 || !writeAll(fd, bytes, size)))
                result = kWriteFailed;
        }
    }
    for (int32_t d : {fd, dataFd, pollFd, eventFd})
        if (d != -1)
            close(d);
    return result;
}

// ---- parser ----------------------------------------------------------------

struct Parser;
struct Row;
using Handler = bool (*)(Parser &p, const Row &row, uint64_t length, uint64_t &used);

struct Row {
    uint32_t id;
    Handler handler;
    const Row *children;
    size_t childCount;
};

struct Parser {
    int32_t fd;
    bool wide;
    TQParseContext *ctx;
    // Room left in the coefficient array being filled (PRCS or POCS).
    uint64_t capacity = 0;
    double *coefficients = nullptr;
    int16_t *coefficientCount = nullptr;
};

template <size_t N> constexpr size_t countOf(const Row (&)[N]) { return N; }

bool walk(Parser &p, const Row *rows, size_t rowCount, uint64_t length, uint64_t &consumed);

bool listChunk(Parser &p, const Row &row, uint64_t length, uint64_t &used)
{
    return walk(p, row.children, row.childCount, length, used);
}

bool skip(Parser &p, uint64_t length)
{
    return length <= INT64_MAX && lseek(p.fd, static_cast<off_t>(length), SEEK_CUR) >= 0;
}

bool readText(Parser &p, char *field, size_t maxLength, uint64_t length, uint64_t &used)
{
    used = length + (length & 1);
    if (length > maxLength || !readAll(p.fd, field, static_cast<size_t>(length)))
        return false;
    field[length] = '\0';
    return !(length & 1) || skip(p, 1);
}

bool readValue(Parser &p, uint64_t length, size_t size, uint8_t *bytes, uint64_t &used)
{
    used = length + (length & 1);
    return length == size && readAll(p.fd, bytes, size);
}

bool readDouble(Parser &p, uint64_t length, double &value, uint64_t &used)
{
    uint8_t b[8];
    if (!readValue(p, length, 8, b, used))
        return false;
    uint64_t bits = getBE64(b);
    memcpy(&value, &bits, 8);
    return true;
}

bool readInt64(Parser &p, uint64_t length, int64_t &value, uint64_t &used)
{
    uint8_t b[8];
    if (!readValue(p, length, 8, b, used))
        return false;
    value = static_cast<int64_t>(getBE64(b));
    return true;
}

bool readInt32(Parser &p, uint64_t length, int32_t &value, uint64_t &used)
{
    uint8_t b[4];
    if (!readValue(p, length, 4, b, used))
        return false;
    value = static_cast<int32_t>(getBE32(b));
    return true;
}

// Bulk chunks: only their place is noted; the body is skipped unread.
bool bulk(Parser &p, uint64_t length, uint64_t &used, uint64_t &outLength, uint64_t &outPosition)
{
    used = length;
    off_t position = lseek(p.fd, 0, SEEK_CUR);
    if (position < 0)
        return false;
    outLength = length;
    outPosition = static_cast<uint64_t>(position);
    return skip(p, length);
}

bool bulk32(Parser &p, uint64_t length, uint64_t &used, uint32_t &outLength, uint32_t &outPosition)
{
    uint64_t l, pos;
    if (!bulk(p, length, used, l, pos) || l > UINT32_MAX || pos > UINT32_MAX)
        return false;
    outLength = static_cast<uint32_t>(l);
    outPosition = static_cast<uint32_t>(pos);
    return true;
}

// STRM / ST64 handlers.

TQCaptureChannel *currentStrmChannel(Parser &p)
{
    auto &s = p.ctx->u.strm; // the ST64 view has the same head
    return &s.channels[s.channelCount];
}

bool strmName(Parser &p, const Row &, uint64_t l, uint64_t &u)
{
    return readText(p, currentStrmChannel(p)->name, kStrmTextMax, l, u);
}

bool strmEu(Parser &p, const Row &, uint64_t l, uint64_t &u)
{
    return readText(p, currentStrmChannel(p)->eu, kStrmTextMax, l, u);
}

bool strmXfrm(Parser &p, const Row &, uint64_t l, uint64_t &u)
{
    uint8_t b[2];
    if (!readValue(p, l, 2, b, u))
        return false;
    currentStrmChannel(p)->kind = getBE16(b);
    return true;
}

bool coefficient(Parser &p, const Row &, uint64_t l, uint64_t &u)
{
    double value;
    if (!readDouble(p, l, value, u) || p.capacity == 0 || !p.coefficients)
        return false;
    p.coefficients[(*p.coefficientCount)++] = value;
    --p.capacity;
    return true;
}

bool coefficientList(Parser &p, const Row &row, uint64_t l, uint64_t &u, double *&array, int16_t &count)
{
    // One entry per PREC or POSC chunk the length can hold.
    uint64_t entries = l / (p.wide ? 20 : 16);
    if (entries > kMaxCoefficients)
        return false;
    free(array);
    array = nullptr;
    count = 0;
    if (entries) {
        array = static_cast<double *>(calloc(entries, sizeof(double)));
        if (!array)
            return false;
    }
    p.capacity = entries;
    p.coefficients = array;
    p.coefficientCount = &count;
    bool ok = listChunk(p, row, l, u);
    p.capacity = 0;
    p.coefficients = nullptr;
    p.coefficientCount = nullptr;
    return ok;
}

bool strmPrcs(Parser &p, const Row &row, uint64_t l, uint64_t &u)
{
    TQCaptureChannel *c = currentStrmChannel(p);
    return coefficientList(p, row, l, u, c->coefficients, c->coefficientCount);
}

bool strmPocs(Parser &p, const Row &row, uint64_t l, uint64_t &u)
{
    TQCaptureChannel *c = currentStrmChannel(p);
    return coefficientList(p, row, l, u, c->sensorCoefficients, c->sensorCoefficientCount);
}

bool strmChan(Parser &p, const Row &row, uint64_t l, uint64_t &u)
{
    auto &s = p.ctx->u.strm;
    if (s.channelCount >= TQ_PARSE_MAX_CHANNELS)
        return false;
    bool ok = listChunk(p, row, l, u);
    // Counted even when it failed, so that the caller frees what it holds.
    ++s.channelCount;
    return ok;
}

bool strmClkr(Parser &p, const Row &, uint64_t l, uint64_t &u) { return readDouble(p, l, p.ctx->u.strm.rate, u); }
bool strmDeci(Parser &p, const Row &, uint64_t l, uint64_t &u) { return readInt32(p, l, p.ctx->u.strm.decimation, u); }
bool strmTime(Parser &p, const Row &, uint64_t l, uint64_t &u) { return readInt64(p, l, p.ctx->u.strm.startTime, u); }
bool strmScpp(Parser &p, const Row &, uint64_t l, uint64_t &u)
{
    return readInt32(p, l, p.ctx->u.strm.scansPerPoll, u);
}

#define TQ_BULK_HANDLERS(name, field)                                                                                \
    bool name(Parser &p, const Row &, uint64_t l, uint64_t &u)                                                       \
    {                                                                                                                \
        if (p.wide)                                                                                                  \
            return bulk(p, l, u, p.ctx->u.st64.field##Length, p.ctx->u.st64.field##Position);                        \
        return bulk32(p, l, u, p.ctx->u.strm.field##Length, p.ctx->u.strm.field##Position);                         \
    }
TQ_BULK_HANDLERS(strmData, data)
TQ_BULK_HANDLERS(strmPoll, poll)
TQ_BULK_HANDLERS(strmEvnt, event)
#undef TQ_BULK_HANDLERS

const Row kPrcsRows[] = {{kPREC, coefficient, nullptr, 0}};
const Row kPocsRows[] = {{kPOSC, coefficient, nullptr, 0}};
const Row kStrmChanRows[] = {
    {kNAME, strmName, nullptr, 0}, {kEU, strmEu, nullptr, 0},
    {kXFRM, strmXfrm, nullptr, 0}, {kPRCS, strmPrcs, kPrcsRows, countOf(kPrcsRows)},
    {kPOCS, strmPocs, kPocsRows, countOf(kPocsRows)},
};
const Row kStrmChnsRows[] = {{kCHAN, strmChan, kStrmChanRows, countOf(kStrmChanRows)}};
const Row kStrmConfRows[] = {
    {kCHNS, listChunk, kStrmChnsRows, countOf(kStrmChnsRows)},
    {kCLKR, strmClkr, nullptr, 0},
    {kDECI, strmDeci, nullptr, 0},
    {kTIME, strmTime, nullptr, 0},
    {kSCPP, strmScpp, nullptr, 0},
};
const Row kStrmFormRows[] = {
    {kCONF, listChunk, kStrmConfRows, countOf(kStrmConfRows)},
    {kDATA, strmData, nullptr, 0},
    {kPOLL, strmPoll, nullptr, 0},
    {kEVNT, strmEvnt, nullptr, 0},
};

// ACQD handlers: the channel count is raised before a CHAN is walked, and
// its children fill the last channel.

TQAcqdChannel *currentAcqdChannel(Parser &p) { return &p.ctx->u.acqd.channels[p.ctx->u.acqd.channelCount - 1]; }

#define TQ_ACQD_TEXT(name, field)                                                                                    \
    bool name(Parser &p, const Row &, uint64_t l, uint64_t &u)                                                       \
    {                                                                                                                \
        return readText(p, currentAcqdChannel(p)->field, kAcqdTextMax, l, u);                                        \
    }
#define TQ_ACQD_DOUBLE(name, field)                                                                                  \
    bool name(Parser &p, const Row &, uint64_t l, uint64_t &u) { return readDouble(p, l, currentAcqdChannel(p)->field, u); }
TQ_ACQD_TEXT(acqdName, name)
TQ_ACQD_TEXT(acqdCvtp, conversionType)
TQ_ACQD_TEXT(acqdEu, eu)
TQ_ACQD_TEXT(acqdTcrf, tcReference)
TQ_ACQD_TEXT(acqdMcal, calibration)
TQ_ACQD_DOUBLE(acqdCpv, countsPerVolt)
TQ_ACQD_DOUBLE(acqdZo, zeroOffset)
TQ_ACQD_DOUBLE(acqdTare, tare)
TQ_ACQD_DOUBLE(acqdScal, scale)
TQ_ACQD_DOUBLE(acqdGfac, gaugeFactor)
#undef TQ_ACQD_TEXT
#undef TQ_ACQD_DOUBLE

bool acqdChan(Parser &p, const Row &row, uint64_t l, uint64_t &u)
{
    auto &a = p.ctx->u.acqd;
    if (a.channelCount >= TQ_PARSE_MAX_CHANNELS)
        return false;
    ++a.channelCount;
    return listChunk(p, row, l, u);
}

bool acqdClkr(Parser &p, const Row &, uint64_t l, uint64_t &u) { return readDouble(p, l, p.ctx->u.acqd.clockRate, u); }
bool acqdTime(Parser &p, const Row &, uint64_t l, uint64_t &u) { return readInt64(p, l, p.ctx->u.acqd.startTime, u); }
bool acqdData(Parser &p, const Row &, uint64_t l, uint64_t &u)
{
    return bulk32(p, l, u, p.ctx->u.acqd.dataLength, p.ctx->u.acqd.dataPosition);
}

const Row kAcqdChanRows[] = {
    {kNAME, acqdName, nullptr, 0}, {kCVTP, acqdCvtp, nullptr, 0}, {kEU, acqdEu, nullptr, 0},
    {kTCRF, acqdTcrf, nullptr, 0}, {kMCAL, acqdMcal, nullptr, 0}, {kCPV, acqdCpv, nullptr, 0},
    {kZO, acqdZo, nullptr, 0},     {kTARE, acqdTare, nullptr, 0}, {kSCAL, acqdScal, nullptr, 0},
    {kGFAC, acqdGfac, nullptr, 0},
};
const Row kAcqdChnsRows[] = {{kCHAN, acqdChan, kAcqdChanRows, countOf(kAcqdChanRows)}};
const Row kAcqdConfRows[] = {
    {kCHNS, listChunk, kAcqdChnsRows, countOf(kAcqdChnsRows)},
    {kCLKR, acqdClkr, nullptr, 0},
    {kTIME, acqdTime, nullptr, 0},
};
const Row kAcqdFormRows[] = {
    {kCONF, listChunk, kAcqdConfRows, countOf(kAcqdConfRows)},
    {kDATA, acqdData, nullptr, 0},
};

// Lengths beyond this cannot be real (and would overflow the counting).
constexpr uint64_t kMaxChunkLength = uint64_t{1} << 62;

bool walk(Parser &p, const Row *rows, size_t rowCount, uint64_t length, uint64_t &consumed)
{
    consumed = 0;
    const size_t headerSize = p.wide ? 12 : 8;
    while (consumed < length) {
        uint8_t header[12];
        if (!readAll(p.fd, header, headerSize))
            return false;
        uint32_t id = getBE32(header);
        uint64_t chunkLength = p.wide ? getBE64(header + 4) : getBE32(header + 4);
        if (chunkLength > kMaxChunkLength)
            return false;
        const Row *row = nullptr;
        for (size_t i = 0; i < rowCount && !row; ++i)
            if (rows[i].id == id)
                row = &rows[i];
        uint64_t used = 0;
        bool ok;
        if (row) {
            ok = row->handler(p, *row, chunkLength, used);
        } else {
            printf("don't know subtag %lx\n", static_cast<unsigned long>(id));
            used = chunkLength + (chunkLength & 1);
            ok = skip(p, used);
        }
        consumed += headerSize + used;
        if (!ok)
            return false;
    }
    // A child that runs past its parent's end makes the file inconsistent.
    return consumed == length;
}

} // namespace

namespace tq::stream {

int64_t writeChunk(int32_t fd, uint32_t id, bool wide, TQBodyWriter64 writer, void *argument)
{
    off_t start = lseek(fd, 0, SEEK_CUR);
    if (start < 0)
        return kSeekFailed;
    uint8_t header[12] = {};
    const size_t headerSize = wide ? 12 : 8;
    putBE32(header, id);
    if (!writeAll(fd, header, headerSize))
        return kWriteFailed;
    int64_t n = writer(fd, argument);
    if (n == 0)
        return static_cast<int64_t>(headerSize);
    if (n < 0)
        return n;
    if (!wide && static_cast<uint64_t>(n) > UINT32_MAX)
        return kWriteFailed;
    uint8_t length[8];
    if (wide)
        putBE64(length, static_cast<uint64_t>(n));
    else
        putBE32(length, static_cast<uint32_t>(n));
    if (lseek(fd, start + 4, SEEK_SET) < 0)
        return kSeekFailed;
    if (!writeAll(fd, length, wide ? 8 : 4))
        return kWriteFailed;
    if (lseek(fd, 0, SEEK_END) < 0)
        return kSeekFailed;
    return n + static_cast<int64_t>(headerSize) + (n & 1);
}

int64_t writeCaptureContainer(int32_t fd, bool wide, const TQCaptureHeader *header)
{
    struct Arg {
        const TQCaptureHeader *header;
        bool wide;
    } arg{header, wide};
    return writeChunk(
        fd, wide ? kFO64 : kFORM, wide,
        [](int32_t d, void *a) {
            auto *x = static_cast<Arg *>(a);
            return captureFormBody(d, x->header, x->wide);
        },
        &arg);
}

int64_t writeEmptyChunk(int32_t fd, uint32_t id, bool wide) { return writeChunk(fd, id, wide, emptyBody, nullptr); }

void parseContextFree(TQParseContext *context)
{
    if (!context)
        return;
    if (context->formType == TQ_FORM_ACQD) {
        free(context->u.acqd.channels);
        context->u.acqd.channels = nullptr;
    } else if (context->formType == TQ_FORM_STRM || context->formType == TQ_FORM_ST64) {
        TQCaptureChannel *channels = context->u.strm.channels;
        for (int i = 0; channels && i < TQ_PARSE_MAX_CHANNELS; ++i) {
            free(channels[i].coefficients);
            free(channels[i].sensorCoefficients);
        }
        free(channels);
        context->u.strm.channels = nullptr;
    }
}

} // namespace tq::stream

// ---- exports -------------------------------------------------------------------

int32_t ACQDCreateFile(const char *path)
{
    return open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

int32_t ACQDOpenFile(const char *path, int32_t flags, int32_t mode)
{
    return open(path, flags | O_CLOEXEC, static_cast<mode_t>(mode));
}

int32_t ACQDCloseReadFile(int32_t fd)
{
    close(fd);
    return 1;
}

int32_t ACQDLseek(int32_t fd, int32_t offset, int32_t whence)
{
    off_t position = lseek(fd, offset, whence);
    if (position > INT32_MAX) {
        errno = EOVERFLOW;
        position = -1;
    }
    if (position < 0) {
        perror("ACQDLseek failed");
        return -1;
    }
    return static_cast<int32_t>(position);
}

int64_t ST64Lseek(int32_t fd, int64_t offset, int32_t whence)
{
    off_t position = lseek(fd, offset, whence);
    if (position < 0) {
        perror("ACQDLseek failed");
        return -1;
    }
    return position;
}

int32_t ACQDWriteRaw(int32_t fd, const void *bytes, uint32_t count)
{
    return static_cast<int32_t>(write(fd, bytes, count));
}

int32_t ACQDWriteBytes(int32_t fd, const void *bytes, uint32_t count)
{
    return writeAll(fd, bytes, count) ? 0 : kWriteFailed;
}

int32_t ACQDWriteChunk(int32_t fd, uint32_t id, TQBodyWriter writer, void *argument)
{
    struct Arg {
        TQBodyWriter writer;
        void *argument;
    } arg{writer, argument};
    int64_t r = tq::stream::writeChunk(
        fd, id, false,
        [](int32_t d, void *a) -> int64_t {
            auto *x = static_cast<Arg *>(a);
            return x->writer(d, x->argument);
        },
        &arg);
    return r > INT32_MAX ? kWriteFailed : static_cast<int32_t>(r);
}

int64_t ST64WriteChunk(int32_t fd, uint32_t id, TQBodyWriter64 writer, void *argument)
{
    return tq::stream::writeChunk(fd, id, true, writer, argument);
}

int32_t ACQDWriteForm(int32_t fd, void *config)
{
    if (!config)
        return kWriteFailed;
    ListWriter list(fd, false);
    list.formType(TQ_FORM_ACQD);
    list.chunk(kCONF, acqdConfBody, config);
    list.chunk(kDATA, emptyBody, nullptr);
    int64_t r = list.result();
    return r > INT32_MAX ? kWriteFailed : static_cast<int32_t>(r);
}

int32_t STRMWriteForm(int32_t fd, void *header)
{
    int64_t r = captureFormBody(fd, static_cast<const TQCaptureHeader *>(header), false);
    return r > INT32_MAX ? kWriteFailed : static_cast<int32_t>(r);
}

int64_t ST64WriteFo64(int32_t fd, void *header)
{
    return captureFormBody(fd, static_cast<const TQCaptureHeader *>(header), true);
}

int32_t STRMCloseWriteFile(int32_t fd, int32_t dataFd, int32_t pollFd, int32_t eventFd)
{
    return closeWriteFile(fd, dataFd, pollFd, eventFd, false);
}

int32_t ST64CloseWriteFile(int32_t fd, int32_t dataFd, int32_t pollFd, int32_t eventFd)
{
    return closeWriteFile(fd, dataFd, pollFd, eventFd, true);
}

int32_t ACQDCloseWriteFile(int32_t fd)
{
    // FORM(8) "ACQD"(4) CONF header(8) CONF body(L) DATA header(8) scans.
    off_t end = lseek(fd, 0, SEEK_END);
    uint8_t b[4];
    if (end >= 20 && lseek(fd, 16, SEEK_SET) == 16 && readAll(fd, b, 4)) {
        uint64_t confLength = getBE32(b);
        uint64_t dataAt = confLength + 24;
        if (static_cast<uint64_t>(end) >= dataAt + 4) {
            putBE32(b, static_cast<uint32_t>(static_cast<uint64_t>(end) - dataAt - 4));
            if (lseek(fd, static_cast<off_t>(dataAt), SEEK_SET) >= 0)
                writeAll(fd, b, 4);
        }
        putBE32(b, static_cast<uint32_t>(end - 8));
        if (lseek(fd, 4, SEEK_SET) == 4)
            writeAll(fd, b, 4);
    }
    return close(fd) == 0 ? 0 : -1;
}

int32_t ACQDParse(int32_t fd, TQParseContext *context)
{
    if (!context)
        return 0;
    // Whatever happens below, the caller may free what the context holds.
    memset(context, 0, sizeof *context);

    uint8_t header[12];
    if (!readAll(fd, header, 8))
        return 0;
    uint32_t container = getBE32(header);
    uint64_t length;
    bool wide;
    if (container == kFORM) {
        wide = false;
        length = getBE32(header + 4);
    } else if (container == kFO64) {
        wide = true;
        if (lseek(fd, 0, SEEK_SET) != 0 || !readAll(fd, header, 12))
            return 0;
        length = getBE64(header + 4);
    } else {
        return 0;
    }
    uint8_t typeBytes[4];
    if (length < 4 || !readAll(fd, typeBytes, 4))
        return 0;
    uint32_t type = getBE32(typeBytes);

    const Row *rows;
    size_t rowCount;
    if (!wide && type == TQ_FORM_ACQD) {
        rows = kAcqdFormRows;
        rowCount = countOf(kAcqdFormRows);
        context->formType = type;
        context->u.acqd.channels =
            static_cast<TQAcqdChannel *>(calloc(TQ_PARSE_MAX_CHANNELS, sizeof(TQAcqdChannel)));
        if (!context->u.acqd.channels)
            return 0;
    } else if ((!wide && type == TQ_FORM_STRM) || (wide && type == TQ_FORM_ST64)) {
        rows = kStrmFormRows;
        rowCount = countOf(kStrmFormRows);
        context->formType = type;
        context->u.strm.decimation = 1;
        context->u.strm.channels =
            static_cast<TQCaptureChannel *>(calloc(TQ_PARSE_MAX_CHANNELS, sizeof(TQCaptureChannel)));
        if (!context->u.strm.channels)
            return 0;
    } else {
        return 0;
    }

    Parser parser{fd, wide, context};
    uint64_t consumed = 0;
    bool ok = walk(parser, rows, rowCount, length - 4, consumed);
    // Files beyond the parser's limits (channels, text lengths, value widths,
    // coefficient counts) are refused, not cut.
    return ok && consumed == length - 4 ? 1 : 0;
}

int32_t ACQDSetSample(double sampleIndex, TQAcqdReader *reader, void *scan)
{
    const auto &a = reader->context.u.acqd;
    const uint64_t scanSize = 2ull * static_cast<uint32_t>(a.channelCount < 0 ? 0 : a.channelCount);
    double index = std::trunc(sampleIndex);
    off_t at = -1;
    if (std::isfinite(index) && index >= 0 && index < 9.0e15) {
        uint64_t offset = a.dataPosition + static_cast<uint64_t>(index) * scanSize;
        if (offset <= INT64_MAX)
            at = lseek(reader->fd, static_cast<off_t>(offset), SEEK_SET);
    } else {
        errno = EINVAL;
    }
    if (at < 0) {
        printf("file des %d\n", reader->fd);
        perror("lseek failure");
        return 0;
    }
    if (!readAll(reader->fd, scan, scanSize)) {
        perror("read failure");
        return 0;
    }
    return 1;
}
