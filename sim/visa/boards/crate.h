// The serial crate: controllers at logical addresses 0-255 of one serial
// line, each with units in slots 1-16, speaking ASCII lines:
//
//   "$Z"             wakes the line; never answered
//   "$Vnn"           presence of the controller at address nn: "$V<version>"
//   "$Rnnmmrr"       reads register rr of the unit in slot mm: "$D<value>"
//   "$Wnnmmrrvv"     writes vv into register rr: "$OK"
//
// with two hexadecimal digits per field and "\r\n" after every line both
// ways; answers print their values as printf's "%x" does. Whatever names no
// controller or no unit, and whatever is not one of these lines, gets no
// answer at all, so the host's read times out.
//
// Inventory keys (board = crate), logical addresses and slots in decimal:
//
//   controllers = 0 1            the addresses that answer (replaces the set)
//   la<n> = 0x22 | none          adds the controller with that version, or removes it
//   la<n>.version = 0x22         the value of its "$V" answer (default 0x22)
//   la<n>.replyV = <text>        a raw answer to "$V" instead ("" for none)
//   la<n>.slot<m> = <type> | untyped | none
//                                a unit whose register 60 holds its type
//                                (0x41, ...); a unit without a type there
//                                (register 60 reads 0, register 01 0x60,
//                                register 08 what was last written, at first
//                                0); or an empty slot
//   la<n>.slot<m>.reg<rr> = <v>  a register's value (rr in hexadecimal)
//   la<n>.slot<m>.writable = 0   writes are answered but not kept
//   la<n>.slot<m>.replyR<rr> = <text>, .replyW<rr> = <text>
//                                a raw answer to a read or a write of that
//                                register instead ("" for none)
//
// Raw answers take "\r", "\n", "\t", "\\" and "\xHH" and are sent as they
// stand: give the "\r\n" yourself.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "serial.h"

namespace tq::sim
{

struct CrateRequest {
    enum class Kind { Wake, Version, Read, Write } kind = Kind::Wake;
    uint8_t address = 0;
    uint8_t slot = 0;
    uint8_t reg = 0;
    uint8_t value = 0;
};

// Parses one line as the crate reads it ("\r\n", or a bare "\n", at its end);
// false for anything that is not a request.
bool parseCrateRequest(std::string_view line, CrateRequest &request);

class Crate final : public LineDevice
{
  public:
    bool configure(const std::string &key, const std::string &value) override;
    void receive(std::string_view line, std::string &reply) override;

  private:
    struct Unit {
        std::map<uint8_t, uint16_t> registers;
        bool writable = true;
        std::map<uint8_t, std::string> readReplies, writeReplies; // raw answers by register
    };
    struct Controller {
        bool present = false;
        uint16_t version = 0x22;
        std::optional<std::string> versionReply;
        std::map<int, Unit> slots;
    };

    bool configureUnit(int address, int slot, const std::string &rest, const std::string &value);

    std::map<int, Controller> controllers_;
};

} // namespace tq::sim
