// Data path of the simulated model 718 (see board718.h): the DMA engine, the
// scan clock, the triggers and the signals.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "board718.h"

namespace tq::sim
{

namespace
{

// Scans generated per pass of the engine before they go to host memory.
constexpr size_t kBatchScans = 4096;
// Largest scan: four samples and the event word.
constexpr size_t kMaxScanBytes = 2 * Board718::kChannels + 2;
// Longest sleep of the engine while it acquires, in platform milliseconds.
constexpr double kMaxStepMs = 20.0;
constexpr double kMinStepMs = 1.0;

constexpr double kPi = 3.14159265358979323846;

// Fields of the card's trigger register (0x90) and control register (0x00).
constexpr uint32_t kExternalClockOn = 1u << 4;
constexpr uint32_t kStartArm = 1u << 9;
constexpr uint32_t kStopArm = 1u << 14;
constexpr uint32_t kAcquisitionEnable = 1u << 4;
constexpr uint32_t kTransientEnable = 1u << 5;

} // namespace

Board718::~Board718()
{
    detach();
}

void Board718::attach(BoardHost &host)
{
    Board::attach(host);
    staging_.assign(kBatchScans * kMaxScanBytes, 0);
    {
        std::lock_guard<std::mutex> g(lock());
        stopThread_ = false;
    }
    thread_.start([this] { run(); });
}

void Board718::detach()
{
    {
        std::lock_guard<std::mutex> g(lock());
        stopThread_ = true;
        dp_.dmaActive = false;
    }
    wake_.notify_all();
    if (thread_.joinable() && !thread_.isCurrent())
        thread_.join();
    Board::detach();
}

int16_t Board718::signalCode(int c, uint64_t n) const
{
    const Wave &w = waves_[c - 1];
    switch (w.signal) {
    case Signal::Counter:
        return static_cast<int16_t>(static_cast<uint16_t>(n + 1000u * static_cast<uint64_t>(c - 1)));
    case Signal::Sine: {
        const double phase = std::fmod(static_cast<double>(n), w.period) / w.period;
        return static_cast<int16_t>(std::lround(w.amplitude * std::sin(2.0 * kPi * phase)));
    }
    default:
        return codeOf(sampleCounts(c) + noise(c, n));
    }
}

// ---- Registers --------------------------------------------------------------------

void Board718::dataPathWrite(uint16_t space, uint64_t base, uint32_t before, uint32_t after)
{
    if (space != VI_PXI_BAR2_SPACE)
        return;
    switch (base) {
    case kWriteCount:
    case kDmaPosition:
        // Cleared at a start: the scan count and the triggers begin anew.
        dp_.bytes = static_cast<uint64_t>(after) * 4;
        dp_.scans = 0;
        dp_.transientTriggered = false;
        dp_.triggerStarted = dp_.triggerStopped = false;
        setReg(kWriteCount, after);
        setReg(kDmaPosition, after);
        dp_.clocked = false;
        break;
    case kControl:
        if (!(after & kAcquisitionEnable) && (before & kAcquisitionEnable))
            dp_.triggerStarted = dp_.triggerStopped = false;
        break;
    case kTriggers:
        if (!(after & kStartArm))
            dp_.triggerStarted = false;
        break;
    default:
        break;
    }
    // Whatever changed, the engine looks again at its state and its clock.
    dp_.clocked = dp_.clocked && producing() && base != 0x04;
    setAcquiring(acquisitionOn());
    wake_.notify_one();
}

ViStatus Board718::dmaCommand(uint32_t value)
{
    uint32_t stored = value & ~(kDmaDone | kDmaAbort | kDmaGo);
    const bool done = registers().get32(VI_PXI_BAR0_SPACE, kDmaCommand) & kDmaDone;
    registers().set32(VI_PXI_BAR0_SPACE, kDmaCommand, stored | (done ? kDmaDone : 0));
    if (value & kDmaAbort) {
        stopDma(true);
    } else if ((value & (kDmaEnable | kDmaGo)) == (kDmaEnable | kDmaGo)) {
        registers().set32(VI_PXI_BAR0_SPACE, kDmaCommand, stored);
        const uint32_t first = registers().get32(VI_PXI_BAR0_SPACE, kDmaDescriptor) & ~uint32_t(0xF);
        dp_.dmaActive = loadDescriptor(first);
        dp_.clocked = false;
    } else if (!(value & kDmaEnable)) {
        dp_.dmaActive = false;
    }
    setAcquiring(acquisitionOn());
    wake_.notify_one();
    return VI_SUCCESS;
}

// ---- DMA engine ---------------------------------------------------------------------

bool Board718::loadDescriptor(uint64_t address)
{
    uint32_t words[4] = {};
    if (!host() || !host()->dmaRead(address, words, sizeof words) || words[2] == 0)
        return false; // a bus error: the engine stops without finishing
    dp_.descriptor = address;
    dp_.segment = words[0];
    dp_.length = words[2];
    dp_.position = 0;
    return true;
}

void Board718::stopDma(bool done)
{
    dp_.dmaActive = false;
    const uint32_t command = registers().get32(VI_PXI_BAR0_SPACE, kDmaCommand);
    registers().set32(VI_PXI_BAR0_SPACE, kDmaCommand, done ? command | kDmaDone : command & ~kDmaDone);
}

void Board718::finishSegment()
{
    // The next word is read only now: the driver ends the chain by changing
    // it while the segment is being written.
    uint32_t next = 0;
    if (!host() || !host()->dmaRead32(dp_.descriptor + 12, next)) {
        stopDma(false);
        return;
    }
    const bool interrupt = next & 0x4;
    bool doneInterrupt = false;
    if (next & 0x2) {
        stopDma(true);
        doneInterrupt = registers().get32(VI_PXI_BAR0_SPACE, kDmaMode) & kDmaModeDoneInterrupt;
    } else if (!loadDescriptor(next & ~uint32_t(0xF))) {
        stopDma(false);
    }
    if (interrupt || doneInterrupt)
        raiseEvent(kSegmentEvent);
}

void Board718::emit(const uint8_t *bytes, size_t length)
{
    while (length > 0 && dp_.dmaActive) {
        const size_t n = std::min<size_t>(length, dp_.length - dp_.position);
        if (!host()->dmaWrite(dp_.segment + dp_.position, bytes, n)) {
            stopDma(false);
            return;
        }
        dp_.position += static_cast<uint32_t>(n);
        dp_.bytes += n;
        bytes += n;
        length -= n;
        const auto words = static_cast<uint32_t>(dp_.bytes / 4);
        setReg(kWriteCount, words);
        setReg(kDmaPosition, words);
        if (dp_.position == dp_.length)
            finishSegment();
    }
}

// ---- Acquisition -------------------------------------------------------------------

bool Board718::acquisitionOn() const
{
    const uint32_t control = reg(kControl);
    if (!(control & kAcquisitionEnable))
        return false;
    const bool started = (reg(kSoftwareStart) & 1) || dp_.triggerStarted;
    return started && !dp_.triggerStopped;
}

bool Board718::producing() const
{
    return dp_.dmaActive && acquisitionOn() && ((reg(kControl) >> 2) & 0x3) != 2 && host() != nullptr;
}

double Board718::clockRate() const
{
    return 2e7 / (static_cast<double>(reg(0x04)) + 2.0);
}

void Board718::produce(uint64_t scans)
{
    const uint32_t enable = reg(kChannelEnable);
    const bool eventWord = enable & kEventWordEnable;
    const size_t scanBytes = 2 * static_cast<size_t>(std::popcount(enable & 0xFu)) + (eventWord ? 2 : 0);
    if (scanBytes == 0)
        return;
    // The front end and the limit comparators only where they are used.
    std::array<double, kChannels> inputs{};
    for (int c = 1; c <= kChannels; ++c)
        if (waves_[c - 1].signal == Signal::Input)
            inputs[c - 1] = sampleCounts(c);
    const bool limits = reg(kLimitOn) != 0;
    while (scans > 0 && dp_.dmaActive) {
        const size_t batch = static_cast<size_t>(std::min<uint64_t>(scans, kBatchScans));
        if (limits)
            scanByScan(batch, enable, inputs);
        else
            channelByChannel(batch, enable, scanBytes, inputs);
        dp_.scans += batch;
        scans -= batch;
        emit(staging_.data(), batch * scanBytes);
    }
}

void Board718::scanByScan(size_t batch, uint32_t enable, const std::array<double, kChannels> &inputs)
{
    // Every channel's code goes to the comparators, whose violations latch
    // events that the following scans' event words show.
    const bool eventWord = enable & kEventWordEnable;
    uint8_t *out = staging_.data();
    for (size_t i = 0; i < batch; ++i) {
        const uint64_t n = dp_.scans + i;
        std::array<int16_t, kChannels> codes{};
        for (int c = 1; c <= kChannels; ++c) {
            const bool wanted = enable & (1u << (c - 1));
            codes[c - 1] =
                waves_[c - 1].signal == Signal::Input ? codeOf(inputs[c - 1] + noise(c, n)) : signalCode(c, n);
            if (wanted) {
                memcpy(out, &codes[c - 1], 2);
                out += 2;
            }
        }
        checkLimits(codes);
        if (eventWord) {
            const auto word = static_cast<uint16_t>(reg(kEventStatus) & 0x7FFF);
            memcpy(out, &word, 2);
            out += 2;
        }
    }
}

void Board718::channelByChannel(size_t batch, uint32_t enable, size_t scanBytes,
                                const std::array<double, kChannels> &inputs)
{
    // Nothing latches an event while the batch is made: one event word for
    // all of its scans.
    uint8_t *column = staging_.data();
    const uint64_t first = dp_.scans;
    for (int c = 1; c <= kChannels; ++c) {
        if (!(enable & (1u << (c - 1))))
            continue;
        uint8_t *out = column;
        switch (waves_[c - 1].signal) {
        case Signal::Counter: {
            const uint64_t start = first + 1000u * static_cast<uint64_t>(c - 1);
            for (size_t i = 0; i < batch; ++i, out += scanBytes) {
                const auto code = static_cast<uint16_t>(start + i);
                memcpy(out, &code, 2);
            }
            break;
        }
        case Signal::Input:
            for (size_t i = 0; i < batch; ++i, out += scanBytes) {
                const int16_t code = codeOf(inputs[c - 1] + noise(c, first + i));
                memcpy(out, &code, 2);
            }
            break;
        default:
            for (size_t i = 0; i < batch; ++i, out += scanBytes) {
                const int16_t code = signalCode(c, first + i);
                memcpy(out, &code, 2);
            }
            break;
        }
        column += 2;
    }
    if (enable & kEventWordEnable) {
        const auto word = static_cast<uint16_t>(reg(kEventStatus) & 0x7FFF);
        for (size_t i = 0; i < batch; ++i, column += scanBytes)
            memcpy(column, &word, 2);
    }
}

void Board718::advance()
{
    if (!dp_.clocked || !producing())
        return;
    const auto due = static_cast<uint64_t>(static_cast<double>(platform::tickMs() - dp_.baseTick) * clockRate() / 1000.0);
    if (dp_.baseScans + due > dp_.scans)
        produce(dp_.baseScans + due - dp_.scans);
}

// ---- Lines and triggers --------------------------------------------------------------

void Board718::transientTrigger(int code)
{
    if (dp_.transientTriggered || !(reg(kControl) & kTransientEnable) || !acquisitionOn())
        return;
    if (static_cast<int>((reg(kTriggers) >> 16) & 0xF) != code)
        return;
    dp_.transientTriggered = true;
    setReg(kTransientPosition, static_cast<uint32_t>(dp_.scans));
    raiseEvent(kTransientEvent);
}

void Board718::pulseLine(int line)
{
    lineEvent(line);
    const uint32_t triggers = reg(kTriggers);
    const bool enabled = reg(kControl) & kAcquisitionEnable;
    if (enabled && !dp_.triggerStarted && (triggers & kStartArm) && static_cast<int>((triggers >> 5) & 0xF) == line) {
        dp_.triggerStarted = true;
        dp_.clocked = false;
    } else if (enabled && dp_.triggerStarted && (triggers & kStopArm) &&
               static_cast<int>((triggers >> 10) & 0xF) == line) {
        dp_.triggerStopped = true;
    }
    transientTrigger(line);
    // An external scan clock: one scan per pulse.
    if ((triggers & kExternalClockOn) && static_cast<int>(triggers & 0xF) == line &&
        ((reg(kControl) >> 2) & 0x3) == 2 && dp_.dmaActive && acquisitionOn())
        produce(1);
    setAcquiring(acquisitionOn());
    wake_.notify_one();
}

ViStatus Board718::pulse(int line, unsigned count)
{
    if (line < 0 || line > kLineIo2)
        return VI_ERROR_INV_PARAMETER;
    // A trigger takes its position from the scans made before the pulse.
    advance();
    for (unsigned i = 0; i < count; ++i)
        pulseLine(line);
    return VI_SUCCESS;
}

// ---- The engine's thread ---------------------------------------------------------------

void Board718::run()
{
    std::unique_lock<std::mutex> g(lock());
    while (!stopThread_) {
        if (!producing()) {
            dp_.clocked = false;
            wake_.wait(g);
            continue;
        }
        const double rate = clockRate();
        if (!dp_.clocked) {
            dp_.clocked = true;
            dp_.baseTick = platform::tickMs();
            dp_.baseScans = dp_.scans;
        }
        advance();
        // Every register access brings the scans due up to date first
        // (advance), so between accesses only the end of a segment, whose
        // interrupt is due then, needs the engine: it sleeps until the
        // segment is full, within bounds, on the platform's pace.
        const uint32_t enable = reg(kChannelEnable);
        const double scanBytes = 2.0 * std::popcount(enable & 0xFu) + ((enable & kEventWordEnable) ? 2.0 : 0.0);
        double stepMs = kMaxStepMs;
        if (scanBytes > 0 && dp_.length > dp_.position)
            stepMs = std::clamp(std::ceil((dp_.length - dp_.position) / scanBytes) / rate * 1000.0, kMinStepMs,
                                kMaxStepMs);
        const auto realNs = static_cast<int64_t>(stepMs * 1e6 / platform::timeScale());
        wake_.wait_for(g, std::chrono::nanoseconds(realNs));
    }
}

} // namespace tq::sim
