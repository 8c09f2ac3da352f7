// Handle table: 32-bit values standing for records where an interface keeps
// an address in a 32-bit field.
//
// Handles are never 0 and lie above every VISA session value we hand out
// (bit 30 set). Each table has a kind tag carried in the handle, so a value of
// another table is refused, and each slot a generation, so a released value
// is refused even after its slot is reused.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace tq::platform {

// Every handle kind in the process, in one list, so that no two tables share
// one: a value of one table then never reads as a record of another.
enum HandleKind : unsigned {
    // 16..31: driver sessions without an instrument (one per model, listed
    // in tq/driver/model.h, and the drivers' test kind 30).
    kHandleKindManagerSession = 40,
    kHandleKindManagerResource = 41,
    kHandleKindStreamValue = 42, // streams, as libtqstream_32.so hands them out
    kHandleKind718Calibration = 43,
    // Objects the front panel's Java classes hold in int fields.
    kHandleKindPanelListener = 48,       // instrument event listener records
    kHandleKindPanelStreamListener = 49, // stream event listener records
    kHandleKindPanelMessageSink = 50,
    kHandleKindPanelFormulaEngine = 51,
    kHandleKindPanelStreamChannel = 52,
    kHandleKindPanelDisplayWindow = 53,
    kHandleKindPanelGraphObject = 54,
};

class HandleTable {
public:
    // kind: 1..63, distinct for every table whose handles could be confused.
    explicit HandleTable(unsigned kind);
    HandleTable(const HandleTable &) = delete;
    HandleTable &operator=(const HandleTable &) = delete;

    // Returns 0 only when the table is full (65535 live handles) or record is null.
    uint32_t add(void *record);
    // The record, or null for 0, stale, foreign or malformed values.
    void *lookup(uint32_t handle) const;
    // Removes the handle; returns its record, or null when it was not valid.
    void *remove(uint32_t handle);
    size_t size() const;

    static constexpr uint32_t kBaseBit = 0x40000000u;
    // True when the value has the shape of a handle (of any table).
    static bool looksLikeHandle(uint32_t value) { return (value & 0xC0000000u) == kBaseBit; }

private:
    struct Slot {
        void *record = nullptr;
        uint8_t generation = 0;
    };
    bool decode(uint32_t handle, uint32_t &index) const;

    unsigned kind_;
    mutable std::mutex m_;
    std::vector<Slot> slots_;
    std::vector<uint32_t> free_;
    size_t live_ = 0;
};

} // namespace tq::platform
