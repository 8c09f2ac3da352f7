// One simulated instrument as the library sees it: its identity and place,
// its board, the faults set on it and the log of register writes.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "board.h"
#include "tq/simvisa.h"

namespace tq::sim {

class EventHub;
class DmaMemory;

struct InstrumentConfig {
    std::string board = "generic";
    ViUInt16 manufacturerId = 0;
    ViUInt16 modelCode = 0;
    // Named by the settings; what is not named is the board kind's own.
    bool hasManufacturerId = false, hasModelCode = false;
    std::string manufacturerName = "Simulated";
    std::string modelName;
    std::string alias;
    int bus = -1, device = -1, function = 0;
    int chassis = 1, slot = -1;
    // Settings applied after the board exists: window sizes, registers, board keys, in order.
    std::vector<std::pair<std::string, std::string>> boardSettings;
};

// Reads "key=value" settings (lines or ';'-separated) into config; false with
// a message for the first bad one.
bool parseInstrumentSettings(const std::string &text, InstrumentConfig &config, std::string &error);
// A setting's number: decimal, 0x hexadecimal or 0 octal, at most max.
bool readSettingNumber(const std::string &text, uint64_t max, uint64_t &out);

class Instrument final : public BoardHost {
public:
    // Makes the board and applies the settings; null with a message on failure.
    static std::shared_ptr<Instrument> create(const std::string &canonicalName, const InstrumentConfig &config,
                                              EventHub &events, DmaMemory &memory, std::string &error);
    ~Instrument();

    const std::string &name() const { return name_; }
    const InstrumentConfig &config() const { return config_; }
    bool matchesAlias(const std::string &alias) const;

    // Register access through VISA: checks, faults, the board, the log.
    ViStatus access(bool write, ViUInt16 space, ViBusAddress offset, unsigned width, ViUInt32 &value);
    // The same with lock() held.
    ViStatus accessLocked(bool write, ViUInt16 space, ViBusAddress offset, unsigned width, ViUInt32 &value);
    // The board's lock, which outlives the instrument.
    std::mutex &lock() { return board_->lock(); }
    // Behind the driver's back.
    ViStatus rawAccess(bool write, ViUInt16 space, ViBusAddress offset, unsigned width, ViUInt32 &value);
    size_t windowSize(ViUInt16 space) const;

    void failAccess(ViUInt32 nth, ViUInt16 kinds, ViStatus status);
    void failOffset(ViUInt16 space, ViBusAddress offset, ViUInt16 kinds, ViStatus status);
    void refuseMechanism(ViUInt16 mechanism);
    void clearFaults();
    bool refusesMechanism(ViUInt16 mechanism);

    ViUInt32 copyWriteLog(SimVisaWrite *entries, ViUInt32 max);
    void clearWriteLog();
    ViStatus copyOutputLog(SimVisaOutput *entries, ViUInt32 max, ViUInt32 &count);
    ViStatus clearOutputLog();

    // Pulled out: detaches the board; further access fails with VI_ERROR_CONN_LOST.
    void remove();
    bool removed() const { return removed_.load(); }

    // BoardHost
    void raiseInterrupt(uint32_t data) override;
    bool dmaRead(uint64_t busAddress, void *buffer, size_t length) override;
    bool dmaWrite(uint64_t busAddress, const void *buffer, size_t length) override;
    bool dmaRead32(uint64_t busAddress, uint32_t &value) override;

    // Pulses on one of the board's inputs (test control).
    ViStatus pulse(int line, unsigned count);
    // One setting of the inventory's "key=value" form, applied to the board now.
    ViStatus configure(const std::string &key, const std::string &value);
    // Board keys while the instrument is present (test control): each
    // "key=value" goes to the board in order; VI_ERROR_INV_SETUP at the
    // first one it does not take.
    ViStatus configureSettings(const std::string &settings);

private:
    Instrument(std::string name, InstrumentConfig config, std::unique_ptr<Board> board, EventHub &events,
               DmaMemory &memory);
    ViStatus checkAccess(ViUInt16 space, ViBusAddress offset, unsigned width) const;

    const std::string name_;
    const InstrumentConfig config_;
    std::unique_ptr<Board> board_;
    EventHub &events_;
    DmaMemory &memory_;
    std::atomic<bool> removed_{false};

    // Guarded by the board's lock.
    struct OffsetFault {
        ViUInt16 kinds;
        ViStatus status;
    };
    std::map<std::pair<ViUInt16, ViBusAddress>, OffsetFault> offsetFaults_;
    ViUInt32 countdown_ = 0; // the access at which countdown reaches 0 fails
    ViUInt16 countdownKinds_ = 0;
    ViStatus countdownStatus_ = VI_SUCCESS;
    ViUInt16 refusedMechanisms_ = 0;
    std::vector<SimVisaWrite> log_; // ring, allocated at the first write
    size_t logHead_ = 0, logCount_ = 0;
    uint64_t logSequence_ = 0;

    // Guarded by the event hub's lock.
    friend class EventHub;
    std::vector<ViSession> subscribers_;
    ViInt16 interruptSequence_ = 0;
};

} // namespace tq::sim
