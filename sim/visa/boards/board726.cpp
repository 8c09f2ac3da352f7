// Registers of the simulated model 726 (see board726.h).
#include "board726.h"

#include <cerrno>
#include <cstdlib>
#include <strings.h>

#include "tq/platform/thread.h"

namespace tq::sim
{

namespace
{

bool parseUnsigned(const std::string &text, uint32_t max, uint32_t &out)
{
    if (text.empty() || text[0] == '-')
        return false;
    char *end = nullptr;
    errno = 0;
    const unsigned long long v = strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > max)
        return false;
    out = static_cast<uint32_t>(v);
    return true;
}

} // namespace

Board726::Board726()
{
    registers().setSize(VI_PXI_BAR2_SPACE, kBar2Size);
    resetBoard();
    sync();
}

int Board726::channels() const
{
    if (flags_ & (1u << 9))
        return 32;
    if (flags_ & (1u << 8))
        return 16;
    return 64;
}

bool Board726::configure(const std::string &key, const std::string &value)
{
    uint32_t v = 0;
    const char *k = key.c_str();
    if (!strcasecmp(k, "flags") && parseUnsigned(value, 0xFFFFFFFFu, v)) {
        flags_ = v;
        sync();
        return true;
    }
    if (!strcasecmp(k, "signature") && parseUnsigned(value, 0xFFFF, v)) {
        signature_ = static_cast<uint16_t>(v);
        return true;
    }
    if (!strcasecmp(k, "resetstuck") && parseUnsigned(value, 1, v)) {
        resetStuck_ = v != 0;
        return true;
    }
    if (!strcasecmp(k, "powerupstuck") && parseUnsigned(value, 1, v)) {
        powerUpStuck_ = v != 0;
        return true;
    }
    return false;
}

bool Board726::servesSpace(uint16_t space, uint64_t offset, unsigned width) const
{
    return space == VI_LOCAL_SPACE && offset == 0 && width == 2;
}

uint32_t Board726::flagsRegister() const
{
    return (flags_ & kFlagMask) | (control_ & ~kFlagMask & ~kBusy) | (busyReads_ != 0 ? kBusy : 0);
}

void Board726::sync()
{
    registers().set32(VI_PXI_BAR2_SPACE, kFlags, flagsRegister());
}

void Board726::resetBoard()
{
    for (int k = 1; k <= 64; ++k)
        registers().store(VI_PXI_BAR2_SPACE, 2 * static_cast<uint64_t>(k - 1), 2,
                          powerUpSaved_ ? powerUp_[k - 1] : 0x8000u);
    busyReads_ = 0;
    sync();
}

void Board726::log(uint16_t channel, uint16_t code)
{
    if (log_.empty())
        log_.resize(kLogCapacity);
    log_[(logHead_ + logCount_) % kLogCapacity] = SimVisaOutput{platform::tickUs(), ++logSequence_, channel, code};
    if (logCount_ < kLogCapacity)
        ++logCount_;
    else
        logHead_ = (logHead_ + 1) % kLogCapacity;
}

ViStatus Board726::read(uint16_t space, uint64_t offset, unsigned width, uint32_t &value)
{
    if (space == VI_LOCAL_SPACE) {
        value = signature_;
        return VI_SUCCESS;
    }
    if (space != VI_PXI_BAR2_SPACE || offset < kFlags)
        return Board::read(space, offset, width, value);
    const uint64_t base = offset & ~uint64_t(3);
    const unsigned shift = static_cast<unsigned>(offset & 3) * 8;
    const uint32_t widthMask = width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
    uint32_t whole = 0;
    if (base == kFlags) {
        whole = flagsRegister();
        // Each read of the busy bit brings the power-up operation closer to its end.
        if (busyReads_ > 0 && shift == 0 && --busyReads_ == 0) {
            powerUpSaved_ = savePowerUp_;
            if (savePowerUp_)
                for (int k = 1; k <= 64; ++k)
                    powerUp_[k - 1] =
                        static_cast<uint16_t>(registers().load(VI_PXI_BAR2_SPACE, 2 * static_cast<uint64_t>(k - 1), 2));
            sync();
        }
    } else if (base == kReset) {
        bool busy = false;
        if (flags_ & kResetConfirm)
            busy = resetHeld_ || resetStuckNow_ || platform::tickUs() < resetReadyUs_;
        whole = (resetRegister_ & ~1u) | (busy ? 1u : 0u);
    } else
        return Board::read(space, offset, width, value);
    value = (whole >> shift) & widthMask;
    return VI_SUCCESS;
}

ViStatus Board726::write(uint16_t space, uint64_t offset, unsigned width, uint32_t value)
{
    if (space == VI_LOCAL_SPACE)
        return VI_SUCCESS; // the signature is read-only
    if (space != VI_PXI_BAR2_SPACE)
        return Board::write(space, offset, width, value);
    if (offset < kFlags) {
        Board::write(space, offset, width, value);
        // Every channel the write covers, in order.
        for (uint64_t o = offset & ~uint64_t(1); o < offset + width; o += 2) {
            const int channel = static_cast<int>(o / 2) + 1;
            if (channel <= channels())
                log(static_cast<uint16_t>(channel), static_cast<uint16_t>(registers().load(VI_PXI_BAR2_SPACE, o, 2)));
        }
        return VI_SUCCESS;
    }
    const uint64_t base = offset & ~uint64_t(3);
    const unsigned shift = static_cast<unsigned>(offset & 3) * 8;
    const uint32_t widthMask = width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
    const uint32_t lanes = widthMask << shift;
    const uint32_t bits = (value & widthMask) << shift;
    if (base == kFlags) {
        control_ = (control_ & ~lanes) | (bits & ~kFlagMask);
        if ((lanes & kBusy) && (bits & kBusy) && busyReads_ == 0) {
            savePowerUp_ = (bits & kSave) != 0;
            busyReads_ = powerUpStuck_ ? -1 : kBusyReads;
        }
        sync();
        return VI_SUCCESS;
    }
    if (base == kReset) {
        resetRegister_ = (resetRegister_ & ~lanes) | bits;
        if (!(lanes & 1u))
            return VI_SUCCESS;
        if (bits & 1u) {
            resetBoard();
            if (flags_ & kResetConfirm) {
                resetHeld_ = true;
                resetStuckNow_ = resetStuck_;
            }
        } else if (resetHeld_) {
            resetHeld_ = false;
            resetReadyUs_ = platform::tickUs() + kResetSettleUs;
        }
        return VI_SUCCESS;
    }
    return Board::write(space, offset, width, value);
}

ViStatus Board726::copyOutputLog(SimVisaOutput *entries, ViUInt32 max, ViUInt32 &count)
{
    count = 0;
    for (; count < max && count < logCount_; ++count)
        entries[count] = log_[(logHead_ + count) % kLogCapacity];
    return VI_SUCCESS;
}

ViStatus Board726::clearOutputLog()
{
    logHead_ = logCount_ = 0;
    return VI_SUCCESS;
}

std::unique_ptr<Board> makeBoard726()
{
    return std::make_unique<Board726>();
}

} // namespace tq::sim
