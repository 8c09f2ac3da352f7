// The simulated model 740 IndustryPack module: 32 digital lines in 4 groups
// of 8 behind 16-bit registers.
//
//   +0x00/+0x02 latched inputs      +0x04/+0x06 data (inputs; output groups read their latch)
//   +0x08 debounce codes            +0x0A termination, direction (bit 7 + g), power-up level (bit 11 + g)
//   +0x0C control: bit 0 start change of state, bit 1 start pattern recognition,
//         strobe settings (kept), bit 14 change detected, bit 15 pattern matched
//   +0x0E/+0x10 pattern bits        +0x12/+0x14 pattern mask
//   +0x16/+0x18 change-of-state result (latched changes under the mask)
//   +0x1A/+0x1C change-of-state mask
//   +0x1E bit 10 power-up state saved (read only), bit 11 stop change of
//         state, bit 12 stop pattern recognition, bit 13 change of state
//         armed, bit 14 pattern recognition armed, bit 15 reset
//   +0x20 serial memory select      +0x22 serial memory data in, one bit per write
//
// The serial memory decodes each selected sequence when select falls: 1,0,0
// then 1,1 and 6 bits enables writing, 1,0,0 then 0,0 disables it; 1,0,1, 8
// address bits and 16 data bits (most significant first) writes a word
// while writing is enabled. Word 0 = 0x5555 means the power-up state is
// saved.
//
// Keys: in = 0x0 (the lines driven from outside), pattern = counter (the
// lines follow the carrier's time pattern: step n drives n + 0x1000 site).
#include <array>
#include <cerrno>
#include <cstdlib>
#include <strings.h>
#include <vector>

#include "ipsite.h"

namespace tq::sim
{

namespace
{

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

class Module740 : public IpSiteModule
{
  public:
    explicit Module740(int site) : site_(site) { reset(); }

    uint8_t idRom(uint64_t offset) const override
    {
        // "IPAC", the maker and the model, at the odd bytes as on the bus.
        static const uint8_t rom[] = {'I', 'P', 'A', 'C', 0x5A, 0x40, 0x00, 0x00};
        const uint64_t i = offset / 2;
        return (offset & 1) && i < sizeof rom ? rom[i] : 0xFF;
    }

    uint16_t read(uint64_t offset) override
    {
        const uint32_t data = lines();
        switch (offset) {
        case 0x00:
        case 0x04:
            return static_cast<uint16_t>(data);
        case 0x02:
        case 0x06:
            return static_cast<uint16_t>(data >> 16);
        case 0x1E: {
            uint16_t v = reg(0x1E) & ~(1u << 10);
            if (memory_[0] == 0x5555)
                v |= 1u << 10;
            return v;
        }
        default:
            return reg(offset);
        }
    }

    void write(uint64_t offset, uint16_t value) override
    {
        switch (offset) {
        case 0x04:
            output_ = (output_ & 0xFFFF0000u) | value;
            break;
        case 0x06:
            output_ = (output_ & 0xFFFFu) | static_cast<uint32_t>(value) << 16;
            break;
        case 0x0C: {
            uint16_t v = value & ~0x3u;
            // The detected bits stay until a new start.
            v = (v & ~0xC000u) | (reg(0x0C) & 0xC000u);
            if (value & 0x1) {
                setReg(0x1E, reg(0x1E) | (1u << 13));
                v &= ~(1u << 14);
                setWord(0x16, 0);
                lastLines_ = lines();
            }
            if (value & 0x2) {
                setReg(0x1E, reg(0x1E) | (1u << 14));
                v &= ~(1u << 15);
            }
            setReg(0x0C, v);
            break;
        }
        case 0x1E: {
            if (value & 0x8000) {
                reset();
                return;
            }
            uint16_t v = (value & 0x63FFu) | (reg(0x1E) & 0x6000u);
            if (value & (1u << 11))
                v &= ~(1u << 13);
            if (value & (1u << 12))
                v &= ~(1u << 14);
            setReg(0x1E, v & ~(1u << 11) & ~(1u << 12));
            break;
        }
        case 0x20:
            if (value & 1) {
                if (!selected_)
                    bits_.clear();
                selected_ = true;
            } else {
                if (selected_)
                    decode();
                selected_ = false;
            }
            setReg(0x20, value & 1);
            break;
        case 0x22:
            if (selected_ && bits_.size() < 64)
                bits_.push_back(value & 1);
            break;
        default:
            if (offset < regs_.size() * 2)
                setReg(offset, value);
        }
        detect();
    }

    bool configure(const std::string &key, const std::string &value) override
    {
        uint32_t word = 0;
        if (!strcasecmp(key.c_str(), "in")) {
            if (!parseWord(value, word))
                return false;
            inputs_ = word;
            follow_ = false;
            detect();
            return true;
        }
        if (!strcasecmp(key.c_str(), "pattern")) {
            if (!strcasecmp(value.c_str(), "counter"))
                follow_ = true;
            else if (!strcasecmp(value.c_str(), "none"))
                follow_ = false;
            else
                return false;
            return true;
        }
        return false;
    }

    uint32_t lines() override
    {
        uint32_t outputs = 0;
        for (int g = 1; g <= 4; ++g)
            if (reg(0x0A) & (1u << (7 + g)))
                outputs |= 0xFFu << (8 * (g - 1));
        return (inputs_ & ~outputs) | (output_ & outputs);
    }

    void reset() override
    {
        regs_.fill(0);
        output_ = 0;
        selected_ = false;
        bits_.clear();
        lastLines_ = lines();
    }

    void patternStep(uint64_t step) override
    {
        if (!follow_)
            return;
        inputs_ = static_cast<uint32_t>(step + 0x1000u * static_cast<uint32_t>(site_));
        detect();
    }

  private:
    uint16_t reg(uint64_t offset) const { return regs_[offset / 2]; }
    void setReg(uint64_t offset, uint16_t v) { regs_[offset / 2] = v; }
    uint32_t word(uint64_t offset) const { return reg(offset) | static_cast<uint32_t>(reg(offset + 2)) << 16; }
    void setWord(uint64_t offset, uint32_t v)
    {
        setReg(offset, static_cast<uint16_t>(v));
        setReg(offset + 2, static_cast<uint16_t>(v >> 16));
    }

    // The module's own detection, seen through its registers.
    void detect()
    {
        const uint32_t now = lines();
        if (reg(0x1E) & (1u << 13)) {
            const uint32_t changed = (now ^ lastLines_) & word(0x1A);
            if (changed) {
                setWord(0x16, word(0x16) | changed);
                setReg(0x0C, reg(0x0C) | (1u << 14));
            }
        }
        const uint32_t mask = word(0x12);
        if ((reg(0x1E) & (1u << 14)) && mask && ((now ^ word(0x0E)) & mask) == 0)
            setReg(0x0C, reg(0x0C) | (1u << 15));
        lastLines_ = now;
    }

    void decode()
    {
        auto bitsAt = [&](size_t from, size_t n) {
            uint32_t v = 0;
            for (size_t i = 0; i < n; ++i)
                v = v << 1 | bits_[from + i];
            return v;
        };
        if (bits_.size() == 11 && bitsAt(0, 3) == 0x4) {
            const uint32_t op = bitsAt(3, 2);
            if (op == 0x3)
                writeEnabled_ = true;
            else if (op == 0x0)
                writeEnabled_ = false;
        } else if (bits_.size() == 27 && bitsAt(0, 3) == 0x5 && writeEnabled_) {
            memory_[bitsAt(3, 8)] = static_cast<uint16_t>(bitsAt(11, 16));
        }
        bits_.clear();
    }

    const int site_;
    std::array<uint16_t, 0x40> regs_{};
    uint32_t inputs_ = 0;
    uint32_t output_ = 0;
    uint32_t lastLines_ = 0;
    bool follow_ = false;
    bool selected_ = false;
    bool writeEnabled_ = false;
    std::vector<uint8_t> bits_;
    std::array<uint16_t, 256> memory_{};
};

} // namespace

std::unique_ptr<IpSiteModule> makeIpSiteModule(const std::string &kind, int site)
{
    if (!strcasecmp(kind.c_str(), "tq740"))
        return std::make_unique<Module740>(site);
    return nullptr;
}

} // namespace tq::sim
