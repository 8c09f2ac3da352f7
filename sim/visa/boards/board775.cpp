// The simulated model 775: eight counter channels, each fed by an input of
// a set frequency.
//
// Windows run on the platform clock (sped up in tests by TQ_TIME_SCALE):
// while continuous scan (BAR2 0x00 bit 11) is set, a window of the selected
// size (bits 0-9, plus 1, in ms) ends every size ms from the moment the bit
// was set; a single scan (bit 12 written 1) runs one window from that write.
// At the end of a window every channel latches its event count and its
// tick count. Events are counted with the fractional part carried from
// window to window, so that the counts of n windows add up to exactly
// trunc(frequency x n x size / 1000). Ticks are size x 10,000 at 10 MHz,
// size x 1,000 at 1 MHz (bit 10).
//
// Count word of channel k (0x20 + 8(k-1)): the count in bits 0-17, bit 19
// when the window's count did not fit 18 bits, bit 24 once the latched
// reading has been read (stale until the next window ends). The count-status register 0x14 holds the
// overflow flags in bits 0-7 and the stale flags in bits 8-15, write 1 to
// clear; a window that sets an overflow flag not yet set raises the PXI
// interrupt once when bit 15 and the channel's bit 23+k of 0x00 are set.
// Bit 14 resets the board's registers (and clears itself).
//
// External clocks: with the window clock on line n (0x00 bit 18, 0x18 bit
// 28 and bits 24-27 = n), each pulse on line n ends a window (its events
// those of a window of the selected size); with the tick
// clock on line n (0x00 bits 16-17 = 2, 0x18 bit 12 and bits 8-11 = n), the
// tick counts are the pulses on line n during the window.
//
// Keys: freq<k> = Hz (channel k, 1 to 8, a number not below 0); option =
// four characters of the option code (default "aa21").
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "board.h"
#include "tq/platform/thread.h"

namespace tq::sim
{

namespace
{

constexpr uint16_t kBar0 = VI_PXI_BAR0_SPACE;
constexpr uint16_t kBar2 = VI_PXI_BAR2_SPACE;
constexpr uint64_t kControl = 0x00, kCountStatus = 0x14, kClockLines = 0x18, kCounters = 0x20;
constexpr uint32_t kTickRate = 1u << 10, kContinuous = 1u << 11, kSingle = 1u << 12, kReset = 1u << 14,
                   kInterrupt = 1u << 15, kWindowSource = 1u << 18, kStale = 1u << 24;
constexpr int kChannels = 8;

class Board775 : public Board
{
  public:
    Board775()
    {
        registers().setSize(kBar0, 0x100);
        registers().setSize(kBar2, 0x100);
        setOption("aa21");
    }

    bool configure(const std::string &key, const std::string &value) override
    {
        const char *k = key.c_str();
        if (!strncasecmp(k, "freq", 4) && k[4] >= '1' && k[4] <= '8' && k[5] == '\0') {
            char *end = nullptr;
            errno = 0;
            const double f = strtod(value.c_str(), &end);
            if (value.empty() || errno != 0 || *end != '\0' || !std::isfinite(f) || f < 0.0)
                return false;
            advance();
            Channel &c = channels_[k[4] - '1'];
            // The new input counts from the current window on.
            c.frequency = f;
            c.base = events(c, windowsRun_);
            c.baseWindow = windowsRun_;
            return true;
        }
        if (!strcasecmp(k, "option")) {
            if (value.size() != 4)
                return false;
            setOption(value.c_str());
            return true;
        }
        return false;
    }

    ViStatus read(uint16_t space, uint64_t offset, unsigned width, uint32_t &value) override
    {
        if (space != kBar2)
            return Board::read(space, offset, width, value);
        advance();
        if (offset >= kCounters && offset < kCounters + 8 * kChannels && (offset - kCounters) % 8 == 0) {
            // A reading once read is stale until the next window ends.
            const int c = static_cast<int>((offset - kCounters) / 8);
            const uint32_t word = reg(offset);
            setReg(offset, word | kStale);
            setReg(kCountStatus, reg(kCountStatus) | ((word & kStale) ? 1u << (8 + c) : 0));
            value = width == 4 ? word : word & ((1u << (8 * width)) - 1);
            return VI_SUCCESS;
        }
        return Board::read(space, offset, width, value);
    }

    ViStatus write(uint16_t space, uint64_t offset, unsigned width, uint32_t value) override
    {
        if (space != kBar2)
            return Board::write(space, offset, width, value);
        advance();
        if (offset == kCountStatus) {
            setReg(kCountStatus, reg(kCountStatus) & ~value);
            return VI_SUCCESS;
        }
        if (offset >= kCounters)
            return VI_SUCCESS; // the counters are read only
        const uint32_t before = reg(kControl);
        Board::write(space, offset, width, value);
        if (offset != kControl)
            return VI_SUCCESS;
        const uint32_t now = reg(kControl);
        if (now & kReset) {
            for (uint64_t o = 0; o < 0x100; o += 4)
                setReg(o, 0);
            continuous_ = false;
            single_ = false;
            return VI_SUCCESS;
        }
        const uint64_t t = platform::tickMs();
        if ((now & kContinuous) && !(before & kContinuous)) {
            continuous_ = true;
            windowStart_ = t;
        } else if (!(now & kContinuous))
            continuous_ = false;
        if ((value & kSingle) && !continuous_) {
            // A single scan: one window from now; the readings are stale
            // until it ends.
            single_ = true;
            windowStart_ = t;
            for (int k = 0; k < kChannels; ++k)
                setReg(kCounters + 8 * static_cast<uint64_t>(k), reg(kCounters + 8 * static_cast<uint64_t>(k)) | kStale);
        }
        return VI_SUCCESS;
    }

    ViStatus pulse(int line, unsigned count) override
    {
        const uint32_t control = reg(kControl), lines = reg(kClockLines);
        if (((control >> 16) & 3) == 2 && (lines & (1u << 12)) && static_cast<int>((lines >> 8) & 0xF) == line)
            tickPulses_ += count;
        if ((control & kWindowSource) && (lines & (1u << 28)) && static_cast<int>((lines >> 24) & 0xF) == line)
            for (unsigned i = 0; i < count; ++i)
                latch(windowMs());
        return VI_SUCCESS;
    }

  private:
    struct Channel {
        double frequency = 0.0;
        uint64_t base = 0;       // events counted before baseWindow
        uint64_t baseWindow = 0; // window from which frequency counts
    };

    uint32_t reg(uint64_t offset) const { return registers().get32(kBar2, offset); }
    void setReg(uint64_t offset, uint32_t v) { registers().set32(kBar2, offset, v); }

    void setOption(const char *text)
    {
        const auto b = [&](int i) { return static_cast<uint32_t>(static_cast<unsigned char>(text[i])); };
        registers().store(kBar0, 0x42, 2, b(0) | b(1) << 8);
        registers().store(kBar0, 0x40, 2, b(2) | b(3) << 8);
    }

    uint32_t windowMs() const { return (reg(kControl) & 0x3FF) + 1; }

    // Events of a channel up to the end of window n, in total since its
    // frequency was set: whole events, the fraction carried on.
    uint64_t events(const Channel &c, uint64_t n) const
    {
        const double elapsedMs = static_cast<double>(n - c.baseWindow) * windowMs();
        return c.base + static_cast<uint64_t>(std::floor(c.frequency * elapsedMs / 1000.0 + 1e-9));
    }

    // Ends the windows that have run out on the platform clock.
    void advance()
    {
        const uint32_t control = reg(kControl);
        if (control & kWindowSource)
            return; // windows end with the external clock's pulses
        const uint64_t now = platform::tickMs();
        const uint32_t w = windowMs();
        if (continuous_) {
            const uint64_t due = (now - windowStart_) / w;
            if (due > 0) {
                windowStart_ += due * w;
                latch(w, due);
            }
        } else if (single_ && now - windowStart_ >= w) {
            single_ = false;
            latch(w);
        }
    }

    // Ends windows: the last one's counts are latched; an overflow in any
    // of them is flagged.
    void latch(uint64_t ms, uint64_t windows = 1)
    {
        const uint32_t control = reg(kControl);
        const bool externalTicks = ((control >> 16) & 3) == 2;
        const uint32_t ticks = externalTicks ? tickPulses_
                                             : static_cast<uint32_t>(ms * ((control & kTickRate) ? 1000u : 10000u));
        tickPulses_ = 0;
        uint32_t flags = reg(kCountStatus);
        const uint32_t before = flags;
        for (int k = 0; k < kChannels; ++k) {
            Channel &c = channels_[k];
            const uint64_t count = events(c, windowsRun_ + windows) - events(c, windowsRun_ + windows - 1);
            uint32_t word = static_cast<uint32_t>(count & 0x3FFFF);
            if (count > 0x3FFFF) {
                word |= 1u << 19;
                flags |= 1u << k;
            }
            setReg(kCounters + 8 * static_cast<uint64_t>(k), word);
            setReg(kCounters + 8 * static_cast<uint64_t>(k) + 4, ticks);
        }
        windowsRun_ += windows;
        setReg(kCountStatus, flags);
        const uint32_t raised = flags & ~before & 0xFF & (control >> 24);
        if (raised && (control & kInterrupt) && host())
            host()->raiseInterrupt(raised);
    }

    Channel channels_[kChannels];
    uint64_t windowsRun_ = 0;
    uint64_t windowStart_ = 0;
    uint32_t tickPulses_ = 0;
    bool continuous_ = false, single_ = false;
};

} // namespace

std::unique_ptr<Board> makeBoard775()
{
    return std::make_unique<Board775>();
}

} // namespace tq::sim
