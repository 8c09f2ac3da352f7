// Analog front end of the simulated model 718 (see board718.h): what each
// channel's ADC converts for the settings in the registers, the limit
// comparators and the trigger-line events.
#include <cmath>
#include <cstdlib>

#include "board718.h"

namespace tq::sim
{

namespace
{

constexpr double kGain[Board718::kRanges] = {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000};
// The calibrator's reference of each range is selected by that range's code.
constexpr uint32_t kCalibratorCode[Board718::kRanges] = {0x1,  0x2,   0x4,   0x8, 0x10, 0x20, 0x40,
                                                         0x80, 0x100, 0x200, 0x3, 0x7,  0x6};
constexpr uint32_t kCalibratorGround = 0x1000;
constexpr uint32_t kCalibratorNegative = 0x400;

// Multiplexer settings (field + 1).
constexpr int kMuxInput = 1;
constexpr int kMuxCalibration = 3;
constexpr int kMuxExcitation = 4;

int16_t toCode(double counts)
{
    const double r = std::round(counts);
    if (r >= 32767.0)
        return 32767;
    if (r <= -32768.0)
        return -32768;
    return static_cast<int16_t>(r);
}

} // namespace

double Board718::calibratorVolts(uint32_t code) const
{
    if (code & kCalibratorGround)
        return 0.0;
    const uint32_t select = code & 0x3FF;
    for (int r = 1; r <= kRanges; ++r)
        if (kCalibratorCode[r - 1] == select) {
            const double v = rangeCoefficientValue(r) * 10.0 / kGain[r - 1];
            return (code & kCalibratorNegative) ? -v : v;
        }
    return 0.0; // no reference selected: the calibrator drives nothing
}

double Board718::excitationVolts(int c) const
{
    const uint32_t r = reg(excitation(c));
    if (!(r & 0x8000))
        return 0.0;
    const double n = r & 0xFFF;
    if (r & 0x2000) // current source, milliamperes into the bridge
        return n / 20.48 / 1000.0 * inputs_[c - 1].ohms;
    return n / 409.6;
}

uint32_t Board718::excitationAlarms() const
{
    uint32_t alarms = 0;
    for (int c = 1; c <= kChannels; ++c)
        if (inputs_[c - 1].excitationFault && (reg(excitation(c)) & 0x8000))
            alarms |= 1u << (c - 1);
    return alarms;
}

double Board718::inputVolts(int c) const
{
    const Input &in = inputs_[c - 1];
    switch (nibble(kMux, c) + 1) {
    case kMuxInput: {
        double v = in.volts;
        if (in.bridge) {
            double ratio = in.bridgeMvPerV / 1000.0;
            const int shunt = nibble(kShunt, c);
            if (shunt == 0x2)
                ratio += in.shuntMvPerV / 1000.0;
            else if (shunt == 0x1)
                ratio -= in.shuntMvPerV / 1000.0;
            v = excitationVolts(c) * ratio;
        }
        // The balance DAC offsets the amplifier input against the bridge:
        // positive codes take volts off.
        const uint32_t dac = registers().load(VI_PXI_BAR2_SPACE, balanceDac(c), 2);
        int steps = static_cast<int>(dac & 0xFFF);
        if (dac & 0x1000)
            steps = -steps;
        else if (!(dac & 0x2000))
            steps = 0;
        return v - steps * kBalanceVoltsPerStep;
    }
    case kMuxCalibration:
        // The calibration path loses O(c) on its way to the amplifier.
        return calibratorVolts(reg(kCalibrator) & 0x1FFF) - calPathOffsetValue(c);
    default:
        return 0.0; // grounded
    }
}

double Board718::sampleCounts(int c) const
{
    const Input &in = inputs_[c - 1];
    // The excitation monitor has a converter of its own, free of the
    // amplifier's errors.
    if (nibble(kMux, c) + 1 == kMuxExcitation)
        return excitationVolts(c) / kExcitationVoltsPerCount;
    int r = nibble(kRange, c) + 1;
    if (r > kRanges)
        r = kRanges;
    const double counts = inputVolts(c) * kGain[r - 1] / kVoltsPerCount;
    return counts * (1.0 + in.gainError[r - 1]) + in.offsetCounts[r - 1];
}

int16_t Board718::sample(int c) const
{
    return toCode(sampleCounts(c));
}

double Board718::noise(int c, uint64_t n) const
{
    const double width = inputs_[c - 1].noise;
    if (width == 0.0)
        return 0.0;
    // A fixed sequence (splitmix64 of scan and channel): runs repeat exactly.
    uint64_t z = n * 4 + static_cast<uint64_t>(c) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    const double unit = static_cast<double>(z >> 11) / 9007199254740992.0; // [0, 1)
    return (unit - 0.5) * width;
}

int16_t Board718::codeOf(double counts)
{
    return toCode(counts);
}

uint32_t Board718::checkLimits(const std::array<int16_t, kChannels> &codes)
{
    uint32_t violated = 0;
    const uint32_t on = reg(kLimitOn), levelSlope = reg(kLimitMode);
    for (int c = 1; c <= kChannels; ++c) {
        const uint32_t bit = 1u << (c - 1);
        if (!(on & bit))
            continue;
        const int code = codes[c - 1];
        const auto low = static_cast<int16_t>(registers().load(VI_PXI_BAR2_SPACE, limitLow(c), 2));
        const auto high = static_cast<int16_t>(registers().load(VI_PXI_BAR2_SPACE, limitHigh(c), 2));
        bool bad;
        if (levelSlope & bit) // above the level, or changing faster than the slope
            bad = code > low || std::abs(code - lastCodes_[c - 1]) > high;
        else
            bad = code < low || code > high;
        if (bad)
            violated |= bit;
    }
    lastCodes_ = codes;
    if (violated) {
        setReg(kLimitViolations, reg(kLimitViolations) | violated);
        raiseEvent(1);
        transientTrigger(kLimitSource);
    }
    return violated;
}

} // namespace tq::sim
