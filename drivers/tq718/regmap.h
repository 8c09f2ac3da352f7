// Register map of the model 718 board and the encodings of its fields.
//
// Everything the driver knows about where a setting lives on the board is
// here: offsets, field positions, source codes, the input-range table and
// the option words. The accessors (properties.cpp, channels.cpp) only name
// these fields.
#pragma once

#include <cstdint>

#include "tq/visatype.h"

namespace tq718::reg
{

// Address spaces: the PCI bridge with its DMA engine, and the card.
constexpr ViUInt16 kBar0 = VI_PXI_BAR0_SPACE; // 11
constexpr ViUInt16 kBar2 = VI_PXI_BAR2_SPACE; // 13

// A field of a 32-bit register: mask (unshifted) and shift, as the
// framework's register-field operations take them.
struct Field {
    ViBusAddress offset;
    ViUInt32 mask;
    ViUInt16 shift;
};

// ---- PCI bridge (BAR0) ------------------------------------------------------

constexpr ViBusAddress kInterruptControl = 0x68;
constexpr ViUInt32 kInterruptControlEnable = 0x40801; // ORed in by every interrupt-enable write
constexpr ViUInt32 kInterruptControlDma = 0x40000;    // cleared when the DMA ring is freed
constexpr ViBusAddress kDmaMode = 0x80;
constexpr ViUInt32 kDmaModeRing = 0x5BC2;
constexpr ViUInt32 kDmaModeOneShot = 0x5FC2; // also interrupts when the chain is done
constexpr ViBusAddress kDmaDescriptor = 0x90;
constexpr ViUInt32 kDescriptorInPci = 0x1;
constexpr ViBusAddress kDmaCommand = 0xA8;
constexpr ViUInt32 kDmaEnable = 0x1;
constexpr ViUInt32 kDmaStart = 0x3;
constexpr ViUInt32 kDmaAbort = 0x4;
constexpr ViUInt32 kDmaDone = 0x10;

// DMA descriptors: four 32-bit words {segment bus address, local address,
// length in bytes, next word}. The next word is the next descriptor's bus
// address ORed with flags.
constexpr ViUInt32 kDescriptorLocal = 0x6000;
constexpr ViUInt32 kNextEndOfChain = 0x2;
constexpr ViUInt32 kNextRing = 0xD;    // in PCI space, interrupt after the segment, board to host
constexpr ViUInt32 kNextOneShot = 0x9; // in PCI space, board to host, no interrupt
constexpr ViUInt32 kNextFlags = 0xF;

// ---- Card (BAR2) ---------------------------------------------------------------

constexpr ViBusAddress kControl = 0x00;
constexpr Field kClockSourceField{kControl, 0x3, 2}; // 0 internal, 2 external
constexpr ViUInt32 kClockSourceExternal = 2;
constexpr Field kAcquisitionEnable{kControl, 0x1, 4};
constexpr Field kTransientEnable{kControl, 0x1, 5};
constexpr ViUInt32 kAcquisitionActive = 1u << 12; // read

constexpr ViBusAddress kClockDivider = 0x04;
constexpr Field kSoftwareStart{0x08, 0x1, 0};

constexpr ViBusAddress kMux = 0x0C;
constexpr ViBusAddress kRange = 0x10;
constexpr ViBusAddress kChannelEnable = 0x14;
constexpr Field kEventWordEnable{kChannelEnable, 0x1, 13};
constexpr ViBusAddress kFilter = 0x18;

// Bridge completion (2 bits per channel at 4(c-1)) and sense (bit 4c-2).
// Bit 5 is channel 2's upper completion bit, read and written like every
// other channel's: the register holds what the driver wrote. Whether the
// board came back from a reset is read from the reset register instead
// (kResetBusy below), so no bit of this register means two things.
constexpr ViBusAddress kCompletion = 0x20;
constexpr ViBusAddress kShunt = 0x24;

constexpr ViBusAddress kCalibrator = 0x74;
constexpr Field kCalibratorVoltage{kCalibrator, 0x1FFF, 0};
constexpr Field kCalibrationSource{kCalibrator, 0x3, 13};

constexpr ViBusAddress kBufferSource = 0x78;
constexpr ViBusAddress kLimitMode = 0x80; // bit set: level and slope
constexpr ViBusAddress kLimitOn = 0x84;
constexpr ViBusAddress kLimitViolations = 0x88; // write ones to clear

constexpr ViBusAddress kTriggers = 0x90;
constexpr Field kExternalClockLine{kTriggers, 0xF, 0};
constexpr Field kExternalClock{kTriggers, 0x1, 4};
constexpr Field kStartSource{kTriggers, 0xF, 5};
constexpr Field kStartArm{kTriggers, 0x1, 9};
constexpr Field kStopSource{kTriggers, 0xF, 10};
constexpr Field kStopArm{kTriggers, 0x1, 14};
constexpr Field kTriggerMode1{kTriggers, 0x1, 15};
constexpr Field kTransientSource{kTriggers, 0xF, 16};

constexpr ViBusAddress kTriggerOutputs = 0x94;
constexpr Field kClockToPxiLine{kTriggerOutputs, 0x7, 0};
constexpr Field kClockToPxiOn{kTriggerOutputs, 0x1, 3};
constexpr Field kLimitToPxiLine{kTriggerOutputs, 0x7, 8};
constexpr Field kLimitToPxiOn{kTriggerOutputs, 0x1, 11};

constexpr ViBusAddress kExcitationAlarms = 0xA0; // read
constexpr ViBusAddress kEventEnable = 0xD0;
constexpr ViUInt32 kGlobalInterruptEnable = 1u << 15;
constexpr Field kGlobalInterruptField{kEventEnable, 0x1, 15};
constexpr ViBusAddress kEventStatus = 0xD4; // write ones to clear
// Status bits the data path reads: the transient trigger (event 15's bit)
// and the end of a DMA segment (event 17).
constexpr ViUInt32 kStatusTransient = 1u << 14;
constexpr ViUInt32 kStatusSegment = 1u << 16;
constexpr Field kSegmentEventEnable{kEventEnable, 0x1, 16};

// Board reset: writing bit 0 starts a reset; the board clears the bit when
// the reset has finished and it is ready again.
constexpr ViBusAddress kReset = 0xE0;
constexpr ViUInt32 kResetBusy = 0x1;

constexpr ViBusAddress kDmaPosition = 0xE4;
constexpr ViBusAddress kTransientScans = 0xF0;
constexpr ViBusAddress kDmaWriteCount = 0xF4;
constexpr ViBusAddress kTransientPosition = 0x200;

constexpr ViBusAddress kOptionLow = 0x7004;  // 16-bit
constexpr ViBusAddress kOptionHigh = 0x7006; // 16-bit
constexpr ViBusAddress kFilterOptionLow = 0x7008;
constexpr ViBusAddress kFilterOptionHigh = 0x700A;

// ---- Per-channel places (c = 1 to 4) ------------------------------------------

inline Field nibble(ViBusAddress offset, int c)
{
    return Field{offset, 0xF, static_cast<ViUInt16>(4 * (c - 1))};
}
inline Field channelBit(ViBusAddress offset, int c)
{
    return Field{offset, 0x1, static_cast<ViUInt16>(c - 1)};
}
inline Field completionField(int c)
{
    return Field{kCompletion, 0x3, static_cast<ViUInt16>(4 * (c - 1))};
}
inline Field senseField(int c)
{
    return Field{kCompletion, 0x1, static_cast<ViUInt16>(4 * c - 2)};
}
inline ViBusAddress excitation(int c)
{
    return 0x2C + 4 * static_cast<ViBusAddress>(c);
}
constexpr ViUInt32 kExcitationSense = 1u << 14;
constexpr ViUInt32 kExcitationOn = 0x8000;
constexpr ViUInt32 kExcitationCurrent = 0x2000;
inline ViBusAddress balanceDac(int c)
{
    return 0x4C + 4 * static_cast<ViBusAddress>(c);
} // 16-bit
inline ViBusAddress limitLow(int c)
{
    return 0x5FC + 4 * static_cast<ViBusAddress>(c);
} // 16-bit
inline ViBusAddress limitHigh(int c)
{
    return 0x5FE + 4 * static_cast<ViBusAddress>(c);
} // 16-bit

// Calibration constants in the board's memory, each a double as two 32-bit
// words, low word first: the range coefficient H(r) and the calibration-path
// offset O(c).
inline ViBusAddress rangeCoefficient(int r)
{
    return 0x7008 + 8 * static_cast<ViBusAddress>(r);
}
inline ViBusAddress calPathOffset(int c)
{
    return 0x7078 + 8 * static_cast<ViBusAddress>(c - 1);
}

// ---- Codes ----------------------------------------------------------------------

// Trigger source codes of the 0x90 fields.
constexpr ViUInt32 kSourcePxiStar = 8;
constexpr ViUInt32 kSourceIo1 = 9;
constexpr ViUInt32 kSourceIo2 = 10;
constexpr ViUInt32 kSourceLimitViolation = 15; // transient source only

// Start/stop/transient conditions: 1 I/O 1, 2 I/O 2, 3-10 PXI lines 0-7,
// 11 PXI star, 12 limit violation (transient only). -1 for no code.
int conditionCode(int condition);
// The condition a source field names; -1 when no condition uses the code.
int conditionOfCode(ViUInt32 code, bool transient);

// Clock sources: 1 internal, 2 I/O 1, 3 I/O 2, 4-11 PXI lines 0-7, 12 PXI
// star. Line code of an external source (-1 for the internal clock).
int clockLineCode(int source);
// The external source a line code names; -1 when none does.
int clockSourceOfCode(ViUInt32 code);

// Input ranges 1 to 13.
constexpr int kRangeCount = 13;
struct InputRange {
    double gain;
    const char *name;
    ViUInt32 calibratorCode;
};
const InputRange &inputRange(int r); // r in 1..13
inline double fullScale(int r)
{
    return 10.0 / inputRange(r).gain;
}

// Calibrator voltage settings 0 to 26 and their 13-bit codes.
ViUInt32 calibratorCode(int setting);
// Calibration source 0, 1, 2 <-> the 2-bit field (0, 2, 1); -1 for field 3.
ViUInt32 calibrationSourceCode(int source);
int calibrationSourceOfCode(ViUInt32 code);

// Bridge configuration 1-4 <-> completion code (2, 1, 0, 0); -1 for code 3.
ViUInt32 completionCode(int configuration);
int configurationOfCompletion(ViUInt32 code);

// Filter settings 1-9 <-> 4-bit codes (9 "No Filtering" is code 0).
ViUInt32 filterCode(int setting);
int filterOfCode(ViUInt32 code);
const char *filterName(int setting);

// Balance DAC value -> 16-bit register code.
ViUInt16 balanceCode(int dac);

// Nominal volts per ADC count on range 1; the default slope of every range is
// this divided by the range's gain.
constexpr double kVoltsPerCount = 0.00038427734375;

// Option words.
struct Options {
    ViUInt32 board = 0;       // 0x7004 | 0x7006 << 16
    ViUInt16 filterReady = 1; // bit 1 of the board word clear
    ViUInt16 filterType = 0;
    ViUInt16 filterOption = 0;
};
// Decodes the board word and, when the board has a filter card, the low
// filter word.
Options decodeOptions(ViUInt32 boardWord, bool haveFilterWord, ViUInt16 filterWord);

} // namespace tq718::reg
