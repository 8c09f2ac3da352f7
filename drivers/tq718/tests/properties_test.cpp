// Every configuration property, one row per (property, value): the register
// writes the board sees (from the simulated board's write log), what the
// getter reads back from the board, and the same setter in simulation,
// which keeps the value and touches no register.
#include <cmath>
#include <functional>

#include "fixture718.h"

namespace tq718test
{
namespace
{

using Getter = std::function<ViStatus(ViSession, double *)>;
using Setter = std::function<ViStatus(ViSession)>;

struct Case {
    std::string label;
    Setter set;
    Getter get;
    std::vector<Write> writes;
    double readBack;          // getter on the board after the set
    double stored;            // getter in simulation after the same set
    bool boardAlways = false; // register accessors that reach the board in simulation too
};

std::ostream &operator<<(std::ostream &o, const Case &c)
{
    return o << c.label;
}

template <typename T> Getter getter(ViStatus (*fn)(ViSession, T *))
{
    return [fn](ViSession vi, double *out) {
        T v{};
        ViStatus status = fn(vi, &v);
        *out = static_cast<double>(v);
        return status;
    };
}
template <typename T> Getter getter(ViStatus (*fn)(ViSession, ViInt16, T *), ViInt16 index)
{
    return [fn, index](ViSession vi, double *out) {
        T v{};
        ViStatus status = fn(vi, index, &v);
        *out = static_cast<double>(v);
        return status;
    };
}

// A session property: set(value), read back with get.
template <typename T, typename G>
Case session(std::string label, ViStatus (*set)(ViSession, T), G get, T value, std::vector<Write> writes,
             double readBack, double stored)
{
    return Case{std::move(label), [set, value](ViSession vi) { return set(vi, value); },
                getter(get),      std::move(writes),
                readBack,         stored};
}
template <typename T, typename G>
Case session(std::string label, ViStatus (*set)(ViSession, T), G get, T value, std::vector<Write> writes,
             double readBack)
{
    return session(std::move(label), set, get, value, std::move(writes), readBack, static_cast<double>(value));
}

// An indexed property: set(index, value), read back with get(readIndex).
template <typename T, typename U>
Case indexed(std::string label, ViStatus (*set)(ViSession, ViInt16, T), ViStatus (*get)(ViSession, ViInt16, U *),
             ViInt16 index, T value, std::vector<Write> writes, double readBack, double stored, ViInt16 readIndex = 0)
{
    return Case{std::move(label),
                [set, index, value](ViSession vi) { return set(vi, index, value); },
                getter(get, readIndex ? readIndex : index),
                std::move(writes),
                readBack,
                stored};
}
template <typename T, typename U>
Case indexed(std::string label, ViStatus (*set)(ViSession, ViInt16, T), ViStatus (*get)(ViSession, ViInt16, U *),
             ViInt16 index, T value, std::vector<Write> writes, double readBack)
{
    return indexed(std::move(label), set, get, index, value, std::move(writes), readBack, static_cast<double>(value));
}

constexpr ViUInt32 kAll = 0xFFFFFFFF;
constexpr double kCount = 0.00038427734375; // volts per ADC count on the 10 V range

Write w(ViBusAddress offset, ViUInt32 mask, ViUInt32 value)
{
    return Write{kBar2, offset, mask, value};
}

std::vector<Case> cases()
{
    std::vector<Case> c;
    // Interrupt enable: the card's global enable, then the bridge's interrupt control.
    c.push_back(session<ViInt16>("InterruptEnable_on", tq718_setInterruptEnable, tq718_getInterruptEnable, 5,
                                 {w(0xD0, 0x8000, 0x8000), {kBar0, 0x68, 0x40801, 0x40801}}, 1, 5));
    c.push_back(session<ViInt16>("InterruptEnable_off", tq718_setInterruptEnable, tq718_getInterruptEnable, 0,
                                 {w(0xD0, 0x8000, 0), {kBar0, 0x68, 0x40801, 0x40801}}, 0));

    c.push_back(session<ViInt16>("ScanClockSource_internal", tq718_setScanClockSource, tq718_getScanClockSource, 1,
                                 {w(0x00, 0xC, 0), w(0x90, 0x10, 0)}, 1));
    c.push_back(session<ViInt16>("ScanClockSource_io1", tq718_setScanClockSource, tq718_getScanClockSource, 2,
                                 {w(0x00, 0xC, 0x8), w(0x90, 0xF, 9), w(0x90, 0x10, 0x10)}, 2));
    c.push_back(session<ViInt16>("ScanClockSource_io2", tq718_setScanClockSource, tq718_getScanClockSource, 3,
                                 {w(0x00, 0xC, 0x8), w(0x90, 0xF, 10), w(0x90, 0x10, 0x10)}, 3));
    c.push_back(session<ViInt16>("ScanClockSource_pxi2", tq718_setScanClockSource, tq718_getScanClockSource, 6,
                                 {w(0x00, 0xC, 0x8), w(0x90, 0xF, 2), w(0x90, 0x10, 0x10)}, 6));
    c.push_back(session<ViInt16>("ScanClockSource_star", tq718_setScanClockSource, tq718_getScanClockSource, 12,
                                 {w(0x00, 0xC, 0x8), w(0x90, 0xF, 8), w(0x90, 0x10, 0x10)}, 12));

    c.push_back(session<ViReal64>("ScanClockRate_1000", tq718_setScanClockRate, tq718_getScanClockRate, 1000.0,
                                  {w(0x04, kAll, 19998)}, 1000.0));
    // The divider is truncated: the rate read back is the one the board runs at.
    c.push_back(session<ViReal64>("ScanClockRate_3000", tq718_setScanClockRate, tq718_getScanClockRate, 3000.0,
                                  {w(0x04, kAll, 6664)}, 2e7 / 6666.0, 3000.0));
    c.push_back(session<ViReal64>("ScanClockRate_max", tq718_setScanClockRate, tq718_getScanClockRate, 250000.0,
                                  {w(0x04, kAll, 78)}, 250000.0));
    c.push_back(session<ViReal64>("ScanClockRate_slowest", tq718_setScanClockRate, tq718_getScanClockRate, 0.005,
                                  {w(0x04, kAll, 3999999998u)}, 0.005));

    c.push_back(session<ViInt16>("RefreshRate", tq718_setRefreshRate, tq718_getRefreshRate, 10, {}, 10));
    c.push_back(session<ViInt16>("BufferDuration", tq718_setBufferDuration, tq718_getBufferDuration, 30, {}, 30));

    c.push_back(session<ViInt16>("StartCondition_io1", tq718_setStartCondition, tq718_getStartCondition, 1,
                                 {w(0x90, 0x1E0, 9 << 5)}, 1));
    c.push_back(session<ViInt16>("StartCondition_pxi4", tq718_setStartCondition, tq718_getStartCondition, 7,
                                 {w(0x90, 0x1E0, 4 << 5)}, 7));
    c.push_back(session<ViInt16>("StartCondition_star", tq718_setStartCondition, tq718_getStartCondition, 11,
                                 {w(0x90, 0x1E0, 8 << 5)}, 11));
    c.push_back(session<ViInt16>("StartCondition_none", tq718_setStartCondition, tq718_getStartCondition, 0, {}, 0));
    c.push_back(session<ViInt16>("StopCondition_io2", tq718_setStopCondition, tq718_getStopCondition, 2,
                                 {w(0x90, 0x3C00, 10 << 10)}, 2));
    c.push_back(session<ViInt16>("StopCondition_pxi7", tq718_setStopCondition, tq718_getStopCondition, 10,
                                 {w(0x90, 0x3C00, 7 << 10)}, 10));
    c.push_back(session<ViInt16>("TransientCondition_limit", tq718_setTransientCondition, tq718_getTransientCondition,
                                 12, {w(0x00, 0x20, 0x20), w(0x90, 0xF0000, 15 << 16)}, 12));
    c.push_back(session<ViInt16>("TransientCondition_io2", tq718_setTransientCondition, tq718_getTransientCondition, 2,
                                 {w(0x00, 0x20, 0x20), w(0x90, 0xF0000, 10 << 16)}, 2));
    c.push_back(session<ViInt16>("TransientCondition_pxi0", tq718_setTransientCondition, tq718_getTransientCondition, 3,
                                 {w(0x00, 0x20, 0x20), w(0x90, 0xF0000, 0)}, 3));
    c.push_back(session<ViInt16>("TransientCondition_none", tq718_setTransientCondition, tq718_getTransientCondition, 0,
                                 {w(0x00, 0x20, 0)}, 0));
    c.push_back(session<ViInt32>("TransientNumScans", tq718_setTransientNumScans, tq718_getTransientNumScans, 123456,
                                 {w(0xF0, kAll, 123456)}, 123456));

    c.push_back(
        session<ViInt16>("TriggerMode_1", tq718_setTriggerMode, tq718_getTriggerMode, 1, {w(0x90, 0x8000, 0x8000)}, 1));
    c.push_back(
        session<ViInt16>("TriggerMode_2", tq718_setTriggerMode, tq718_getTriggerMode, 2, {w(0x90, 0x8000, 0)}, 2));
    c.push_back(session<ViInt16>("AcqMode", tq718_setAcqMode, tq718_getAcqMode, 2, {}, 2));
    c.push_back(session<ViInt16>("TransformType", tq718_setTransformType, tq718_getTransformType, 3, {}, 3));

    c.push_back(session<ViInt16>("ScanClockToPXILine_5", tq718_setScanClockToPXILine, tq718_getScanClockToPXILine, 5,
                                 {w(0x94, 0x8, 0x8), w(0x94, 0x7, 4)}, 5));
    c.push_back(session<ViInt16>("ScanClockToPXILine_off", tq718_setScanClockToPXILine, tq718_getScanClockToPXILine, 0,
                                 {w(0x94, 0x8, 0)}, 0));
    c.push_back(session<ViInt16>("LimitViolationToPXILine_8", tq718_setLimitViolationToPXILine,
                                 tq718_getLimitViolationToPXILine, 8, {w(0x94, 0x800, 0x800), w(0x94, 0x700, 7 << 8)},
                                 8));
    c.push_back(session<ViBoolean>("VerboseEnable", tq718_setVerboseEnable, tq718_getVerboseEnable, 1, {}, 1));

    c.push_back(indexed<ViBoolean>("IOInputInversion_2", tq718_setIOInputInversion, tq718_getIOInputInversion, 2, 1,
                                   {w(0x90, 1u << 23, 1u << 23)}, 1));
    c.push_back(indexed<ViBoolean>("IOOutputInversion_1", tq718_setIOOutputInversion, tq718_getIOOutputInversion, 1, 1,
                                   {w(0x94, 1u << 22, 1u << 22)}, 1));
    c.push_back(indexed<ViInt16>("IOInputRoute_1_pxi3", tq718_setIOInputRoute, tq718_getIOInputRoute, 1, 5,
                                 {w(0x90, 1u << 27, 1u << 27), w(0x90, 7u << 24, 3u << 24)}, 5));
    c.push_back(indexed<ViInt16>("IOInputRoute_2_pxi7", tq718_setIOInputRoute, tq718_getIOInputRoute, 2, 9,
                                 {w(0x90, 1u << 31, 1u << 31), w(0x90, 7u << 28, 7u << 28)}, 9));
    c.push_back(indexed<ViInt16>("IOInputRoute_2_none", tq718_setIOInputRoute, tq718_getIOInputRoute, 2, 1,
                                 {w(0x90, 1u << 31, 0)}, 1));
    c.push_back(indexed<ViInt16>("IOOutputRoute_2_clock", tq718_setIOOutputRoute, tq718_getIOOutputRoute, 2, 10,
                                 {w(0x94, 1u << 31, 0), w(0x94, 1u << 5, 1u << 5), w(0x94, 1u << 13, 0)}, 10));
    c.push_back(indexed<ViInt16>("IOOutputRoute_1_limit", tq718_setIOOutputRoute, tq718_getIOOutputRoute, 1, 11,
                                 {w(0x94, 1u << 27, 0), w(0x94, 1u << 4, 0), w(0x94, 1u << 12, 1u << 12)}, 11));
    c.push_back(indexed<ViInt16>(
        "IOOutputRoute_1_pxi2", tq718_setIOOutputRoute, tq718_getIOOutputRoute, 1, 4,
        {w(0x94, 1u << 27, 1u << 27), w(0x94, 1u << 4, 0), w(0x94, 1u << 12, 0), w(0x94, 7u << 24, 2u << 24)}, 4));
    c.push_back(indexed<ViInt16>("IOOutputRoute_2_none", tq718_setIOOutputRoute, tq718_getIOOutputRoute, 2, 1,
                                 {w(0x94, 1u << 31, 0), w(0x94, 1u << 5, 0), w(0x94, 1u << 13, 0)}, 1));

    c.push_back(indexed<ViBoolean>("EventEnable_3", tq718_setEventEnable, tq718_getEventEnable, 3, 1,
                                   {w(0xD0, 1u << 2, 1u << 2)}, 1));
    c.push_back(indexed<ViBoolean>("EventEnable_18", tq718_setEventEnable, tq718_getEventEnable, 18, 1,
                                   {w(0xD0, 1u << 17, 1u << 17)}, 1));

    // Enabling a channel: its enable bit, its excitation (read back with the
    // sense bit kept) and its balance DAC.
    c.push_back(indexed<ViBoolean>("AnalogChannelEnable_2", tq718_setAnalogChannelEnable, tq718_getAnalogChannelEnable,
                                   2, 1, {w(0x14, 0x2, 0x2), w(0x34, 0xFFFF, 0), w(0x54, 0xFFFF, 0)}, 1));
    c.push_back(indexed<ViBoolean>("AnalogChannelEnable_all", tq718_setAnalogChannelEnable,
                                   tq718_getAnalogChannelEnable, 0, 1,
                                   {w(0x14, 0x1, 0x1), w(0x30, 0xFFFF, 0), w(0x50, 0xFFFF, 0), w(0x14, 0x2, 0x2),
                                    w(0x34, 0xFFFF, 0), w(0x54, 0xFFFF, 0), w(0x14, 0x4, 0x4), w(0x38, 0xFFFF, 0),
                                    w(0x58, 0xFFFF, 0), w(0x14, 0x8, 0x8), w(0x3C, 0xFFFF, 0), w(0x5C, 0xFFFF, 0)},
                                   1, 1, 4));
    c.push_back(indexed<ViInt16>("AnalogChannelInputVoltageRange_3", tq718_setAnalogChannelInputVoltageRange,
                                 tq718_getAnalogChannelInputVoltageRange, 3, 13, {w(0x10, 0xF00, 12 << 8)}, 13));
    c.push_back(indexed<ViInt16>(
        "AnalogChannelInputVoltageRange_all", tq718_setAnalogChannelInputVoltageRange,
        tq718_getAnalogChannelInputVoltageRange, 0, 4,
        {w(0x10, 0xF, 3), w(0x10, 0xF0, 3 << 4), w(0x10, 0xF00, 3 << 8), w(0x10, 0xF000, 3 << 12)}, 4, 4, 2));
    c.push_back(indexed<ViInt16>("AnalogChannelMux_4", tq718_setAnalogChannelMux, tq718_getAnalogChannelMux, 4, 6,
                                 {w(0x0C, 0xF000, 5 << 12)}, 6));
    c.push_back(indexed<ViInt16>("AnalogChannelMux_1", tq718_setAnalogChannelMux, tq718_getAnalogChannelMux, 1, 3,
                                 {w(0x0C, 0xF, 2)}, 3));
    c.push_back(indexed<ViInt16>("AnalogChannelBufferSource_2", tq718_setAnalogChannelBufferSource,
                                 tq718_getAnalogChannelBufferSource, 2, 2, {w(0x78, 0x2, 0x2)}, 2));
    c.push_back(indexed<ViInt16>("AnalogChannelLimitCheckMode_levelSlope", tq718_setAnalogChannelLimitCheckMode,
                                 tq718_getAnalogChannelLimitCheckMode, 1, 3, {w(0x80, 0x1, 0x1), w(0x84, 0x1, 0x1)},
                                 3));
    c.push_back(indexed<ViInt16>("AnalogChannelLimitCheckMode_minMax", tq718_setAnalogChannelLimitCheckMode,
                                 tq718_getAnalogChannelLimitCheckMode, 3, 2, {w(0x80, 0x4, 0), w(0x84, 0x4, 0x4)}, 2));
    c.push_back(indexed<ViInt16>("AnalogChannelLimitCheckMode_off", tq718_setAnalogChannelLimitCheckMode,
                                 tq718_getAnalogChannelLimitCheckMode, 4, 1, {w(0x84, 0x8, 0)}, 1));
    // Levels as ADC codes through the channel's polynomial (range 1: 10 V).
    c.push_back(indexed<ViReal64>("AnalogChannelLimitCheckMinLvl_1", tq718_setAnalogChannelLimitCheckMinLvl,
                                  tq718_getAnalogChannelLimitCheckMinLvl, 1, 1.0, {w(0x600, 0xFFFF, 2602)},
                                  2602 * kCount, 1.0));
    c.push_back(indexed<ViReal64>("AnalogChannelLimitCheckMaxSlope_4", tq718_setAnalogChannelLimitCheckMaxSlope,
                                  tq718_getAnalogChannelLimitCheckMaxSlope, 4, -2.5,
                                  {w(0x60E, 0xFFFF, static_cast<ViUInt16>(-6506))}, -6506 * kCount, -2.5));
    c.push_back(indexed<ViInt16>("AnalogChannelSensorType_bridge", tq718_setAnalogChannelSensorType,
                                 tq718_getAnalogChannelSensorType, 1, 2, {}, 2));
    c.push_back(indexed<ViInt16>("AnalogChannelFilter_5K", tq718_setAnalogChannelFilter, tq718_getAnalogChannelFilter,
                                 2, 5, {w(0x18, 0xF0, 5 << 4)}, 5));
    c.push_back(indexed<ViInt16>("AnalogChannelFilter_none", tq718_setAnalogChannelFilter, tq718_getAnalogChannelFilter,
                                 3, 9, {w(0x18, 0xF00, 0)}, 9));
    // Excitation off (the default type): the register gets 0, the value is kept.
    c.push_back(indexed<ViReal64>("AnalogChannelExcitation_typeOff", tq718_setAnalogChannelExcitation,
                                  tq718_getAnalogChannelExcitation, 1, 5.0, {w(0x30, 0xBFFF, 0)}, 5.0));
    c.push_back(indexed<ViInt16>("AnalogChannelExcitationType_voltage", tq718_setAnalogChannelExcitationType,
                                 tq718_getAnalogChannelExcitationType, 1, 2, {w(0x30, 0xBFFF, 0x8000)}, 2));
    c.push_back(indexed<ViInt16>("AnalogChannelExcitationType_current", tq718_setAnalogChannelExcitationType,
                                 tq718_getAnalogChannelExcitationType, 2, 3, {w(0x34, 0xBFFF, 0xA000)}, 3));
    c.push_back(indexed<ViInt16>("AnalogChannelSense_local", tq718_setAnalogChannelSense, tq718_getAnalogChannelSense,
                                 3, 1, {w(0x38, 0x4000, 0x4000), w(0x20, 1u << 10, 1u << 10)}, 1));
    c.push_back(indexed<ViInt16>("AnalogChannelSense_remote", tq718_setAnalogChannelSense, tq718_getAnalogChannelSense,
                                 1, 2, {w(0x30, 0x4000, 0), w(0x20, 1u << 2, 0)}, 2));
    // Channel 2's completion field holds bit 5 of the register.
    c.push_back(indexed<ViInt16>("AnalogChannelBridgeConfiguration_2_quarter",
                                 tq718_setAnalogChannelBridgeConfiguration, tq718_getAnalogChannelBridgeConfiguration,
                                 2, 1, {w(0x20, 0x30, 0x20)}, 1));
    c.push_back(indexed<ViInt16>("AnalogChannelBridgeConfiguration_4_half", tq718_setAnalogChannelBridgeConfiguration,
                                 tq718_getAnalogChannelBridgeConfiguration, 4, 2, {w(0x20, 0x3000, 0x1000)}, 2));
    // Configurations 3 and 4 share a completion code; the board reads back 3.
    c.push_back(indexed<ViInt16>("AnalogChannelBridgeConfiguration_1_4", tq718_setAnalogChannelBridgeConfiguration,
                                 tq718_getAnalogChannelBridgeConfiguration, 1, 4, {w(0x20, 0x3, 0)}, 3, 4));
    c.push_back(indexed<ViBoolean>("AnalogChannelBridgeBalanceEnable_3", tq718_setAnalogChannelBridgeBalanceEnable,
                                   tq718_getAnalogChannelBridgeBalanceEnable, 3, 1, {w(0x58, 0xFFFF, 0)}, 1));
    c.push_back(indexed<ViInt16>("AnalogChannelShuntCalPolarity", tq718_setAnalogChannelShuntCalPolarity,
                                 tq718_getAnalogChannelShuntCalPolarity, 2, 4, {}, 4));
    c.push_back(indexed<ViReal64>("AnalogChannelPositiveShuntedPcnt", tq718_setAnalogChannelPositiveShuntedPcnt,
                                  tq718_getAnalogChannelPositiveShuntedPcnt, 3, 12.5, {}, 12.5));
    c.push_back(indexed<ViReal64>("AnalogChannelNegativeShuntedPcnt", tq718_setAnalogChannelNegativeShuntedPcnt,
                                  tq718_getAnalogChannelNegativeShuntedPcnt, 4, -7.25, {}, -7.25));
    c.push_back(indexed<ViInt16>("DemoAnalogChannelType", tq718_setDemoAnalogChannelType,
                                 tq718_getDemoAnalogChannelType, 2, 5, {}, 5));
    c.push_back(indexed<ViReal64>("DemoAnalogChannelScale", tq718_setDemoAnalogChannelScale,
                                  tq718_getDemoAnalogChannelScale, 1, 2.5, {}, 2.5));
    c.push_back(indexed<ViReal64>("DemoAnalogChannelOffset", tq718_setDemoAnalogChannelOffset,
                                  tq718_getDemoAnalogChannelOffset, 4, -1.0, {}, -1.0));
    c.push_back(indexed<ViReal64>("DemoAnalogChannelNoise", tq718_setDemoAnalogChannelNoise,
                                  tq718_getDemoAnalogChannelNoise, 3, 0.01, {}, 0.01));
    // The first enabled event channel puts the event word into the scan.
    c.push_back(indexed<ViBoolean>("EventChannelEnable_15", tq718_setEventChannelEnable, tq718_getEventChannelEnable,
                                   15, 1, {w(0x14, 1u << 13, 1u << 13)}, 1));
    c.push_back(indexed<ViBoolean>("EventChannelEnable_all", tq718_setEventChannelEnable, tq718_getEventChannelEnable,
                                   0, 1, {w(0x14, 1u << 13, 1u << 13)}, 1, 1, 9));

    // Register accessors that reach the board whatever the simulation flag.
    Case calibrator = session<ViInt16>("CalibratorVoltage_range4", tq718_setCalibratorVoltage,
                                       tq718_getCalibratorVoltage, 3, {w(0x74, 0x1FFF, 0x8)}, 3);
    calibrator.boardAlways = true;
    c.push_back(calibrator);
    Case negative = session<ViInt16>("CalibratorVoltage_negativeRange13", tq718_setCalibratorVoltage,
                                     tq718_getCalibratorVoltage, 26, {w(0x74, 0x1FFF, 0x406)}, 26);
    negative.boardAlways = true;
    c.push_back(negative);
    Case source = session<ViInt16>("CalibrationSource_1", tq718_setCalibrationSource, tq718_getCalibrationSource, 1,
                                   {w(0x74, 0x6000, 2u << 13)}, 1);
    source.boardAlways = true;
    c.push_back(source);
    Case mask = session<ViUInt32>("EventEnableMask", tq718_setEventEnableMask, tq718_getEventEnableMask, 0x8005u,
                                  {w(0xD0, 0x8005, 0x5)}, 0x5, 0x5);
    mask.boardAlways = true;
    c.push_back(mask);
    return c;
}

class Properties : public Board718Test, public ::testing::WithParamInterface<Case>
{
};

TEST_P(Properties, WritesTheBoardAndReadsBack)
{
    const Case &c = GetParam();
    addBoard();
    const ViSession vi = open();
    clearWrites();
    ASSERT_EQ(c.set(vi), VI_SUCCESS);
    expectWrites(writes(), c.writes);
    double value = -1;
    ASSERT_EQ(c.get(vi, &value), VI_SUCCESS);
    EXPECT_NEAR(value, c.readBack, 1e-9 * (1 + std::fabs(c.readBack)));
}

TEST_P(Properties, InSimulationKeepsTheValueOffTheBoard)
{
    const Case &c = GetParam();
    addBoard();
    const ViSession vi = open();
    ASSERT_EQ(tq718_setSimulationMode(vi, 1), VI_SUCCESS);
    clearWrites();
    ASSERT_EQ(c.set(vi), VI_SUCCESS);
    if (c.boardAlways)
        expectWrites(writes(), c.writes);
    else
        EXPECT_TRUE(writes().empty()) << ::testing::PrintToString(writes());
    double value = -1;
    ASSERT_EQ(c.get(vi, &value), VI_SUCCESS);
    EXPECT_NEAR(value, c.boardAlways ? c.readBack : c.stored, 1e-9 * (1 + std::fabs(c.stored)));
}

INSTANTIATE_TEST_SUITE_P(Each, Properties, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case> &info) { return info.param.label; });

} // namespace
} // namespace tq718test
