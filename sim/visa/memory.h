// DMA memory of the "PXI::MEMACC" resource: blocks of host memory with
// 32-bit bus addresses, as boards see them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "tq/visatype.h"

namespace tq::sim {

class DmaMemory {
public:
    // Allocates a zeroed block; VI_ERROR_INV_SIZE for 0, VI_ERROR_ALLOC when
    // no room is left.
    ViStatus allocate(ViSession owner, ViBusSize size, ViBusAddress &address);
    // VI_ERROR_INV_OFFSET unless address starts a block of owner.
    ViStatus free(ViSession owner, ViBusAddress address);
    // Frees every block of owner.
    void freeAll(ViSession owner);
    // Host address of [address, address + size) inside one block, or null.
    void *hostAddress(ViBusAddress address, ViBusSize size);
    // Size of the block that starts at address (0 when none does).
    uint64_t blockSize(ViBusAddress address);
    bool read(ViBusAddress address, void *buffer, size_t length);
    bool write(ViBusAddress address, const void *buffer, size_t length);
    // An aligned 32-bit word, loaded atomically (the host may store it while a board reads).
    bool load32(ViBusAddress address, uint32_t &value);
    void clear();

    // Bus addresses handed out lie in [kBase, kLimit): they fit the 32-bit
    // address words of DMA descriptors.
    static constexpr uint64_t kBase = 0x10000000;
    static constexpr uint64_t kLimit = 0xF0000000;
    static constexpr uint64_t kAlign = 0x1000;

private:
    struct Block {
        ViSession owner = 0;
        uint64_t size = 0;
        std::unique_ptr<uint8_t[]> data;
    };
    std::map<uint64_t, Block>::iterator containing(uint64_t address, uint64_t length);

    std::mutex m_;
    std::map<uint64_t, Block> blocks_;
};

} // namespace tq::sim
