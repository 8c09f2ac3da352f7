// VISA resource names of the PXI interface (instruments and the memory
// access resource) and of the serial interface.
#pragma once

#include <cstdint>
#include <string>

#include "tq/visatype.h"

namespace tq::sim {

struct ResourceName {
    enum class Kind { Instrument, MemoryAccess, Serial };
    Kind kind = Kind::Instrument;
    uint16_t interfaceNumber = 0; // for a serial port, its board number
    // An instrument is named either by bus and device or by chassis and slot
    // (the other pair is -1); the function defaults to 0.
    int bus = -1;
    int device = -1;
    int chassis = -1;
    int slot = -1;
    int function = 0;
};

// Parses the PXI forms, without regard to case:
//   PXI[bus]::device[::function][::INSTR]
//   PXI[interface]::bus-device[.function][::INSTR]
//   PXI[interface]::CHASSISc::SLOTs[::FUNCf][::INSTR]
//   PXI[interface]::MEMACC
//   ASRL[board][::INSTR]
// VI_ERROR_RSRC_NFOUND for a well-formed name of another interface type
// (GPIB, TCPIP, USB, VXI, ...), which this library does not have;
// VI_ERROR_INV_RSRC_NAME for anything else.
ViStatus parseResourceName(const std::string &text, ResourceName &out);

// True for a name made by appending "_<more>" to a well-formed resource name
// ("PXI1::14::INSTR_IP2", "ASRL1::INSTR_LA0_SLOT3"): callers build such names
// for parts of an instrument; no VISA resource is named so.
bool isDerivedResourceName(const std::string &text);

// The expanded name of an instrument: "PXI<bus>::<device>[::<function>]::INSTR".
std::string canonicalInstrumentName(int bus, int device, int function);
std::string canonicalMemoryName(uint16_t interfaceNumber);
// "ASRL<board>::INSTR".
std::string canonicalSerialName(uint16_t board);

} // namespace tq::sim
