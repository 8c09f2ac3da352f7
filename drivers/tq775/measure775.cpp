// The model 775's direct measurement: frequencies and counts read from the
// counters without the stream, the count status flags and the polled
// single scan. Every call reads the board, simulated or not.
#include "session775.h"
#include "tq/driver/visa_binding.h"
#include "tq/platform/guard.h"
#include "tq/platform/thread.h"
#include "tq775.h"

namespace tq775
{

namespace
{

double frequencyOf(double base, uint32_t countWord, uint32_t ticks)
{
    if (ticks == 0)
        return 0.0;
    return base * static_cast<double>(countWord & reg::kCountMask) / static_cast<double>(ticks);
}

ViStatus readBlock(Session775 &s, ViUInt32 *words)
{
    return tq::visa::visa().viMoveIn32(s.value, reg::kCard, reg::kCounters, 2 * kChannels, words);
}

ViStatus timebaseOf(ViSession vi, double &base)
{
    ViInt16 rate = 10;
    const ViStatus status = tq775_getTickClockRate(vi, &rate);
    if (status >= VI_SUCCESS)
        base = timebase(rate);
    return status;
}

bool validRange(ViInt16 first, ViInt16 last)
{
    return first >= 1 && first <= last && last <= kChannels;
}

template <typename F> ViStatus measured(ViSession vi, F &&body)
{
    Session775 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    return tq::platform::guardStatus([&]() -> ViStatus { return body(*s); });
}

} // namespace

} // namespace tq775

using tq775::Session775;
namespace reg = tq775::reg;

TQ_API ViStatus tq775_readFrequency(ViSession vi, ViReal64 frequencies[8])
{
    return tq775::measured(vi, [&](Session775 &s) -> ViStatus {
        if (!frequencies)
            return VI_ERROR_INV_PARAMETER;
        double base = 0.0;
        ViStatus status = tq775::timebaseOf(vi, base);
        if (status < VI_SUCCESS)
            return status;
        ViUInt32 words[16];
        status = tq775::readBlock(s, words);
        if (status < VI_SUCCESS)
            return status;
        bool overflow = false, stale = false;
        for (int c = 0; c < tq775::kChannels; ++c) {
            frequencies[c] = tq775::frequencyOf(base, words[2 * c], words[2 * c + 1]);
            overflow = overflow || (words[2 * c] & reg::kOverflowBit);
            stale = stale || (words[2 * c] & reg::kStaleBit);
        }
        return overflow ? TQ775_WARN_OVERFLOW : stale ? TQ775_WARN_STALE : VI_SUCCESS;
    });
}

TQ_API ViStatus tq775_readFrequencyWithStatus(ViSession vi, ViReal64 frequencies[8], ViInt16 overflow[8],
                                              ViInt16 stale[8])
{
    return tq775::measured(vi, [&](Session775 &s) -> ViStatus {
        if (!frequencies || !overflow || !stale)
            return VI_ERROR_INV_PARAMETER;
        double base = 0.0;
        ViStatus status = tq775::timebaseOf(vi, base);
        if (status >= VI_SUCCESS)
            status = tq775_getCountStatus(vi, 1, tq775::kChannels, overflow, stale);
        if (status < VI_SUCCESS)
            return status;
        ViUInt32 words[16];
        status = tq775::readBlock(s, words);
        if (status < VI_SUCCESS)
            return status;
        bool anyOverflow = false, anyStale = false;
        for (int c = 0; c < tq775::kChannels; ++c) {
            frequencies[c] = tq775::frequencyOf(base, words[2 * c], words[2 * c + 1]);
            anyOverflow = anyOverflow || overflow[c];
            anyStale = anyStale || stale[c];
        }
        return anyOverflow ? TQ775_WARN_OVERFLOW : anyStale ? TQ775_WARN_STALE : VI_SUCCESS;
    });
}

TQ_API ViStatus tq775_readCounters(ViSession vi, ViInt32 counts[8], ViInt32 ticks[8])
{
    return tq775::measured(vi, [&](Session775 &s) -> ViStatus {
        if (!counts || !ticks)
            return VI_ERROR_INV_PARAMETER;
        ViUInt32 words[16];
        const ViStatus status = tq775::readBlock(s, words);
        if (status < VI_SUCCESS)
            return status;
        for (int c = 0; c < tq775::kChannels; ++c) {
            counts[c] = static_cast<ViInt32>(words[2 * c] & reg::kCountMask);
            ticks[c] = static_cast<ViInt32>(words[2 * c + 1]);
        }
        return status;
    });
}

TQ_API ViStatus tq775_readSingleChannelCounters(ViSession vi, ViInt16 channel, ViInt32 *count, ViInt32 *ticks)
{
    return tq775::measured(vi, [&](Session775 &s) -> ViStatus {
        if (channel < 1 || channel > tq775::kChannels)
            return TQ775_ERROR_CHANNEL;
        if (!count || !ticks)
            return VI_ERROR_INV_PARAMETER;
        ViUInt32 words[2];
        const ViStatus status =
            tq::visa::visa().viMoveIn32(s.value, reg::kCard, reg::countWord(channel), 2, words);
        if (status < VI_SUCCESS)
            return status;
        *count = static_cast<ViInt32>(words[0] & reg::kCountMask);
        *ticks = static_cast<ViInt32>(words[1]);
        return status;
    });
}

TQ_API ViStatus tq775_readSingleChannelFrequency(ViSession vi, ViInt16 channel, ViReal64 *frequency)
{
    return tq775::measured(vi, [&](Session775 &s) -> ViStatus {
        if (channel < 1 || channel > tq775::kChannels)
            return TQ775_ERROR_CHANNEL;
        if (!frequency)
            return VI_ERROR_INV_PARAMETER;
        double base = 0.0;
        ViStatus status = tq775::timebaseOf(vi, base);
        if (status < VI_SUCCESS)
            return status;
        ViUInt32 words[2];
        status = tq::visa::visa().viMoveIn32(s.value, reg::kCard, reg::countWord(channel), 2, words);
        if (status < VI_SUCCESS)
            return status;
        *frequency = tq775::frequencyOf(base, words[0], words[1]);
        if (words[0] & reg::kOverflowBit)
            return TQ775_WARN_OVERFLOW;
        return (words[0] & reg::kStaleBit) ? TQ775_WARN_STALE : VI_SUCCESS;
    });
}

TQ_API ViStatus tq775_getCountStatus(ViSession vi, ViInt16 first, ViInt16 last, ViInt16 overflow[], ViInt16 stale[])
{
    return tq775::measured(vi, [&](Session775 &s) -> ViStatus {
        if (!tq775::validRange(first, last))
            return TQ775_ERROR_CHANNEL;
        uint32_t flags = 0;
        const ViStatus status = tq775::in32(s, reg::kCountStatus, flags);
        if (status < VI_SUCCESS)
            return status;
        for (int c = first; c <= last; ++c) {
            if (overflow)
                overflow[c - first] = (flags >> (c - 1)) & 1;
            if (stale)
                stale[c - first] = (flags >> (c + 7)) & 1;
        }
        return status;
    });
}

TQ_API ViStatus tq775_clearCountStatus(ViSession vi, ViInt16 clearStale, ViInt16 clearOverflow, ViInt16 first,
                                       ViInt16 last)
{
    return tq775::measured(vi, [&](Session775 &s) -> ViStatus {
        if (!tq775::validRange(first, last))
            return TQ775_ERROR_CHANNEL;
        const uint32_t mask = ((1u << (last - first + 1)) - 1) << (first - 1);
        uint32_t bits = 0;
        if (clearOverflow)
            bits |= mask;
        if (clearStale)
            bits |= mask << 8;
        return tq775::out32(s, reg::kCountStatus, bits);
    });
}

TQ_API ViStatus tq775_executeSingleScan(ViSession vi, ViUInt16 channelMask, ViInt32 timeoutSeconds,
                                        ViReal64 frequencies[])
{
    return tq775::measured(vi, [&](Session775 &s) -> ViStatus {
        const uint32_t mask = channelMask & 0xFF;
        if ((mask && !frequencies) || timeoutSeconds < 0)
            return VI_ERROR_INV_PARAMETER;
        if (timeoutSeconds == 0) {
            ViInt16 rate = 10;
            tq775_getTickClockRate(vi, &rate);
            timeoutSeconds = rate == 10 ? 2 : 17;
        }
        ViStatus status = tq775_setContinuousScanEnable(vi, 0);
        if (status < VI_SUCCESS)
            return status;
        status = tq775::modify(s, reg::kControl, reg::kSingleScan, reg::kSingleScan);
        if (status < VI_SUCCESS)
            return status;
        // The time-out runs on the monotonic clock, so that a change of the
        // calendar clock neither ends the scan early nor keeps it polling.
        const uint64_t start = tq::platform::tickMs();
        uint32_t pending = mask;
        bool overflow = false;
        while (pending && (tq::platform::tickMs() - start) / 1000 < static_cast<uint64_t>(timeoutSeconds)) {
            int k = 0;
            for (int c = 1; c <= tq775::kChannels; ++c) {
                const uint32_t bit = 1u << (c - 1);
                if (!(mask & bit))
                    continue;
                if (pending & bit) {
                    const ViStatus read = tq775_readSingleChannelFrequency(vi, static_cast<ViInt16>(c), &frequencies[k]);
                    if (read < VI_SUCCESS)
                        return read;
                    if (read == VI_SUCCESS)
                        pending &= ~bit;
                    else if (read == TQ775_WARN_OVERFLOW) {
                        frequencies[k] = 0.0;
                        overflow = true;
                        pending &= ~bit;
                    } else if (read == TQ775_WARN_STALE)
                        frequencies[k] = 0.0;
                }
                ++k;
            }
        }
        return pending ? TQ775_WARN_STALE : overflow ? TQ775_WARN_OVERFLOW : VI_SUCCESS;
    });
}
