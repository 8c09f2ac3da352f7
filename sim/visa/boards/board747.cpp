// The simulated model 747: 128 digital lines in 16 groups of 8 and four
// IndustryPack sites, each holding a module model through one site
// interface (ipsite.h).
//
// BAR2 register behaviour:
//   0x00-0x0C  read: the lines (input groups: the inputs; output groups: their latch); write: the output latch
//   0x20       control and status: writing bit 0 arms change-of-state detection (bit 2) and clears its
//              results, bit 1 disarms it; bit 4 arms pattern recognition (bit 6), bit 5 disarms it; bit 3 and
//              bit 7 report a change or a match; bit 8 requests a power-up save (bit 9 set) or clear and reads
//              1 while the request is busy (three reads, or for ever with powerupstuck = 1)
//   0x3C       populated-site mask (read only)
//   0x50-0x6C  pattern bits, 0x70-0x8C pattern mask, 0x90-0xAC change-of-state results,
//              0xB0-0xCC change-of-state mask: words 0-3 the carrier lines, 4-7 the lines of sites 1-4
//   0xD0       interrupt enable: bit 0 change of state, bit 1 pattern, bit 15 card
//   0xD4       event status, write 1 to clear
//   0xE0       bit 0 resets the card and its modules (clears at once)
//   0x1000 + 0x100 (s - 1)  ID space of site s; 0x1080 + 0x100 (s - 1) its I/O space
//
// Detection runs whenever the lines may have changed: at every register
// access, when a test drives the inputs and at every step of the time
// pattern. A detection raises the card's interrupt when its event and the
// card interrupt are enabled.
//
// Keys: site<s> = tq740 (a module on site s); site<s>.<key> = value (the
// module's keys); in<w> = 0x0 (inputs of carrier word w, 0 to 3);
// pattern = counter (every input word follows the clock: at step n word w
// holds n + 0x100 w, the modules n + 0x1000 s); pattern.period = 10
// (milliseconds per step, on the platform clock); powerupstuck = 0.
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "board.h"
#include "ipsite.h"
#include "tq/platform/thread.h"

namespace tq::sim
{

namespace
{

constexpr uint16_t kBar2 = VI_PXI_BAR2_SPACE;
constexpr uint64_t kControl = 0x20, kSites = 0x3C, kPattern = 0x50, kPatternMask = 0x70, kCosResult = 0x90,
                   kCosMask = 0xB0, kInterruptEnable = 0xD0, kEventStatus = 0xD4, kReset = 0xE0, kSiteBase = 0x1000;
constexpr uint32_t kCosArmed = 1u << 2, kCosDetected = 1u << 3, kPrArmed = 1u << 6, kPrMatched = 1u << 7,
                   kPowerupBusy = 1u << 8, kPowerupSave = 1u << 9;

bool parseWord(const std::string &text, uint32_t &out)
{
    if (text.empty() || text[0] == '-')
        return false;
    char *end = nullptr;
    errno = 0;
    const unsigned long long v = strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > 0xFFFFFFFFull)
        return false;
    out = static_cast<uint32_t>(v);
    return true;
}

class Board747 : public Board
{
  public:
    Board747()
    {
        registers().setSize(VI_PXI_BAR0_SPACE, 0x1000);
        registers().setSize(kBar2, 0x2000);
    }

    bool configure(const std::string &key, const std::string &value) override
    {
        uint32_t word = 0;
        const char *k = key.c_str();
        if (!strncasecmp(k, "site", 4) && k[4] >= '1' && k[4] <= '4') {
            const int s = k[4] - '0';
            if (k[5] == '\0') {
                sites_[s - 1] = makeIpSiteModule(value, s);
                return sites_[s - 1] != nullptr;
            }
            if (k[5] != '.' || !sites_[s - 1])
                return false;
            const bool ok = sites_[s - 1]->configure(std::string(k + 6), value);
            linesChanged();
            return ok;
        }
        if (!strncasecmp(k, "in", 2) && k[2] >= '0' && k[2] <= '3' && k[3] == '\0') {
            if (!parseWord(value, word))
                return false;
            inputs_[k[2] - '0'] = word;
            follow_ = false;
            linesChanged();
            return true;
        }
        if (!strcasecmp(k, "pattern")) {
            if (!strcasecmp(value.c_str(), "counter")) {
                follow_ = true;
                base_ = platform::tickMs();
                steps_ = ~0ull; // step 0 is played at the next access
            } else if (!strcasecmp(value.c_str(), "none"))
                follow_ = false;
            else
                return false;
            return true;
        }
        if (!strcasecmp(k, "pattern.period")) {
            if (!parseWord(value, word) || word == 0)
                return false;
            periodMs_ = word;
            return true;
        }
        if (!strcasecmp(k, "powerupstuck")) {
            if (!parseWord(value, word) || word > 1)
                return false;
            powerupStuck_ = word != 0;
            return true;
        }
        return false;
    }

    ViStatus read(uint16_t space, uint64_t offset, unsigned width, uint32_t &value) override
    {
        if (space != kBar2)
            return Board::read(space, offset, width, value);
        step();
        if (offset >= kSiteBase) {
            value = siteRead(offset, width);
            return VI_SUCCESS;
        }
        if (offset < 0x10) {
            const uint32_t lines = carrierLines(static_cast<int>(offset / 4));
            value = (lines >> (8 * (offset % 4))) & (width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1);
            return VI_SUCCESS;
        }
        if (offset == kControl && (reg(kControl) & kPowerupBusy) && !powerupStuck_ && ++powerupReads_ >= 3)
            setReg(kControl, reg(kControl) & ~kPowerupBusy);
        if (offset == kSites) {
            uint32_t mask = 0;
            for (int s = 0; s < 4; ++s)
                if (sites_[s])
                    mask |= 1u << s;
            setReg(kSites, mask);
        }
        return Board::read(space, offset, width, value);
    }

    ViStatus write(uint16_t space, uint64_t offset, unsigned width, uint32_t value) override
    {
        if (space != kBar2)
            return Board::write(space, offset, width, value);
        step();
        if (offset >= kSiteBase) {
            siteWrite(offset, width, value);
            linesChanged();
            return VI_SUCCESS;
        }
        if (offset < 0x10) {
            registers().store(kBar2, offset, width, value); // the output latch
            linesChanged();
            return VI_SUCCESS;
        }
        if (offset == kEventStatus) {
            setReg(kEventStatus, reg(kEventStatus) & ~(value << (8 * (offset % 4))));
            return VI_SUCCESS;
        }
        if (offset == kReset) {
            if (value & 1)
                resetCard();
            return VI_SUCCESS;
        }
        if (offset == kSites)
            return VI_SUCCESS;
        if (offset == kControl || offset == kControl + 2) {
            const uint32_t before = reg(kControl);
            uint32_t v = offset == kControl ? (before & ~((width == 4 ? 0xFFFFFFFFu : 0xFFFFu))) |
                                                  (value & (width == 4 ? 0xFFFFFFFFu : 0xFFFFu))
                                            : before;
            control(before, v);
            return VI_SUCCESS;
        }
        Board::write(space, offset, width, value);
        if (offset >= kPattern && offset < 0xD0)
            linesChanged();
        return VI_SUCCESS;
    }

  private:
    uint32_t reg(uint64_t offset) const { return registers().get32(kBar2, offset); }
    void setReg(uint64_t offset, uint32_t v) { registers().set32(kBar2, offset, v); }

    uint32_t carrierLines(int w) const
    {
        uint32_t outputs = 0;
        for (int b = 0; b < 4; ++b)
            if (reg(0x18) & (1u << (4 * w + b)))
                outputs |= 0xFFu << (8 * b);
        return (inputs_[w] & ~outputs) | (reg(4 * static_cast<uint64_t>(w)) & outputs);
    }
    uint32_t lineWord(int w)
    {
        if (w < 4)
            return carrierLines(w);
        return sites_[w - 4] ? sites_[w - 4]->lines() : 0;
    }

    uint32_t siteRead(uint64_t offset, unsigned width)
    {
        const int s = static_cast<int>((offset - kSiteBase) / 0x100);
        const uint64_t within = (offset - kSiteBase) % 0x100;
        if (s > 3 || !sites_[s])
            return width == 1 ? 0xFF : (width == 2 ? 0xFFFF : 0xFFFFFFFF);
        IpSiteModule &m = *sites_[s];
        if (within < 0x80) {
            uint32_t v = 0;
            for (unsigned i = 0; i < width; ++i)
                v |= static_cast<uint32_t>(m.idRom(within + i)) << (8 * i);
            return v;
        }
        const uint64_t io = within - 0x80;
        uint32_t v = m.read(io & ~1ull);
        if (width == 4)
            v |= static_cast<uint32_t>(m.read((io & ~1ull) + 2)) << 16;
        else if (width == 1)
            v = (io & 1) ? (v >> 8) & 0xFF : v & 0xFF;
        return v;
    }

    void siteWrite(uint64_t offset, unsigned width, uint32_t value)
    {
        const int s = static_cast<int>((offset - kSiteBase) / 0x100);
        const uint64_t within = (offset - kSiteBase) % 0x100;
        if (s > 3 || !sites_[s] || within < 0x80)
            return; // the ID space is read only
        IpSiteModule &m = *sites_[s];
        const uint64_t io = (within - 0x80) & ~1ull;
        if (width == 1) {
            uint16_t old = m.read(io);
            value = (within & 1) ? (old & 0x00FF) | (value & 0xFF) << 8 : (old & 0xFF00) | (value & 0xFF);
        }
        m.write(io, static_cast<uint16_t>(value));
        if (width == 4)
            m.write(io + 2, static_cast<uint16_t>(value >> 16));
    }

    void control(uint32_t before, uint32_t v)
    {
        uint32_t next = v & ~(0x33u | kCosDetected | kPrMatched | kCosArmed | kPrArmed);
        next |= before & (kCosDetected | kPrMatched | kCosArmed | kPrArmed);
        if (v & 0x1) {
            next = (next | kCosArmed) & ~kCosDetected;
            for (int w = 0; w < 8; ++w) {
                setReg(kCosResult + 4 * static_cast<uint64_t>(w), 0);
                last_[w] = lineWord(w);
            }
        }
        if (v & 0x2)
            next &= ~kCosArmed;
        if (v & 0x10)
            next = (next | kPrArmed) & ~kPrMatched;
        if (v & 0x20)
            next &= ~kPrArmed;
        if ((v & kPowerupBusy) && !(before & kPowerupBusy))
            powerupReads_ = 0;
        if (!(v & kPowerupBusy) && (before & kPowerupBusy))
            next |= kPowerupBusy; // the card clears the request itself
        (void)kPowerupSave;
        setReg(kControl, next);
        linesChanged();
    }

    // The time pattern: every step since the last one is played, so that a
    // detection sees each change.
    void step()
    {
        if (!follow_)
            return;
        const uint64_t n = (platform::tickMs() - base_) / periodMs_;
        if (n == steps_)
            return;
        steps_ = n;
        for (int w = 0; w < 4; ++w)
            inputs_[w] = static_cast<uint32_t>(n + 0x100u * static_cast<uint32_t>(w));
        for (auto &m : sites_)
            if (m)
                m->patternStep(n);
        linesChanged();
    }

    void linesChanged()
    {
        uint32_t status = reg(kEventStatus);
        const uint32_t control = reg(kControl);
        uint32_t now[8];
        for (int w = 0; w < 8; ++w)
            now[w] = lineWord(w);
        if (control & kCosArmed) {
            bool changed = false;
            for (int w = 0; w < 8; ++w) {
                const uint32_t c = (now[w] ^ last_[w]) & reg(kCosMask + 4 * static_cast<uint64_t>(w));
                if (c) {
                    setReg(kCosResult + 4 * static_cast<uint64_t>(w), reg(kCosResult + 4 * static_cast<uint64_t>(w)) | c);
                    changed = true;
                }
            }
            if (changed) {
                setReg(kControl, reg(kControl) | kCosDetected);
                status |= 1;
            }
        }
        if (control & kPrArmed) {
            bool any = false, match = true;
            for (int w = 0; w < 8; ++w) {
                const uint32_t mask = reg(kPatternMask + 4 * static_cast<uint64_t>(w));
                any = any || mask;
                if ((now[w] ^ reg(kPattern + 4 * static_cast<uint64_t>(w))) & mask)
                    match = false;
            }
            if (any && match && !(reg(kControl) & kPrMatched)) {
                setReg(kControl, reg(kControl) | kPrMatched);
                status |= 2;
            }
        }
        for (int w = 0; w < 8; ++w)
            last_[w] = now[w];
        const uint32_t raised = status & ~reg(kEventStatus);
        setReg(kEventStatus, status);
        const uint32_t enable = reg(kInterruptEnable);
        if (raised && (enable & 0x8000) && (raised & enable & 0x3) && host())
            host()->raiseInterrupt(raised);
    }

    void resetCard()
    {
        for (uint64_t o = 0; o < 0x1000; o += 4)
            setReg(o, 0);
        for (auto &m : sites_)
            if (m)
                m->reset();
        for (int w = 0; w < 8; ++w)
            last_[w] = lineWord(w);
    }

    std::array<std::unique_ptr<IpSiteModule>, 4> sites_{};
    uint32_t inputs_[4] = {};
    uint32_t last_[8] = {};
    bool follow_ = false;
    uint64_t base_ = 0, steps_ = 0;
    uint32_t periodMs_ = 10;
    bool powerupStuck_ = false;
    unsigned powerupReads_ = 0;
};

} // namespace

std::unique_ptr<Board> makeBoard747()
{
    return std::make_unique<Board747>();
}

} // namespace tq::sim
