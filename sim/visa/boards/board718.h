// The simulated model 718: a four-channel bridge-conditioning digitizer.
//
// Register behaviour (board718.cpp): every configuration register reads back
// what was written; the limit-violation and event-status registers clear the
// bits written as ones; the acquisition-active bit, the excitation alarms and
// the reset register are the board's own; the option words and the
// calibration constants H(r) and O(c) sit in the board's memory at 0x7004 and
// up. Analog front end (board718_frontend.cpp): what each channel's ADC sees
// for its multiplexer, range, calibrator, excitation, bridge, balance DAC and
// shunt settings, the limit comparators and the trigger lines.
//
// Data path (board718_datapath.cpp): a DMA engine that walks the descriptor
// chain the driver builds, writes scans into host memory at the scan clock's
// rate (on the platform clock, so TQ_TIME_SCALE speeds it up), keeps the
// write counter at 0xF4 (32-bit words since it was cleared), raises event 17
// after each segment whose descriptor asks for it, and honours the software
// start, the start, stop and transient triggers and an external clock fed by
// line pulses. The scans due on the clock are written before every register
// access and line pulse, so each sees the board as of its time; its thread
// wakes for the end of each segment (at most 20 ms apart) and sleeps while
// nothing is acquired. A scan holds one
// signed 16-bit sample per enabled channel and, when enabled, the event word
// (the latched events 1 to 15).
//
// Signals: each channel samples its front end (sample()), or a known
// waveform so that every sample can be checked. With n the scan's index
// since the write counter was cleared:
//   ch<c>.signal = counter   sample (n + 1000 (c - 1)) mod 65536, as int16
//   ch<c>.signal = sine      round(amplitude sin(2 pi n / period))
//   ch<c>.signal = input     the front end (default)
//   ch<c>.period = 1000      scans per period of the sine
//   ch<c>.amplitude = 10000  counts
//
// Inventory keys of this board (besides the library's own):
//   option = 0x0           board option word (0x7004, 0x7006); bit 1 set: no filter card
//   filter = 0x0           filter option words (0x7008, 0x700A)
//   hcal.<r> = 1.0         range coefficient H(r), r = 1 to 13
//   calpath.<c> = 0.0      calibration-path offset O(c) in volts, c = 1 to 4
//   ch<c>.volts = 0.0      a voltage source on the channel's input
//   ch<c>.bridge = 0.0     a bridge on the input instead, imbalance in mV/V
//   ch<c>.ohms = 350       the bridge's resistance (current excitation)
//   ch<c>.shunt = 0.5      change of the bridge output with a shunt on, mV/V
//   ch<c>.gainerror = 0.0  relative gain error of the channel's amplifier, every range
//   ch<c>.gainerror.<r>    the same for input range r alone (1 to 13)
//   ch<c>.offset = 0.0     offset of the channel's ADC in counts, every range
//   ch<c>.offset.<r>       the same for input range r alone
//   ch<c>.noise = 0.0      peak-to-peak width in counts of a uniform noise added
//                          to each scan's sample before it is rounded (fixed
//                          sequence), so that averages resolve fractions of a count
//   ch<c>.excitationfault = 0  1: the excitation alarm rises whenever the
//                              channel's excitation is on
//   resetstuck = 0         1: a board reset never finishes
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <vector>

#include "tq/platform/thread.h"

#include "board.h"

namespace tq::sim
{

class Board718 : public Board
{
  public:
    static constexpr int kChannels = 4;
    static constexpr int kRanges = 13;
    static constexpr uint64_t kBar0Size = 0x1000;
    static constexpr uint64_t kBar2Size = 0x8000;

    // BAR2 registers with behaviour of their own.
    static constexpr uint64_t kControl = 0x00;
    static constexpr uint32_t kControlActive = 1u << 12;
    static constexpr uint64_t kMux = 0x0C;
    static constexpr uint64_t kRange = 0x10;
    static constexpr uint64_t kCompletion = 0x20;
    static constexpr uint64_t kShunt = 0x24;
    static constexpr uint64_t kCalibrator = 0x74;
    static constexpr uint64_t kLimitMode = 0x80;
    static constexpr uint64_t kLimitOn = 0x84;
    static constexpr uint64_t kLimitViolations = 0x88;
    static constexpr uint64_t kTriggers = 0x90;
    static constexpr uint64_t kExcitationAlarms = 0xA0;
    static constexpr uint64_t kEventEnable = 0xD0;
    static constexpr uint32_t kGlobalInterruptEnable = 1u << 15;
    static constexpr uint64_t kEventStatus = 0xD4;
    static constexpr uint64_t kReset = 0xE0;
    static constexpr uint64_t kTransientPosition = 0x200;
    static constexpr uint64_t kMemory = 0x7000; // option words and calibration constants from here
    static constexpr uint64_t kOptionWord = 0x7004;
    static constexpr uint64_t kFilterWord = 0x7008;
    static uint64_t excitation(int c) { return 0x2C + 4 * static_cast<uint64_t>(c); }
    static uint64_t balanceDac(int c) { return 0x4C + 4 * static_cast<uint64_t>(c); }
    static uint64_t limitLow(int c) { return 0x5FC + 4 * static_cast<uint64_t>(c); }
    static uint64_t limitHigh(int c) { return 0x5FE + 4 * static_cast<uint64_t>(c); }
    static uint64_t rangeCoefficient(int r) { return 0x7008 + 8 * static_cast<uint64_t>(r); }
    static uint64_t calPathOffset(int c) { return 0x7078 + 8 * static_cast<uint64_t>(c - 1); }

    // Trigger line codes of the 0x90 fields: PXI lines 0-7, star 8, I/O 1 9, I/O 2 10.
    static constexpr int kLineStar = 8, kLineIo1 = 9, kLineIo2 = 10;

    // Nominal volts per ADC count on the 10 V range, and per count of the
    // excitation monitor (multiplexer 4).
    static constexpr double kVoltsPerCount = 0.00038427734375;
    static constexpr double kExcitationVoltsPerCount = 0.000192138671875;
    // Volts the balance DAC takes off a bridge output per DAC step: a
    // positive code lowers the output, a negative one raises it.
    static constexpr double kBalanceVoltsPerStep = 5e-6;

    Board718();
    ~Board718() override;

    // Data path.
    static constexpr uint64_t kDmaMode = 0x80; // BAR0
    static constexpr uint32_t kDmaModeDoneInterrupt = 0x400;
    static constexpr uint64_t kDmaDescriptor = 0x90; // BAR0
    static constexpr uint64_t kDmaCommand = 0xA8;    // BAR0
    static constexpr uint32_t kDmaEnable = 0x1, kDmaGo = 0x2, kDmaAbort = 0x4, kDmaDone = 0x10;
    static constexpr uint64_t kSoftwareStart = 0x08;
    static constexpr uint64_t kChannelEnable = 0x14;
    static constexpr uint32_t kEventWordEnable = 1u << 13;
    static constexpr uint64_t kDmaPosition = 0xE4;
    static constexpr uint64_t kWriteCount = 0xF4;
    static constexpr int kSegmentEvent = 17;
    static constexpr int kTransientEvent = 15;

    void attach(BoardHost &host) override;
    void detach() override;
    ViStatus pulse(int line, unsigned count) override;
    // The sample of channel c in scan n as the data path writes it.
    int16_t signalCode(int c, uint64_t n) const;

    bool configure(const std::string &key, const std::string &value) override;
    ViStatus read(uint16_t space, uint64_t offset, unsigned width, uint32_t &value) override;
    ViStatus write(uint16_t space, uint64_t offset, unsigned width, uint32_t value) override;

    // ---- Analog front end (with the board's lock held) ----

    // Volts at channel c's amplifier input for its present settings.
    double inputVolts(int c) const;
    // The ADC code channel c converts now (without noise).
    int16_t sample(int c) const;
    // The same before rounding: counts with the range's gain and offset errors.
    double sampleCounts(int c) const;
    // Channel c's noise in scan n, in counts (0 without noise).
    double noise(int c, uint64_t n) const;
    // Counts rounded to an ADC code, clipped at the ends of the scale.
    static int16_t codeOf(double counts);
    // Volts the calibrator drives for a 0x74 code.
    double calibratorVolts(uint32_t code) const;
    // Excitation delivered to channel c's sensor, in volts (0 when off).
    double excitationVolts(int c) const;
    // Channels whose excitation alarm is up (bit c - 1).
    uint32_t excitationAlarms() const;
    // Runs the limit comparators over one scan of codes (one per channel,
    // disabled channels included); a violation latches its channel in 0x88
    // and raises event 1. Returns the channels that violated.
    uint32_t checkLimits(const std::array<int16_t, kChannels> &codes);
    // A pulse on a trigger line (code as above): raises that line's event.
    void pulseLine(int line);
    // Latches event e (1 to 18) in the event status and interrupts when the
    // event and the global interrupt are enabled.
    void raiseEvent(int e);
    // The data path's acquisition state, read as 0x00 bit 12.
    void setAcquiring(bool on) { acquiring_ = on; }
    bool acquiring() const { return acquiring_; }

    double rangeCoefficientValue(int r) const { return readDouble(rangeCoefficient(r)); }
    double calPathOffsetValue(int c) const { return readDouble(calPathOffset(c)); }

  private:
    enum class Signal { Input, Counter, Sine };
    struct Wave {
        Signal signal = Signal::Input;
        double period = 1000.0;
        double amplitude = 10000.0;
    };
    // The DMA engine and the acquisition (guarded by the board's lock).
    struct DataPath {
        bool dmaActive = false;
        uint64_t descriptor = 0; // bus address of the current descriptor
        uint64_t segment = 0;    // its segment's bus address and length
        uint32_t length = 0;
        uint32_t position = 0; // bytes written into the segment
        uint64_t bytes = 0;    // bytes written since the counter was cleared
        uint64_t scans = 0;    // scans acquired since then
        bool triggerStarted = false;
        bool triggerStopped = false;
        bool transientTriggered = false;
        // Scans due from the clock: counted from base on the platform clock.
        bool clocked = false;
        uint64_t baseTick = 0;
        uint64_t baseScans = 0;
    };

    void dataPathWrite(uint16_t space, uint64_t base, uint32_t before, uint32_t after);
    ViStatus dmaCommand(uint32_t value);
    bool loadDescriptor(uint64_t address);
    void finishSegment();
    void stopDma(bool done);
    bool acquisitionOn() const;
    bool producing() const;
    double clockRate() const;
    void produce(uint64_t scans);
    // One batch of scans into the staging buffer: scan by scan while the
    // limit comparators run, else channel by channel.
    void scanByScan(size_t batch, uint32_t enable, const std::array<double, kChannels> &inputs);
    void channelByChannel(size_t batch, uint32_t enable, size_t scanBytes,
                          const std::array<double, kChannels> &inputs);
    // Writes the scans the clock has made due since the last ones, before
    // any register access and on the engine's own pace.
    void advance();
    void emit(const uint8_t *bytes, size_t length);
    void lineEvent(int line);
    // A transient trigger from a line code, or kLimitSource for a limit violation.
    void transientTrigger(int code);
    static constexpr int kLimitSource = 15;
    void run();

    std::array<Wave, kChannels> waves_{};
    DataPath dp_;
    std::vector<uint8_t> staging_;
    std::condition_variable wake_;
    bool stopThread_ = false;
    tq::platform::Thread thread_;

    struct Input {
        double volts = 0.0;
        bool bridge = false;
        double bridgeMvPerV = 0.0;
        double ohms = 350.0;
        double shuntMvPerV = 0.5;
        std::array<double, kRanges> gainError{};    // per input range
        std::array<double, kRanges> offsetCounts{}; // per input range
        double noise = 0.0;                         // counts peak to peak
        bool excitationFault = false;
    };

    uint32_t reg(uint64_t offset) const { return registers().get32(VI_PXI_BAR2_SPACE, offset); }
    void setReg(uint64_t offset, uint32_t value) { registers().set32(VI_PXI_BAR2_SPACE, offset, value); }
    double readDouble(uint64_t offset) const;
    void writeDouble(uint64_t offset, double value);
    int nibble(uint64_t offset, int c) const { return static_cast<int>((reg(offset) >> (4 * (c - 1))) & 0xF); }
    void resetBoard();
    void excitationChanged();

    std::array<Input, kChannels> inputs_{};
    std::array<int16_t, kChannels> lastCodes_{};
    uint32_t alarms_ = 0;
    bool acquiring_ = false;
    bool resetStuck_ = false;
};

} // namespace tq::sim
