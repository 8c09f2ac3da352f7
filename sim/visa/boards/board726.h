// The simulated model 726: an analog-output module with 16, 32 or 64
// channels of 16-bit output codes (0x0000 -10 V, 0x8000 0 V, 0xFFFF +10 V).
//
// Registers (BAR2, 16-bit unless said otherwise):
//   0x00 + 2(k-1)  output code of channel k; every write of a channel the
//                  board has goes into the output log with the time of the
//                  platform clock (simvisa_getOutputLog).
//   0x80 / 0x82    the board flags (low and high half, read-only: bits 2, 8,
//                  9, 10 of the low half and the whole high half) and the
//                  control bits of the low half, which read back as written:
//                  bit 3 is set at power-up and cleared by the driver's
//                  reset; writing bit 4 starts the power-up-state operation
//                  (bit 5: save the present outputs as the power-up state,
//                  else clear it), and bit 4 reads 1 for the next three reads
//                  of 0x80 while it runs. A 32-bit access at 0x80 spans both.
//   0x84           bit 0: board reset. Writing it 1 resets the board: every
//                  output goes to its power-up state (0x8000 unless a state
//                  was saved). On a board with the reset-confirm capability
//                  (flag bit 10) the bit is the reset line: it reads 1 while
//                  the line is held and for 1 ms after it was released
//                  (written 0), then 0 once the board is ready again. On a
//                  board without the capability the bit clears itself.
// VISA local space (0), 16-bit word at offset 0: the board's self-test
// signature, 0x0726 on a healthy board.
//
// Channels follow the flags: 32 when bit 9 is set, else 16 when bit 8 is
// set, else 64. Current outputs are present when flag bit 2 is clear.
//
// Inventory keys of this board (besides the library's own):
//   flags = 0x500       the 32-bit board flags (default: 16 channels, reset
//                       confirm, current outputs)
//   signature = 0x0726  the local-space word (a failing board answers another)
//   resetstuck = 0      1: a reset never finishes (0x84 bit 0 stays 1)
//   powerupstuck = 0    1: the power-up-state operation never finishes
#pragma once

#include <cstdint>
#include <vector>

#include "board.h"

namespace tq::sim
{

class Board726 : public Board
{
  public:
    static constexpr uint64_t kBar2Size = 0x100;
    static constexpr uint64_t kFlags = 0x80;
    static constexpr uint64_t kReset = 0x84;
    static constexpr uint32_t kFlagMask = 0xFFFF0704u; // read-only flag bits of 0x80
    static constexpr uint32_t kBusy = 1u << 4;
    static constexpr uint32_t kSave = 1u << 5;
    static constexpr uint32_t kControlAtPowerUp = 1u << 3;
    static constexpr uint32_t kResetConfirm = 1u << 10;
    static constexpr uint16_t kSignature = 0x0726;
    static constexpr uint64_t kResetSettleUs = 1000;
    static constexpr int kBusyReads = 3;
    static constexpr size_t kLogCapacity = 131072;

    Board726();

    bool configure(const std::string &key, const std::string &value) override;
    ViStatus read(uint16_t space, uint64_t offset, unsigned width, uint32_t &value) override;
    ViStatus write(uint16_t space, uint64_t offset, unsigned width, uint32_t value) override;
    bool servesSpace(uint16_t space, uint64_t offset, unsigned width) const override;
    ViStatus copyOutputLog(SimVisaOutput *entries, ViUInt32 max, ViUInt32 &count) override;
    ViStatus clearOutputLog() override;

    int channels() const;

  private:
    uint32_t flagsRegister() const;
    // Keeps the register file's copy of 0x80 what a read would answer, for
    // reads behind the driver's back.
    void sync();
    void resetBoard();
    void log(uint16_t channel, uint16_t code);

    uint32_t flags_ = 0x500;
    uint32_t control_ = kControlAtPowerUp;
    uint16_t signature_ = kSignature;
    bool resetStuck_ = false;
    bool powerUpStuck_ = false;
    int busyReads_ = 0; // reads of 0x80 left until the power-up operation ends; -1 never
    bool savePowerUp_ = false;
    bool powerUpSaved_ = false;
    uint16_t powerUp_[64] = {};
    // The reset line of a board with the reset confirm.
    bool resetHeld_ = false;
    bool resetStuckNow_ = false;
    uint64_t resetReadyUs_ = 0;
    uint32_t resetRegister_ = 0; // bits of 0x84 other than the reset bit, as written

    std::vector<SimVisaOutput> log_; // ring, allocated at the first output write
    size_t logHead_ = 0, logCount_ = 0;
    uint64_t logSequence_ = 0;
};

} // namespace tq::sim
