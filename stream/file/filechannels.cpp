// Channels of file streams: one per recorded channel, with the converter that
// turns its recorded sample into an engineering value, built from the
// configuration of a STRM/ST64 or an ACQD file.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "channelruns.h"
#include "filestream_impl.h"
#include "tq/eu.h"
#include "tq/platform/dynlib.h"

namespace tq::stream {

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// Polynomials of the engineering-units library longer than this are not
// taken (a sensor polynomial has a handful of terms).
constexpr int32_t kMaxEuCoefficients = 64;

FileChannel *fc(TQStreamChannel *channel) { return reinterpret_cast<FileChannel *>(channel); }

template <typename T> T sampleAt(const void *scan, uint32_t offset)
{
    T value;
    memcpy(&value, static_cast<const uint8_t *>(scan) + offset, sizeof value);
    return value;
}

// 14 significant bits in the upper part of a 16-bit word, two's complement.
double int14At(const void *scan, uint32_t offset)
{
    int v = sampleAt<uint16_t>(scan, offset) >> 2;
    return v >= 8192 ? v - 16384 : v;
}

// c0 + c1 x + ... by Horner's rule from the highest coefficient.
double polynomial(const double *c, int32_t n, double x)
{
    double v = c[n - 1];
    for (int32_t i = n - 2; i >= 0; --i)
        v = v * x + c[i];
    return v;
}

double polynomialOf(const FileChannel *ch, double x)
{
    if (ch->coefficientCount <= 0)
        return x;
    double v = polynomial(ch->coefficients, ch->coefficientCount, x);
    return ch->sensorCoefficientCount > 0 ? polynomial(ch->sensorCoefficients, ch->sensorCoefficientCount, v) : v;
}

double bridgeOf(const FileChannel *ch, double x)
{
    if (ch->coefficientCount <= 0)
        return x;
    double d = polynomial(ch->coefficients, ch->coefficientCount, x);
    double r = -4.0 * d / (2.0 * d - 1.0);
    return ch->sensorCoefficientCount > 0 ? polynomial(ch->sensorCoefficients, ch->sensorCoefficientCount, r) : r;
}

template <typename T> double thermocoupleOf(const FileChannel *ch, const void *scan)
{
    double x = sampleAt<T>(scan, ch->offset);
    if (ch->coefficientCount <= 0)
        return x;
    double v = polynomial(ch->coefficients, ch->coefficientCount, x);
    double t = v;
    const int32_t type = ch->thermocoupleType;
    if (type != 0) {
        if (ch->referenceDistance != 0) {
            const FileChannel *ref = ch + ch->referenceDistance;
            double y = sampleAt<T>(scan, ref->offset);
            double t0 = ref->coefficients[0] + ref->coefficients[1] * y;
            v = v + thermoc2mv(t0, type) / 1000.0;
        }
        t = thermomv2c(v * 1000.0, type);
    }
    if (ch->unitScale == 1)
        t = t * 9.0 / 5.0 + 32.0;
    else if (ch->unitScale == 2)
        t = t + 273.15;
    const int32_t m = ch->sensorCoefficientCount;
    return m >= 3 ? polynomial(ch->sensorCoefficients, m - 2, t) : t;
}

double evalPoly16s(TQStreamChannel *c, const void *s) { return polynomialOf(fc(c), sampleAt<int16_t>(s, fc(c)->offset)); }
double evalPoly16u(TQStreamChannel *c, const void *s) { return polynomialOf(fc(c), sampleAt<uint16_t>(s, fc(c)->offset)); }
double evalPoly14(TQStreamChannel *c, const void *s) { return polynomialOf(fc(c), int14At(s, fc(c)->offset)); }
double evalPoly32s(TQStreamChannel *c, const void *s) { return polynomialOf(fc(c), sampleAt<int32_t>(s, fc(c)->offset)); }
double evalBridge16s(TQStreamChannel *c, const void *s) { return bridgeOf(fc(c), sampleAt<int16_t>(s, fc(c)->offset)); }
double evalBridge16u(TQStreamChannel *c, const void *s) { return bridgeOf(fc(c), sampleAt<uint16_t>(s, fc(c)->offset)); }
double evalThermo16s(TQStreamChannel *c, const void *s) { return thermocoupleOf<int16_t>(fc(c), s); }
double evalThermo16u(TQStreamChannel *c, const void *s) { return thermocoupleOf<uint16_t>(fc(c), s); }
double evalDouble(TQStreamChannel *c, const void *s) { return sampleAt<double>(s, fc(c)->offset); }
double evalZero(TQStreamChannel *, const void *) { return 0.0; }
double evalNone(TQStreamChannel *, const void *) { return kNoValue; }

double evalBit16(TQStreamChannel *c, const void *s)
{
    return (sampleAt<uint16_t>(s, fc(c)->offset) >> fc(c)->bit) & 1u ? 1.0 : 0.0;
}

double evalBit32(TQStreamChannel *c, const void *s)
{
    return (sampleAt<uint32_t>(s, fc(c)->offset) >> fc(c)->bit) & 1u ? 1.0 : 0.0;
}

// A channel of a carrier recording: 1 when any bit of its mask is set in its
// 32-bit word.
double evalMask32(TQStreamChannel *c, const void *s)
{
    return (sampleAt<uint32_t>(s, fc(c)->offset) & fc(c)->mask) != 0 ? 1.0 : 0.0;
}

double evalFrequency(TQStreamChannel *c, const void *s)
{
    const FileChannel *ch = fc(c);
    const double n = sampleAt<int32_t>(s, ch->offset);
    const double t = sampleAt<int32_t>(s, ch->offset + 4);
    if (t == 0.0)
        return 0.0;
    if (ch->coefficientCount <= 0)
        return n + t / std::pow(10.0, std::ceil(std::log(t)));
    return polynomialOf(ch, n / t);
}

double rawInt16(TQStreamChannel *c, const void *s) { return sampleAt<int16_t>(s, fc(c)->offset); }
double rawUint16(TQStreamChannel *c, const void *s) { return sampleAt<uint16_t>(s, fc(c)->offset); }
double rawInt14(TQStreamChannel *c, const void *s) { return int14At(s, fc(c)->offset); }
double rawInt32(TQStreamChannel *c, const void *s) { return sampleAt<int32_t>(s, fc(c)->offset); }
double rawUint32(TQStreamChannel *c, const void *s) { return sampleAt<uint32_t>(s, fc(c)->offset); }

using EvalFn = double (*)(TQStreamChannel *, const void *);

// ---- runs of samples ----------------------------------------------------------
//
// One channel's values over consecutive scans in one call: a replay that
// converts every sample spends more in one indirect call per sample than in
// the conversion itself. Each run gives exactly the value its converter
// gives scan by scan (the same operations in the same order).

using RunFn = void (*)(TQStreamChannel *, const uint8_t *, uint32_t, int64_t, double *);

// Any converter, called directly (and so inlined) for each scan.
template <EvalFn F> void runOf(TQStreamChannel *c, const uint8_t *scans, uint32_t stride, int64_t n, double *out)
{
    for (int64_t i = 0; i < n; ++i)
        out[i] = F(c, scans + static_cast<size_t>(i) * stride);
}

// A polynomial of a sample read by `Read`, with the channel's coefficient
// tests taken once per run rather than once per sample.
template <double (*Read)(const void *, uint32_t)>
void polynomialRun(TQStreamChannel *c, const uint8_t *scans, uint32_t stride, int64_t n, double *out)
{
    const FileChannel *ch = fc(c);
    const uint8_t *at = scans + ch->offset;
    const int32_t count = ch->coefficientCount;
    if (count <= 0) {
        for (int64_t i = 0; i < n; ++i)
            out[i] = Read(at + static_cast<size_t>(i) * stride, 0);
        return;
    }
    const double *k = ch->coefficients;
    if (count == 2 && ch->sensorCoefficientCount <= 0) {
        // The straight line of most recordings: c1 x + c0, as Horner's rule
        // computes it.
        const double c0 = k[0], c1 = k[1];
        for (int64_t i = 0; i < n; ++i)
            out[i] = c1 * Read(at + static_cast<size_t>(i) * stride, 0) + c0;
        return;
    }
    for (int64_t i = 0; i < n; ++i)
        out[i] = polynomialOf(ch, Read(at + static_cast<size_t>(i) * stride, 0));
}

double readInt16(const void *p, uint32_t o) { return sampleAt<int16_t>(p, o); }
double readUint16(const void *p, uint32_t o) { return sampleAt<uint16_t>(p, o); }
double readInt14(const void *p, uint32_t o) { return int14At(p, o); }
double readInt32(const void *p, uint32_t o) { return sampleAt<int32_t>(p, o); }

struct RunOf {
    EvalFn eval;
    RunFn run;
};

const RunOf kRuns[] = {
    {evalPoly16s, polynomialRun<readInt16>},
    {evalPoly16u, polynomialRun<readUint16>},
    {evalPoly14, polynomialRun<readInt14>},
    {evalPoly32s, polynomialRun<readInt32>},
    {evalBridge16s, runOf<evalBridge16s>},
    {evalBridge16u, runOf<evalBridge16u>},
    {evalThermo16s, runOf<evalThermo16s>},
    {evalThermo16u, runOf<evalThermo16u>},
    {evalDouble, runOf<evalDouble>},
    {evalZero, runOf<evalZero>},
    {evalNone, runOf<evalNone>},
    {evalBit16, runOf<evalBit16>},
    {evalBit32, runOf<evalBit32>},
    {evalMask32, runOf<evalMask32>},
    {evalFrequency, runOf<evalFrequency>},
};

RunFn runFor(EvalFn eval)
{
    for (const RunOf &r : kRuns)
        if (r.eval == eval)
            return r.run;
    return nullptr;
}

// How a kind of a STRM/ST64 file is read and how much it adds to the scan.
struct KindInfo {
    EvalFn value;
    EvalFn raw;
    uint32_t width; // bytes the channel (or its word run) occupies
    bool wordRun;   // consecutive channels of the kind share one word
    bool polled;    // the bytes are in the poll record, not in DATA
};

KindInfo kindInfo(int32_t kind)
{
    switch (kind) {
    case TQ_XFRM_POLYNOMIAL: return {evalPoly16s, rawInt16, 2, false, false};
    case TQ_XFRM_UINT16: return {evalPoly16u, rawUint16, 2, false, false};
    case TQ_XFRM_INT14: return {evalPoly14, rawInt14, 2, false, false};
    case TQ_XFRM_BRIDGE: return {evalBridge16s, rawInt16, 2, false, false};
    case TQ_XFRM_INT32: return {evalPoly32s, rawInt32, 4, false, false};
    case TQ_XFRM_FREQUENCY: return {evalFrequency, nullptr, 8, false, false};
    case TQ_XFRM_BIT16: return {evalBit16, rawUint16, 2, true, false};
    case TQ_XFRM_THERMOCOUPLE: return {evalThermo16s, nullptr, 2, false, false};
    case TQ_XFRM_DOUBLE: return {evalDouble, nullptr, 8, false, false};
    case TQ_XFRM_BIT16_AT: return {evalBit16, nullptr, 0, false, false};
    case TQ_XFRM_EVENT_BIT: return {evalBit16, nullptr, 2, true, false};
    case TQ_XFRM_POLLED_BIT16: return {evalZero, nullptr, 2, true, true};
    case TQ_XFRM_POLLED_BIT32: return {evalBit32, nullptr, 4, true, true};
    default: return {nullptr, nullptr, 0, false, false};
    }
}

// A whole number within [low, high] taken from a coefficient; false for
// anything else (including NaN and infinities).
bool wholeIn(double value, int64_t low, int64_t high, int32_t &out)
{
    if (!std::isfinite(value))
        return false;
    double t = std::trunc(value);
    if (t < static_cast<double>(low) || t > static_cast<double>(high))
        return false;
    out = static_cast<int32_t>(t);
    return true;
}

double *copyArray(const double *source, int16_t count, bool &ok)
{
    if (count <= 0 || !source)
        return nullptr;
    auto *copy = static_cast<double *>(malloc(sizeof(double) * static_cast<size_t>(count)));
    if (!copy)
        ok = false;
    else
        memcpy(copy, source, sizeof(double) * static_cast<size_t>(count));
    return copy;
}

void copyText(char *field, size_t size, const char *text)
{
    size_t n = strnlen(text, size - 1);
    memcpy(field, text, n);
    field[n] = '\0';
}

void setHead(FileChannel &ch, TQStream *stream, const char *name, const char *unit)
{
    copyText(ch.head.name, sizeof ch.head.name, name);
    copyText(ch.head.eu, sizeof ch.head.eu, unit);
    ch.head.stream = stream;
}

int32_t unitScaleOf(const char *unit)
{
    if (strpbrk(unit, "fF"))
        return 1;
    if (strpbrk(unit, "kK"))
        return 2;
    return 0;
}

// Thermocouple type and reference from the last two sensor coefficients;
// the reference must be a channel of the file whose sample and first two
// coefficients exist.
bool checkThermocouple(FileChannel *channels, int32_t count, int32_t index, uint32_t fullScanSize)
{
    FileChannel &ch = channels[index];
    ch.unitScale = unitScaleOf(ch.head.eu);
    if (ch.coefficientCount <= 0)
        return true; // the raw sample is the value; nothing else is read
    const int32_t m = ch.sensorCoefficientCount;
    if (m < 2 || !wholeIn(ch.sensorCoefficients[m - 2], 0, 8, ch.thermocoupleType) ||
        !wholeIn(ch.sensorCoefficients[m - 1], -index, count - 1 - index, ch.referenceDistance))
        return false;
    if (ch.thermocoupleType == 0 || ch.referenceDistance == 0)
        return true;
    const FileChannel &ref = channels[index + ch.referenceDistance];
    return ref.coefficientCount >= 2 && ref.offset + 2u <= fullScanSize;
}

// ---- carrier recordings ------------------------------------------------------
//
// The digital carrier records its inputs as kind-8 channels whose first
// coefficient is the channel's bit mask in a 32-bit word of its scan, not a
// bit number in a 16-bit word run as every other recorder of kind 8 writes.
// Every channel is of kind 8 with a single bit (a power of two up to 2^31)
// as c0 and no sensor coefficients, in one of two forms:
//  - stated: three coefficients, c0 the mask, c1 the byte offset of the
//    channel's word in the scan and c2 the size of the recorded scan, the
//    same for every channel. The scan size is what a carrier with modules
//    on its sites needs: its scans hold the sites' words after its own.
//  - bare (earlier recordings, of a carrier whose scan is its four words):
//    one coefficient, the mask. Bit numbers 0 to 15 of other recordings
//    are told apart from masks thus:
//     - a coefficient of 16 or more cannot be a bit number of a 16-bit
//       word, so it is a mask (and 0, 3, 5 ... cannot be masks);
//     - when every coefficient is 1, 2, 4 or 8 (both readings possible),
//       the recording is the carrier's only when every channel still
//       carries the carrier's own name "DigitalChannel<c>" for its channel
//       number c, whose mask is 1 << ((c - 1) % 32).
//    Channel c lies in word (c - 1) / 32. When the names give the channel
//    numbers, the words come from them; otherwise from the order, as the
//    carrier records its channels in increasing channel number: the masks
//    rise within a word, so a mask not above the one before starts the
//    next word. A scan is the carrier's four words (16 bytes).

constexpr uint32_t kCarrierWords = 4;
constexpr int32_t kCarrierChannels = 128;

bool singleBit(double value, uint32_t &mask)
{
    for (uint32_t k = 0; k < 32; ++k)
        if (value == static_cast<double>(uint64_t{1} << k)) {
            mask = 1u << k;
            return true;
        }
    return false;
}

// The channel number of a name "DigitalChannel<c>", c from 1 to 128; 0 for
// any other name.
int32_t carrierChannelNumber(const char *name)
{
    static constexpr char kPrefix[] = "DigitalChannel";
    if (strncmp(name, kPrefix, sizeof kPrefix - 1) != 0)
        return 0;
    const char *digits = name + sizeof kPrefix - 1;
    int32_t c = 0;
    for (const char *d = digits; *d; ++d) {
        if (*d < '0' || *d > '9' || c > kCarrierChannels || (d == digits && *d == '0'))
            return 0;
        c = c * 10 + (*d - '0');
    }
    return c >= 1 && c <= kCarrierChannels ? c : 0;
}

// Where each channel's word lies and how large a scan is when the header
// is a carrier's; false otherwise.
struct CarrierLayout {
    uint32_t masks[kCarrierChannels];
    uint32_t offsets[kCarrierChannels];
    uint32_t scanSize;
};

// The stated form: every channel names its word's offset and the scan size,
// which must agree and hold the word.
bool statedCarrierLayout(const TQParseContext &context, CarrierLayout &layout)
{
    const auto &s = context.u.strm;
    int32_t size = 0;
    for (int32_t i = 0; i < s.channelCount; ++i) {
        const TQCaptureChannel &d = s.channels[i];
        int32_t offset = 0, scanSize = 0;
        if (d.kind != TQ_XFRM_BIT16 || d.coefficientCount != 3 || !d.coefficients || d.sensorCoefficientCount > 0 ||
            !singleBit(d.coefficients[0], layout.masks[i]) ||
            !wholeIn(d.coefficients[2], 4, UINT16_MAX, scanSize) || scanSize % 4 != 0 ||
            !wholeIn(d.coefficients[1], 0, scanSize - 4, offset) || offset % 4 != 0 ||
            static_cast<double>(offset) != d.coefficients[1] || static_cast<double>(scanSize) != d.coefficients[2] ||
            (i > 0 && scanSize != size))
            return false;
        size = scanSize;
        layout.offsets[i] = static_cast<uint32_t>(offset);
    }
    layout.scanSize = static_cast<uint32_t>(size);
    return true;
}

// The bare form of earlier recordings: the words from the names or the order.
bool bareCarrierLayout(const TQParseContext &context, CarrierLayout &layout)
{
    const auto &s = context.u.strm;
    const int32_t count = s.channelCount;
    uint32_t *masks = layout.masks;
    bool beyondBitNumbers = false, named = true;
    for (int32_t i = 0; i < count; ++i) {
        const TQCaptureChannel &d = s.channels[i];
        if (d.kind != TQ_XFRM_BIT16 || d.coefficientCount != 1 || !d.coefficients || d.sensorCoefficientCount > 0 ||
            !singleBit(d.coefficients[0], masks[i]))
            return false;
        beyondBitNumbers = beyondBitNumbers || masks[i] >= 16;
        const int32_t c = carrierChannelNumber(d.name);
        if (c == 0 || masks[i] != 1u << ((c - 1) % 32))
            named = false;
        else
            layout.offsets[i] = 4 * static_cast<uint32_t>((c - 1) / 32);
    }
    if (!beyondBitNumbers && !named)
        return false;
    if (!named) {
        uint32_t word = 0;
        for (int32_t i = 0; i < count; ++i) {
            if (i > 0 && masks[i] <= masks[i - 1])
                ++word;
            if (word >= kCarrierWords)
                return false; // more words than the carrier has
            layout.offsets[i] = 4 * word;
        }
    }
    layout.scanSize = 4 * kCarrierWords;
    return true;
}

bool carrierLayout(const TQParseContext &context, CarrierLayout &layout)
{
    const int32_t count = context.u.strm.channelCount;
    if (count < 1 || count > kCarrierChannels)
        return false;
    return statedCarrierLayout(context, layout) || bareCarrierLayout(context, layout);
}

} // namespace

int32_t buildStreamChannels(TQStream *stream, const TQParseContext &context, FileChannel *channels,
                            FileLayout &layout)
{
    const auto &s = context.u.strm; // ST64 shares the head of the configuration
    const int32_t count = s.channelCount;
    CarrierLayout carrier;
    if (carrierLayout(context, carrier)) {
        for (int32_t i = 0; i < count; ++i) {
            FileChannel &ch = channels[i];
            const TQCaptureChannel &d = s.channels[i];
            setHead(ch, stream, d.name, d.eu);
            ch.kind = d.kind;
            bool ok = true;
            ch.coefficients = copyArray(d.coefficients, d.coefficientCount, ok);
            if (!ok)
                return TQS_ERR_NOMEM;
            ch.coefficientCount = d.coefficientCount;
            ch.mask = carrier.masks[i];
            ch.offset = static_cast<uint16_t>(carrier.offsets[i]);
            ch.head.streamChannelEval = evalMask32;
            ch.head.streamChannelEvalRaw = rawUint32;
        }
        layout.dataScanSize = layout.fullScanSize = carrier.scanSize;
        layout.pollRecordSize = 0;
        layout.polled = false;
        layout.scansPerPoll = s.scansPerPoll;
        return 0;
    }
    uint32_t o = 0, dataSize = 0, pollSize = 0;
    bool polledSeen = false;
    for (int32_t i = 0; i < count; ++i) {
        const TQCaptureChannel &d = s.channels[i];
        FileChannel &ch = channels[i];
        setHead(ch, stream, d.name, d.eu);
        ch.kind = d.kind;
        ch.offset = static_cast<uint16_t>(o);
        bool ok = true;
        ch.coefficients = copyArray(d.coefficients, d.coefficientCount, ok);
        ch.coefficientCount = ch.coefficients ? d.coefficientCount : 0;
        ch.sensorCoefficients = copyArray(d.sensorCoefficients, d.sensorCoefficientCount, ok);
        ch.sensorCoefficientCount = ch.sensorCoefficients ? d.sensorCoefficientCount : 0;
        if (!ok)
            return TQS_ERR_NOMEM;

        const KindInfo info = kindInfo(d.kind);
        ch.head.streamChannelEval = info.value ? info.value : evalNone;
        ch.head.streamChannelEvalRaw = info.raw ? info.raw : evalNone;
        // Bit numbers must name a bit of the word.
        if (d.kind == TQ_XFRM_BIT16 || d.kind == TQ_XFRM_EVENT_BIT || d.kind == TQ_XFRM_BIT16_AT) {
            if (ch.coefficientCount < 1 || !wholeIn(ch.coefficients[0], 0, 15, ch.bit))
                return TQS_ERR_FAILED;
        } else if (d.kind == TQ_XFRM_POLLED_BIT32) {
            if (ch.coefficientCount < 1 || !wholeIn(ch.coefficients[0], 0, 31, ch.bit))
                return TQS_ERR_FAILED;
        }
        if (info.width == 0)
            continue; // no bytes of its own (kind 12 is placed after the loop)
        // Polled channels come last: DATA bytes after poll bytes would put
        // samples of the DATA scan into the poll record.
        if (polledSeen && !info.polled)
            return TQS_ERR_FAILED;
        polledSeen = polledSeen || info.polled;
        // A word run ends at the last channel or before a channel of another kind.
        const bool runEnds = !info.wordRun || i == count - 1 || s.channels[i + 1].kind != d.kind;
        if (!runEnds)
            continue;
        o += info.width;
        (info.polled ? pollSize : dataSize) += info.width;
    }
    if (dataSize == 0 || o > UINT16_MAX)
        return TQS_ERR_FAILED; // no scan to count in, or a scan the stream cannot describe
    layout.dataScanSize = dataSize;
    layout.pollRecordSize = pollSize;
    layout.fullScanSize = o;
    layout.polled = pollSize > 0;
    layout.scansPerPoll = s.scansPerPoll;
    if (layout.polled && layout.scansPerPoll < 1)
        return TQS_ERR_FAILED;

    for (int32_t i = 0; i < count; ++i) {
        FileChannel &ch = channels[i];
        if (ch.kind == TQ_XFRM_BIT16_AT) {
            // The word at a stated place: it must lie inside the scan.
            int32_t at;
            if (ch.coefficientCount < 2 || !wholeIn(ch.coefficients[1], 0, static_cast<int64_t>(o) - 2, at))
                return TQS_ERR_FAILED;
            ch.offset = static_cast<uint16_t>(at);
        } else if (ch.kind == TQ_XFRM_THERMOCOUPLE) {
            if (!checkThermocouple(channels, count, i, o))
                return TQS_ERR_FAILED;
        }
    }
    return 0;
}

namespace {

// The engineering-units library, asked once per opened file.
struct EuSession {
    bool tried = false;
    TQEUInterface *eu = nullptr;
    intptr_t session = 0;

    void open()
    {
        tried = true;
        // Loaded for good: its interface may be handed out again.
        tq::platform::LibraryHandle lib = tq::platform::loadLibrary("eu.dll");
        auto init = reinterpret_cast<TQEUInitFn>(tq::platform::findSymbol(lib, "EUInit"));
        TQEUInterface *iface = nullptr;
        if (!init || init("eustd", &iface) < 0 || !iface || !iface->open || !iface->lookup || !iface->fill)
            return;
        if (iface->open(iface, 0, &session) >= 0)
            eu = iface;
    }

    // The polynomial of a calibration name, or none (count 0).
    double *lookup(const char *name, int16_t &count, bool &memoryOk)
    {
        count = 0;
        if (!tried)
            open();
        intptr_t a = 0, b = 0;
        int32_t n = 0;
        if (!eu || eu->lookup(eu, session, name, &a, &b, &n) < 0 || n < 1 || n > kMaxEuCoefficients)
            return nullptr;
        auto *c = static_cast<double *>(calloc(static_cast<size_t>(n), sizeof(double)));
        if (!c) {
            memoryOk = false;
            return nullptr;
        }
        int32_t filled = n;
        if (eu->fill(eu, a, b, n, 0, &filled, c) < 0 || filled < 1) {
            free(c);
            return nullptr;
        }
        count = static_cast<int16_t>(filled < n ? filled : n);
        return c;
    }
};

const char *const kThermocoupleTypes[] = {"type_b", "type_e", "type_j", "type_k",
                                          "type_n", "type_r", "type_s", "type_t"};

bool setSensor(FileChannel &ch, std::initializer_list<double> values)
{
    free(ch.sensorCoefficients);
    ch.sensorCoefficients = static_cast<double *>(malloc(sizeof(double) * values.size()));
    ch.sensorCoefficientCount = 0;
    if (!ch.sensorCoefficients)
        return false;
    int16_t i = 0;
    for (double v : values)
        ch.sensorCoefficients[i++] = v;
    ch.sensorCoefficientCount = i;
    return true;
}

} // namespace

int32_t buildAcqdChannels(TQStream *stream, const TQParseContext &context, FileChannel *channels,
                          FileLayout &layout)
{
    const auto &a = context.u.acqd;
    const int32_t count = a.channelCount;
    EuSession eu;
    int32_t reference = -1;
    for (int32_t i = 0; i < count; ++i) {
        const TQAcqdChannel &d = a.channels[i];
        FileChannel &ch = channels[i];
        setHead(ch, stream, d.name, d.eu);
        ch.offset = static_cast<uint16_t>(2 * i);
        ch.coefficients = static_cast<double *>(malloc(2 * sizeof(double)));
        if (!ch.coefficients)
            return TQS_ERR_NOMEM;
        ch.coefficients[0] = -d.zeroOffset / d.countsPerVolt;
        ch.coefficients[1] = 1.0 / d.countsPerVolt;
        ch.coefficientCount = 2;
        ch.head.streamChannelEvalRaw = evalNone;

        const char *type = d.conversionType;
        bool ok = true;
        if (strcmp(type, "volts") == 0) {
            ch.kind = TQ_XFRM_UINT16;
            ch.head.streamChannelEval = evalPoly16u;
        } else if (strcmp(type, "polynomial") == 0) {
            ch.kind = TQ_XFRM_UINT16;
            ch.head.streamChannelEval = evalPoly16u;
            ch.sensorCoefficients = eu.lookup(d.calibration, ch.sensorCoefficientCount, ok);
        } else if (strcmp(type, "bridge") == 0) {
            ch.kind = 5;
            ch.head.streamChannelEval = evalBridge16u;
            ok = setSensor(ch, {0.0, d.scale / d.gaugeFactor});
        } else if (strcmp(type, "TC_Reference") == 0) {
            ch.kind = 10;
            ch.head.streamChannelEval = evalThermo16u;
            ok = setSensor(ch, {0.0, 0.0});
            reference = i;
        } else {
            int32_t t = 0;
            while (t < 8 && strcmp(type, kThermocoupleTypes[t]) != 0)
                ++t;
            if (t == 8)
                return TQS_ERR_FAILED; // a conversion this engine does not know
            ch.kind = 10;
            ch.head.streamChannelEval = evalThermo16u;
            ok = setSensor(ch, {static_cast<double>(t + 1), 0.0});
        }
        if (!ok)
            return TQS_ERR_NOMEM;
        if (d.tare != 0.0) {
            if (ch.sensorCoefficientCount == 0) {
                ok = setSensor(ch, {-d.tare, 1.0});
            } else if (ch.kind == 10) {
                const double type = ch.sensorCoefficients[0], ref = ch.sensorCoefficients[1];
                ok = setSensor(ch, {-d.tare, 1.0, type, ref});
            } else {
                ch.sensorCoefficients[0] -= d.tare;
            }
            if (!ok)
                return TQS_ERR_NOMEM;
        }
    }
    for (int32_t i = 0; i < count; ++i) {
        FileChannel &ch = channels[i];
        if (ch.kind != 10)
            continue;
        const int32_t m = ch.sensorCoefficientCount;
        if (reference >= 0)
            ch.sensorCoefficients[m - 1] = reference - i;
        ch.unitScale = unitScaleOf(ch.head.eu);
        ch.thermocoupleType = static_cast<int32_t>(ch.sensorCoefficients[m - 2]);
        ch.referenceDistance = static_cast<int32_t>(ch.sensorCoefficients[m - 1]);
    }
    if (count < 1)
        return TQS_ERR_FAILED; // no scan to count in
    layout.dataScanSize = layout.fullScanSize = 2u * static_cast<uint32_t>(count);
    layout.pollRecordSize = 0;
    layout.polled = 0;
    layout.scansPerPoll = 0;
    return 0;
}

void freeChannels(FileChannel *channels, int32_t count)
{
    if (!channels)
        return;
    for (int32_t i = 0; i < count; ++i) {
        free(channels[i].coefficients);
        free(channels[i].sensorCoefficients);
    }
    free(channels);
}

} // namespace tq::stream

using tq::stream::FileChannel;

TQ_API int64_t StreamChannelEvalRun(TQStreamChannel *channel, const void *scans, uint32_t scanSize, int64_t count,
                                    double *values)
{
    const TQChannelEvalFn eval = channel ? channel->streamChannelEval : nullptr;
    if (!eval || !scans || !values || count <= 0)
        return 0;
    const auto *at = static_cast<const uint8_t *>(scans);
    if (const tq::stream::RunFn run = tq::stream::runFor(eval)) {
        run(channel, at, scanSize, count, values);
        return count;
    }
    if (const TQChannelRunFn run = tq::stream::registeredRunFor(eval)) {
        run(channel, at, scanSize, count, values);
        return count;
    }
    for (int64_t i = 0; i < count; ++i)
        values[i] = eval(channel, at + static_cast<size_t>(i) * scanSize);
    return count;
}
