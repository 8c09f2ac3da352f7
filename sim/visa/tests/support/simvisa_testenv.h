// Tests that run on the simulated VISA library reach it the way the drivers
// do: the test's CTest entry points systemroot (or vpnppath) at a directory
// of its own, and layOutVisa() puts a link to the built library where the
// binding looks for it. SimVisa then finds the test control in that same
// loaded library.
#pragma once

#include <string>

#include "tq/simvisa.h"

namespace tq::test {

// Path of the built simulated library.
std::string simVisaLibrary();
// Links <dir>/libvisa32.so to library (the simulated one by default),
// creating dir; false on failure.
bool layOutVisa(const std::string &dir, const std::string &library = simVisaLibrary());
// Removes what layOutVisa put there (a test that needs no library starts with it).
void removeVisa(const std::string &dir);
// The directory the binding searches in this process (from systemroot or
// vpnppath), or "" when neither is set.
std::string bindingDirectory();

struct SimVisa {
#define TQ_SIMVISA_FN(name) decltype(&::name) name = nullptr;
    TQ_SIMVISA_FN(simvisa_reset)
    TQ_SIMVISA_FN(simvisa_loadInventory)
    TQ_SIMVISA_FN(simvisa_addInstrument)
    TQ_SIMVISA_FN(simvisa_removeInstrument)
    TQ_SIMVISA_FN(simvisa_readRegister)
    TQ_SIMVISA_FN(simvisa_writeRegister)
    TQ_SIMVISA_FN(simvisa_getWriteLog)
    TQ_SIMVISA_FN(simvisa_clearWriteLog)
    TQ_SIMVISA_FN(simvisa_failAccess)
    TQ_SIMVISA_FN(simvisa_failOffset)
    TQ_SIMVISA_FN(simvisa_refuseMechanism)
    TQ_SIMVISA_FN(simvisa_clearFaults)
    TQ_SIMVISA_FN(simvisa_raiseInterrupt)
    TQ_SIMVISA_FN(simvisa_pulseLine)
    TQ_SIMVISA_FN(simvisa_configure)
    TQ_SIMVISA_FN(simvisa_configureBoard)
    TQ_SIMVISA_FN(simvisa_flushEvents)
    TQ_SIMVISA_FN(simvisa_dmaRead)
    TQ_SIMVISA_FN(simvisa_dmaWrite)
    TQ_SIMVISA_FN(simvisa_openSessionCount)
    TQ_SIMVISA_FN(simvisa_lostInterrupts)
    TQ_SIMVISA_FN(simvisa_getOutputLog)
    TQ_SIMVISA_FN(simvisa_clearOutputLog)
    TQ_SIMVISA_FN(simvisa_getSerialLog)
    TQ_SIMVISA_FN(simvisa_clearSerialLog)
    TQ_SIMVISA_FN(simvisa_getResmanLog)
    TQ_SIMVISA_FN(simvisa_clearResmanLog)
    TQ_SIMVISA_FN(simvisa_failResman)
#undef TQ_SIMVISA_FN

    // Loads the library at the binding's path and resolves every function;
    // false when anything is missing.
    bool load();
};

} // namespace tq::test
