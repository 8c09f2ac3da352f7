// Set-up of the benchmarks of drivers on the simulated VISA library: the
// library laid out where the binding looks for VISA, bound by the driver's
// first init, its test control loaded from the same library, and simulated
// boards with a session on them. Any failure ends the benchmark: a figure
// measured without the board would mean nothing.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tq/platform/dynlib.h"
#include "tq/simvisa.h"
#include "tq/visatype.h"

namespace benchsim
{

// The test control functions the benchmarks call.
struct Control {
    decltype(&simvisa_addInstrument) addInstrument = nullptr;
    decltype(&simvisa_writeRegister) writeRegister = nullptr;
    decltype(&simvisa_raiseInterrupt) raiseInterrupt = nullptr;
    decltype(&simvisa_flushEvents) flushEvents = nullptr;
    decltype(&simvisa_getOutputLog) getOutputLog = nullptr;
    decltype(&simvisa_clearOutputLog) clearOutputLog = nullptr;
    decltype(&simvisa_reset) reset = nullptr;
};

// Loaded at the first call: after the driver has bound VISA (bindDriver).
inline Control &control()
{
    static Control c = [] {
        Control k;
        tq::platform::LibraryHandle lib = tq::platform::loadLibrary(TQ_SIM_VISA_LIBRARY);
        if (!lib)
            std::abort();
        auto find = [&](const char *name) {
            void *p = tq::platform::findSymbol(lib, name);
            if (!p)
                std::abort();
            return p;
        };
        k.addInstrument = reinterpret_cast<decltype(k.addInstrument)>(find("simvisa_addInstrument"));
        k.writeRegister = reinterpret_cast<decltype(k.writeRegister)>(find("simvisa_writeRegister"));
        k.raiseInterrupt = reinterpret_cast<decltype(k.raiseInterrupt)>(find("simvisa_raiseInterrupt"));
        k.flushEvents = reinterpret_cast<decltype(k.flushEvents)>(find("simvisa_flushEvents"));
        k.getOutputLog = reinterpret_cast<decltype(k.getOutputLog)>(find("simvisa_getOutputLog"));
        k.clearOutputLog = reinterpret_cast<decltype(k.clearOutputLog)>(find("simvisa_clearOutputLog"));
        k.reset = reinterpret_cast<decltype(k.reset)>(find("simvisa_reset"));
        return k;
    }();
    return c;
}

// The driver finds the simulated library where it looks for VISA: a
// directory of the run's own (/tmp/bench_<name>_XXXXXX) as systemroot.
inline void layOut(const char *name)
{
    std::string dir = std::string("/tmp/bench_") + name + "_XXXXXX";
    if (!mkdtemp(dir.data()))
        std::abort();
    const std::string system32 = dir + "/system32";
    mkdir(system32.c_str(), 0755);
    if (symlink(TQ_SIM_VISA_LIBRARY, (system32 + "/libvisa32.so").c_str()) != 0)
        std::abort();
    setenv("systemroot", dir.c_str(), 1);
}

// Lays the library out, lets the driver bind it (a session without
// instrument, closed again), then loads the control.
template <typename Init, typename Close> void bindDriver(const char *name, Init init, Close close)
{
    layOut(name);
    ViSession vi = VI_NULL;
    init(nullptr, 0, 0, &vi);
    close(vi);
    control();
}

// A simulated board alone on the bus, and a session on it.
template <typename Init> ViSession openBoard(const char *resource, const char *settings, Init init)
{
    control().reset();
    if (control().addInstrument(resource, settings) != 0)
        std::abort();
    ViSession vi = VI_NULL;
    if (init(const_cast<ViRsrc>(resource), 0, 0, &vi) < 0)
        std::abort();
    return vi;
}

} // namespace benchsim
