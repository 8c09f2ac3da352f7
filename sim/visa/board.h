// The device-model interface of the simulated VISA library.
//
// Every simulated instrument is a Board: one file per board kind, each a
// subclass that owns its register behaviour, its DMA engine and its
// interrupts. The library around it does the VISA part (sessions,
// attributes, address checks, faults, the write log, event delivery) and
// serialises register access: read() and write() always run with lock()
// held, so a board that runs a thread of its own (a DMA engine, a sample
// clock) takes the same lock before it touches its registers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tq/simvisa.h"
#include "tq/visatype.h"

namespace tq::sim {

// What the library offers a board once it is present.
class BoardHost {
public:
    // Raises the board's PXI interrupt once; data becomes the event's
    // VI_ATTR_PXI_RECV_INTR_DATA. May be called with the board's lock held
    // and from any thread; it never calls back into the board.
    virtual void raiseInterrupt(uint32_t data) = 0;
    // Bus-master access to DMA memory (the bus addresses viMemAlloc hands
    // out). False when the range is not inside one allocated block; the
    // board then behaves as its hardware would on a bus error.
    virtual bool dmaRead(uint64_t busAddress, void *buffer, size_t length) = 0;
    virtual bool dmaWrite(uint64_t busAddress, const void *buffer, size_t length) = 0;
    // One aligned 32-bit word of DMA memory read atomically: a word the
    // host rewrites while the board runs (a descriptor's next word).
    virtual bool dmaRead32(uint64_t busAddress, uint32_t &value) = 0;

protected:
    ~BoardHost() = default;
};

// Byte-addressed little-endian memory behind the PXI base address registers
// (VISA address spaces 11 to 16). 8- and 16-bit accesses read and write
// parts of the 32-bit registers, as on the bus.
class RegisterFile {
public:
    static constexpr uint16_t kFirstSpace = VI_PXI_BAR0_SPACE;
    static constexpr uint16_t kLastSpace = VI_PXI_BAR5_SPACE;

    // Sets the size of a window in bytes (0 removes it); contents are kept up
    // to the new size.
    void setSize(uint16_t space, size_t bytes);
    size_t size(uint16_t space) const;
    bool hasSpace(uint16_t space) const { return size(space) != 0; }
    bool contains(uint16_t space, uint64_t offset, unsigned width) const;

    // Raw access; the caller has checked contains().
    uint32_t load(uint16_t space, uint64_t offset, unsigned width) const;
    void store(uint16_t space, uint64_t offset, unsigned width, uint32_t value);

    // 32-bit helpers for boards.
    uint32_t get32(uint16_t space, uint64_t offset) const { return load(space, offset, 4); }
    void set32(uint16_t space, uint64_t offset, uint32_t value) { store(space, offset, 4, value); }

private:
    std::vector<uint8_t> spaces_[kLastSpace - kFirstSpace + 1];
};

class Board {
public:
    Board();
    virtual ~Board();
    Board(const Board &) = delete;
    Board &operator=(const Board &) = delete;

    // Inventory keys that the library does not handle itself. Returns false
    // for a key the board does not know or a value it cannot take.
    virtual bool configure(const std::string &key, const std::string &value);

    // The instrument is present: host stays valid until detach() returns.
    virtual void attach(BoardHost &host);
    // The instrument is removed (or the library reset). A board stops its
    // own threads here. Called without the board's lock.
    virtual void detach();

    // Register access through VISA, with lock() held; the library has
    // already checked that the access lies inside the window and is aligned.
    // The default reads and writes the register file without side effects.
    virtual ViStatus read(uint16_t space, uint64_t offset, unsigned width, uint32_t &value);
    virtual ViStatus write(uint16_t space, uint64_t offset, unsigned width, uint32_t value);
    // Pulses on one of the board's trigger or clock inputs (test control),
    // with lock() held; VI_ERROR_NSUP_OPER for a board without such inputs.
    virtual ViStatus pulse(int line, unsigned count);
    // Address spaces outside the register file that the board answers
    // itself (through read() and write()), such as a word in VISA's local
    // space. The default answers none.
    virtual bool servesSpace(uint16_t /*space*/, uint64_t /*offset*/, unsigned /*width*/) const { return false; }
    // The time-stamped log of a board with output registers (test control),
    // with lock() held; VI_ERROR_NSUP_OPER for a board without outputs.
    virtual ViStatus copyOutputLog(SimVisaOutput * /*entries*/, ViUInt32 /*max*/, ViUInt32 & /*count*/)
    {
        return VI_ERROR_NSUP_OPER;
    }
    virtual ViStatus clearOutputLog() { return VI_ERROR_NSUP_OPER; }

    RegisterFile &registers() { return registers_; }
    const RegisterFile &registers() const { return registers_; }
    std::mutex &lock() { return *lock_; }

protected:
    // Valid between attach() and detach().
    BoardHost *host() const { return host_; }

private:
    // From a pool that outlives every board: see register_sessions.h.
    std::mutex *const lock_;
    RegisterFile registers_;
    BoardHost *host_ = nullptr;
};

// The board kinds the inventory can name ("generic", ...); null for an unknown kind.
std::unique_ptr<Board> makeBoard(const std::string &kind);
// The identity a board kind has when the inventory names none; false for an
// unknown kind.
bool boardIdentity(const std::string &kind, uint16_t &manufacturer, uint16_t &model);

} // namespace tq::sim
