// What the files of the model 726 driver share: the driver instance, board
// access, codes, the output layout and the output thread.
#pragma once

#include "session726.h"
#include "tq/driver/driver.h"
#include "tq/driver/visa_binding.h"
#include "tq/platform/guard.h"
#include "tq726.h"

namespace tq726
{

tq::driver::Driver &driver();
// The session of a value, or null.
Session726 *find(ViSession vi);

// Runs fn on the session of vi (VI_ERROR_INV_OBJECT when there is none).
template <typename F> ViStatus withSession(ViSession vi, F &&fn)
{
    return tq::platform::guardStatus([&]() -> ViStatus {
        Session726 *s = find(vi);
        return s ? fn(*s) : VI_ERROR_INV_OBJECT;
    });
}

inline const tq::visa::FunctionTable &visa()
{
    return tq::visa::visa();
}
inline ViStatus in16(Session726 &s, ViBusAddress offset, ViUInt16 &value, ViUInt16 space = reg::kBar2)
{
    return visa().viIn16(s.value, space, offset, &value);
}
inline ViStatus out16(Session726 &s, ViBusAddress offset, ViUInt16 value)
{
    return visa().viOut16(s.value, reg::kBar2, offset, value);
}

// ---- Codes (channels726.cpp) ---------------------------------------------------

// The code of a voltage inside the range [-10, 10] (10 gives 0xFFFF).
uint16_t voltsCode(double volts);
// The code setEval stores: below the range 0, at or above its top 0xFFFF,
// not a number 0x8000 (0 V).
uint16_t clampedCode(double volts);
double codeVolts(uint16_t code);
// True for a voltage the direct exports accept.
inline bool validVolts(double v)
{
    return v >= kMinVolts && v <= kMaxVolts; // false for NaN
}

// ---- Channels and layout (channels726.cpp) ----------------------------------------

// Names, units and functions of all 64 records (the defaults).
void resetChannelRecords(Session726 &s);
// Offsets of the asynchronous channels, the slots the output thread reads,
// and the stream's output scan size and channel count.
void updateLayout(Session726 &s);
void setDefaults(Session726 &s);
// Every channel to its initial voltage (0 V); VI_ERROR_INV_SETUP in simulation.
ViStatus applyAll(Session726 &s);
// The stream operations this driver puts into its stream.
void installStreamOperations(Session726 &s);

// ---- Board (board726.cpp) ----------------------------------------------------------

// Writes the codes of channels first..last in one block.
ViStatus writeCodes(Session726 &s, int first, int last, const uint16_t *codes);
ViStatus resetBoard(Session726 &s);
ViStatus selfTest(Session726 &s, ViInt16 *result, ViChar *message);

// ---- Output thread (output726.cpp) --------------------------------------------------

ViStatus startOutput(Session726 &s);
// Ends the output thread (no status line).
ViStatus stopOutput(Session726 &s);
// Tells a running output thread that what it writes may have changed.
void outputsChanged(Session726 &s);
// What close does first: the thread ends, then the buffer goes.
void freeOutput(Session726 &s);
int64_t reserveWrite(TQStream *stream, int64_t count, int64_t *granted, TQPiece **pieces);
int64_t completeWrite(TQStream *stream, int64_t count);

// ---- crossCheck and tables (tables726.cpp) ------------------------------------------

// The rates start and crossCheck accept.
bool validOutputRate(double rate);
ViStatus crossCheck(Session726 &s, ViChar *message);
void fillTables(tq::driver::ModelInfo &info);

} // namespace tq726
