// The serial crate: a chassis on a VISA serial port with a controller at each
// of consecutive logical addresses and units in its slots 1-16, spoken to in
// short ASCII lines (one request written, one reply line read).
//
//   "$Z\r\n"                 wakes the line; never answered
//   "$V<nn>\r\n"             is there a controller at address nn? "$V<hex>\r\n"
//   "$R<nn><mm><rr>\r\n"     register rr of the unit in slot mm: "$D<hex>\r\n"
//   "$W<nn><mm>080a\r\n"     0x0a into register 08: "$OK\r\n"
//
// Every reply is read whole and checked here: a line that is not exactly the
// expected form is no answer, never a value.
#pragma once

#include <cstdarg>
#include <string_view>

#include "tq/visatype.h"

namespace tq::manager
{

// How long a crate may take to answer during discovery (milliseconds).
constexpr ViUInt32 kCrateTimeoutMs = 50;
// The unit types a unit reports in its register 60.
constexpr ViUInt16 kCrateUnitTypes[] = {0x20, 0x21, 0x30, 0x41, 0x43, 0x50};

// The formatted write-then-read exchange of VISA (viVQueryf's shape): the
// write format's arguments, then the read format's pointers, from one list.
using QueryFunction = ViStatus (*)(ViSession vi, ViConstString writeFormat, ViConstString readFormat, va_list args);

// One exchange through the given query function (the bound viVQueryf when
// null); its status, a time-out being VI_ERROR_TMO.
ViStatus queryInstrument(QueryFunction query, ViSession vi, const char *writeFormat, const char *readFormat, ...);

// Reply lines. The hexadecimal value of "$<tag><1-4 hex digits>\r\n" (a bare
// "\n" ending is taken too); false for anything else.
bool readCrateValue(std::string_view line, char tag, ViUInt16 &value);
// "$OK\r\n" (or "$OK\n").
bool isCrateOk(std::string_view line);

// The type of the unit in slot `slot` of the controller at `address`:
// non-negative with *type set, VI_ERROR_RSRC_NFOUND when the unit does not
// identify itself (its replies included), or the failing exchange's status.
// *type is 0 unless the unit identified itself.
ViStatus probeCrateUnit(ViSession vi, ViUInt16 address, ViUInt16 slot, ViUInt16 *type, QueryFunction query = nullptr);

// Whether a controller answers at the logical address: 0 when it does,
// VI_ERROR_RSRC_NFOUND when the address is silent or the reply is not a
// presence reply, else the failing exchange's status.
ViStatus askCratePresence(ViSession vi, ViUInt16 address, QueryFunction query = nullptr);

} // namespace tq::manager
