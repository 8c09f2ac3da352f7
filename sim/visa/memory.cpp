#include "memory.h"

#include <cstring>
#include <new>

namespace tq::sim {

ViStatus DmaMemory::allocate(ViSession owner, ViBusSize size, ViBusAddress &address)
{
    if (size == 0)
        return VI_ERROR_INV_SIZE;
    if (size > kLimit - kBase)
        return VI_ERROR_ALLOC;
    const uint64_t span = (size + kAlign - 1) / kAlign * kAlign;
    std::lock_guard<std::mutex> g(m_);
    // First fit between the blocks already handed out.
    uint64_t candidate = kBase;
    for (const auto &[base, block] : blocks_) {
        if (base - candidate >= span)
            break;
        candidate = base + (block.size + kAlign - 1) / kAlign * kAlign;
    }
    if (candidate + span > kLimit)
        return VI_ERROR_ALLOC;
    Block b;
    b.owner = owner;
    b.size = size;
    b.data.reset(new (std::nothrow) uint8_t[size]());
    if (!b.data)
        return VI_ERROR_ALLOC;
    blocks_.emplace(candidate, std::move(b));
    address = candidate;
    return VI_SUCCESS;
}

ViStatus DmaMemory::free(ViSession owner, ViBusAddress address)
{
    std::lock_guard<std::mutex> g(m_);
    auto it = blocks_.find(address);
    if (it == blocks_.end() || it->second.owner != owner)
        return VI_ERROR_INV_OFFSET;
    blocks_.erase(it);
    return VI_SUCCESS;
}

void DmaMemory::freeAll(ViSession owner)
{
    std::lock_guard<std::mutex> g(m_);
    for (auto it = blocks_.begin(); it != blocks_.end();)
        it = it->second.owner == owner ? blocks_.erase(it) : std::next(it);
}

std::map<uint64_t, DmaMemory::Block>::iterator DmaMemory::containing(uint64_t address, uint64_t length)
{
    auto it = blocks_.upper_bound(address);
    if (it == blocks_.begin())
        return blocks_.end();
    --it;
    const uint64_t offset = address - it->first;
    if (offset >= it->second.size || length > it->second.size - offset)
        return blocks_.end();
    return it;
}

void *DmaMemory::hostAddress(ViBusAddress address, ViBusSize size)
{
    std::lock_guard<std::mutex> g(m_);
    auto it = containing(address, size);
    return it == blocks_.end() ? nullptr : it->second.data.get() + (address - it->first);
}

uint64_t DmaMemory::blockSize(ViBusAddress address)
{
    std::lock_guard<std::mutex> g(m_);
    auto it = blocks_.find(address);
    return it == blocks_.end() ? 0 : it->second.size;
}

bool DmaMemory::read(ViBusAddress address, void *buffer, size_t length)
{
    std::lock_guard<std::mutex> g(m_);
    auto it = containing(address, length);
    if (it == blocks_.end())
        return false;
    memcpy(buffer, it->second.data.get() + (address - it->first), length);
    return true;
}

bool DmaMemory::write(ViBusAddress address, const void *buffer, size_t length)
{
    std::lock_guard<std::mutex> g(m_);
    auto it = containing(address, length);
    if (it == blocks_.end())
        return false;
    memcpy(it->second.data.get() + (address - it->first), buffer, length);
    return true;
}

bool DmaMemory::load32(ViBusAddress address, uint32_t &value)
{
    if (address % 4 != 0)
        return false;
    std::lock_guard<std::mutex> g(m_);
    auto it = containing(address, 4);
    if (it == blocks_.end() || (address - it->first) % 4 != 0)
        return false;
    value = __atomic_load_n(reinterpret_cast<uint32_t *>(it->second.data.get() + (address - it->first)),
                            __ATOMIC_ACQUIRE);
    return true;
}

void DmaMemory::clear()
{
    std::lock_guard<std::mutex> g(m_);
    blocks_.clear();
}

} // namespace tq::sim
