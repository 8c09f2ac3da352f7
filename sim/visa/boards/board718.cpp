// Registers of the simulated model 718 (see board718.h).
#include "board718.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "tq/platform/numfmt.h"

namespace tq::sim
{

namespace
{

bool parseUnsigned(const std::string &text, uint32_t &out)
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

bool parseDouble(const std::string &text, double &out)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    const double v = platform::cstrtod(text.c_str(), &end);
    if (*end != '\0' || v != v)
        return false;
    out = v;
    return true;
}

// "ch3.volts" -> 3 and "volts"; "hcal.12" -> "hcal" and 12.
bool splitIndexed(const std::string &key, const char *prefix, int &index, std::string &rest)
{
    const size_t n = strlen(prefix);
    if (strncasecmp(key.c_str(), prefix, n) != 0 || key.size() <= n)
        return false;
    const char *digits = key.c_str() + n;
    if (*digits == '.')
        ++digits;
    char *end = nullptr;
    const long i = strtol(digits, &end, 10);
    if (end == digits || *digits == '-' || *digits == '+' || i > 100)
        return false;
    index = static_cast<int>(i);
    rest = *end == '.' ? std::string(end + 1) : std::string(end);
    return true;
}

} // namespace

Board718::Board718()
{
    registers().setSize(VI_PXI_BAR0_SPACE, kBar0Size);
    registers().setSize(VI_PXI_BAR2_SPACE, kBar2Size);
    // A board with a filter card of the first option, exact references and no
    // calibration-path offset, until the inventory says otherwise.
    for (int r = 1; r <= kRanges; ++r)
        writeDouble(rangeCoefficient(r), 1.0);
    for (int c = 1; c <= kChannels; ++c)
        writeDouble(calPathOffset(c), 0.0);
}

double Board718::readDouble(uint64_t offset) const
{
    const uint64_t bits = static_cast<uint64_t>(reg(offset)) | static_cast<uint64_t>(reg(offset + 4)) << 32;
    double v;
    memcpy(&v, &bits, sizeof v);
    return v;
}

void Board718::writeDouble(uint64_t offset, double value)
{
    uint64_t bits;
    memcpy(&bits, &value, sizeof bits);
    setReg(offset, static_cast<uint32_t>(bits));
    setReg(offset + 4, static_cast<uint32_t>(bits >> 32));
}

bool Board718::configure(const std::string &key, const std::string &value)
{
    uint32_t word = 0;
    double number = 0.0;
    int index = 0;
    std::string rest;
    if (!strcasecmp(key.c_str(), "option")) {
        if (!parseUnsigned(value, word))
            return false;
        setReg(kOptionWord, word);
        return true;
    }
    if (!strcasecmp(key.c_str(), "filter")) {
        if (!parseUnsigned(value, word))
            return false;
        setReg(kFilterWord, word);
        return true;
    }
    if (!strcasecmp(key.c_str(), "resetstuck")) {
        if (!parseUnsigned(value, word) || word > 1)
            return false;
        resetStuck_ = word != 0;
        return true;
    }
    if (splitIndexed(key, "hcal", index, rest) && rest.empty()) {
        if (index < 1 || index > kRanges || !parseDouble(value, number))
            return false;
        writeDouble(rangeCoefficient(index), number);
        return true;
    }
    if (splitIndexed(key, "calpath", index, rest) && rest.empty()) {
        if (index < 1 || index > kChannels || !parseDouble(value, number))
            return false;
        writeDouble(calPathOffset(index), number);
        return true;
    }
    if (splitIndexed(key, "ch", index, rest)) {
        if (index < 1 || index > kChannels)
            return false;
        if (!strcasecmp(rest.c_str(), "signal")) {
            Wave &w = waves_[index - 1];
            if (!strcasecmp(value.c_str(), "counter"))
                w.signal = Signal::Counter;
            else if (!strcasecmp(value.c_str(), "sine"))
                w.signal = Signal::Sine;
            else if (!strcasecmp(value.c_str(), "input"))
                w.signal = Signal::Input;
            else
                return false;
            return true;
        }
        if (!parseDouble(value, number))
            return false;
        if (!strcasecmp(rest.c_str(), "period") && number >= 1.0) {
            waves_[index - 1].period = number;
            return true;
        }
        if (!strcasecmp(rest.c_str(), "amplitude") && std::fabs(number) <= 32767.0) {
            waves_[index - 1].amplitude = number;
            return true;
        }
        Input &in = inputs_[index - 1];
        const char *k = rest.c_str();
        if (!strcasecmp(k, "volts")) {
            in.volts = number;
            in.bridge = false;
        } else if (!strcasecmp(k, "bridge")) {
            in.bridgeMvPerV = number;
            in.bridge = true;
        } else if (!strcasecmp(k, "ohms") && number > 0)
            in.ohms = number;
        else if (!strcasecmp(k, "shunt"))
            in.shuntMvPerV = number;
        else if (!strcasecmp(k, "noise") && number >= 0)
            in.noise = number;
        else if (!strncasecmp(k, "gainerror", 9) || !strncasecmp(k, "offset", 6)) {
            // "gainerror" or "offset" alone: every range; ".<r>": range r.
            const bool gain = !strncasecmp(k, "gainerror", 9);
            const char *tail = k + (gain ? 9 : 6);
            std::array<double, kRanges> &errors = gain ? in.gainError : in.offsetCounts;
            if (*tail == '\0')
                errors.fill(number);
            else {
                char *end = nullptr;
                const long r = *tail == '.' && tail[1] >= '0' && tail[1] <= '9' ? strtol(tail + 1, &end, 10) : 0;
                if (r < 1 || r > kRanges || *end != '\0')
                    return false;
                errors[static_cast<size_t>(r - 1)] = number;
            }
        } else if (!strcasecmp(k, "excitationfault") && (number == 0 || number == 1))
            in.excitationFault = number != 0;
        else
            return false;
        return true;
    }
    return false;
}

ViStatus Board718::read(uint16_t space, uint64_t offset, unsigned width, uint32_t &value)
{
    advance();
    if (space == VI_PXI_BAR2_SPACE) {
        // Bits the board drives itself are brought up to date before the read.
        switch (offset & ~uint64_t(3)) {
        case kControl:
            setReg(kControl, (reg(kControl) & ~kControlActive) | (acquiring_ ? kControlActive : 0));
            break;
        case kExcitationAlarms:
            setReg(kExcitationAlarms, excitationAlarms());
            break;
        default:
            break;
        }
    }
    return Board::read(space, offset, width, value);
}

ViStatus Board718::write(uint16_t space, uint64_t offset, unsigned width, uint32_t value)
{
    // The scans due so far are made under the settings they were due under.
    advance();
    if (space == VI_PXI_BAR0_SPACE && (offset & ~uint64_t(3)) == kDmaCommand && width == 4)
        return dmaCommand(value);
    if (space != VI_PXI_BAR2_SPACE) {
        const ViStatus status = Board::write(space, offset, width, value);
        wake_.notify_one();
        return status;
    }

    // The written lanes of the 32-bit register that holds the access.
    const uint64_t base = offset & ~uint64_t(3);
    const unsigned shift = static_cast<unsigned>(offset & 3) * 8;
    const uint32_t widthMask = width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
    const uint32_t lanes = widthMask << shift;
    const uint32_t bits = (value & widthMask) << shift;
    const uint32_t merged = (reg(base) & ~lanes) | bits;

    switch (base) {
    case kLimitViolations:
    case kEventStatus:
        // Latched bits: writing ones clears them.
        setReg(base, reg(base) & ~bits);
        return VI_SUCCESS;
    case kExcitationAlarms:
    case kTransientPosition:
        return VI_SUCCESS; // read-only
    case kControl: {
        const uint32_t before = reg(base);
        setReg(base, (merged & ~kControlActive) | (before & kControlActive));
        dataPathWrite(space, base, before, merged);
        return VI_SUCCESS;
    }
    case kReset:
        setReg(base, merged);
        if (bits & 1)
            resetBoard();
        return VI_SUCCESS;
    default:
        break;
    }
    const uint32_t before = reg(base);
    setReg(base, merged);
    if (base >= excitation(1) && base <= excitation(kChannels))
        excitationChanged();
    dataPathWrite(space, base, before, merged);
    return VI_SUCCESS;
}

void Board718::resetBoard()
{
    // The card's configuration registers go back to their power-up state;
    // its memory (option words, calibration constants) and the PCI bridge
    // in BAR0 are not part of the card's reset.
    for (uint64_t offset = 0; offset < kMemory; offset += 4)
        setReg(offset, 0);
    acquiring_ = false;
    dp_.triggerStarted = dp_.triggerStopped = dp_.transientTriggered = false;
    dp_.clocked = false;
    alarms_ = 0;
    lastCodes_ = {};
    // The reset bit reads 1 until the board is ready again.
    setReg(kReset, resetStuck_ ? 1u : 0u);
}

void Board718::excitationChanged()
{
    const uint32_t now = excitationAlarms();
    const bool risen = (now & ~alarms_) != 0;
    alarms_ = now;
    if (risen)
        raiseEvent(2);
}

void Board718::raiseEvent(int e)
{
    if (e < 1 || e > 32)
        return;
    const uint32_t bit = 1u << (e - 1);
    setReg(kEventStatus, reg(kEventStatus) | bit);
    const uint32_t enable = reg(kEventEnable);
    if ((enable & bit) && (enable & kGlobalInterruptEnable) && host())
        host()->raiseInterrupt(reg(kEventStatus));
}

void Board718::lineEvent(int line)
{
    if (line >= 0 && line <= 7)
        raiseEvent(5 + line);
    else if (line == kLineStar)
        raiseEvent(13);
    else if (line == kLineIo1)
        raiseEvent(3);
    else if (line == kLineIo2)
        raiseEvent(4);
}

std::unique_ptr<Board> makeBoard718()
{
    return std::make_unique<Board718>();
}

} // namespace tq::sim
