// VISA resource names of the PXI interface: instruments and the memory
// access resource.
#pragma once

#include <cstdint>
#include <string>

#include "tq/visatype.h"

namespace tq::sim {

struct ResourceName {
    enum class Kind { Instrument, MemoryAccess };
    Kind kind = Kind::Instrument;
    uint16_t interfaceNumber = 0;
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
// VI_ERROR_RSRC_NFOUND for a well-formed name of another interface type
// (GPIB, ASRL, TCPIP, USB, VXI, ...), which this library does not have;
// VI_ERROR_INV_RSRC_NAME for anything else.
ViStatus parseResourceName(const std::string &text, ResourceName &out);

// The expanded name of an instrument: "PXI<bus>::<device>[::<function>]::INSTR".
std::string canonicalInstrumentName(int bus, int device, int function);
std::string canonicalMemoryName(uint16_t interfaceNumber);

} // namespace tq::sim
