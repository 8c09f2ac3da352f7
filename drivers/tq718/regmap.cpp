#include "regmap.h"

namespace tq718::reg
{

namespace
{

constexpr InputRange kRanges[kRangeCount] = {
    {1, "10V", 0x1},     {2, "5V", 0x2},       {5, "2V", 0x4},      {10, "1V", 0x8},      {20, "500mV", 0x10},
    {50, "200mV", 0x20}, {100, "100mV", 0x40}, {200, "50mV", 0x80}, {500, "20mV", 0x100}, {1000, "10mV", 0x200},
    {2000, "5mV", 0x3},  {5000, "2mV", 0x7},   {10000, "1mV", 0x6},
};

} // namespace

const InputRange &inputRange(int r)
{
    return kRanges[(r >= 1 && r <= kRangeCount ? r : 1) - 1];
}

int conditionCode(int condition)
{
    if (condition == 1)
        return kSourceIo1;
    if (condition == 2)
        return kSourceIo2;
    if (condition >= 3 && condition <= 10)
        return condition - 3;
    if (condition == 11)
        return kSourcePxiStar;
    if (condition == 12)
        return kSourceLimitViolation;
    return -1;
}

int conditionOfCode(ViUInt32 code, bool transient)
{
    if (code <= 7)
        return static_cast<int>(code) + 3;
    if (code == kSourcePxiStar)
        return 11;
    if (code == kSourceIo1)
        return 1;
    if (code == kSourceIo2)
        return 2;
    if (code == kSourceLimitViolation && transient)
        return 12;
    return -1;
}

int clockLineCode(int source)
{
    if (source == 2)
        return kSourceIo1;
    if (source == 3)
        return kSourceIo2;
    if (source >= 4 && source <= 11)
        return source - 4;
    if (source == 12)
        return kSourcePxiStar;
    return -1;
}

int clockSourceOfCode(ViUInt32 code)
{
    if (code <= 7)
        return static_cast<int>(code) + 4;
    if (code == kSourcePxiStar)
        return 12;
    if (code == kSourceIo1)
        return 2;
    if (code == kSourceIo2)
        return 3;
    return -1;
}

ViUInt32 calibratorCode(int setting)
{
    if (setting >= 0 && setting <= 9)
        return 1u << setting;
    if (setting == 10)
        return 3;
    if (setting == 11)
        return 7;
    if (setting == 12)
        return 6;
    if (setting == 13)
        return 0x1000;
    if (setting >= 14 && setting <= 26)
        return 0x400 | calibratorCode(setting - 14);
    return 0;
}

ViUInt32 calibrationSourceCode(int source)
{
    static constexpr ViUInt32 kCodes[] = {0, 2, 1};
    return kCodes[source];
}

int calibrationSourceOfCode(ViUInt32 code)
{
    switch (code) {
    case 0:
        return 0;
    case 2:
        return 1;
    case 1:
        return 2;
    default:
        return -1;
    }
}

ViUInt32 completionCode(int configuration)
{
    static constexpr ViUInt32 kCodes[] = {2, 1, 0, 0};
    return kCodes[configuration - 1];
}

int configurationOfCompletion(ViUInt32 code)
{
    switch (code) {
    case 0:
        return 3;
    case 1:
        return 2;
    case 2:
        return 1;
    default:
        return -1;
    }
}

ViUInt32 filterCode(int setting)
{
    return setting == 9 ? 0 : static_cast<ViUInt32>(setting);
}

int filterOfCode(ViUInt32 code)
{
    if (code == 0)
        return 9;
    if (code <= 8)
        return static_cast<int>(code);
    return -1;
}

const char *filterName(int setting)
{
    static const char *const kNames[] = {"20 Hz",  "200 Hz", "1K Hz",  "2K Hz",       "5K Hz",
                                         "10K Hz", "20K Hz", "50K Hz", "No Filtering"};
    return setting >= 1 && setting <= 9 ? kNames[setting - 1] : "";
}

ViUInt16 balanceCode(int dac)
{
    if (dac > 0)
        return static_cast<ViUInt16>((dac > 0xFFF ? 0xFFF : dac) | 0x2000);
    if (dac < 0)
        return static_cast<ViUInt16>((-dac > 0xFFF ? 0xFFF : -dac) | 0x1000);
    return 0;
}

Options decodeOptions(ViUInt32 boardWord, bool haveFilterWord, ViUInt16 filterWord)
{
    Options o;
    o.board = boardWord;
    o.filterReady = (boardWord & 0x2) ? 0 : 1;
    if (haveFilterWord) {
        const unsigned type = filterWord & 0x3, option = (filterWord >> 8) & 0xFF;
        o.filterType = type == 0 ? 1 : type == 1 ? 2 : 0;
        o.filterOption = option == 0 ? 1 : option == 1 ? 2 : 0;
    }
    return o;
}

} // namespace tq718::reg
