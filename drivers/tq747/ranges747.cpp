// The model 747's range operations: fields of whole groups or single
// channels in the carrier's registers, the part of a range on each bound
// site through its module, and the strobe bytes of whole groups and sites.
#include <cstddef>
#include <cstring>

#include "session747.h"
#include "tq/driver/settings.h"
#include "tq/driver/visa_binding.h"
#include "tq/platform/guard.h"
#include "tq747.h"

namespace tq747
{

namespace
{

constexpr ViStatus kAlignment = TQ747_ERROR_ALIGNMENT;

// The entries of one operation: at most one per channel of the carrier and
// four sites. Fixed storage, so that no range operation allocates (and no
// allocation failure can escape an export).
class IndexList
{
  public:
    void clear() { n_ = 0; }
    void push_back(int v)
    {
        if (n_ < kMax)
            v_[n_++] = v;
    }
    size_t size() const { return n_; }
    bool empty() const { return n_ == 0; }
    int operator[](size_t i) const { return v_[i]; }
    const int *begin() const { return v_; }
    const int *end() const { return v_ + n_; }

  private:
    static constexpr size_t kMax = kChannels + 32 * kSiteCount;
    int v_[kMax];
    size_t n_ = 0;
};

// first and last must name channels of the carrier or of bound sites, in
// order. A first of 0 would index before the first register field.
ViStatus checkRange(Session747 &s, int first, int last)
{
    if (first < 1 || last < first || last > s.totalChannels)
        return VI_ERROR_INV_PARAMETER;
    return VI_SUCCESS;
}

// The carrier's part of a range; false when the range starts above 128.
bool carrierPart(int first, int last, int &from, int &to)
{
    if (first > kChannels)
        return false;
    from = first;
    to = last < kChannels ? last : kChannels;
    return true;
}

// The part of a range on a bound site, in the module's own numbering.
bool sitePart(const Site &site, int first, int last, int &from, int &to)
{
    if (!site.bound)
        return false;
    const int lo = site.first, hi = site.first + site.count - 1;
    if (last < lo || first > hi)
        return false;
    from = (first > lo ? first : lo) - lo + 1;
    to = (last < hi ? last : hi) - lo + 1;
    return true;
}

// One entry per unit of perUnit channels (whole units only), or one per
// channel; each entry is the channel's flat index / perUnit.
ViStatus buildList(Session747 &s, int first, int last, int perUnit, bool everyChannel, IndexList &list)
{
    list.clear();
    if (!everyChannel && ((first - 1) % perUnit != 0 || last % perUnit != 0))
        return kAlignment;
    for (int c = first; c <= last; c += everyChannel ? 1 : perUnit)
        list.push_back(flatIndex(s, c) / perUnit);
    return VI_SUCCESS;
}

// The 32-bit word at an address; a base that is not a multiple of 4 is
// reached as two 16-bit halves.
ViStatus readWord(Session747 &s, ViBusAddress address, bool halves, uint32_t &word)
{
    if (!halves)
        return in32(s, address, word);
    uint16_t low = 0, high = 0;
    ViStatus status = in16(s, address, low);
    if (status >= VI_SUCCESS)
        status = in16(s, address + 2, high);
    if (status >= VI_SUCCESS)
        word = low | static_cast<uint32_t>(high) << 16;
    return status;
}

ViStatus writeWord(Session747 &s, ViBusAddress address, bool halves, uint32_t word)
{
    if (!halves)
        return out32(s, address, word);
    ViStatus status = out16(s, address, static_cast<uint16_t>(word));
    if (status >= VI_SUCCESS)
        status = out16(s, address + 2, static_cast<uint16_t>(word >> 16));
    return status;
}

uint32_t packedValue(const ViUInt8 *values, size_t i, int bitsPerField)
{
    const size_t bit = i * static_cast<size_t>(bitsPerField);
    return (values[bit / 8] >> (bit % 8)) & ((1u << bitsPerField) - 1);
}

void setPacked(ViUInt8 *values, size_t i, int bitsPerField, uint32_t v)
{
    const size_t bit = i * static_cast<size_t>(bitsPerField);
    const uint32_t mask = (1u << bitsPerField) - 1;
    values[bit / 8] = static_cast<ViUInt8>((values[bit / 8] & ~(mask << (bit % 8))) | ((v & mask) << (bit % 8)));
}

// Fields of the list in the words from base; value i is (fn)(old field, i).
// Consecutive fields in one word cost one read and one write.
template <typename Fn>
ViStatus modifyFields(Session747 &s, const IndexList &list, int bitsPerField, ViBusAddress base, Fn fn)
{
    const bool halves = base % 4 != 0;
    const uint32_t mask = bitsPerField == 32 ? 0xFFFFFFFFu : (1u << bitsPerField) - 1;
    size_t i = 0;
    while (i < list.size()) {
        const ViBusAddress address = base + 4 * static_cast<ViBusAddress>((bitsPerField * list[i]) / 32);
        uint32_t word = 0;
        ViStatus status = readWord(s, address, halves, word);
        if (status < VI_SUCCESS)
            return status;
        for (; i < list.size() && base + 4 * static_cast<ViBusAddress>((bitsPerField * list[i]) / 32) == address; ++i) {
            const unsigned shift = static_cast<unsigned>((bitsPerField * list[i]) % 32);
            const uint32_t v = fn((word >> shift) & mask, i) & mask;
            word = (word & ~(mask << shift)) | (v << shift);
        }
        status = writeWord(s, address, halves, word);
        if (status < VI_SUCCESS)
            return status;
    }
    return VI_SUCCESS;
}

ViStatus writeFields(Session747 &s, const ViUInt8 *values, size_t valueCount, int bitsPerField, const IndexList &list,
                     ViBusAddress base)
{
    return modifyFields(s, list, bitsPerField, base,
                        [&](uint32_t, size_t i) { return packedValue(values, i % valueCount, bitsPerField); });
}

template <typename Fn>
ViStatus readFields(Session747 &s, int bitsPerField, const IndexList &list, ViBusAddress base, Fn out)
{
    const bool halves = base % 4 != 0;
    const uint32_t mask = (1u << bitsPerField) - 1;
    size_t i = 0;
    while (i < list.size()) {
        const ViBusAddress address = base + 4 * static_cast<ViBusAddress>((bitsPerField * list[i]) / 32);
        uint32_t word = 0;
        ViStatus status = readWord(s, address, halves, word);
        if (status < VI_SUCCESS)
            return status;
        for (; i < list.size() && base + 4 * static_cast<ViBusAddress>((bitsPerField * list[i]) / 32) == address; ++i)
            out(i, (word >> ((bitsPerField * list[i]) % 32)) & mask);
    }
    return VI_SUCCESS;
}

// Copies count bits from a buffer (from bit 0) to out at bit cursor.
void appendBits(ViUInt8 *out, size_t &cursor, const ViUInt8 *bits, int count)
{
    for (int i = 0; i < count; ++i, ++cursor)
        setPacked(out, cursor, 1, packedValue(bits, static_cast<size_t>(i), 1));
}

// A module operation of a site, or 0xBFFF0067 where the module driver has none.
template <typename Op, typename... Args> ViStatus siteOperation(Op op, Args... args)
{
    return op ? op(args...) : VI_ERROR_NSUP_OPER;
}

// The session of vi for a range operation on first..last.
ViStatus rangeSession(ViSession vi, int first, int last, Session747 *&s)
{
    s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    return checkRange(*s, first, last);
}

// A range in channel order: the carrier's part first, onCarrier(from, to,
// count) telling how many values it gave, then the part on each bound site
// the range meets, onSite(site, from, to, cursor) in the module's own
// numbering with its values from cursor on. The first failure ends it.
template <typename OnCarrier, typename OnSite>
ViStatus eachPart(int first, int last, Session747 &s, OnCarrier onCarrier, OnSite onSite)
{
    int from = 0, to = 0;
    size_t cursor = 0;
    if (carrierPart(first, last, from, to)) {
        const ViStatus status = onCarrier(from, to, cursor);
        if (status < VI_SUCCESS)
            return status;
    }
    for (Site &site : s.sites) {
        if (!sitePart(site, first, last, from, to))
            continue;
        const ViStatus status = onSite(site, static_cast<ViInt16>(from), static_cast<ViInt16>(to), cursor);
        if (status < VI_SUCCESS)
            return status;
        cursor += static_cast<size_t>(to - from + 1);
    }
    return VI_SUCCESS;
}

// A setting of whole groups: each of the carrier's fields of bitsPerField at
// base becomes modify(field), then each site's part through onSite.
template <typename Modify, typename OnSite>
ViStatus setGroups(ViSession vi, int first, int last, int bitsPerField, ViBusAddress base, Modify modify, OnSite onSite)
{
    Session747 *s = nullptr;
    const ViStatus status = rangeSession(vi, first, last, s);
    if (status < VI_SUCCESS)
        return status;
    auto onCarrier = [&](int from, int to, size_t &) {
        IndexList list;
        const ViStatus built = buildList(*s, from, to, 8, false, list);
        if (built < VI_SUCCESS)
            return built;
        return modifyFields(*s, list, bitsPerField, base, [&](uint32_t field, size_t) { return modify(field); });
    };
    return eachPart(first, last, *s, onCarrier, onSite);
}

// A read of one value per channel into out (null refused): each carrier
// channel's field of bitsPerField at base (one per unit of perUnit
// channels) through value(i, field), false for a field that is no value
// (0xBFFF0000); then each site's part through onSite.
template <typename Value, typename OnSite>
ViStatus readPerChannel(ViSession vi, int first, int last, const void *out, int perUnit, int bitsPerField,
                        ViBusAddress base, Value value, OnSite onSite)
{
    Session747 *s = nullptr;
    const ViStatus status = rangeSession(vi, first, last, s);
    if (status < VI_SUCCESS)
        return status;
    if (!out)
        return VI_ERROR_INV_PARAMETER;
    auto onCarrier = [&](int from, int to, size_t &count) {
        IndexList list;
        buildList(*s, from, to, perUnit, true, list);
        bool bad = false;
        const ViStatus read = readFields(*s, bitsPerField, list, base, [&](size_t i, uint32_t field) {
            if (!value(i, field))
                bad = true;
        });
        if (read < VI_SUCCESS)
            return read;
        if (bad)
            return VI_ERROR_SYSTEM_ERROR;
        count = list.size();
        return VI_SUCCESS;
    };
    return eachPart(first, last, *s, onCarrier, onSite);
}

using BitsOp = ViStatus (*TQIpModuleOps::*)(ViSession, ViInt16, ViInt16, ViUInt8 *);

// A read of one bit per channel: the carrier's bits, then each site's
// bits appended.
ViStatus readBits(ViSession vi, int first, int last, ViUInt8 *bits, int perUnit, ViBusAddress base, BitsOp op)
{
    return readPerChannel(
        vi, first, last, bits, perUnit, 1, base,
        [&](size_t i, uint32_t v) {
            setPacked(bits, i, 1, v);
            return true;
        },
        [&](Site &site, ViInt16 from, ViInt16 to, size_t cursor) {
            ViUInt8 part[8] = {};
            const ViStatus status = siteOperation(site.ops.*op, site.module, from, to, part);
            if (status >= VI_SUCCESS)
                appendBits(bits, cursor, part, to - from + 1);
            return status;
        });
}

using SetOp = ViStatus (*TQIpModuleOps::*)(ViSession, ViInt16, ViInt16, ViInt16);

// A value of whole groups: the carrier's fields, then each site's part.
ViStatus setGroupValue(ViSession vi, int first, int last, uint32_t value, int bitsPerField, ViBusAddress base, SetOp op,
                       ViInt16 moduleValue)
{
    return setGroups(
        vi, first, last, bitsPerField, base, [&](uint32_t) { return value; },
        [&](Site &site, ViInt16 from, ViInt16 to, size_t) {
            return siteOperation(site.ops.*op, site.module, from, to, moduleValue);
        });
}

// One bit per channel of the whole range (sites included) in a 256-bit
// block, written from bits or read into them.
ViStatus blockBits(ViSession vi, int first, int last, ViUInt8 *bits, ViBusAddress base, bool write)
{
    Session747 *s = nullptr;
    const ViStatus status = rangeSession(vi, first, last, s);
    if (status < VI_SUCCESS)
        return status;
    if (!bits)
        return VI_ERROR_INV_PARAMETER;
    IndexList list;
    buildList(*s, first, last, 1, true, list);
    if (write)
        return writeFields(*s, bits, list.size(), 1, list, base);
    return readFields(*s, 1, list, base, [&](size_t i, uint32_t v) { setPacked(bits, i, 1, v); });
}

struct Nearest {
    uint32_t value;
    uint32_t code;
    bool exact;
};

// Exact match first, else the smallest difference, the earlier entry on a tie.
Nearest nearest(const uint32_t *table, size_t n, uint32_t value)
{
    Nearest best{table[0], 0, false};
    uint64_t bestDiff = UINT64_MAX;
    for (size_t i = 0; i < n; ++i) {
        if (table[i] == value)
            return {table[i], static_cast<uint32_t>(i), true};
        const uint64_t d = table[i] > value ? table[i] - value : value - table[i];
        if (d < bestDiff) {
            bestDiff = d;
            best = {table[i], static_cast<uint32_t>(i), false};
        }
    }
    return best;
}

const uint32_t kDebounce[] = {0, 1, 1000, 10000, 100000};
const uint32_t kStrobeDelay[] = {100, 1000};

// ---- Strobe bytes ----------------------------------------------------------------

// Entries of the strobe bytes at 0x24 for the sites the range covers above
// 128: site number + 15 (one per channel with everyChannel, else whole sites).
ViStatus siteSpanList(Session747 &s, int first, int last, bool everyChannel, IndexList &list)
{
    list.clear();
    if (first < 1 || last < first || last > s.totalChannels)
        return VI_ERROR_INV_PARAMETER;
    if (last <= kChannels)
        return VI_SUCCESS;
    const int lo = first > kChannels ? first : kChannels + 1;
    if (everyChannel) {
        for (int c = lo; c <= last; ++c)
            list.push_back(siteOfChannel(s, c) + 15);
        return VI_SUCCESS;
    }
    const int firstSite = siteOfChannel(s, lo), lastSite = siteOfChannel(s, last);
    if (!firstSite || !lastSite || s.sites[firstSite - 1].first != lo ||
        s.sites[lastSite - 1].first + s.sites[lastSite - 1].count - 1 != last)
        return kAlignment;
    for (int n = firstSite; n <= lastSite; ++n)
        if (s.sites[n - 1].bound)
            list.push_back(n + 15);
    return VI_SUCCESS;
}

// The strobe-byte entries of the whole groups and whole sites of a range.
ViStatus strobeList(Session747 &s, int first, int last, bool everyChannel, IndexList &list)
{
    ViStatus status = checkRange(s, first, last);
    if (status < VI_SUCCESS)
        return status;
    list.clear();
    int from = 0, to = 0;
    if (carrierPart(first, last, from, to)) {
        status = buildList(s, from, to, 8, everyChannel, list);
        if (status < VI_SUCCESS)
            return status;
    }
    IndexList sites;
    status = siteSpanList(s, first, last, everyChannel, sites);
    if (status < VI_SUCCESS)
        return status;
    for (int entry : sites)
        list.push_back(entry);
    return VI_SUCCESS;
}

// A read of the strobe byte of each channel of a range (carrier groups and
// bound sites) into out (null refused) through value(i, byte).
template <typename Value> ViStatus readStrobeBytes(ViSession vi, int first, int last, const void *out, Value value)
{
    Session747 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    IndexList list;
    const ViStatus status = strobeList(*s, first, last, true, list);
    if (status < VI_SUCCESS)
        return status;
    if (!out)
        return VI_ERROR_INV_PARAMETER;
    return readFields(*s, 8, list, reg::kGroupStrobe, value);
}

} // namespace

} // namespace tq747

using tq747::Session747;
using tq747::Site;
namespace reg = tq747::reg;

TQ_API ViStatus tq747_setDebounceTime(ViSession vi, ViInt16 first, ViInt16 last, ViUInt32 microseconds,
                                      ViUInt32 *actual)
{
    const tq747::Nearest n = tq747::nearest(tq747::kDebounce, 5, microseconds);
    if (actual && tq747::find(vi))
        *actual = n.value;
    const ViStatus status = tq747::setGroups(
        vi, first, last, 4, reg::kDebounce, [&](uint32_t) { return n.code; },
        [&](Site &site, ViInt16 from, ViInt16 to, size_t) {
            ViUInt32 ignored = 0;
            return tq747::siteOperation(site.ops.setDebounceTime, site.module, from, to, microseconds, &ignored);
        });
    if (status < VI_SUCCESS)
        return status;
    return n.exact ? VI_SUCCESS : TQ747_WARN_NEAREST;
}

TQ_API ViStatus tq747_getDebounceTime(ViSession vi, ViInt16 first, ViInt16 last, ViUInt32 *microseconds)
{
    return tq747::readPerChannel(
        vi, first, last, microseconds, 8, 4, reg::kDebounce,
        [&](size_t i, uint32_t code) {
            if (code > 4)
                return false;
            microseconds[i] = tq747::kDebounce[code];
            return true;
        },
        [&](Site &site, ViInt16 from, ViInt16 to, size_t cursor) {
            return tq747::siteOperation(site.ops.getDebounceTime, site.module, from, to, microseconds + cursor);
        });
}

TQ_API ViStatus tq747_setIoDirection(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 direction)
{
    return tq747::setGroupValue(vi, first, last, direction ? 1 : 0, 1, reg::kDirection, &TQIpModuleOps::setIoDirection,
                                direction);
}

TQ_API ViStatus tq747_getIoDirection(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits)
{
    return tq747::readBits(vi, first, last, bits, 8, reg::kDirection, &TQIpModuleOps::getIoDirection);
}

TQ_API ViStatus tq747_setPowerupOutput(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 level)
{
    return tq747::setGroupValue(vi, first, last, level ? 1 : 0, 1, reg::kPowerup, &TQIpModuleOps::setPowerupOutput,
                                level);
}

TQ_API ViStatus tq747_getPowerupOutput(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits)
{
    return tq747::readBits(vi, first, last, bits, 8, reg::kPowerup, &TQIpModuleOps::getPowerupOutput);
}

TQ_API ViStatus tq747_setResistorConfig(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 termination)
{
    if (termination < 0 || termination > 2)
        return tq747::find(vi) ? VI_ERROR_INV_PARAMETER : VI_ERROR_INV_OBJECT;
    return tq747::setGroupValue(vi, first, last, static_cast<uint32_t>(termination), 2, reg::kTermination,
                                &TQIpModuleOps::setResistorConfig, termination);
}

TQ_API ViStatus tq747_getResistorConfig(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 *values)
{
    return tq747::readPerChannel(
        vi, first, last, values, 8, 2, reg::kTermination,
        [&](size_t i, uint32_t v) {
            values[i] = static_cast<ViInt16>(v);
            return true;
        },
        [&](Site &site, ViInt16 from, ViInt16 to, size_t cursor) {
            return tq747::siteOperation(site.ops.getResistorConfig, site.module, from, to, values + cursor);
        });
}

TQ_API ViStatus tq747_readIoData(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits)
{
    return tq747::readBits(vi, first, last, bits, 1, reg::kData, &TQIpModuleOps::readIoData);
}

namespace tq747
{
ViStatus writeIoData(Session747 *s, ViInt16 first, ViInt16 last, ViUInt8 *bits);
} // namespace tq747

TQ_API ViStatus tq747_writeIoData(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    const ViStatus status = tq747::writeIoData(s, first, last, bits);
    // While acquiring, the thread's next period writes its own output words
    // over what was written here, as it does every period a word changes.
    s->outputsOverwritten.store(true, std::memory_order_release);
    return status;
}

ViStatus tq747::writeIoData(Session747 *s, ViInt16 first, ViInt16 last, ViUInt8 *bits)
{
    ViStatus status = tq747::checkRange(*s, first, last);
    if (status < VI_SUCCESS)
        return status;
    if (!bits)
        return VI_ERROR_INV_PARAMETER;
    auto onCarrier = [&](int from, int to, size_t &count) {
        tq747::IndexList list;
        tq747::buildList(*s, from, to, 1, true, list);
        count = list.size();
        return tq747::writeFields(*s, bits, list.size(), 1, list, reg::kData);
    };
    auto onSite = [&](Site &site, ViInt16 from, ViInt16 to, size_t cursor) {
        ViUInt8 part[8] = {};
        for (int i = 0; i <= to - from; ++i, ++cursor)
            tq747::setPacked(part, static_cast<size_t>(i), 1, tq747::packedValue(bits, cursor, 1));
        return tq747::siteOperation(site.ops.writeIoData, site.module, from, to, part);
    };
    return tq747::eachPart(first, last, *s, onCarrier, onSite);
}

// The 256-bit blocks: pattern, pattern mask, change-of-state result and mask.
TQ_DRIVER_EXPORT_READ_WRITE_BITS(tq747, PatternRecognition, tq747::blockBits, reg::kPattern)
TQ_DRIVER_EXPORT_READ_WRITE_BITS(tq747, PatternRecognitionMask, tq747::blockBits, reg::kPatternMask)
TQ_DRIVER_EXPORT_READ_BITS(tq747, ChangeOfStateResult, tq747::blockBits, reg::kCosResult)
TQ_DRIVER_EXPORT_READ_WRITE_BITS(tq747, ChangeOfStateMask, tq747::blockBits, reg::kCosMask)

// ---- Strobes ------------------------------------------------------------------------

TQ_API ViStatus tq747_setOutputStrobeDelay(ViSession vi, ViInt16 first, ViInt16 last, ViUInt32 nanoseconds,
                                           ViUInt32 *actual)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    const tq747::Nearest n = tq747::nearest(tq747::kStrobeDelay, 2, nanoseconds);
    if (actual)
        *actual = n.value;
    tq747::IndexList list;
    ViStatus status = tq747::strobeList(*s, first, last, false, list);
    if (status < VI_SUCCESS)
        return status;
    status = tq747::modifyFields(*s, list, 8, reg::kGroupStrobe,
                                 [&](uint32_t byte, size_t) { return n.code ? (byte | 0x20) : (byte & ~0x20u); });
    if (status < VI_SUCCESS)
        return status;
    return n.exact ? VI_SUCCESS : TQ747_WARN_NEAREST;
}

TQ_API ViStatus tq747_getOutputStrobeDelay(ViSession vi, ViInt16 first, ViInt16 last, ViUInt32 *nanoseconds)
{
    return tq747::readStrobeBytes(vi, first, last, nanoseconds,
                                  [&](size_t i, uint32_t byte) { nanoseconds[i] = (byte & 0x20) ? 1000 : 100; });
}

TQ_API ViStatus tq747_setStrobeEnable(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 channel)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (tq747_getPatternRecognitionStatus(vi) == VI_SUCCESS_EVENT_EN ||
        tq747_getChangeOfStateStatus(vi) == VI_SUCCESS_EVENT_EN)
        return VI_ERROR_INV_SETUP;
    if (channel < 0 || channel > 16)
        return TQ747_ERROR_STROBE;
    tq747::IndexList list;
    ViStatus status = tq747::strobeList(*s, first, last, false, list);
    if (status < VI_SUCCESS)
        return status;
    const uint32_t bits = channel ? static_cast<uint32_t>(channel - 1) + 0x40 : 0;
    if (channel) {
        uint32_t siteBytes = 0;
        status = tq747::in32(*s, reg::kSiteStrobe, siteBytes);
        if (status < VI_SUCCESS)
            return status;
        for (int entry : list) {
            if (entry < 16)
                continue;
            Site &site = s->sites[entry - 16];
            if (site.ops.setIpInputLatchStrobeEnable)
                site.ops.setIpInputLatchStrobeEnable(site.module, 1);
            const bool outward = (siteBytes >> (8 * (entry - 16))) & 0x80;
            if (site.ops.setIpInputStrobeEnable)
                site.ops.setIpInputStrobeEnable(site.module, outward ? 0 : 1);
            if (site.ops.setIpOutputStrobeEnable)
                site.ops.setIpOutputStrobeEnable(site.module, outward ? 1 : 0);
        }
    }
    return tq747::modifyFields(*s, list, 8, reg::kGroupStrobe,
                               [&](uint32_t byte, size_t) { return (byte & 0xB0) | bits; });
}

TQ_API ViStatus tq747_getStrobeEnable(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 *channels)
{
    return tq747::readStrobeBytes(vi, first, last, channels, [&](size_t i, uint32_t byte) {
        channels[i] = (byte & 0x40) ? static_cast<ViInt16>((byte & 0xF) + 1) : 0;
    });
}

TQ_API ViStatus tq747_setStrobePolarity(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 polarity)
{
    if (!tq747::find(vi))
        return VI_ERROR_INV_OBJECT;
    if (polarity != 0 && polarity != 1)
        return TQ747_ERROR_STROBE;
    return tq747::setGroups(
        vi, first, last, 8, reg::kGroupStrobe,
        [&](uint32_t byte) { return polarity ? (byte | 0x10) : (byte & ~0x10u); },
        [&](Site &site, ViInt16 from, ViInt16 to, size_t) {
            // A site has one polarity: the range must cover it whole.
            if (from != 1 || to != site.count)
                return tq747::kAlignment;
            return tq747::siteOperation(site.ops.setStrobePolarity, site.module, ViInt16(1), polarity);
        });
}

TQ_API ViStatus tq747_getStrobePolarity(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 *polarities)
{
    return tq747::readPerChannel(
        vi, first, last, polarities, 8, 8, reg::kGroupStrobe,
        [&](size_t i, uint32_t byte) {
            polarities[i] = (byte & 0x10) ? 1 : 0;
            return true;
        },
        [&](Site &site, ViInt16 from, ViInt16 to, size_t cursor) {
            ViInt16 firstPolarity = 0;
            const ViStatus status =
                tq747::siteOperation(site.ops.getStrobePolarity, site.module, &firstPolarity, nullptr);
            for (int i = from; status >= VI_SUCCESS && i <= to; ++i)
                polarities[cursor++] = firstPolarity;
            return status;
        });
}

TQ_API ViStatus tq747_setStrobeDirection(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 direction)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    ViStatus status = tq747::checkRange(*s, first, last);
    if (status < VI_SUCCESS)
        return status;
    if (first <= tq747::kChannels)
        return VI_ERROR_NSUP_OPER;
    tq747::IndexList list;
    status = tq747::siteSpanList(*s, first, last, false, list);
    if (status < VI_SUCCESS)
        return status;
    return tq747::modifyFields(*s, list, 8, reg::kGroupStrobe,
                               [&](uint32_t byte, size_t) { return direction == 1 ? (byte | 0x80) : (byte & ~0x80u); });
}

TQ_API ViStatus tq747_getStrobeDirection(ViSession vi, ViInt16 first, ViInt16 last, ViUInt8 *bits)
{
    Session747 *s = tq747::find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    ViStatus status = tq747::checkRange(*s, first, last);
    if (status < VI_SUCCESS)
        return status;
    if (first <= tq747::kChannels)
        return VI_ERROR_NSUP_OPER;
    if (!bits)
        return VI_ERROR_INV_PARAMETER;
    tq747::IndexList list;
    tq747::siteSpanList(*s, first, last, true, list);
    return tq747::readFields(*s, 8, list, reg::kGroupStrobe,
                             [&](size_t i, uint32_t byte) { tq747::setPacked(bits, i, 1, (byte >> 7) & 1); });
}
