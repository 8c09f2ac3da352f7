// The simulated model 176 device: registers, the scan FIFO filled on the
// platform clock, and the answers to the wire protocol's requests.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "tq/simusb.h"

namespace tq::sim::usb
{

// One reply on its way to the host: bytes that become readable at readyUs.
struct Packet {
    std::vector<uint8_t> bytes;
    uint64_t readyUs = 0;
};

struct Fault {
    int kind = 0;
    uint32_t amount = 0;
    uint32_t count = 0;
    uint8_t command = 0;
};

class Device176
{
  public:
    static constexpr size_t kFifoScans = 4096;
    static constexpr size_t kMaxDataBytes = 60;
    static constexpr size_t kOutputLogSize = 65536;

    explicit Device176(std::string serial) : serial_(std::move(serial)) { resetRegisters(); }

    const std::string &serial() const { return serial_; }
    // A setting of the inventory ("firmware", "modelbyte", "level1".."level6"); false when unknown or bad.
    bool configure(const std::string &key, const std::string &value);

    // Takes the bytes the host wrote; every complete request is answered
    // with packets appended to out (faults applied).
    void receive(const uint8_t *data, size_t length, uint64_t nowUs, std::deque<Packet> &out);

    // A fault of kind that applies now (counted down), or null.
    const Fault *takeFault(int kind, uint8_t command);
    std::vector<Fault> faults;

    uint16_t reg(uint8_t r) const { return regs_[r]; }
    void setReg(uint8_t r, uint16_t v) { regs_[r] = v; }
    bool running() const { return running_; }
    uint64_t dropped() const { return dropped_; }
    // Brings the FIFO up to the time given: the scans due so far are in it,
    // or dropped.
    void catchUp(uint64_t nowUs) { fill(nowUs); }
    uint64_t requests() const { return requests_; }
    std::deque<SimUsbOutput> outputLog;

  private:
    void resetRegisters();
    std::vector<uint8_t> answer(const uint8_t *request, uint64_t nowUs, uint64_t &delayUs);
    void writeRegister(uint8_t r, uint16_t v, uint64_t nowUs);
    void fill(uint64_t nowUs);
    uint32_t scanSize() const;
    void appendScan(std::vector<uint8_t> &out, uint32_t n) const;

    std::string serial_;
    uint8_t firmware_ = 3;
    uint8_t modelByte_ = 176;
    int16_t levels_[6] = {1000, 2000, 3000, 4000, 5000, 6000};
    uint16_t regs_[256] = {};
    std::vector<uint8_t> pending_; // bytes of a request not complete yet

    bool running_ = false;
    uint64_t startUs_ = 0;
    uint64_t produced_ = 0; // scans the clock has produced since start
    std::deque<uint32_t> fifo_;
    bool overrun_ = false;
    uint64_t dropped_ = 0;
    uint64_t requests_ = 0;
};

} // namespace tq::sim::usb
