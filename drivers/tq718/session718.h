// The model 718's part of a driver session: option words, settings, the
// channel records and the scan layout.
#pragma once

#include <atomic>
#include <cstdint>

#include "regmap.h"
#include "ring.h"
#include "tq/driver/channels.h"
#include "tq/driver/session.h"
#include "tq/platform/sync.h"

namespace tq718
{

constexpr int kAnalogChannels = 4;
constexpr int kEventChannels = 15;
// Events 1 to 18; 14 and 16 are not events (bit 15 of the event enable is
// the global interrupt enable).
constexpr int kEvents = 18;
inline bool validEvent(int e)
{
    return e >= 1 && e <= kEvents && e != 14 && e != 16;
}

constexpr int16_t kSensorVoltage = 1;
constexpr int16_t kSensorBridge = tq::driver::kSensorBridge;
constexpr int16_t kNoFiltering = 9;

struct AnalogChannel : tq::driver::AnalogChannel {
    int16_t number = 0;
    uint16_t enable = 0;
    double limitLow = 0.0;  // volts: minimum, or level
    double limitHigh = 0.0; // volts: maximum, or slope
    int16_t mux = 1;
    int16_t bufferSource = 1;
    int16_t limitMode = 1;
    double excitation = 0.0;
    int16_t excitationType = 1;
    int16_t filter = kNoFiltering;
    int16_t bridgeConfiguration = 3;
    int16_t sense = 2;
    uint16_t balanceEnable = 0;
    int16_t balanceDac = 0; // set by calibration; only the first defaults clear it
    int16_t shuntPolarity = 1;
    double positiveShunt = 0.0;
    double negativeShunt = 0.0;
};

struct EventChannel : tq::driver::EventChannel {
    int16_t number = 0;
    uint16_t enable = 0;
};

struct Demo {
    int16_t type = 1;
    double scale = 1.0;
    double offset = 0.0;
    double noise = 0.0;
};

// Session-wide settings with their defaults.
struct Settings {
    int16_t interruptEnable = 0;
    int16_t clockSource = 1;
    int16_t refreshRate = 2;
    int16_t bufferDuration = 2;
    int16_t startCondition = 0;
    int16_t stopCondition = 0;
    int16_t transientCondition = 0;
    int32_t transientScans = 0;
    int16_t triggerMode = 2;
    int16_t acqMode = 1;
    int16_t transformType = 1;
    int16_t clockToPxi = 0;
    int16_t limitToPxi = 0;
    uint16_t verbose = 0;
};

// Settings the defaults leave alone: the board keeps them until they are
// set, and from then on every applying writes them again.
struct LineSettings {
    uint16_t inputInversion[2] = {};
    uint16_t outputInversion[2] = {};
    int16_t inputRoute[2] = {};
    int16_t outputRoute[2] = {};
    uint16_t eventEnable[kEvents + 1] = {};
    // Which of them have been set (by a setter, in or out of simulation).
    uint8_t inputInversionSet = 0, outputInversionSet = 0, inputRouteSet = 0, outputRouteSet = 0; // bit line - 1
    uint32_t eventEnableSet = 0;                                                                  // bit e - 1
};

// A calibration in progress (calibration.cpp); an external calibration
// keeps its record between the caller's steps.
struct CalibrationRecord;

struct Session718 : tq::driver::Session {
    int16_t analogCount = kAnalogChannels;
    int16_t connectorCount = kAnalogChannels;
    // Neither a board self-test nor a firmware revision read.
    bool canSelfTest = false;
    bool canReadRevision = false;
    reg::Options options;

    // Acquisition state (start, stop and the interrupt set-up keep it). The
    // interrupt handler reads the flag and the mechanism on VISA's callback
    // thread, and stops a completed transient capture from there.
    //
    // The session's run lock (runLock, the framework's start, stop and
    // reset guard) serialises here whatever starts, stops or tears down the
    // acquisition and whatever changes the ring or the scan layout: start,
    // stop, close and reset, one-shot reads, the ring's exports, the channel
    // enables, and the handler's own stop. Taken before the stream's lock,
    // never after it: the handler, which holds the stream's lock, only tries
    // it (a caller's stop that holds it does the handler's stop anyway).
    // The interrupt enable result and the saved interrupt enable are used
    // only under it.
    std::atomic<bool> running{false};
    std::atomic<int16_t> interruptMechanism{-1}; // 1 queue, 2 handler, -1 none
    ViStatus interruptEnableResult = VI_SUCCESS;
    ViUInt32 savedInterruptEnable = 0;

    // DMA ring: the segments and their accounting, the descriptor chain in
    // entry 0, and who allocated it.
    Ring ring;
    uint32_t *descriptors = nullptr; // mapped, four 32-bit words each
    ViBusAddress chainAddress = 0;   // bus address of the first descriptor
    bool continuousRing = false;
    bool ringByStart = false;
    // What tq718_allocateMBfrConfiguration was asked for, so that start can
    // lay that ring out again when the scan has changed since.
    int16_t requestedSegments = 0;
    uint32_t requestedScansPerSegment = 0;
    // The board's write count (32-bit words) unwrapped: the register wraps
    // after 16 GiB, the count of scans never does.
    uint32_t lastWriteCount = 0;
    uint64_t wordsWritten = 0;
    // Last scan of a transient capture, once its trigger has been seen
    // (under the stream's lock, as the handler keeps them).
    bool transientSeen = false;
    int64_t transientEnd = 0;

    int16_t lowestFilter = kNoFiltering;
    int16_t enabledEvents = 0; // enabled event channels

    Settings settings;
    LineSettings lines;
    AnalogChannel analog[kAnalogChannels];
    EventChannel events[kEventChannels];
    Demo demo[kAnalogChannels];

    uint64_t lastCompletionWrite = 0; // tick of the last bridge-completion write
    int16_t calibratorVoltage = 0;
    int16_t calibrationSource = 0;
    CalibrationRecord *externalCalibration = nullptr; // pending between the caller's steps

    bool defaultsDone = false; // the first defaults set the polynomials and the balance DAC values

    AnalogChannel &channel(int c) { return analog[c - 1]; }
    EventChannel &eventChannel(int n) { return events[n - 1]; }
};

} // namespace tq718
