#include "simvisa_testenv.h"

#include <unistd.h>

#include "tq/driver/visa_binding.h"
#include "tq/platform/dynlib.h"
#include "tq/platform/env.h"

namespace tq::test {

std::string simVisaLibrary() { return TQ_SIM_VISA_LIBRARY; }

bool layOutVisa(const std::string &dir, const std::string &library)
{
    if (!platform::makeDirectories(dir))
        return false;
    const std::string link = platform::joinPath(dir, "libvisa32.so");
    unlink(link.c_str());
    return symlink(library.c_str(), link.c_str()) == 0;
}

void removeVisa(const std::string &dir) { unlink(platform::joinPath(dir, "libvisa32.so").c_str()); }

std::string bindingDirectory()
{
    if (!platform::getEnv("systemroot") && !platform::getEnv("vpnppath"))
        return {};
    return platform::directoryOf(visa::visaLibraryPath());
}

bool SimVisa::load()
{
    platform::LibraryHandle lib = platform::loadLibrary(visa::visaLibraryPath());
    if (!lib)
        return false;
    bool ok = true;
#define TQ_SIMVISA_RESOLVE(name)                                                                                      \
    name = reinterpret_cast<decltype(name)>(platform::findSymbol(lib, #name));                                        \
    ok = ok && name != nullptr;
    TQ_SIMVISA_RESOLVE(simvisa_reset)
    TQ_SIMVISA_RESOLVE(simvisa_loadInventory)
    TQ_SIMVISA_RESOLVE(simvisa_addInstrument)
    TQ_SIMVISA_RESOLVE(simvisa_removeInstrument)
    TQ_SIMVISA_RESOLVE(simvisa_readRegister)
    TQ_SIMVISA_RESOLVE(simvisa_writeRegister)
    TQ_SIMVISA_RESOLVE(simvisa_getWriteLog)
    TQ_SIMVISA_RESOLVE(simvisa_clearWriteLog)
    TQ_SIMVISA_RESOLVE(simvisa_failAccess)
    TQ_SIMVISA_RESOLVE(simvisa_failOffset)
    TQ_SIMVISA_RESOLVE(simvisa_refuseMechanism)
    TQ_SIMVISA_RESOLVE(simvisa_clearFaults)
    TQ_SIMVISA_RESOLVE(simvisa_raiseInterrupt)
    TQ_SIMVISA_RESOLVE(simvisa_pulseLine)
    TQ_SIMVISA_RESOLVE(simvisa_configure)
    TQ_SIMVISA_RESOLVE(simvisa_configureBoard)
    TQ_SIMVISA_RESOLVE(simvisa_flushEvents)
    TQ_SIMVISA_RESOLVE(simvisa_dmaRead)
    TQ_SIMVISA_RESOLVE(simvisa_dmaWrite)
    TQ_SIMVISA_RESOLVE(simvisa_openSessionCount)
    TQ_SIMVISA_RESOLVE(simvisa_lostInterrupts)
    TQ_SIMVISA_RESOLVE(simvisa_getOutputLog)
    TQ_SIMVISA_RESOLVE(simvisa_clearOutputLog)
    TQ_SIMVISA_RESOLVE(simvisa_getSerialLog)
    TQ_SIMVISA_RESOLVE(simvisa_clearSerialLog)
    TQ_SIMVISA_RESOLVE(simvisa_getResmanLog)
    TQ_SIMVISA_RESOLVE(simvisa_clearResmanLog)
    TQ_SIMVISA_RESOLVE(simvisa_failResman)
#undef TQ_SIMVISA_RESOLVE
    return ok;
}

} // namespace tq::test
