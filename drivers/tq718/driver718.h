// What the files of the model 718 driver share: the driver instance, board
// access, the channel layout and the internal setters that the exports,
// the applying of all settings and the calibration use.
#pragma once

#include "regmap.h"
#include "session718.h"
#include "tq/driver/driver.h"
#include "tq/driver/registers.h"
#include "tq/driver/visa_binding.h"
#include "tq/platform/sync.h"

namespace tq718
{

tq::driver::Driver &driver();
// The session of a value, or null.
Session718 *find(ViSession vi);

// ---- Board access (BAR2 unless said otherwise) ------------------------------

inline ViStatus setField(Session718 &s, const reg::Field &f, ViUInt32 value)
{
    return tq::driver::setRegisterField(s.value, reg::kBar2, f.offset, f.mask, f.shift, value);
}
inline ViStatus getField(Session718 &s, const reg::Field &f, ViUInt32 &value)
{
    return tq::driver::getRegisterField(s.value, reg::kBar2, f.offset, f.mask, f.shift, &value);
}
inline ViStatus in32(Session718 &s, ViBusAddress offset, ViUInt32 &value, ViUInt16 space = reg::kBar2)
{
    return tq::visa::visa().viIn32(s.value, space, offset, &value);
}
inline ViStatus out32(Session718 &s, ViBusAddress offset, ViUInt32 value, ViUInt16 space = reg::kBar2)
{
    return tq::visa::visa().viOut32(s.value, space, offset, value);
}
inline ViStatus in16(Session718 &s, ViBusAddress offset, ViUInt16 &value)
{
    return tq::visa::visa().viIn16(s.value, reg::kBar2, offset, &value);
}
inline ViStatus out16(Session718 &s, ViBusAddress offset, ViUInt16 value)
{
    return tq::visa::visa().viOut16(s.value, reg::kBar2, offset, value);
}

// Runs fn on the session of vi (VI_ERROR_INV_OBJECT when there is none).
template <typename F> ViStatus withSession(ViSession vi, F &&fn)
{
    Session718 *s = find(vi);
    return s ? fn(*s) : VI_ERROR_INV_OBJECT;
}

// Writes a getter's value; a null pointer gives VI_ERROR_INV_PARAMETER.
template <typename T> ViStatus give(T *out, T value)
{
    if (!out)
        return VI_ERROR_INV_PARAMETER;
    *out = value;
    return VI_SUCCESS;
}

// True when a setting goes to the board (the simulation flag is clear).
inline bool onBoard(const Session718 &s)
{
    return !s.simulated();
}

inline bool validAnalog(const Session718 &s, int c)
{
    return c >= 1 && c <= s.analogCount;
}
inline bool validEventChannel(int n)
{
    return n >= 1 && n <= kEventChannels;
}

// Runs fn(c) for channel c, or for every analog channel in order when c is 0
// (stopping at the first failure); an invalid channel gives
// VI_ERROR_INV_PARAMETER.
template <typename F> ViStatus forChannels(Session718 &s, int c, F &&fn)
{
    if (c == 0) {
        ViStatus status = VI_SUCCESS;
        for (int i = 1; i <= s.analogCount && status >= VI_SUCCESS; ++i)
            status = fn(i);
        return status;
    }
    if (!validAnalog(s, c))
        return VI_ERROR_INV_PARAMETER;
    return fn(c);
}

// ---- Channels (channels.cpp) -----------------------------------------------------

// Names, units, converters and numbers of every channel record (defaults).
void resetChannelRecords(Session718 &s, bool first);
// Byte offsets of the enabled channels, the stream's scan size and channel count.
void updateLayout(Session718 &s);
// The enable of analog channel c: the board (channel bit, excitation,
// balance DAC) when not simulated, then the record and the layout. force
// writes the board even when the value is unchanged.
ViStatus enableAnalog(Session718 &s, int c, uint16_t enable, bool force);
// The enable of event channel n, and the board's event-word bit when the
// first is enabled or the last disabled (or always with force).
ViStatus enableEvent(Session718 &s, int n, uint16_t enable, bool force);
// The board's event-word bit for the enabled event channels.
ViStatus writeEventWord(Session718 &s);
// Writes channel c's excitation register from its stored type and value.
ViStatus writeExcitation(Session718 &s, int c);
// The balance DAC register of channel c: the DAC value's code while balance
// and channel are enabled, else 0.
ViStatus writeBalance(Session718 &s, int c);
// Volts -> ADC code through the channel's polynomial for its range.
ViStatus limitCode(const AnalogChannel &ch, double volts, ViInt16 &code);
// ADC code -> volts, as the value converter computes it.
double codeVolts(const AnalogChannel &ch, ViInt16 code);
// Writes both limit levels of channel c in the codes of its range.
ViStatus writeLimits(Session718 &s, int c);
// The lowest filter setting over the channels.
void updateLowestFilter(Session718 &s);

// ---- Settings (settings.cpp, channel_settings.cpp) -----------------------------

void setDefaults(Session718 &s);
// Every stored setting onto the board; VI_ERROR_INV_SETUP in simulation.
ViStatus applyAll(Session718 &s);

// Internal setters on a found session (board or store as the flag says).
ViStatus setInterruptEnable(Session718 &s, ViInt16 enable);
ViStatus setScanClockSource(Session718 &s, ViInt16 source);
ViStatus setScanClockRate(Session718 &s, ViReal64 rate);
ViStatus getScanClockRate(Session718 &s, ViReal64 &rate);
ViStatus setStartCondition(Session718 &s, ViInt16 condition);
ViStatus setStopCondition(Session718 &s, ViInt16 condition);
ViStatus setTransientCondition(Session718 &s, ViInt16 condition);
ViStatus setTransientNumScans(Session718 &s, ViInt32 scans);
ViStatus setTriggerMode(Session718 &s, ViInt16 mode);
ViStatus setAcqMode(Session718 &s, ViInt16 mode);
ViStatus setClockToPxi(Session718 &s, ViInt16 line);
ViStatus setLimitToPxi(Session718 &s, ViInt16 line);
ViStatus applyLineSettings(Session718 &s);

ViStatus setLimitLevel(Session718 &s, int c, bool high, double volts);
ViStatus setInputRange(Session718 &s, int c, ViInt16 range);
ViStatus setLimitMode(Session718 &s, int c, ViInt16 mode);
ViStatus setExcitationType(Session718 &s, int c, ViInt16 type);
ViStatus setExcitation(Session718 &s, int c, ViReal64 value);
ViStatus setFilter(Session718 &s, int c, ViInt16 filter);
ViStatus setSensorType(Session718 &s, int c, ViInt16 type);
ViStatus setBridgeConfiguration(Session718 &s, int c, ViInt16 configuration);
ViStatus setMux(Session718 &s, int c, ViInt16 mux);
ViStatus setBufferSource(Session718 &s, int c, ViInt16 source);
ViStatus setSense(Session718 &s, int c, ViInt16 sense);

// Getters as the exports answer them (read back on the board).
ViStatus getClockSource(Session718 &s, ViInt16 &source);
ViStatus getStartCondition(Session718 &s, ViInt16 &condition);
ViStatus getStopCondition(Session718 &s, ViInt16 &condition);
ViStatus getAcqMode(Session718 &s, ViInt16 &mode);
ViStatus getInputRange(Session718 &s, int c, ViInt16 &range);
ViStatus getLimitMode(Session718 &s, int c, ViInt16 &mode);
ViStatus getLimitLevel(Session718 &s, int c, bool high, double &volts);
ViStatus getFilter(Session718 &s, int c, ViInt16 &filter);

// The filter settings the board allows (9 first), and their number.
int supportedFilters(const Session718 &s, ViInt16 (&filters)[9]);

// ---- Data path (dma.cpp, acquisition.cpp) ------------------------------------------

// Holds the session's stream lock for a scope (the interrupt handler, the
// readers and whatever changes the ring take it).
class StreamLock
{
  public:
    explicit StreamLock(Session718 &s, uint32_t timeoutMs = TQ_INFINITE) : stream_(s.stream)
    {
        held_ = stream_ && stream_->streamLock(stream_, timeoutMs) == 0;
    }
    ~StreamLock()
    {
        if (held_)
            stream_->streamUnlock(stream_);
    }
    StreamLock(const StreamLock &) = delete;
    StreamLock &operator=(const StreamLock &) = delete;
    explicit operator bool() const { return held_; }

  private:
    TQStream *stream_;
    bool held_ = false;
};

// A ring of segments x scansPerSegment scans (raised until a segment is a
// multiple of 8 bytes) with its descriptor chain: continuous (each segment
// interrupts, the last points back to the first) or one-shot (no
// interrupt, the last ends the chain). An existing ring is freed first.
ViStatus allocateRing(Session718 &s, int segments, uint32_t scansPerSegment, bool continuous);
// VI_ERROR_WINDOW_NMAPPED without a ring.
ViStatus freeRing(Session718 &s);
// Marks the descriptor of table entry (0-based) as the end of the chain.
void markEndOfChain(Session718 &s, uint64_t entry);
// Segment counter back to 0, no transient seen, and every reader to the first scan.
void restartReaders(Session718 &s);
// Reads the board's write count and hands the new scans to the ring (and,
// with capture, to the capture file). Under the stream's lock. Returns the
// scans written since the start.
int64_t accountWrites(Session718 &s, bool capture);
TQReader *newReader(Session718 &s, int64_t position, int32_t whence);
int64_t scansWritten(Session718 &s);

// Interrupts of the data path: mechanism 2 (VI_HNDLR) runs the handler
// below on VISA's callback thread, 1 (VI_QUEUE) lets the one-shot
// acquisition wait. Nothing is done in simulation.
ViStatus setUpInterrupt(Session718 &s, int16_t mechanism);
ViStatus tearDownInterrupt(Session718 &s);
ViStatus tq718_MBufSegHndlr(ViSession vi, ViEventType type, ViEvent context, ViAddr user);

// Starts the DMA engine on the session's descriptor chain in a mode (ring
// or one-shot).
ViStatus startDma(Session718 &s, ViUInt32 mode);
// Polls the DMA engine's done bit (20 polls, 100 ms apart); true when it was seen.
bool waitDmaDone(Session718 &s);

ViStatus startAcquisition(Session718 &s);
// Ends the DMA after the segment in progress, stops the board and tears the
// interrupt down; with statusLine, "[%s]stop:%s" follows.
ViStatus stopAcquisition(Session718 &s, bool statusLine);
// The stop of the interrupt handler at the end of a transient capture: only
// when no caller holds the acquisition lock (the caller's start or stop then
// does the stopping); true when it stopped.
bool stopFromHandler(Session718 &s);
// What close and reset do first: a running acquisition is stopped and the
// ring freed.
void freeDataPath(Session718 &s);

// Frees an external calibration still pending on the session (at close);
// its record is refused from then on.
void discardCalibration(Session718 &s);

// Lowest rate the internal clock's 32-bit divider can give: 2e7 / (2^32 + 1) Hz.
constexpr double kMinInternalRate = 2e7 / 4294967297.0;
constexpr double kMaxRate = 250000.0;

} // namespace tq718
