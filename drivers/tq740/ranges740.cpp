// The model 740's range operations: 32-bit channel words split over two
// 16-bit registers, and fields of whole groups in the configuration
// registers. They touch the module whether or not the session simulates.
#include "session740.h"
#include "tq/driver/settings.h"
#include "tq/driver/visa_binding.h"
#include "tq740.h"

using tq740::Session740;
namespace reg = tq740::reg;

namespace
{

uint32_t packedBit(const ViUInt8 *bits, int i)
{
    return (bits[i / 8] >> (i % 8)) & 1;
}

void setPackedBit(ViUInt8 *bits, int i, uint32_t v)
{
    bits[i / 8] = static_cast<ViUInt8>((bits[i / 8] & ~(1u << (i % 8))) | ((v & 1) << (i % 8)));
}

ViStatus checkChannels(int first, int last)
{
    return first >= 1 && first <= tq740::kChannels && last >= first && last <= tq740::kChannels
               ? VI_SUCCESS
               : VI_ERROR_INV_PARAMETER;
}

// Whole groups: first on a group's first channel, last on a group's last.
ViStatus checkGroups(int first, int last)
{
    if (first < 1 || first > tq740::kChannels || last > tq740::kChannels)
        return VI_ERROR_INV_PARAMETER;
    if (last < first || (first - 1) % 8 != 0 || last % 8 != 0)
        return TQ740_ERROR_ALIGNMENT;
    return VI_SUCCESS;
}

ViStatus readWord(Session740 &s, ViBusAddress offset, uint32_t &word)
{
    uint16_t low = 0, high = 0;
    ViStatus status = tq740::in16(s, offset, low);
    if (status >= VI_SUCCESS)
        status = tq740::in16(s, offset + 2, high);
    if (status >= VI_SUCCESS)
        word = low | static_cast<uint32_t>(high) << 16;
    return status;
}

ViStatus writeWord(Session740 &s, ViBusAddress offset, uint32_t word)
{
    ViStatus status = tq740::out16(s, offset, static_cast<uint16_t>(word));
    if (status >= VI_SUCCESS)
        status = tq740::out16(s, offset + 2, static_cast<uint16_t>(word >> 16));
    return status;
}

// The bits first..last of the channel word at offset, read into bits or
// written from them (exactly those bits replaced, both halves written back).
ViStatus channelBits(ViSession vi, int first, int last, ViUInt8 *bits, ViBusAddress offset, bool write)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    ViStatus status = checkChannels(first, last);
    if (status < VI_SUCCESS)
        return status;
    if (!bits)
        return VI_ERROR_INV_PARAMETER;
    uint32_t word = 0;
    status = readWord(*s, offset, word);
    if (status < VI_SUCCESS)
        return status;
    for (int c = first; c <= last; ++c) {
        if (write)
            word = (word & ~(1u << (c - 1))) | (packedBit(bits, c - first) << (c - 1));
        else
            setPackedBit(bits, c - first, (word >> (c - 1)) & 1);
    }
    return write ? writeWord(*s, offset, word) : VI_SUCCESS;
}

// A field per whole group of a 16-bit register.
ViStatus setGroupFields(ViSession vi, int first, int last, uint16_t value, uint16_t mask, int bitsPerGroup, int shift0)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    ViStatus status = checkGroups(first, last);
    if (status < VI_SUCCESS)
        return status;
    uint16_t v = 0;
    const ViBusAddress offset = bitsPerGroup == 3 ? reg::kDebounce : reg::kConfig;
    status = tq740::in16(*s, offset, v);
    if (status < VI_SUCCESS)
        return status;
    for (int g = (first - 1) / 8 + 1; g <= last / 8; ++g) {
        const unsigned shift = static_cast<unsigned>(shift0 + bitsPerGroup * (g - 1));
        v = static_cast<uint16_t>((v & ~(mask << shift)) | ((value & mask) << shift));
    }
    return tq740::out16(*s, offset, v);
}

template <typename Out>
ViStatus getGroupFields(ViSession vi, int first, int last, ViBusAddress offset, uint16_t mask, int bitsPerGroup,
                        int shift0, Out out)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    ViStatus status = checkChannels(first, last);
    if (status < VI_SUCCESS)
        return status;
    uint16_t v = 0;
    status = tq740::in16(*s, offset, v);
    if (status < VI_SUCCESS)
        return status;
    for (int c = first; c <= last; ++c) {
        const int g = (c - 1) / 8 + 1;
        if (!out(c - first, static_cast<uint32_t>((v >> (shift0 + bitsPerGroup * (g - 1))) & mask)))
            return VI_ERROR_SYSTEM_ERROR;
    }
    return VI_SUCCESS;
}

// One bit per channel of its group's bit in the configuration register,
// from bit shift0 for group 1.
ViStatus getGroupBits(ViSession vi, int first, int last, ViUInt8 *bits, int shift0)
{
    if (!bits)
        return tq740::find(vi) ? VI_ERROR_INV_PARAMETER : VI_ERROR_INV_OBJECT;
    return getGroupFields(vi, first, last, reg::kConfig, 1, 1, shift0, [&](int i, uint32_t v) {
        setPackedBit(bits, i, v);
        return true;
    });
}

const uint32_t kDebounce[] = {0, 1, 1000, 10000, 100000};

} // namespace

TQ_API ViStatus tq740_setDebounceTime(ViSession vi, ViInt16 first, ViInt16 last, ViUInt32 microseconds,
                                      ViUInt32 *actual)
{
    size_t code = 0;
    bool exact = false;
    uint64_t best = UINT64_MAX;
    for (size_t i = 0; i < 5; ++i) {
        if (kDebounce[i] == microseconds) {
            code = i;
            exact = true;
            break;
        }
        const uint64_t d = kDebounce[i] > microseconds ? kDebounce[i] - microseconds : microseconds - kDebounce[i];
        if (d < best) {
            best = d;
            code = i;
        }
    }
    if (actual)
        *actual = kDebounce[code];
    ViStatus status = setGroupFields(vi, first, last, static_cast<uint16_t>(code), 7, 3, 0);
    if (status < VI_SUCCESS)
        return status;
    return exact ? VI_SUCCESS : TQ740_WARN_NEAREST;
}

TQ_API ViStatus tq740_getDebounceTime(ViSession vi, ViInt16 first, ViInt16 last, ViUInt32 *microseconds)
{
    if (!microseconds)
        return tq740::find(vi) ? VI_ERROR_INV_PARAMETER : VI_ERROR_INV_OBJECT;
    return getGroupFields(vi, first, last, reg::kDebounce, 7, 3, 0, [&](int i, uint32_t code) {
        if (code > 4)
            return false;
        microseconds[i] = kDebounce[code];
        return true;
    });
}

TQ_API ViStatus tq740_setIoDirection(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 direction)
{
    return setGroupFields(vi, first, last, direction ? 1 : 0, 1, 1, 8);
}

TQ_API ViStatus tq740_getIoDirection(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits)
{
    return getGroupBits(vi, first, last, bits, 8);
}

TQ_API ViStatus tq740_setPowerupOutput(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 level)
{
    return setGroupFields(vi, first, last, level ? 1 : 0, 1, 1, 12);
}

TQ_API ViStatus tq740_getPowerupOutput(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits)
{
    return getGroupBits(vi, first, last, bits, 12);
}

TQ_API ViStatus tq740_setResistorConfig(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 termination)
{
    if (termination < 0 || termination > 2)
        return tq740::find(vi) ? VI_ERROR_INV_PARAMETER : VI_ERROR_INV_OBJECT;
    return setGroupFields(vi, first, last, static_cast<uint16_t>(termination), 3, 2, 0);
}

TQ_API ViStatus tq740_getResistorConfig(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 *values)
{
    if (!values)
        return tq740::find(vi) ? VI_ERROR_INV_PARAMETER : VI_ERROR_INV_OBJECT;
    return getGroupFields(vi, first, last, reg::kConfig, 3, 2, 0, [&](int i, uint32_t v) {
        values[i] = static_cast<ViInt16>(v);
        return true;
    });
}

// The channel words: inputs (outputs read back their latch), latched
// inputs, pattern, pattern mask, change-of-state result and mask.
TQ_DRIVER_EXPORT_READ_WRITE_BITS(tq740, IoData, channelBits, reg::kData)
TQ_DRIVER_EXPORT_READ_BITS(tq740, LatchedIoData, channelBits, reg::kLatched)
TQ_DRIVER_EXPORT_READ_WRITE_BITS(tq740, PatternRecognition, channelBits, reg::kPattern)
TQ_DRIVER_EXPORT_READ_WRITE_BITS(tq740, PatternRecognitionMask, channelBits, reg::kPatternMask)
TQ_DRIVER_EXPORT_READ_BITS(tq740, ChangeOfStateResult, channelBits, reg::kCosResult)
TQ_DRIVER_EXPORT_READ_WRITE_BITS(tq740, ChangeOfStateMask, channelBits, reg::kCosMask)

TQ_API ViStatus tq740_setOutputStrobeDelay(ViSession vi, ViInt16 first, ViInt16 last, ViUInt32 nanoseconds,
                                           ViUInt32 *actual)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    // One delay serves all 32 channels: the range must name them all.
    if (first != 1 || last != tq740::kChannels)
        return TQ740_ERROR_ALIGNMENT;
    const bool longDelay = nanoseconds == 1000 || (nanoseconds != 100 && nanoseconds >= 550);
    if (actual)
        *actual = longDelay ? 1000 : 100;
    ViStatus status = tq740::setBits(*s, reg::kControl, 1, 7, longDelay ? 1 : 0);
    if (status < VI_SUCCESS)
        return status;
    return nanoseconds == 100 || nanoseconds == 1000 ? VI_SUCCESS : TQ740_WARN_NEAREST;
}

TQ_API ViStatus tq740_getOutputStrobeDelay(ViSession vi, ViInt16 first, ViInt16 last, ViUInt32 *nanoseconds)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    ViStatus status = checkChannels(first, last);
    if (status < VI_SUCCESS)
        return status;
    if (!nanoseconds)
        return VI_ERROR_INV_PARAMETER;
    uint16_t bit = 0;
    status = tq740::getBits(*s, reg::kControl, 1, 7, bit);
    if (status < VI_SUCCESS)
        return status;
    for (int c = first; c <= last; ++c)
        nanoseconds[c - first] = bit ? 1000 : 100;
    return VI_SUCCESS;
}

TQ_API ViStatus tq740_readROMConfig(ViSession vi, ViUInt16 offset, ViUInt16 count, ViUInt8 *buffer)
{
    Session740 *s = tq740::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (count && !buffer)
        return VI_ERROR_USER_BUF;
    // The ID space of a site is 128 bytes.
    if (static_cast<uint32_t>(offset) + count > 0x80)
        return VI_ERROR_INV_OFFSET;
    return tq::visa::visa().viMoveIn8(s->value, s->idSpace, s->idBase + offset, count, buffer);
}
