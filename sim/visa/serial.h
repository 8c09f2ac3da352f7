// A simulated serial port ("ASRL<n>::INSTR") and the device on its line.
//
// The host's writes go to the device a line at a time (a line ends at a
// line feed); the device's answers wait in the port's input until a read
// takes them. A read ends at the termination character when the session
// asks for it, when it has the bytes it wanted, or at its time-out on the
// platform clock (sped up in tests by TQ_TIME_SCALE).
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "instrument.h"
#include "tq/visatype.h"

namespace tq::sim
{

// What sits on a serial line. Calls come with the port's lock held.
class LineDevice
{
  public:
    virtual ~LineDevice() = default;
    // Inventory keys of the device; false for a key or value it does not take.
    virtual bool configure(const std::string &key, const std::string &value) = 0;
    // One line the host sent, line feed included; the answer, if any, is
    // appended to reply.
    virtual void receive(std::string_view line, std::string &reply) = 0;
};

// "none" (nothing answers), "echo" (every line comes back) or "crate";
// null for another kind.
std::unique_ptr<LineDevice> makeLineDevice(const std::string &kind);

// Decodes the escapes of a reply written in the inventory ("\r", "\n",
// "\t", "\\", "\xHH"); false for a malformed one.
bool decodeEscapes(const std::string &text, std::string &out);

class SerialPort
{
  public:
    // Makes the device and applies the settings; null with a message on failure.
    static std::shared_ptr<SerialPort> create(uint16_t board, const InstrumentConfig &config, std::string &error);

    const std::string &name() const { return name_; }
    uint16_t board() const { return board_; }
    const std::string &alias() const { return alias_; }
    bool matchesAlias(const std::string &alias) const;

    ViStatus write(const ViByte *data, size_t count);
    // Reads up to count bytes into buffer; got is set even on a time-out.
    // VI_SUCCESS_TERM_CHAR when it ended at the termination character,
    // VI_SUCCESS_MAX_CNT when count bytes came first, VI_ERROR_TMO.
    ViStatus read(ViByte *buffer, size_t count, size_t &got, ViUInt32 timeoutMs, bool useTermChar, ViByte termChar);
    // Drops what the device sent and the host has not read.
    void discardInput();

    // The lines the port received, oldest first (the latest 64 KiB).
    std::string log();
    void clearLog();

    ViStatus configureSettings(const std::string &settings);
    ViStatus configure(const std::string &key, const std::string &value);

    // Pulled out: every further access fails with VI_ERROR_CONN_LOST.
    void remove();

  private:
    SerialPort(uint16_t board, std::string alias, std::unique_ptr<LineDevice> device);
    void deliverLine(std::string_view line);

    const uint16_t board_;
    const std::string name_;
    const std::string alias_;

    std::mutex m_;
    std::condition_variable arrived_;
    std::unique_ptr<LineDevice> device_;
    std::string input_;   // sent by the device, not yet read
    std::string partial_; // the host's line in progress
    std::string log_;
    std::string reply_; // scratch for the device's answer
    bool overrun_ = false;
    bool removed_ = false;
};

} // namespace tq::sim
