// The model 176's typed settings, one row per kind: the enable flags and
// names of the analog inputs, digital lines and DACs, and the two settings
// that are one bit each of a device register (input range, direction).
#include <string>

#include "fixture176.h"

namespace
{

using namespace ux176test;

constexpr ViSession kUnknownSession = 0x7777;

struct ChannelKind {
    const char *name;
    ViStatus (*setEnable)(ViSession, ViInt16, ViInt16);
    ViStatus (*getEnable)(ViSession, ViInt16, ViUInt16 *);
    ViStatus (*setName)(ViSession, ViInt16, ViConstString);
    ViStatus (*getName)(ViSession, ViInt16, ViChar *);
    ViInt16 count;
};

const ChannelKind kKinds[] = {
    {"AnalogChannel", ux176_setAnalogChannelEnable, ux176_getAnalogChannelEnable, ux176_setAnalogChannelName,
     ux176_getAnalogChannelName, 6},
    {"DigitalChannel", ux176_setDigitalChannelEnable, ux176_getDigitalChannelEnable, ux176_setDigitalChannelName,
     ux176_getDigitalChannelName, 16},
    {"DacChannel", ux176_setDacChannelEnable, ux176_getDacChannelEnable, ux176_setDacChannelName,
     ux176_getDacChannelName, 2},
};

TEST_F(UsbTest, EnablesAndNamesOfEachKind)
{
    ViSession vi = open();
    for (const ChannelKind &kind : kKinds) {
        SCOPED_TRACE(kind.name);
        const ViInt16 last = kind.count;
        ViUInt16 enable = 7;
        // Any value but 0 reads back as 1; index 0 sets every channel of the kind.
        ASSERT_EQ(kind.setEnable(vi, last, 5), VI_SUCCESS);
        ASSERT_EQ(kind.getEnable(vi, last, &enable), VI_SUCCESS);
        EXPECT_EQ(enable, 1);
        ASSERT_EQ(kind.getEnable(vi, 1, &enable), VI_SUCCESS);
        EXPECT_EQ(enable, 0) << "the others untouched";
        for (ViInt16 value : {ViInt16(1), ViInt16(0)}) {
            ASSERT_EQ(kind.setEnable(vi, 0, value), VI_SUCCESS);
            for (ViInt16 k = 1; k <= last; ++k) {
                ASSERT_EQ(kind.getEnable(vi, k, &enable), VI_SUCCESS);
                EXPECT_EQ(enable, value) << k;
            }
        }
        for (ViInt16 index : {ViInt16(-1), ViInt16(last + 1)})
            EXPECT_EQ(kind.setEnable(vi, index, 1), VI_ERROR_INV_PARAMETER) << index;
        for (ViInt16 index : {ViInt16(0), ViInt16(last + 1)})
            EXPECT_EQ(kind.getEnable(vi, index, &enable), VI_ERROR_INV_PARAMETER) << index;
        EXPECT_EQ(kind.getEnable(vi, 1, nullptr), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(kind.setEnable(kUnknownSession, 1, 1), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(kind.getEnable(kUnknownSession, 1, &enable), VI_ERROR_INV_OBJECT);

        char name[256] = {};
        ASSERT_EQ(kind.getName(vi, last, name), VI_SUCCESS);
        EXPECT_EQ(std::string(name), kind.name + std::to_string(last));
        const std::string longest(127, 'n');
        ASSERT_EQ(kind.setName(vi, last, longest.c_str()), VI_SUCCESS);
        EXPECT_EQ(kind.setName(vi, last, std::string(128, 'x').c_str()), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(kind.setName(vi, last, nullptr), VI_ERROR_INV_PARAMETER);
        ASSERT_EQ(kind.getName(vi, last, name), VI_SUCCESS);
        EXPECT_EQ(name, longest) << "a refused name leaves the stored one";
        for (ViInt16 index : {ViInt16(0), ViInt16(last + 1)}) {
            EXPECT_EQ(kind.setName(vi, index, "x"), VI_ERROR_INV_PARAMETER) << index;
            EXPECT_EQ(kind.getName(vi, index, name), VI_ERROR_INV_PARAMETER) << index;
        }
        EXPECT_EQ(kind.getName(vi, 1, nullptr), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(kind.setName(kUnknownSession, 1, "x"), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(kind.getName(kUnknownSession, 1, name), VI_ERROR_INV_OBJECT);
    }
}

// A setting that is one bit of a device register: with the device it is
// checked and written by read-modify-write; simulated it is stored unchecked.
struct BitSetting {
    const char *name;
    ViStatus (*set)(ViSession, ViInt16, ViInt16);
    ViStatus (*get)(ViSession, ViInt16, ViInt16 *);
    ViInt16 count;
    uint8_t reg;
    ViInt16 index;
    uint16_t bit;    // the index's bit
    ViInt16 setsBit; // the value that sets it (the other of 0 and 1 clears it)
    bool keepsWhatItReads;
};

const BitSetting kBitSettings[] = {
    {"input range of group 3", ux176_setAnalogGroupInputVoltageRange, ux176_getAnalogGroupInputVoltageRange, 3,
     UX176_REG_RANGE, 3, 0x4, 0, false},
    {"direction of lines 9-16", ux176_setDigitalDirection, ux176_getDigitalDirection, 9, UX176_REG_DIRECTION, 9, 0x100,
     1, true},
    {"direction of line 1", ux176_setDigitalDirection, ux176_getDigitalDirection, 9, UX176_REG_DIRECTION, 1, 0x1, 1,
     true},
};

TEST_F(UsbTest, RegisterBitSettings)
{
    for (const BitSetting &row : kBitSettings) {
        SCOPED_TRACE(row.name);
        ViSession vi = open();
        const ViInt16 clearsBit = row.setsBit ? 0 : 1;
        ASSERT_EQ(simusb_setRegister(kSerial, row.reg, static_cast<uint16_t>(0xFFFF & ~row.bit)), 0);
        ASSERT_EQ(row.set(vi, row.index, row.setsBit), VI_SUCCESS);
        EXPECT_EQ(reg(row.reg), 0xFFFF) << "the other bits kept";
        ASSERT_EQ(row.set(vi, row.index, clearsBit), VI_SUCCESS);
        EXPECT_EQ(reg(row.reg), 0xFFFF & ~row.bit);
        ViInt16 got = -1;
        ASSERT_EQ(row.get(vi, row.index, &got), VI_SUCCESS);
        EXPECT_EQ(got, clearsBit);
        for (ViInt16 bad : {ViInt16(-1), ViInt16(2)})
            EXPECT_EQ(row.set(vi, row.index, bad), VI_ERROR_INV_PARAMETER) << bad;
        EXPECT_EQ(reg(row.reg), 0xFFFF & ~row.bit) << "a refused value writes nothing";

        // A failed exchange is returned and stores nothing.
        ASSERT_EQ(simusb_injectFault(kSerial, SIMUSB_FAIL_WRITE, TQ_USBX_WRITE_FAILED, 1, 0), 0);
        EXPECT_LT(row.set(vi, row.index, row.setsBit), VI_SUCCESS);
        ASSERT_EQ(simusb_clearFaults(kSerial), 0);
        EXPECT_EQ(reg(row.reg), 0xFFFF & ~row.bit);

        // The getter reads the device: changed behind the driver's back.
        ASSERT_EQ(simusb_setRegister(kSerial, row.reg, 0xFFFF), 0);
        ASSERT_EQ(row.get(vi, row.index, &got), VI_SUCCESS);
        EXPECT_EQ(got, row.setsBit);

        ASSERT_EQ(ux176_setSimulationMode(vi, 1), VI_SUCCESS);
        ASSERT_EQ(row.get(vi, row.index, &got), VI_SUCCESS);
        EXPECT_EQ(got, row.keepsWhatItReads ? row.setsBit : clearsBit) << "what the getter read is kept, or not";
        ASSERT_EQ(row.set(vi, row.index, 7), VI_SUCCESS) << "simulated: stored unchecked";
        ASSERT_EQ(row.get(vi, row.index, &got), VI_SUCCESS);
        EXPECT_EQ(got, 7);
        EXPECT_EQ(reg(row.reg), 0xFFFF) << "nothing reaches the device";

        for (ViInt16 index : {ViInt16(0), ViInt16(row.count + 1)}) {
            EXPECT_EQ(row.set(vi, index, 1), VI_ERROR_INV_PARAMETER) << index;
            EXPECT_EQ(row.get(vi, index, &got), VI_ERROR_INV_PARAMETER) << index;
        }
        EXPECT_EQ(row.get(vi, row.index, nullptr), VI_ERROR_INV_PARAMETER);
        EXPECT_EQ(row.set(kUnknownSession, row.index, 1), VI_ERROR_INV_OBJECT);
        EXPECT_EQ(row.get(kUnknownSession, row.index, &got), VI_ERROR_INV_OBJECT);
        close(vi);
    }
}

} // namespace
