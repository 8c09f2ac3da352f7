// The exported test control of the simulated library (tq/simvisa.h).
#include <cstring>
#include <new>

#include "library.h"
#include "tq/export.h"
#include "tq/simvisa.h"

using tq::sim::Instrument;
using tq::sim::Library;

namespace {

template <typename F> ViStatus withInstrument(const char *name, F &&f) noexcept
{
    try {
        if (!name)
            return VI_ERROR_RSRC_NFOUND;
        std::shared_ptr<Instrument> inst = Library::instance().instrument(name);
        return inst ? f(*inst) : VI_ERROR_RSRC_NFOUND;
    } catch (const std::bad_alloc &) {
        return VI_ERROR_ALLOC;
    } catch (...) {
        return VI_ERROR_SYSTEM_ERROR;
    }
}

template <typename F> ViStatus guardedControl(F &&f) noexcept
{
    try {
        return f();
    } catch (const std::bad_alloc &) {
        return VI_ERROR_ALLOC;
    } catch (...) {
        return VI_ERROR_SYSTEM_ERROR;
    }
}

ViStatus copyLog(const std::string &log, ViChar *text, ViUInt32 size, ViUInt32 *length)
{
    if (!length || (size && !text))
        return VI_ERROR_INV_PARAMETER;
    *length = static_cast<ViUInt32>(log.size());
    if (size == 0)
        return log.empty() ? VI_SUCCESS : VI_SUCCESS_MAX_CNT;
    const size_t n = log.size() < size - 1 ? log.size() : size - 1;
    memcpy(text, log.data(), n);
    text[n] = '\0';
    return n == log.size() ? VI_SUCCESS : VI_SUCCESS_MAX_CNT;
}

} // namespace

TQ_API void simvisa_reset(void)
{
    try {
        Library::instance().reset();
    } catch (...) {
    }
}

TQ_API ViStatus simvisa_loadInventory(const char *path)
{
    try {
        return path ? Library::instance().loadInventory(path) : VI_ERROR_FILE_ACCESS;
    } catch (...) {
        return VI_ERROR_SYSTEM_ERROR;
    }
}

TQ_API ViStatus simvisa_addInstrument(const char *rsrcName, const char *settings)
{
    try {
        if (!rsrcName)
            return VI_ERROR_INV_RSRC_NAME;
        return Library::instance().addInstrument(rsrcName, settings ? settings : "");
    } catch (const std::bad_alloc &) {
        return VI_ERROR_ALLOC;
    } catch (...) {
        return VI_ERROR_SYSTEM_ERROR;
    }
}

TQ_API ViStatus simvisa_removeInstrument(const char *rsrcName)
{
    try {
        return rsrcName ? Library::instance().removeInstrument(rsrcName) : VI_ERROR_RSRC_NFOUND;
    } catch (...) {
        return VI_ERROR_SYSTEM_ERROR;
    }
}

TQ_API ViStatus simvisa_readRegister(const char *rsrcName, ViUInt16 space, ViBusAddress offset, ViUInt16 width,
                                     ViUInt32 *value)
{
    return withInstrument(rsrcName, [&](Instrument &inst) {
        ViUInt32 v = 0;
        ViStatus s = inst.rawAccess(false, space, offset, width, v);
        if (s == VI_SUCCESS && value)
            *value = v;
        return value ? s : VI_ERROR_INV_PARAMETER;
    });
}

TQ_API ViStatus simvisa_writeRegister(const char *rsrcName, ViUInt16 space, ViBusAddress offset, ViUInt16 width,
                                      ViUInt32 value)
{
    return withInstrument(rsrcName, [&](Instrument &inst) { return inst.rawAccess(true, space, offset, width, value); });
}

TQ_API ViStatus simvisa_getWriteLog(const char *rsrcName, SimVisaWrite *entries, ViUInt32 max, ViUInt32 *count)
{
    return withInstrument(rsrcName, [&](Instrument &inst) {
        if (!count || (max && !entries))
            return VI_ERROR_INV_PARAMETER;
        *count = inst.copyWriteLog(entries, max);
        return VI_SUCCESS;
    });
}

TQ_API ViStatus simvisa_clearWriteLog(const char *rsrcName)
{
    return withInstrument(rsrcName, [&](Instrument &inst) {
        inst.clearWriteLog();
        return VI_SUCCESS;
    });
}

TQ_API ViStatus simvisa_getOutputLog(const char *rsrcName, SimVisaOutput *entries, ViUInt32 max, ViUInt32 *count)
{
    return withInstrument(rsrcName, [&](Instrument &inst) {
        if (!count || (max && !entries))
            return VI_ERROR_INV_PARAMETER;
        *count = 0;
        return inst.copyOutputLog(entries, max, *count);
    });
}

TQ_API ViStatus simvisa_clearOutputLog(const char *rsrcName)
{
    return withInstrument(rsrcName, [&](Instrument &inst) { return inst.clearOutputLog(); });
}

TQ_API ViStatus simvisa_failAccess(const char *rsrcName, ViUInt32 nth, ViUInt16 accesses, ViStatus status)
{
    return withInstrument(rsrcName, [&](Instrument &inst) {
        inst.failAccess(nth, accesses, status);
        return VI_SUCCESS;
    });
}

TQ_API ViStatus simvisa_failOffset(const char *rsrcName, ViUInt16 space, ViBusAddress offset, ViUInt16 accesses,
                                   ViStatus status)
{
    return withInstrument(rsrcName, [&](Instrument &inst) {
        inst.failOffset(space, offset, accesses, status);
        return VI_SUCCESS;
    });
}

TQ_API ViStatus simvisa_refuseMechanism(const char *rsrcName, ViUInt16 mechanism)
{
    return withInstrument(rsrcName, [&](Instrument &inst) {
        inst.refuseMechanism(mechanism);
        return VI_SUCCESS;
    });
}

TQ_API ViStatus simvisa_clearFaults(const char *rsrcName)
{
    return withInstrument(rsrcName, [&](Instrument &inst) {
        inst.clearFaults();
        return VI_SUCCESS;
    });
}

TQ_API ViStatus simvisa_raiseInterrupt(const char *rsrcName, ViUInt32 data)
{
    return withInstrument(rsrcName, [&](Instrument &inst) {
        inst.raiseInterrupt(data);
        return VI_SUCCESS;
    });
}

TQ_API ViStatus simvisa_configureBoard(const char *rsrcName, const char *settings)
{
    if (rsrcName && settings)
        if (auto port = Library::instance().serialPort(rsrcName))
            return guardedControl([&] { return port->configureSettings(settings); });
    return withInstrument(rsrcName, [&](Instrument &inst) {
        return settings ? inst.configureSettings(settings) : VI_ERROR_INV_SETUP;
    });
}

TQ_API ViStatus simvisa_pulseLine(const char *rsrcName, ViInt16 line, ViUInt32 count)
{
    return withInstrument(rsrcName, [&](Instrument &inst) { return inst.pulse(line, count); });
}

TQ_API ViStatus simvisa_configure(const char *rsrcName, const char *key, const char *value)
{
    if (!key || !value)
        return VI_ERROR_INV_PARAMETER;
    if (rsrcName)
        if (auto port = Library::instance().serialPort(rsrcName))
            return guardedControl([&] { return port->configure(key, value); });
    return withInstrument(rsrcName, [&](Instrument &inst) { return inst.configure(key, value); });
}

TQ_API ViStatus simvisa_flushEvents(ViUInt32 timeoutMs)
{
    try {
        return Library::instance().flushEvents(timeoutMs);
    } catch (...) {
        return VI_ERROR_SYSTEM_ERROR;
    }
}

TQ_API ViStatus simvisa_dmaRead(ViBusAddress address, void *buffer, ViBusSize length)
{
    if (!buffer && length)
        return VI_ERROR_INV_PARAMETER;
    return Library::instance().memory().read(address, buffer, length) ? VI_SUCCESS : VI_ERROR_INV_OFFSET;
}

TQ_API ViStatus simvisa_dmaWrite(ViBusAddress address, const void *buffer, ViBusSize length)
{
    if (!buffer && length)
        return VI_ERROR_INV_PARAMETER;
    return Library::instance().memory().write(address, buffer, length) ? VI_SUCCESS : VI_ERROR_INV_OFFSET;
}

TQ_API ViUInt32 simvisa_openSessionCount(void)
{
    try {
        return Library::instance().openObjectCount();
    } catch (...) {
        return 0;
    }
}

TQ_API ViUInt32 simvisa_lostInterrupts(void) { return Library::instance().lostInterrupts(); }

TQ_API ViStatus simvisa_getSerialLog(const char *rsrcName, ViChar *text, ViUInt32 size, ViUInt32 *length)
{
    return guardedControl([&] {
        auto port = rsrcName ? Library::instance().serialPort(rsrcName) : nullptr;
        return port ? copyLog(port->log(), text, size, length) : VI_ERROR_RSRC_NFOUND;
    });
}

TQ_API ViStatus simvisa_clearSerialLog(const char *rsrcName)
{
    return guardedControl([&] {
        auto port = rsrcName ? Library::instance().serialPort(rsrcName) : nullptr;
        if (!port)
            return VI_ERROR_RSRC_NFOUND;
        port->clearLog();
        return VI_SUCCESS;
    });
}

TQ_API ViStatus simvisa_getResmanLog(ViChar *text, ViUInt32 size, ViUInt32 *length)
{
    return guardedControl([&] {
        std::string log;
        if (!Library::instance().resmanLog(log))
            return VI_ERROR_RSRC_NFOUND;
        return copyLog(log, text, size, length);
    });
}

TQ_API ViStatus simvisa_clearResmanLog(void)
{
    return guardedControl([&] { return Library::instance().clearResmanLog(); });
}

TQ_API ViStatus simvisa_failResman(ViStatus openStatus, ViStatus writeStatus)
{
    return guardedControl([&] { return Library::instance().failResman(openStatus, writeStatus); });
}
