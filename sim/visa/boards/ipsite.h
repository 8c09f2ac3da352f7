// One IndustryPack site of a simulated carrier and the module model that
// sits on it. The carrier maps each site's ID space (8-bit ROM) and I/O
// space (16-bit registers) into its own register window and calls the
// module with its own lock held; a module never calls back into the carrier
// except through the inputs it reports.
//
// Module kinds: "tq740" (boards/ipmodule740.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tq::sim
{

class IpSiteModule
{
  public:
    virtual ~IpSiteModule() = default;

    // Byte of the ID space at offset (0 to 0x7F).
    virtual uint8_t idRom(uint64_t offset) const = 0;
    // 16-bit register of the I/O space at an even offset (0 to 0x7E).
    virtual uint16_t read(uint64_t offset) = 0;
    virtual void write(uint64_t offset, uint16_t value) = 0;
    // Module keys of the inventory ("site1.in = 0x12" arrives here as "in");
    // false for a key or value it does not take.
    virtual bool configure(const std::string &key, const std::string &value) = 0;
    // The module's 32 lines as its data register reads them now.
    virtual uint32_t lines() = 0;
    // The carrier's reset line.
    virtual void reset() = 0;
    // The value the time pattern drives on the inputs at a pattern step.
    virtual void patternStep(uint64_t step) = 0;
};

std::unique_ptr<IpSiteModule> makeIpSiteModule(const std::string &kind, int site);

} // namespace tq::sim
